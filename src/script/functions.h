// The built-in function library: one file per family (lib_math, lib_string, lib_attr,
// lib_date, lib_array, lib_file, lib_system), each exporting its rows; this table joins
// them behind the script operators.
#pragma once

#include <span>

#include "script/exp_operators.h"

namespace kvarn::script {

std::span<const OperatorDef> mathFunctionRows();
std::span<const OperatorDef> stringFunctionRows();
std::span<const OperatorDef> attrFunctionRows();
std::span<const OperatorDef> dateFunctionRows();
std::span<const OperatorDef> arrayFunctionRows();
std::span<const OperatorDef> fileFunctionRows();
std::span<const OperatorDef> systemFunctionRows();

// Every built-in function row, in table order.
std::span<const OperatorDef> scriptFunctionRows();
// The script operator table with every built-in, and the =WHERE subset.
const OperatorTable& scriptFunctionTable();
const OperatorTable& whereFunctionTable();

}  // namespace kvarn::script
