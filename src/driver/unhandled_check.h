// The response coverage check: "!unhandled!" issues a DISPLAY of every object type
// and reports how many response attributes the decoder had no name for.
#pragma once

struct ProgramContext;

void runUnhandledAttributeCheck(ProgramContext &ctx);
