#include "script/statement.h"

namespace kvarn::script {

const char* commandTypeWord(CommandType type) {
  switch (type) {
    case CommandType::EndWhile: return "endwhile";
    case CommandType::EndFor: return "endfor";
    case CommandType::EndIf: return "endif";
    case CommandType::Else: return "else";
    case CommandType::EndFunc: return "endfunc";
    case CommandType::While: return "while";
    case CommandType::Foreach: return "foreach";
    case CommandType::Foritem: return "foritem";
    case CommandType::If: return "if";
    case CommandType::Func: return "func";
    default: return "";
  }
}

CommandNode* NodeList::append(std::unique_ptr<CommandNode> owned) {
  CommandNode* node = owned.release();
  node->prev = tail_;
  node->next = nullptr;
  if (tail_) tail_->next = node;
  else head_ = node;
  tail_ = node;
  ++size_;
  return node;
}

CommandNode* NodeList::append(CommandType type, std::string_view text, uint32_t line, uint32_t indent) {
  auto node = std::make_unique<CommandNode>();
  node->type = type;
  node->text.assign(text);
  node->line = line;
  node->indent = indent;
  return append(std::move(node));
}

void NodeList::unlink(CommandNode* node) {
  if (node->prev) node->prev->next = node->next;
  else head_ = node->next;
  if (node->next) node->next->prev = node->prev;
  else tail_ = node->prev;
  node->prev = node->next = nullptr;
  --size_;
}

void NodeList::moveRange(CommandNode* first, CommandNode* stop, NodeList& into) {
  while (first && first != stop) {
    CommandNode* following = first->next;
    unlink(first);
    into.append(std::unique_ptr<CommandNode>(first));
    first = following;
  }
}

void NodeList::clear() {
  // Iteratively: a list of a million nodes must not recurse.
  CommandNode* node = head_;
  head_ = tail_ = nullptr;
  size_ = 0;
  while (node) {
    CommandNode* following = node->next;
    delete node;
    node = following;
  }
}

FunctionDef* FunctionTable::find(std::string_view name) {
  auto it = functions_.find(name);
  return it == functions_.end() ? nullptr : it->second.get();
}

FunctionDef& FunctionTable::obtain(std::string_view name) {
  if (FunctionDef* f = find(name)) return *f;
  auto def = std::make_unique<FunctionDef>();
  def->name.assign(name);
  FunctionDef& ref = *def;
  functions_.emplace(std::string(name), std::move(def));
  return ref;
}

void FunctionTable::commit(bool success) {
  for (auto it = functions_.begin(); it != functions_.end();) {
    FunctionDef& f = *it->second;
    if (f.pendingBody) {
      if (success && !f.pendingFailed) {
        f.body = std::move(f.pendingBody);
        f.params = std::move(f.pendingParams);
      }
      f.pendingBody.reset();
      f.pendingParams.clear();
      f.pendingFailed = false;
    }
    if (!f.body) it = functions_.erase(it);
    else ++it;
  }
}

}  // namespace kvarn::script
