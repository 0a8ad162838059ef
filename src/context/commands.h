// Dispatch that rooms below the driver need: the transport makes a pending implicit
// connection by issuing the start-up =conn through the local command dispatcher. The
// driver registers its dispatcher here at start-up; nothing below it includes the driver.
#pragma once
#include <string_view>

struct ProgramContext;
struct InputSource;

using LocalCommandIssuer = void (*)(ProgramContext &ctx, InputSource *source, std::string_view text, int issueSource);

void setLocalCommandIssuer(LocalCommandIssuer issuer);
// Runs a local command through the registered dispatcher (nothing when none is).
void issueLocalCommand(ProgramContext &ctx, InputSource *source, std::string_view text, int issueSource);
