#include "engine/store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

namespace qmsim {

namespace {

constexpr const char* kObjectsHeader = "# qmsim object definitions v1";
constexpr char kMessagesMagic[8] = {'Q', 'M', 'S', 'M', 'S', 'G', '0', '1'};

// Values may hold any byte; '%', '=', control characters and trailing blanks are escaped.
std::string escape(const std::string& value) {
  std::string out;
  for (unsigned char c : value) {
    if (c == '%' || c == '=' || c < 0x20 || c == 0x7f) {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  if (!out.empty() && out.back() == ' ') {
    out.pop_back();
    out += "%20";
  }
  return out;
}

bool unescape(const std::string& text, std::string& out) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return false;
    unsigned value = 0;
    for (int k = 1; k <= 2; ++k) {
      char c = text[i + k];
      value <<= 4;
      if (c >= '0' && c <= '9') value |= c - '0';
      else if (c >= 'A' && c <= 'F') value |= c - 'A' + 10;
      else return false;
    }
    out += static_cast<char>(value);
    i += 2;
  }
  return true;
}

uint64_t fnv1a(const char* data, size_t size) {
  uint64_t h = 1469598103934665603ull;
  for (size_t i = 0; i < size; ++i) {
    h ^= static_cast<unsigned char>(data[i]);
    h *= 1099511628211ull;
  }
  return h;
}

void putU32(std::string& out, uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); }
void putU64(std::string& out, uint64_t v) { out.append(reinterpret_cast<const char*>(&v), 8); }

struct Reader {
  const std::string& buf;
  size_t pos = 0;
  bool take(void* dst, size_t n) {
    if (n > buf.size() - pos) return false;
    std::memcpy(dst, buf.data() + pos, n);
    pos += n;
    return true;
  }
  bool takeString(std::string& s, size_t n) {
    if (n > buf.size() - pos) return false;
    s.assign(buf, pos, n);
    pos += n;
    return true;
  }
};

bool readWholeFile(const std::filesystem::path& path, std::string& data, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open " + path.string() + ": " + std::strerror(errno);
    return false;
  }
  std::ostringstream ss;
  ss << in.rdbuf();
  if (in.bad()) {
    error = "cannot read " + path.string();
    return false;
  }
  data = ss.str();
  return true;
}

constexpr const char* kJournalHeader = "# qmsim object journal v1";

struct JournalEntry {
  bool remove = false;
  ObjectDef def;
};

// One journal line without its newline: "P|D <tab> kind <tab> name [<tab> key=value]...
// <tab> #checksum". False when it does not check out.
bool parseJournalLine(const std::string& line, JournalEntry& entry) {
  size_t mark = line.rfind("\t#");
  if (mark == std::string::npos || line.size() - mark != 18) return false;
  unsigned long long stored = 0;
  if (std::sscanf(line.c_str() + mark + 2, "%16llx", &stored) != 1 || stored != fnv1a(line.data(), mark)) return false;
  std::vector<std::string> fields;
  for (size_t start = 0;;) {
    size_t tab = line.find('\t', start);
    if (tab >= mark) {
      fields.push_back(line.substr(start, mark - start));
      break;
    }
    fields.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
  if (fields.size() < 3 || (fields[0] != "P" && fields[0] != "D")) return false;
  entry.remove = fields[0] == "D";
  auto kind = kindFromName(fields[1]);
  if (!kind || !unescape(fields[2], entry.def.name) || entry.def.name.empty()) return false;
  entry.def.kind = *kind;
  if (entry.remove && fields.size() != 3) return false;
  for (size_t i = 3; i < fields.size(); ++i) {
    size_t eq = fields[i].find('=');
    std::string value;
    if (eq == std::string::npos || eq == 0 || !unescape(fields[i].substr(eq + 1), value)) return false;
    entry.def.attrs[fields[i].substr(0, eq)] = value;
  }
  return true;
}

// Every complete line must check out; an incomplete last line is a torn append and is
// dropped. On failure `error` names the line.
bool parseJournal(const std::string& data, std::vector<JournalEntry>& entries, std::string& error) {
  size_t pos = 0;
  int lineNo = 0;
  while (pos < data.size()) {
    size_t end = data.find('\n', pos);
    if (end == std::string::npos) break;
    std::string line = data.substr(pos, end - pos);
    pos = end + 1;
    if (++lineNo == 1) {
      if (line != kJournalHeader) {
        error = "line 1: not a qmsim journal";
        return false;
      }
      continue;
    }
    JournalEntry entry;
    if (!parseJournalLine(line, entry)) {
      error = "line " + std::to_string(lineNo) + ": bad change record";
      return false;
    }
    entries.push_back(std::move(entry));
  }
  // No complete line at all: whatever there is must be the start of a torn header.
  if (lineNo == 0 && std::string_view(kJournalHeader).substr(0, data.size()) != data) {
    error = "line 1: not a qmsim journal";
    return false;
  }
  return true;
}

// Writes all of data; false with errno set when the file takes no more.
bool writeAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool writeFileAtomically(const std::filesystem::path& path, const std::string& data, std::string& error) {
  std::filesystem::path tmp = path;
  tmp += ".new";
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = "cannot create " + tmp.string() + ": " + std::strerror(errno);
    return false;
  }
  if (!writeAll(fd, data)) {
    error = "cannot write " + tmp.string() + ": " + std::strerror(errno);
    ::close(fd);
    ::unlink(tmp.c_str());
    return false;
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    error = "cannot flush " + tmp.string() + ": " + std::strerror(errno);
    ::unlink(tmp.c_str());
    return false;
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    error = "cannot rename " + tmp.string() + ": " + std::strerror(errno);
    ::unlink(tmp.c_str());
    return false;
  }
  return true;
}

Store::Store(std::filesystem::path dir) : dir_(std::move(dir)) {}

Store::~Store() {
  if (journalFd_ >= 0) ::close(journalFd_);
}

bool Store::hasObjects() const {
  std::error_code ec;
  return enabled() && std::filesystem::exists(dir_ / kObjectsFile, ec);
}

bool Store::saveObjects(const ObjectDef& qmgr, const std::vector<ObjectDef>& objects, std::string& error) {
  if (!enabled()) return true;
  std::string out = std::string(kObjectsHeader) + "\n";
  auto emit = [&out](const ObjectDef& def) {
    out.append("[").append(kindName(def.kind)).append(" ").append(escape(def.name)).append("]\n");
    for (const auto& [key, value] : def.attrs) out.append(key).append("=").append(escape(value)).append("\n");
  };
  emit(qmgr);
  for (const auto& def : objects) emit(def);
  out += "# end\n";
  if (!writeFileAtomically(dir_ / kObjectsFile, out, error)) return false;
  snapshotBytes_ = out.size();
  return resetJournal(error);
}

bool Store::resetJournal(std::string& error) {
  if (journalFd_ >= 0) ::close(journalFd_);
  journalFd_ = -1;
  journalBytes_ = 0;
  journalReplayed_ = false;
  journalBroken_ = false;
  std::error_code ec;
  if (!std::filesystem::exists(dir_ / kJournalFile, ec)) return true;
  return writeFileAtomically(dir_ / kJournalFile, std::string(kJournalHeader) + "\n", error);
}

bool Store::wantsSnapshot() const {
  return journalReplayed_ || journalBroken_ || journalBytes_ > snapshotBytes_ + (64u << 10);
}

bool Store::appendObject(const ObjectDef& def, std::string& error) {
  if (!enabled()) return true;
  std::string line = "P\t" + std::string(kindName(def.kind)) + "\t" + escape(def.name);
  for (const auto& [key, value] : def.attrs) line.append("\t").append(key).append("=").append(escape(value));
  return appendLine(std::move(line), error);
}

bool Store::appendRemoval(ObjectKind kind, const std::string& name, std::string& error) {
  if (!enabled()) return true;
  return appendLine("D\t" + std::string(kindName(kind)) + "\t" + escape(name), error);
}

bool Store::appendLine(std::string line, std::string& error) {
  std::filesystem::path path = dir_ / kJournalFile;
  if (journalBroken_) {
    error = path.string() + " needs a new snapshot after a failed write";
    return false;
  }
  if (journalFd_ < 0) {
    journalFd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (journalFd_ < 0) {
      error = "cannot open " + path.string() + ": " + std::strerror(errno);
      return false;
    }
    struct stat st {};
    if (::fstat(journalFd_, &st) == 0 && st.st_size == 0) line = std::string(kJournalHeader) + "\n" + line;
  }
  char check[24];
  size_t body = line.rfind('\n') == std::string::npos ? 0 : line.rfind('\n') + 1;
  std::snprintf(check, sizeof check, "\t#%016llx\n",
                static_cast<unsigned long long>(fnv1a(line.data() + body, line.size() - body)));
  line += check;
  struct stat st {};
  off_t before = ::fstat(journalFd_, &st) == 0 ? st.st_size : -1;
  if (writeAll(journalFd_, line) && ::fsync(journalFd_) == 0) {
    journalBytes_ += line.size();
    return true;
  }
  error = "cannot write " + path.string() + ": " + std::strerror(errno);
  // A line written in part would stand before the next one and make the journal
  // unreadable: cut it off, or failing that take no more lines until a snapshot.
  if (before < 0 || ::ftruncate(journalFd_, before) != 0) journalBroken_ = true;
  return false;
}

bool Store::loadSnapshot(ObjectDef& qmgr, std::vector<ObjectDef>& objects, std::string& error) {
  std::filesystem::path path = dir_ / kObjectsFile;
  std::string data;
  if (!readWholeFile(path, data, error)) return false;
  std::istringstream in(data);
  std::string line;
  int lineNo = 0;
  auto damaged = [&](const std::string& why) {
    error = path.string() + " is damaged at line " + std::to_string(lineNo) + ": " + why;
    return false;
  };
  bool sawEnd = false, sawQMgr = false;
  ObjectDef* current = nullptr;
  objects.clear();
  while (std::getline(in, line)) {
    ++lineNo;
    if (lineNo == 1) {
      if (line != kObjectsHeader) return damaged("not a qmsim object file");
      continue;
    }
    if (sawEnd) return damaged("data after the end marker");
    if (line == "# end") {
      sawEnd = true;
      continue;
    }
    if (!line.empty() && line.front() == '[') {
      size_t space = line.find(' ');
      if (line.back() != ']' || space == std::string::npos) return damaged("bad section header");
      auto kind = kindFromName(line.substr(1, space - 1));
      std::string name;
      if (!kind || !unescape(line.substr(space + 1, line.size() - space - 2), name) || name.empty())
        return damaged("bad section header");
      if (*kind == ObjectKind::QMgr) {
        if (sawQMgr) return damaged("second queue manager section");
        sawQMgr = true;
        qmgr = ObjectDef{ObjectKind::QMgr, name, {}};
        current = &qmgr;
      } else {
        objects.push_back(ObjectDef{*kind, name, {}});
        current = &objects.back();
      }
      continue;
    }
    size_t eq = line.find('=');
    std::string value;
    if (current == nullptr || eq == std::string::npos || eq == 0 || !unescape(line.substr(eq + 1), value))
      return damaged("bad attribute line");
    current->attrs[line.substr(0, eq)] = value;
  }
  if (!sawEnd) return damaged("file is truncated");
  if (!sawQMgr) return damaged("no queue manager section");
  snapshotBytes_ = data.size();
  return true;
}

bool Store::loadObjects(ObjectDef& qmgr, std::vector<ObjectDef>& objects, std::string& error) {
  if (!loadSnapshot(qmgr, objects, error)) return false;
  std::filesystem::path path = dir_ / kJournalFile;
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return true;
  std::string data;
  if (!readWholeFile(path, data, error)) return false;
  std::vector<JournalEntry> entries;
  if (!parseJournal(data, entries, error)) {
    error = path.string() + " is damaged at " + error;
    return false;
  }
  std::map<std::pair<ObjectKind, std::string>, size_t> where;
  for (size_t i = 0; i < objects.size(); ++i) where[{objects[i].kind, objects[i].name}] = i;
  std::vector<bool> removed(objects.size(), false);
  for (auto& e : entries) {
    if (e.def.kind == ObjectKind::QMgr) {
      if (!e.remove) qmgr = std::move(e.def);
      continue;
    }
    auto key = std::make_pair(e.def.kind, e.def.name);
    auto it = where.find(key);
    if (e.remove) {
      if (it != where.end()) removed[it->second] = true, where.erase(it);
    } else if (it != where.end()) {
      objects[it->second] = std::move(e.def);
    } else {
      where[key] = objects.size();
      objects.push_back(std::move(e.def));
      removed.push_back(false);
    }
  }
  std::vector<ObjectDef> kept;
  kept.reserve(objects.size());
  for (size_t i = 0; i < objects.size(); ++i)
    if (!removed[i]) kept.push_back(std::move(objects[i]));
  objects = std::move(kept);
  journalReplayed_ = !entries.empty() || data.size() > std::strlen(kJournalHeader) + 1;
  return true;
}

bool Store::saveMessages(const std::vector<StoredMessage>& messages, std::string& error) {
  if (!enabled()) return true;
  std::string out(kMessagesMagic, sizeof kMessagesMagic);
  putU32(out, static_cast<uint32_t>(messages.size()));
  for (const auto& m : messages) {
    putU32(out, static_cast<uint32_t>(m.queue.size()));
    out += m.queue;
    out.append(reinterpret_cast<const char*>(&m.md), sizeof(MQMD));
    putU32(out, static_cast<uint32_t>(m.data.size()));
    out += m.data;
  }
  putU64(out, fnv1a(out.data(), out.size()));
  return writeFileAtomically(dir_ / kMessagesFile, out, error);
}

bool Store::loadMessages(std::vector<StoredMessage>& messages, std::string& error) const {
  messages.clear();
  std::filesystem::path path = dir_ / kMessagesFile;
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return true;
  std::string data;
  if (!readWholeFile(path, data, error)) return false;
  auto damaged = [&](const char* why) {
    error = path.string() + " is damaged: " + why;
    return false;
  };
  if (data.size() < sizeof kMessagesMagic + 12 || std::memcmp(data.data(), kMessagesMagic, 8) != 0)
    return damaged("not a qmsim message file");
  uint64_t stored;
  std::memcpy(&stored, data.data() + data.size() - 8, 8);
  if (stored != fnv1a(data.data(), data.size() - 8)) return damaged("checksum mismatch");
  std::string body = data.substr(0, data.size() - 8);
  Reader r{body, sizeof kMessagesMagic};
  uint32_t count = 0;
  if (!r.take(&count, 4)) return damaged("truncated");
  for (uint32_t i = 0; i < count; ++i) {
    StoredMessage m;
    uint32_t len = 0;
    if (!r.take(&len, 4) || !r.takeString(m.queue, len) || !r.take(&m.md, sizeof(MQMD)) || !r.take(&len, 4) ||
        !r.takeString(m.data, len))
      return damaged("truncated record");
    messages.push_back(std::move(m));
  }
  if (r.pos != body.size()) return damaged("trailing data");
  return true;
}

}  // namespace qmsim
