// =show func: the defined functions whose names match a pattern, with their comment
// block and body when asked.
#include "script/function_listing.h"

#include "script/script_state.h"

namespace kvarn::script {

namespace {

bool isSourceText(CommandType type) {
  return type == CommandType::SourceLine || type == CommandType::MultiLine || type == CommandType::BlankLine ||
         type == CommandType::Comment;
}

std::string header(const FunctionDef& f) {
  std::string line = "func " + f.name + "(";
  if (f.params.empty()) line += "<No parameters>";
  for (size_t i = 0; i < f.params.size(); ++i) {
    if (i) line += ",";
    line += f.params[i].substr(1);  // stored with its '@'
  }
  return line + ")";
}

void addBody(const FunctionDef& f, std::vector<std::string>& lines) {
  CommandNode* n = f.body->head();
  // The comment block above the definition comes first, then the body as written.
  for (; n && (n->type == CommandType::Comment || n->type == CommandType::BlankLine); n = n->next)
    lines.push_back(n->text);
  lines.push_back(header(f));
  for (; n; n = n->next)
    if (isSourceText(n->type)) lines.push_back(n->text);
}

}  // namespace

std::vector<std::string> cmdDescribeFunctions(ProgramContext& ctx, std::string_view pattern, bool withBody) {
  const FunctionTable& table = scriptState(ctx).functions;
  std::vector<std::string> lines;
  if (table.all().empty()) return {"No functions defined"};
  for (const auto& [name, def] : table.all()) {
    if (!def->body) continue;
    if (!pattern.empty() && !patternMatch(name, pattern, false)) continue;
    if (withBody) addBody(*def, lines);
    else lines.push_back(header(*def));
  }
  if (lines.empty()) lines.push_back("No matching functions found");
  return lines;
}

}  // namespace kvarn::script
