#include "script/exp_context.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "text/text.h"

namespace kvarn::script {

void ExprContext::setErrorf(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  error_ = vstrFormat(fmt, ap);
  va_end(ap);
}

std::string ExprContext::dumpPostfix() const {
  std::string out;
  for (const ExprNode& n : nodes_) out += expDumpNode(n);
  return out;
}

std::string expDumpNode(const ExprNode& node) {
  switch (node.type) {
  case LexemeType::Var: return "VAR  : " + node.name + "\n";
  case LexemeType::Op: {
    std::string_view name = (node.op && !(node.op->kind & kScriptFunction)) ? node.op->name : node.name;
    return "OP   : " + std::string(name) + "\n";
  }
  default: return valueDump(node.literal);
  }
}

std::string expVariableKey(std::string_view name, std::span<const int32_t> subscripts) {
  std::string key(name);
  if (subscripts.empty()) return key;
  key.push_back('%');
  key.push_back(static_cast<char>(subscripts.size()));
  while (key.size() % 4) key.push_back(static_cast<char>(0xDD));
  for (int32_t s : subscripts) {
    char bytes[sizeof s];
    std::memcpy(bytes, &s, sizeof s);
    key.append(bytes, sizeof s);
  }
  return key;
}

std::string NameResolver::variableKey(const VarRef& ref, std::span<const int32_t> subscripts) {
  return expVariableKey(ref.name, subscripts);
}

}  // namespace kvarn::script
