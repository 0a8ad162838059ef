// Splitting an expression text into tokens and classifying each token as an operator,
// function, literal or name reference. Internal to the expression compiler.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "script/exp_context.h"

namespace kvarn::script {

struct RawToken {
  std::string_view text;
  uint32_t position = 0;
};

// Blanks, tabs, CR and LF separate; a quoted token runs to the same quote (or to the
// end); ( ) [ ] ! | & < > - + * / = , ; stand alone except the pairs <> != >= <= == || &&.
std::vector<RawToken> expSplitTokens(std::string_view text);

struct LexerSetup {
  const OperatorTable* table;
  ScriptFunctionHost* functions;
  const ExprVocabulary* vocabulary;
  unsigned flags;
  int positionOffset;
};

// Classifies one token into `node` (literals view `token.text`, which must outlive the
// node). Returns false with `error` set.
bool expClassifyToken(const RawToken& token, const LexerSetup& setup, ExprNode& node, std::string& error);

}  // namespace kvarn::script
