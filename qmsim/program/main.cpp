// qmsim: create, start, stop and inspect simulated queue managers.
#include <cstdio>
#include <cstring>

#include "program/commands.h"

using namespace qmsim::program;

static void usage(FILE* out) {
  std::fprintf(out, "usage: qmsim <command> [arguments]\n\ncommands:\n");
  for (const auto& c : commands()) std::fprintf(out, "  qmsim %s %s\n", c.name, c.usage);
  std::fprintf(out, "\nQueue managers are kept under $KVARN_QMSIM_HOME (default ~/.kvarn/qmsim).\n");
}

int main(int argc, char** argv) {
  if (argc < 2) {
    usage(stderr);
    return kExitUsage;
  }
  if (!std::strcmp(argv[1], "help") || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
    usage(stdout);
    return kExitOk;
  }
  for (const auto& c : commands()) {
    if (std::strcmp(argv[1], c.name) == 0) return c.run(Args(argv + 2, argv + argc));
  }
  std::fprintf(stderr, "qmsim: unknown command '%s'\n", argv[1]);
  usage(stderr);
  return kExitUsage;
}
