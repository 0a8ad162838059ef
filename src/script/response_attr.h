// Reading a response attribute by name from a response record held as MQSC text, and
// rebuilding the record for _lastresp.
#pragma once

#include <string>
#include <string_view>

#include "script/exp_context.h"
#include "script/script_state.h"

namespace kvarn::script {

// The value of attribute `name` in `record` (null: no current record), with the numeric
// and text rules of scripts: INT/DBL for short numeric values, otherwise a string (an
// empty one when the attribute is missing). `out` owns its bytes.
void attributeValue(const ResponseRecord* record, std::string_view name, IndicatorModifier modifier, Value& out);

// The raw text inside KEYWORD(...): from the record's index when the response decoder
// read it; otherwise at the start of the text or after a blank or newline, nested
// parentheses counted. False when the keyword is not there.
bool findAttributeText(const ResponseRecord& record, std::string_view name, std::string_view& value);

// The record as one line: message-number line and z/OS prefix dropped, QSGQM(...) first.
std::string lastResponseText(const ResponseRecord* record);

}  // namespace kvarn::script
