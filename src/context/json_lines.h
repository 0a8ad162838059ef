// JSON Lines output (`-o json`, `=set outformat(json)`): every line the program shows
// becomes one JSON object on one line of standard output. The display writes the
// objects of command records itself (records with typed attributes, the command's
// messages with their codes, totals); every other line is turned into an object here,
// its kind taken from the line's style.
//
// The field names are the format's contract with scripts that read it: they are named
// once, here, and a test holds them.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

using JsonObject = nlohmann::ordered_json;

namespace jsonfield {
inline constexpr const char *kKind = "kind";
inline constexpr const char *kText = "text";
inline constexpr const char *kId = "id";            // AMQ/CSQ message number
inline constexpr const char *kCompletion = "cc";    // completion code
inline constexpr const char *kReason = "reason";    // reason code
inline constexpr const char *kTime = "time";        // an echoed command's time stamp
inline constexpr const char *kQmgr = "qmgr";        // the queue manager administered
inline constexpr const char *kSequence = "seq";     // the command's sequence number
inline constexpr const char *kCommand = "command";  // the command's text
inline constexpr const char *kObject = "object";    // a record's object keyword: QUEUE, CHANNEL ...
inline constexpr const char *kAttributes = "attributes";
inline constexpr const char *kScope = "scope";    // totals: Total or Subtotal
inline constexpr const char *kQsgQmgr = "qsgqm";  // totals of one queue manager of a sharing group
inline constexpr const char *kReceived = "received";
inline constexpr const char *kMatched = "matched";
inline constexpr const char *kShown = "shown";
inline constexpr const char *kIssued = "issued";
inline constexpr const char *kSuccess = "success";
inline constexpr const char *kFail = "fail";
}  // namespace jsonfield

namespace jsonkind {
inline constexpr const char *kRecord = "record";
inline constexpr const char *kCommand = "command";
inline constexpr const char *kInfo = "info";
inline constexpr const char *kError = "error";
inline constexpr const char *kNote = "note";
inline constexpr const char *kTotals = "totals";
inline constexpr const char *kPrint = "print";
inline constexpr const char *kDiagnostic = "diagnostic";
inline constexpr const char *kSummary = "summary";
}  // namespace jsonkind

// A JSON string for text as received: bytes that are not UTF-8 are kept as the Latin-1
// characters of the same value.
JsonObject jsonText(std::string_view text);

// The object as one line of text (compact, no line feed).
std::string jsonLine(const JsonObject &object);

// Appends a JSON string for text as received, written exactly as jsonLine writes
// jsonText(text): quoted, '"', '\\' and control characters escaped, bytes that are not
// UTF-8 taken as Latin-1. For objects written piece by piece without building them.
void jsonAppendText(std::string &out, std::string_view text);

// An IBM MQ reason code the text reports as "RC(n)", or 0 when it reports none.
// (Numbers below 2001 are system error numbers, not reason codes.)
int32_t reasonCodeIn(std::string_view text);

// The object of one output line, its kind from the style; "" when the line carries
// nothing (a blank line). Lines styled kStyleJson are objects already.
std::string jsonObjectForLine(std::string_view text, uint32_t style);

// The final summary of a run: the three counts, and the text the summary line shows.
std::string jsonSummaryObject(uint32_t issued, uint32_t success, uint32_t fail, std::string_view text);
