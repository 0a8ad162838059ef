#include "script/functions.h"

#include <vector>

namespace kvarn::script {

std::span<const OperatorDef> scriptFunctionRows() {
  static const std::vector<OperatorDef> rows = [] {
    std::vector<OperatorDef> all;
    for (auto family : {mathFunctionRows(), stringFunctionRows(), attrFunctionRows(), dateFunctionRows(),
                        arrayFunctionRows(), fileFunctionRows(), systemFunctionRows()})
      all.insert(all.end(), family.begin(), family.end());
    return all;
  }();
  return rows;
}

const OperatorTable& scriptFunctionTable() {
  static const OperatorTable table = OperatorTable::build(scriptFunctionRows(), true);
  return table;
}

const OperatorTable& whereFunctionTable() {
  static const OperatorTable table = OperatorTable::buildWhere(scriptFunctionRows());
  return table;
}

}  // namespace kvarn::script
