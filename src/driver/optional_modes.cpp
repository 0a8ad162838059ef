#include "driver/optional_modes.h"

bool scriptDebuggerAvailable() { return false; }
