#include "ccdt/versions.h"

#include <cstdio>

const std::vector<CcdtVersionRow> &ccdtVersionTable() {
  static const std::vector<CcdtVersionRow> table = {
      {"5.0", 4, false},    {"5.1", 5, false},    {"5.2", 6, false},    {"5.3", 7, false},    {"6.0", 8, false},
      {"7.0", 9, false},    {"7.1", 10, true},    {"7.5", 10, true},    {"8.0", 11, true},    {"9.0", 11, true},
      {"9.0.1", 11, false}, {"9.0.2", 11, false}, {"9.0.3", 11, false}, {"9.0.4", 11, false}, {"9.0.5", 11, false},
      {"9.1", 11, true},    {"9.1.1", 11, false}, {"9.1.2", 11, false}, {"9.1.3", 12, false}, {"9.1.4", 12, false},
      {"9.1.5", 12, false}, {"9.2", 12, true},    {"9.2.1", 12, false}, {"9.2.2", 12, false}, {"9.2.3", 12, false},
      {"9.2.4", 12, false}, {"9.2.5", 12, true},  {"9.3", 12, true},    {"9.3.1", 12, true},  {"9.3.2", 12, true},
      {"9.3.3", 12, true},  {"9.3.4", 12, true},
  };
  return table;
}

namespace {
bool parseDigits(std::string_view text, int &value) {
  if (text.empty() || text.size() > 9) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}
}  // namespace

CcdtVersionParse parseCcdtVersion(std::string_view text, int &mqcdVersion) {
  int value = -1;
  bool found = false;
  if (!text.empty() && (text[0] == 's' || text[0] == '0') && parseDigits(text.substr(1), value)) {
    found = true;
  } else {
    for (const auto &row : ccdtVersionTable())
      if (text == row.release) {
        value = row.mqcdVersion;
        found = true;
        break;
      }
    if (!found) found = parseDigits(text, value);
  }
  if (!found) return CcdtVersionParse::UnknownName;
  if (value < 0 || value > kMaxMqcdVersion) return CcdtVersionParse::OutOfRange;
  mqcdVersion = value;
  return CcdtVersionParse::Ok;
}

std::string ccdtVersionListMessage() {
  std::string msg = "Value values for -V parameter are :\n   ";
  bool first = true;
  for (const auto &row : ccdtVersionTable()) {
    if (!row.listed) continue;
    if (!first) msg += ", ";
    msg += row.release;
    first = false;
  }
  return msg;
}

std::string ccdtVersionRangeMessage() {
  char buf[96];
  std::snprintf(buf, sizeof buf, "The supported range MQCD Versions is between 0 and %d (inclusive)\n",
                kMaxMqcdVersion);
  return buf;
}
