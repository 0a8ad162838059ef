#include "context/json_lines.h"

#include "context/output.h"
#include "runtime/scan.h"
#include "runtime/utf8.h"

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

const char *kindOfStyle(uint32_t style) {
  if (style & kStylePrint) return jsonkind::kPrint;
  if (style & kStyleGroupStart) return jsonkind::kCommand;
  if (style & kStyleError) return jsonkind::kError;
  if (style & kStyleNote) return jsonkind::kNote;
  if (style & kStyleTotals) return jsonkind::kTotals;
  if (style & kStyleDiagnostic) return jsonkind::kDiagnostic;
  return jsonkind::kInfo;
}

bool isBlank(std::string_view text) { return text.find_first_not_of(' ') == std::string_view::npos; }

}  // namespace

JsonObject jsonText(std::string_view text) { return JsonObject(utf8OrLatin1(text)); }


void jsonAppendText(std::string &out, std::string_view text) {
  out += '"';
  bool plain = true;  // printable ASCII with nothing to escape: the usual MQSC value
  for (char c : text) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u >= 0x80 || c == '"' || c == '\\') {
      plain = false;
      break;
    }
  }
  if (plain) out += text;
  else if (isValidUtf8(text)) appendJsonEscaped(out, text);
  else appendJsonEscaped(out, utf8OrLatin1(text));
  out += '"';
}

std::string jsonLine(const JsonObject &object) {
  // Every string went through jsonText, so nothing is left to replace; the handler only
  // guarantees that a string which did not can never make the dump throw.
  return object.dump(-1, ' ', false, JsonObject::error_handler_t::replace);
}

int32_t reasonCodeIn(std::string_view text) {
  size_t at = text.find("RC(");
  if (at == std::string_view::npos) return 0;
  int64_t value = 0;
  size_t i = at + 3;
  size_t digits = 0;
  for (; i < text.size() && isDigit(text[i]) && digits < 9; ++i, ++digits) value = value * 10 + (text[i] - '0');
  if (digits == 0 || i >= text.size() || text[i] != ')' || value < 2001) return 0;
  return static_cast<int32_t>(value);
}

std::string jsonObjectForLine(std::string_view text, uint32_t style) {
  if (style & kStyleJson) return std::string(text);
  if (isBlank(text) && !(style & kStylePrint)) return {};  // a printed blank line is still what was printed
  JsonObject object;
  object[jsonfield::kKind] = kindOfStyle(style);
  if (size_t stamp = (style & kStyleGroupStart) ? commandTimeStampLength(text) : 0) {
    object[jsonfield::kTime] = std::string(text.substr(1, 8));
    text.remove_prefix(stamp);
  }
  if (!(style & (kStyleGroupStart | kStylePrint))) {
    if (std::string_view id = scanMessageId(text); !id.empty()) object[jsonfield::kId] = std::string(id);
    if (int32_t reason = reasonCodeIn(text)) object[jsonfield::kReason] = reason;
  }
  object[jsonfield::kText] = jsonText(text);
  return jsonLine(object);
}

std::string jsonSummaryObject(uint32_t issued, uint32_t success, uint32_t fail, std::string_view text) {
  JsonObject object;
  object[jsonfield::kKind] = jsonkind::kSummary;
  object[jsonfield::kIssued] = issued;
  object[jsonfield::kSuccess] = success;
  object[jsonfield::kFail] = fail;
  object[jsonfield::kText] = jsonText(text);
  return jsonLine(object);
}
