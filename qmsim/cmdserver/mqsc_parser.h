// Reads one MQSC command as IBM's command server accepts it: a verb, an object
// keyword with its bracketed name, then keywords, bare or with bracketed values.
// Quoted strings keep their case and take '' for a quote; unquoted values are
// folded to upper case. A value may be a comma-separated list.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qmsim::cmdserver {

struct MqscParam {
  std::string keyword;  // upper case
  bool hasValue = false;
  std::string raw;                 // the text between the brackets
  std::vector<std::string> items;  // the comma-separated items, unquoted or folded
  std::vector<bool> quoted;
  std::string value() const;  // the items joined by commas
  bool anyQuoted() const;
};

struct MqscCommand {
  std::string text;
  std::string verb;                      // as typed, upper case
  std::string object;                    // as typed, upper case; empty when the command has none
  std::optional<MqscParam> objectParam;  // the object keyword with its name
  std::vector<MqscParam> params;

  const MqscParam* find(const std::string& keyword) const;
};

struct MqscParseError {
  std::string segment;  // the command up to and including the fault, for AMQ8405
};

// False and error filled when the text cannot be read as MQSC.
bool parseMqsc(const std::string& text, MqscCommand& out, MqscParseError& error);

std::string upper(std::string s);
// MQSC generic name match: a trailing '*' matches any rest.
bool genericMatch(const std::string& pattern, const std::string& name);

}  // namespace qmsim::cmdserver
