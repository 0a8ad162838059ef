#include "script/variables.h"

#include <algorithm>
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

std::string_view varMakeKey(char (&buf)[kMaxVariableKey], std::string_view name, const int32_t* subscripts,
                            size_t count) {
  size_t at = name.size();
  std::memcpy(buf, name.data(), at);
  if (!count) return {buf, at};
  buf[at++] = '%';
  buf[at++] = static_cast<char>(count);
  while (at % 4) buf[at++] = static_cast<char>(0xDD);
  std::memcpy(buf + at, subscripts, 4 * count);
  return {buf, at + 4 * count};
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

void storeChanged() { variablesStampCounter.fetch_add(1, std::memory_order_relaxed); }

}  // namespace

// Keys are at most 52 bytes: eight at a time, multiplied and folded.
uint64_t KeyIndex::hash(std::string_view key) {
  const char* p = key.data();
  size_t n = key.size();
  uint64_t h = 0x9E3779B97F4A7C15ull ^ n;
  for (; n >= 8; p += 8, n -= 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    h = (h ^ w) * 0xFF51AFD7ED558CCDull;
    h ^= h >> 32;
  }
  uint64_t w = 0;
  std::memcpy(&w, p, n);
  h = (h ^ w) * 0xC4CEB9FE1A85EC53ull;
  return h ^ (h >> 29);
}

VariableRecord* KeyIndex::find(std::string_view key, uint64_t h) const {
  if (slots_.empty()) return nullptr;
  size_t mask = slots_.size() - 1;
  for (size_t i = home(h);; i = (i + 1) & mask) {
    const Slot& s = slots_[i];
    if (!s.key) return nullptr;
    if (s.hash == h && *s.key == key) return s.rec;
  }
}

void KeyIndex::insert(const std::string* key, VariableRecord* rec, uint64_t h) {
  if ((used_ + 1) * 2 > slots_.size()) grow();
  size_t mask = slots_.size() - 1;
  size_t i = home(h);
  while (slots_[i].key) i = (i + 1) & mask;
  slots_[i] = Slot{h, key, rec};
  ++used_;
}

// Linear probing without tombstones: the entries after the freed slot that could not
// sit at their home shift back into it.
void KeyIndex::erase(std::string_view key, uint64_t h) {
  if (slots_.empty()) return;
  size_t mask = slots_.size() - 1;
  size_t i = home(h);
  for (;; i = (i + 1) & mask) {
    if (!slots_[i].key) return;
    if (slots_[i].hash == h && *slots_[i].key == key) break;
  }
  for (size_t j = (i + 1) & mask; slots_[j].key; j = (j + 1) & mask) {
    size_t k = home(slots_[j].hash);
    bool homeInGap = i <= j ? (k <= i || k > j) : (k <= i && k > j);
    if (homeInGap) {
      slots_[i] = slots_[j];
      i = j;
    }
  }
  slots_[i] = Slot{};
  --used_;
}

void KeyIndex::grow() {
  std::vector<Slot> old(slots_.empty() ? 16 : slots_.size() * 2);
  old.swap(slots_);
  size_t mask = slots_.size() - 1;
  for (const Slot& s : old) {
    if (!s.key) continue;
    size_t i = home(s.hash);
    while (slots_[i].key) i = (i + 1) & mask;
    slots_[i] = s;
  }
}

// ---- arrays

uint64_t ArrayStore::hash(const Subscripts& key) {
  uint64_t lo, hi;
  std::memcpy(&lo, key.at, 8);
  std::memcpy(&hi, key.at + 2, 8);
  uint64_t h = (lo ^ (hi * 0xC2B2AE3D27D4EB4Full)) * 0x9E3779B97F4A7C15ull;
  return h ^ (h >> 29);
}

size_t ArrayStore::slotOf(const Subscripts& key) const {
  size_t mask = index_.size() - 1;
  for (size_t i = home(hash(key));; i = (i + 1) & mask) {
    uint32_t n = index_[i];
    if (!n || elements_[n - 1].key == key) return i;
  }
}

VariableRecord* ArrayStore::find(const Subscripts& key) const {
  if (index_.empty()) return nullptr;
  uint32_t n = index_[slotOf(key)];
  return n ? const_cast<VariableRecord*>(&elements_[n - 1].record) : nullptr;
}

VariableRecord& ArrayStore::obtain(const Subscripts& key) {
  if ((elements_.size() + 1) * 10 > index_.size() * 7) grow();
  size_t slot = slotOf(key);
  if (uint32_t n = index_[slot]) return elements_[n - 1].record;
  elements_.push_back(ArrayElement{key, {}});
  index_[slot] = static_cast<uint32_t>(elements_.size());
  return elements_.back().record;
}

// Linear probing without tombstones: the entries after the freed slot that could not
// sit at their home shift back into it. The last element moves into the erased one's
// place, and its slot is told so.
bool ArrayStore::erase(const Subscripts& key) {
  if (index_.empty()) return false;
  size_t i = slotOf(key);
  uint32_t n = index_[i];
  if (!n) return false;
  size_t mask = index_.size() - 1;
  for (size_t j = (i + 1) & mask; index_[j]; j = (j + 1) & mask) {
    size_t k = home(hash(elements_[index_[j] - 1].key));
    bool homeInGap = i <= j ? (k <= i || k > j) : (k <= i && k > j);
    if (homeInGap) {
      index_[i] = index_[j];
      i = j;
    }
  }
  index_[i] = 0;
  uint32_t last = static_cast<uint32_t>(elements_.size());
  if (n != last) {
    index_[slotOf(elements_.back().key)] = n;
    elements_[n - 1] = std::move(elements_.back());
  }
  elements_.pop_back();
  return true;
}

void ArrayStore::grow() {
  std::vector<uint32_t> fresh(index_.empty() ? 16 : index_.size() * 2, 0);
  index_.swap(fresh);
  size_t mask = index_.size() - 1;
  for (uint32_t n = 1; n <= elements_.size(); ++n) {
    size_t i = home(hash(elements_[n - 1].key));
    while (index_[i]) i = (i + 1) & mask;
    index_[i] = n;
  }
}

// ---- scopes

Scope::~Scope() { storeChanged(); }

namespace {
bool isPlainKey(std::string_view key) { return key.find('%') == std::string_view::npos; }

// The array name and subscripts of an element key; false for a malformed one.
bool elementOf(std::string_view key, std::string_view& name, Subscripts& subscripts) {
  ParsedKey parsed;
  if (!varParseKey(key, parsed) || !parsed.count) return false;
  for (int i = 0; i < parsed.count; ++i)
    if (parsed.subscripts[i] < 1) return false;
  name = parsed.name;
  subscripts = Subscripts::of(parsed.subscripts, static_cast<size_t>(parsed.count));
  return true;
}
}  // namespace

ArrayStore* Scope::array(std::string_view name) const {
  if (arrays_.empty()) return nullptr;
  auto it = arrays_.find(name);
  return it == arrays_.end() ? nullptr : it->second.get();
}

ArrayStore& Scope::obtainArray(std::string_view name) {
  auto it = arrays_.find(name);
  if (it != arrays_.end()) return *it->second;
  storeChanged();
  return *arrays_.emplace(std::string(name), std::make_unique<ArrayStore>()).first->second;
}

VariableRecord& Scope::obtainPlain(std::string_view key) {
  uint64_t h = KeyIndex::hash(key);
  if (VariableRecord* rec = index_.find(key, h)) return *rec;
  auto it = records_.emplace(std::string(key), VariableRecord{}).first;
  index_.insert(&it->first, &it->second, h);
  storeChanged();
  return it->second;
}

VariableRecord& Scope::obtain(std::string_view key) {
  std::string_view name;
  Subscripts subscripts;
  if (isPlainKey(key) || !elementOf(key, name, subscripts)) return obtainPlain(key);
  return obtainArray(name).obtain(subscripts);
}

size_t Scope::eraseArray(std::string_view name) {
  auto it = arrays_.find(name);
  if (it == arrays_.end()) return 0;
  size_t count = it->second->size();
  arrays_.erase(it);
  storeChanged();
  return count;
}

bool Scope::erase(std::string_view key) {
  std::string_view name;
  Subscripts subscripts;
  if (!isPlainKey(key) && elementOf(key, name, subscripts)) {
    auto it = arrays_.find(name);
    if (it == arrays_.end() || !it->second->erase(subscripts)) return false;
    if (it->second->empty()) arrays_.erase(it);
    storeChanged();
    return true;
  }
  auto it = records_.find(key);
  if (it == records_.end()) return false;
  index_.erase(key, KeyIndex::hash(key));
  records_.erase(it);
  storeChanged();
  return true;
}

Variables::Variables() { pushScope(); }

void Variables::pushScope() {
  scopes_.push_back(std::make_unique<Scope>());
  storeChanged();
}

void Variables::popScope() {
  if (scopes_.size() > 1) scopes_.pop_back();  // the scope's destructor marks the change
}

std::vector<std::unique_ptr<Scope>> Variables::setAsideScopes(size_t depth) {
  std::vector<std::unique_ptr<Scope>> aside;
  depth = std::max<size_t>(depth, 1);
  while (scopes_.size() > depth) {
    aside.push_back(std::move(scopes_.back()));
    scopes_.pop_back();
  }
  storeChanged();
  return aside;
}

void Variables::restoreScopes(std::vector<std::unique_ptr<Scope>> scopes) {
  while (!scopes.empty()) {
    scopes_.push_back(std::move(scopes.back()));
    scopes.pop_back();
  }
  storeChanged();
}

VariableRecord* Variables::find(std::string_view key) {
  if (!isPlainKey(key)) {
    std::string_view name;
    Subscripts subscripts;
    return elementOf(key, name, subscripts) ? findElement(name, subscripts, nullptr) : nullptr;
  }
  uint64_t h = KeyIndex::hash(key);
  for (auto it = scopes_.rbegin(); it != scopes_.rend(); ++it)
    if (VariableRecord* r = (*it)->findPlain(key, h)) return r;
  return nullptr;
}

VariableRecord* Variables::findAndNote(std::string_view key, VariableMemo& memo) {
  uint64_t now = variablesStamp();
  VariableRecord* r = find(key);
  memo = VariableMemo{now, this, r, nullptr};
  return r;
}

ArrayStore* Variables::soleArrayNoted(std::string_view name, VariableMemo& memo) {
  uint64_t now = variablesStamp();
  ArrayStore* sole = nullptr;
  int holders = 0;
  for (auto& scope : scopes_)
    if (ArrayStore* store = scope->array(name)) {
      sole = store;
      ++holders;
    }
  memo = VariableMemo{now, this, nullptr, holders == 1 ? sole : nullptr};
  return memo.array;
}

VariableRecord* Variables::findElement(std::string_view name, const Subscripts& subscripts, VariableMemo* memo) {
  if (memo)
    if (ArrayStore* store = soleArray(name, *memo)) return store->find(subscripts);
  for (auto it = scopes_.rbegin(); it != scopes_.rend(); ++it)
    if (ArrayStore* store = (*it)->array(name))
      if (VariableRecord* r = store->find(subscripts)) return r;
  return nullptr;
}

void Variables::setElement(std::string_view name, const Subscripts& subscripts, const Value& value,
                           VariableMemo* memo) {
  ArrayStore* store = memo ? soleArray(name, *memo) : nullptr;
  if (!store) {
    for (auto it = scopes_.rbegin(); it != scopes_.rend() && !store; ++it) store = (*it)->array(name);
    if (!store) store = &current().obtainArray(name);
  }
  VariableRecord& rec = store->obtain(subscripts);
  storeValue(rec.value, value);
  rec.hasValue = true;
}

ArrayStore* Variables::findArray(std::string_view name) {
  for (auto it = scopes_.rbegin(); it != scopes_.rend(); ++it)
    if (ArrayStore* store = (*it)->array(name)) return store;
  return nullptr;
}

void storeOtherValue(Value& dst, const Value& src) {
  if (&dst == &src) return;
  switch (src.type()) {
  case LexemeType::Int: dst.setInt(src.asInt()); return;
  case LexemeType::Dbl: dst.setDbl(src.asDbl()); return;
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
  std::string_view name = varKeyName(key);
  if (key.size() > kMaxVariableKey || name.size() > kMaxVariableName) return false;
  if (name.size() != key.size()) {
    std::string_view arrayName;
    Subscripts subscripts;
    if (!elementOf(key, arrayName, subscripts)) return false;  // malformed, or a subscript below 1
  }
  VariableRecord* rec = createLocal ? &current().obtain(key) : place(key, name);
  if (value) {
    storeValue(rec->value, *value);
    rec->hasValue = true;
  } else if (createLocal) {
    rec->value.clear();
    rec->hasValue = false;
  }
  return true;
}

// Innermost first: the scope holding the key itself or, for an element, any element of
// its array; else the current scope. The record is made there when missing.
VariableRecord* Variables::place(std::string_view key, std::string_view name) {
  if (name.size() == key.size()) {
    uint64_t h = KeyIndex::hash(key);
    for (auto s = scopes_.rbegin(); s != scopes_.rend(); ++s)
      if (VariableRecord* rec = (*s)->findPlain(key, h)) return rec;
    return &current().obtain(key);
  }
  std::string_view arrayName;
  Subscripts subscripts;
  if (!elementOf(key, arrayName, subscripts)) return &current().obtain(key);
  for (auto s = scopes_.rbegin(); s != scopes_.rend(); ++s)
    if (ArrayStore* store = (*s)->array(arrayName)) return &store->obtain(subscripts);
  return &current().obtainArray(arrayName).obtain(subscripts);
}

void Variables::assignAndNote(std::string_view key, const Value& value, VariableMemo& memo) {
  set(key, false, &value);
  memo = VariableMemo{variablesStamp(), this, find(key), nullptr};
}

size_t Variables::remove(std::string_view key) {
  Scope& scope = current();
  std::string_view name = varKeyName(key);
  size_t removed = 0;
  if (name.size() == key.size()) removed = scope.eraseArray(name);
  if (scope.erase(key)) ++removed;
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
