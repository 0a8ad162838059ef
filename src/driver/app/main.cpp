#include "driver/program.h"

int main(int argc, char **argv) { return kvarnMain(argc, argv); }
