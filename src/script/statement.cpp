#include "script/statement.h"

#include "runtime/scan.h"

namespace kvarn::script {

namespace {

using CT = CommandType;
using WR = WordRole;

constexpr StatementWord kStatementWords[] = {
    {"if", CT::If, WR::Block},
    {"while", CT::While, WR::Block},
    {"foreach", CT::Foreach, WR::Block},
    {"foritem", CT::Foritem, WR::Block},
    {"else", CT::Else, WR::BlockPart},
    {"endif", CT::EndIf, WR::BlockPart},
    {"endfor", CT::EndFor, WR::BlockPart},
    {"endwhile", CT::EndWhile, WR::BlockPart},
    {"endfunc", CT::EndFunc, WR::BlockPart},
    {"func", CT::Func, WR::Statement},
    {"var", CT::Var, WR::Statement},
    {"label", CT::Label, WR::Statement},
    {"goto", CT::Goto, WR::Statement},
    {"return", CT::Return, WR::Statement},
    {"break", CT::Break, WR::Statement},
    {"continue", CT::Continue, WR::Statement},
    {"leave", CT::Leave, WR::Statement},
    {"sort", CT::Eval, WR::Eval},
    {"sortd", CT::Eval, WR::Eval},
    {"eval", CT::Eval, WR::Eval},
    {"fclose", CT::Eval, WR::Eval},
    {"system", CT::Eval, WR::Eval},
    {"exists", CT::Eval, WR::Eval},
    {"minsub", CT::Eval, WR::Eval},
    {"maxsub", CT::Eval, WR::Eval},
    {"random", CT::Eval, WR::Eval},
    {"delvar", CT::Eval, WR::Eval},
    {"numsubs", CT::Eval, WR::Eval},
    {"seedrand", CT::Eval, WR::Eval},
    {"print", CT::Command, WR::Issued},
    {"fprint", CT::Command, WR::Issued},
    {"wait", CT::Command, WR::Issued},
};

}  // namespace

std::span<const StatementWord> statementWords() { return kStatementWords; }

const StatementWord* findStatementWord(std::string_view word) {
  if (word.empty() || word.size() > 8) return nullptr;
  for (const StatementWord& w : kStatementWords)
    if (scanEqualsNoCase(word, w.word)) return &w;
  return nullptr;
}

const char* commandTypeWord(CommandType type) {
  for (const StatementWord& w : kStatementWords)
    if (w.type == type && (w.role == WR::Block || w.role == WR::BlockPart || type == CT::Func)) return w.word.data();
  return "";
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
