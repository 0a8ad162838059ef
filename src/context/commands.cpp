#include "context/commands.h"

#include <atomic>

namespace {
std::atomic<LocalCommandIssuer> gLocalIssuer{nullptr};
}

void setLocalCommandIssuer(LocalCommandIssuer issuer) { gLocalIssuer = issuer; }

void issueLocalCommand(ProgramContext &ctx, InputSource *source, std::string_view text, int issueSource) {
  if (LocalCommandIssuer issuer = gLocalIssuer.load()) issuer(ctx, source, text, issueSource);
}
