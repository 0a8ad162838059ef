// The CCDT version table: IBM MQ release names and the MQCD version each selects.
// Used by -V and by the version operand of =ccdt and =ccdtj.
#pragma once
#include <string>
#include <string_view>
#include <vector>

struct CcdtVersionRow {
  const char *release;
  int mqcdVersion;
  bool listed;  // shown in the -V error message and in help
};

inline constexpr int kMaxMqcdVersion = 12;

const std::vector<CcdtVersionRow> &ccdtVersionTable();

enum class CcdtVersionParse { Ok, UnknownName, OutOfRange };

// "s11" or "011": the number after the first character; else a release name; else a number.
CcdtVersionParse parseCcdtVersion(std::string_view text, int &mqcdVersion);

// "Value values for -V parameter are :\n   7.1, 7.5, ..." (without a trailing newline)
std::string ccdtVersionListMessage();
// "The supported range MQCD Versions is between 0 and 12 (inclusive)\n"
std::string ccdtVersionRangeMessage();
