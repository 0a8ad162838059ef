// Runs every text scanner over arbitrary text: positions must stay inside the text,
// every token must make progress, and nothing may read past the end.
#include "runtime/scan.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

constexpr size_t npos = std::string_view::npos;

void checkFound(std::string_view text, size_t at, char c) { check(at == npos || (at < text.size() && text[at] == c)); }

void tokensOf(std::string_view text, TokenSet set) {
  size_t pos = 0;
  for (size_t guard = 0;; ++guard) {
    check(guard <= text.size());
    size_t before = pos;
    ScanToken t = scanNextToken(text, pos, set);
    check(pos <= text.size());
    if (t.exhausted) {
      check(t.length == 0 && pos == text.size());
      return;
    }
    check(t.start >= before && t.length > 0 && t.start + t.length == pos);
    check(!isScanSpace(text[t.start]));
  }
}

void definitionTokensOf(std::string_view text) {
  size_t pos = 0;
  for (size_t guard = 0;; ++guard) {
    check(guard <= text.size());
    size_t before = pos;
    DefToken t = scanNextDefinitionToken(text, pos);
    check(pos <= text.size() && t.start <= text.size() && t.start >= before);
    check(t.text.size() <= kDefTokenLimit);
    if (t.exhausted) {
      check(pos == text.size());
      return;
    }
    check(pos > before);
    check(t.quoted || !t.text.empty());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string_view text(reinterpret_cast<const char *>(data), size);

  std::string_view trimmed = scanTrim(text);
  check(trimmed.empty() ||
        (trimmed.data() >= text.data() && trimmed.data() + trimmed.size() <= text.data() + text.size()));
  check(scanNormaliseList(text).size() <= text.size());

  for (size_t from : {size_t{0}, size / 2, size, size + 3}) {
    checkFound(text, scanFindComma(text, from), ',');
    checkFound(text, scanFindStatementEnd(text, from), ';');
    checkFound(text, scanFindAtLevel0(text, '=', from), '=');
    checkFound(text, scanOpenBracket(text, from), '(');
  }
  tokensOf(text, TokenSet::Operators);
  tokensOf(text, TokenSet::GenericNames);
  definitionTokensOf(text);
  return 0;
}
