// The print and fprint statements: items separated by commas, each with an optional
// ":format:" form, formatted into the print buffer and emitted as output lines (or, for
// fprint, as lines of a script file).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "context/context.h"

namespace kvarn::script {

// `print item, item, ...` (the text after the word print). False with `error` set when
// an item is refused; what was formatted before stays in the buffer.
bool scriptPrint(ProgramContext& ctx, std::string_view items, std::string& error);
// `fprint file, item, ...`: file 1 is the console.
bool scriptFilePrint(ProgramContext& ctx, std::string_view items, std::string& error);

// The items of a print statement: commas outside quotes, parentheses and brackets split.
std::vector<std::string_view> splitPrintItems(std::string_view items);

}  // namespace kvarn::script
