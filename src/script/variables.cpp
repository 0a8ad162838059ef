#include "script/variables.h"

#include <charconv>
#include <cstring>

#include "script/exp_context.h"

namespace kvarn::script {

std::string_view varKeyName(std::string_view key) {
  size_t pct = key.find('%');
  return pct == std::string_view::npos ? key : key.substr(0, pct);
}

bool varParseKey(std::string_view key, ParsedKey& out) {
  out = ParsedKey{};
  size_t pct = key.find('%');
  out.name = key.substr(0, pct);
  if (pct == std::string_view::npos) return true;
  if (pct + 1 >= key.size()) return false;
  int count = static_cast<unsigned char>(key[pct + 1]);
  if (count < 1 || count > 4) return false;
  size_t at = pct + 2;
  while (at % 4) {
    if (at >= key.size() || static_cast<unsigned char>(key[at]) != 0xDD) return false;
    ++at;
  }
  if (key.size() != at + 4 * static_cast<size_t>(count)) return false;
  out.count = count;
  for (int i = 0; i < count; ++i) std::memcpy(&out.subscripts[i], key.data() + at + 4 * i, 4);
  return true;
}

std::string varDisplayName(std::string_view key) {
  ParsedKey parsed;
  if (!varParseKey(key, parsed)) return std::string(varKeyName(key));
  std::string out(parsed.name);
  if (!parsed.count) return out;
  out += '[';
  for (int i = 0; i < parsed.count; ++i) {
    if (i) out += ',';
    out += std::to_string(parsed.subscripts[i]);
  }
  out += ']';
  return out;
}

namespace {
std::string arrayPrefix(std::string_view name) {
  std::string p(name);
  p += '%';
  return p;
}
}  // namespace

VariableRecord* Scope::find(std::string_view key) {
  auto it = records_.find(key);
  return it == records_.end() ? nullptr : &it->second;
}

bool Scope::holdsArray(std::string_view name) const {
  std::string prefix = arrayPrefix(name);
  auto it = records_.lower_bound(prefix);
  return it != records_.end() && it->first.compare(0, prefix.size(), prefix) == 0;
}

std::pair<Scope::Map::iterator, Scope::Map::iterator> Scope::elements(std::string_view name) {
  std::string prefix = arrayPrefix(name);
  auto first = records_.lower_bound(prefix);
  auto last = first;
  while (last != records_.end() && last->first.compare(0, prefix.size(), prefix) == 0) ++last;
  return {first, last};
}

Variables::Variables() { scopes_.push_back(std::make_unique<Scope>()); }

void Variables::pushScope() { scopes_.push_back(std::make_unique<Scope>()); }

void Variables::popScope() {
  if (scopes_.size() > 1) scopes_.pop_back();
}

VariableRecord* Variables::find(std::string_view key) {
  for (auto it = scopes_.rbegin(); it != scopes_.rend(); ++it)
    if (VariableRecord* r = (*it)->find(key)) return r;
  return nullptr;
}

Scope* Variables::findArrayScope(std::string_view name) {
  for (auto it = scopes_.rbegin(); it != scopes_.rend(); ++it)
    if ((*it)->holdsArray(name)) return it->get();
  return nullptr;
}

Scope* Variables::findScope(std::string_view key) {
  std::string_view name = varKeyName(key);
  if (name.size() == key.size()) {
    for (auto it = scopes_.rbegin(); it != scopes_.rend(); ++it)
      if ((*it)->find(key)) return it->get();
    return nullptr;
  }
  return findArrayScope(name);
}

void storeValue(Value& dst, const Value& src) {
  if (&dst == &src) return;
  switch (src.type()) {
    case LexemeType::Str:
    case LexemeType::PStr:
    case LexemeType::EPStr: {
      std::string_view bytes = src.bytes();
      if (bytes.empty()) {
        dst.setView({});
      } else if (dst.type() == LexemeType::PStr && bytes.data() == dst.bytes().data() &&
                 bytes.size() == dst.bytes().size()) {
        return;  // the record's own bytes
      } else {
        dst.setConcat(bytes, {});
      }
      return;
    }
    case LexemeType::List: dst.setListBytes(std::string(src.bytes())); return;
    default: dst = src; return;
  }
}

bool Variables::set(std::string_view key, bool createLocal, const Value* value) {
  if (key.size() > kMaxVariableKey || varKeyName(key).size() > kMaxVariableName) return false;
  std::string_view name = varKeyName(key);
  bool element = name.size() != key.size();
  // One descent per scope: the position of the key tells both whether it is there and,
  // for an element, whether a neighbour belongs to the same array.
  Scope::Map* target = nullptr;
  Scope::Map::iterator hint;
  auto sameArray = [&](const std::string& other) {
    return other.size() > name.size() && other.compare(0, name.size(), name) == 0 && other[name.size()] == '%';
  };
  for (auto s = scopes_.rbegin(); s != scopes_.rend() && !target; ++s) {
    if (createLocal && s != scopes_.rbegin()) break;
    Scope::Map& map = (*s)->records();
    auto it = map.lower_bound(key);
    bool exact = it != map.end() && it->first == key;
    bool holds = exact || createLocal ||
                 (element && ((it != map.end() && sameArray(it->first)) ||
                              (it != map.begin() && sameArray(std::prev(it)->first))));
    if (holds) {
      target = &map;
      hint = it;
    }
  }
  if (!target) {
    target = &current().records();
    hint = target->lower_bound(key);
  }
  if (hint == target->end() || hint->first != key) hint = target->emplace_hint(hint, std::string(key), VariableRecord{});
  VariableRecord& rec = hint->second;
  if (value) {
    storeValue(rec.value, *value);
    rec.hasValue = true;
  } else if (createLocal) {
    rec.value.clear();
    rec.hasValue = false;
  }
  return true;
}

size_t Variables::remove(std::string_view key) {
  Scope& scope = current();
  std::string_view name = varKeyName(key);
  size_t removed = 0;
  if (name.size() == key.size()) {
    auto [first, last] = scope.elements(name);
    removed = static_cast<size_t>(std::distance(first, last));
    scope.records().erase(first, last);
  }
  auto it = scope.records().find(key);
  if (it != scope.records().end()) {
    scope.records().erase(it);
    ++removed;
  }
  return removed;
}

bool parseNumberText(std::string_view text, Value& out) {
  if (text.empty()) return false;
  size_t i = text[0] == '-' ? 1 : 0;
  size_t digits = 0, dots = 0;
  for (size_t k = i; k < text.size(); ++k) {
    char c = text[k];
    if (c >= '0' && c <= '9') ++digits;
    else if (c == '.') ++dots;
    else return false;
  }
  if (!digits || dots > 1) return false;
  const char* end = text.data() + text.size();
  if (!dots) {
    int64_t v = 0;
    auto r = std::from_chars(text.data(), end, v);
    if (r.ec != std::errc() || r.ptr != end) return false;
    out.setInt(v);
    return true;
  }
  double d = 0;
  auto r = std::from_chars(text.data(), end, d);
  if (r.ec != std::errc() || r.ptr != end) return false;
  out.setDbl(d);
  return true;
}

}  // namespace kvarn::script
