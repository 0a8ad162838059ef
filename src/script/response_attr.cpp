#include "script/response_attr.h"

#include <charconv>

#include "text/text.h"

namespace kvarn::script {

namespace {

constexpr std::string_view kTextAttributes[] = {"DESCR",    "SCYEXIT",  "SCYDATA",  "MSGEXIT",  "MSGDATA",  "SENDEXIT",
                                                "SENDDATA", "RCVEXIT",  "RCVDATA",  "MREXIT",   "MRDATA",   "CLUSTER",
                                                "CLUSNL",   "AUTHINFO", "AUTHREC",  "AUTHSERV", "CHANNEL",  "CHSSTATUS",
                                                "CLUSQMGR", "COMMINFO", "LISTENER", "LSSTATUS", "NAMELIST", "POLICY",
                                                "PROCESS",  "QUEUE",    "QMNAME",   "TOPIC",    "VERSION"};

bool isTextAttribute(std::string_view name) {
  for (std::string_view t : kTextAttributes)
    if (scanEqualsNoCase(t, name)) return true;
  return false;
}

// Integer text at the start of s (after blanks), 0 when there is none.
int64_t leadingInteger(std::string_view s) {
  s = scanTrim(s);
  int64_t v = 0;
  std::from_chars(s.data(), s.data() + s.size(), v);
  return v;
}

}  // namespace

bool findAttributeText(const ResponseRecord& response, std::string_view name, std::string_view& value) {
  if (name.empty()) return false;
  // A record the response decoder read has its attributes indexed.
  if (response.parsed) return response.find(name, false, value);
  std::string_view record = response.text;
  for (size_t at = 0; at + name.size() < record.size(); ++at) {
    if (at > 0 && record[at - 1] != ' ' && record[at - 1] != '\n') continue;
    if (record[at + name.size()] != '(' || !scanEqualsNoCase(record.substr(at, name.size()), name)) continue;
    size_t open = at + name.size(), start = open + 1;
    size_t end = scanClosingBracketIgnoringQuotes(record, open);
    value = record.substr(start, end - start);  // an unclosed value runs to the end
    return true;
  }
  return false;
}

void attributeValue(const ResponseRecord* record, std::string_view name, IndicatorModifier modifier, Value& out) {
  if (!record) {
    out.setView({});
    return;
  }
  if (scanEqualsNoCase(name, "qsgqm")) {
    if (record->qmgr.empty()) out.setView({});
    else out.setConcat(record->qmgr, {});
    return;
  }
  std::string_view raw;
  if (!findAttributeText(*record, name, raw)) {
    out.setView({});
    return;
  }
  std::string_view value = scanTrim(raw);
  if (modifier == IndicatorModifier::None && expVocabulary().isIndicator && expVocabulary().isIndicator(name))
    modifier = IndicatorModifier::Short;
  if (modifier != IndicatorModifier::None) {
    size_t comma = value.find(',');
    if (modifier == IndicatorModifier::Short) out.setInt(leadingInteger(value.substr(0, comma)));
    else out.setInt(comma == std::string_view::npos ? 0 : leadingInteger(value.substr(comma + 1)));
    return;
  }
  if (value.size() < 30 && !value.empty() && (value[0] == '-' || (value[0] >= '0' && value[0] <= '9')) &&
      !isTextAttribute(name) && parseNumberText(value, out))
    return;
  if (value.empty()) {
    out.setView({});
    return;
  }
  if (value.find('\n') == std::string_view::npos) {
    out.setConcat(value, {});
    return;
  }
  // A list spread over several lines: drop the layout around each comma.
  std::string joined;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == ',') {
      while (!joined.empty() && isScanSpace(joined.back())) joined.pop_back();
      joined += ',';
      while (i + 1 < value.size() && isScanSpace(value[i + 1])) ++i;
    } else {
      joined += value[i];
    }
  }
  out.setOwned(std::move(joined));
}

std::string lastResponseText(const ResponseRecord* record) {
  if (!record || record->commandFailed) return {};
  std::string_view text = record->text;
  while (!text.empty() && isScanSpace(text.front())) text.remove_prefix(1);
  if (text.substr(0, 3) == "AMQ") {
    size_t nl = text.find('\n');
    text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
  } else if (text.substr(0, 3) == "CSQ") {
    size_t blank = text.find_first_of(" \n");
    text = blank == std::string_view::npos ? std::string_view{} : text.substr(blank);
    text = scanTrim(text);
    blank = text.find_first_of(" \n");  // the word after the prefix (the subsystem)
    text = blank == std::string_view::npos ? std::string_view{} : text.substr(blank);
  }
  std::string out;
  if (!record->qmgr.empty()) out = "QSGQM(" + record->qmgr + ")";
  // Attributes one after another, separated by single blanks.
  bool pendingBlank = !out.empty();
  int depth = 0;
  for (char c : text) {
    if (depth == 0 && isScanSpace(c)) {
      pendingBlank = !out.empty();
      continue;
    }
    if (pendingBlank) {
      out += ' ';
      pendingBlank = false;
    }
    if (c == '(') ++depth;
    else if (c == ')' && depth > 0) --depth;
    out += c;
  }
  return out;
}

}  // namespace kvarn::script
