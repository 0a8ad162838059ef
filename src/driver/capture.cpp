#include "driver/capture.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "context/output.h"

namespace {

constexpr size_t kMaxCaptureLine = 10000;
constexpr size_t kMaxCaptureBlock = 50000;

enum class Marker { None, Request, Response, End };

Marker markerOf(std::string_view line) {
  if (line == "<Request>") return Marker::Request;
  if (line == "<Response>") return Marker::Response;
  if (line == "<End>") return Marker::End;
  return Marker::None;
}

// Accumulates the lines of one block, capped at the block limit.
struct Block {
  std::string text;
  bool any = false;
  void addLine(std::string_view line) {
    if (any && text.size() < kMaxCaptureBlock) text += '\n';
    any = true;
    size_t room = kMaxCaptureBlock - std::min(text.size(), kMaxCaptureBlock);
    text.append(line.substr(0, room));
  }
};

} // namespace

CaptureFile::CaptureFile() = default;
CaptureFile::~CaptureFile() = default;

void CaptureFile::add(std::string_view request, std::string response) {
  std::string key(request);
  if (const Entry *e = find(key)) {
    const_cast<Entry *>(e)->responses.push_back(std::move(response));
    return;
  }
  auto entry = std::make_unique<Entry>();
  entry->request = std::move(key);
  entry->responses.push_back(std::move(response));
  auto node = std::make_unique<Node>();
  std::memset(&node->node, 0, sizeof node->node);
  node->key = entry->request.c_str();
  node->entry = entries_.size();
  entries_.push_back(std::move(entry));
  indexInsert(index_, &node->node, sizeof(Node), kKeyTextExact, kIndexUseCallerNode);
  nodes_.push_back(std::move(node));
}

const CaptureFile::Entry *CaptureFile::find(std::string_view request) const {
  std::string key(request);
  IndexNode *n = indexFind(index_, key.c_str(), kKeyTextExact);
  if (!n) return nullptr;
  return entries_[reinterpret_cast<Node *>(n)->entry].get();
}

std::vector<const CaptureFile::Entry *> CaptureFile::entries() const {
  std::vector<const Entry *> out;
  for (IndexNode *n = index_.first; n; n = n->next) out.push_back(entries_[reinterpret_cast<Node *>(n)->entry].get());
  return out;
}

CaptureLoadResult parseCaptureText(std::string_view text, CaptureFile &capture) {
  Marker current = Marker::None;
  std::string request;
  bool haveRequest = false;
  Block block;
  bool ended = false;
  auto finishBlock = [&]() {
    if (current == Marker::Request) {
      request = block.text;
      haveRequest = true;
    } else if (current == Marker::Response && haveRequest) {
      capture.add(request, block.text);
    }
    block = Block{};
  };
  size_t pos = 0;
  while (pos < text.size() && !ended) {
    size_t nl = text.find('\n', pos);
    std::string_view line = text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
    pos = nl == std::string_view::npos ? text.size() : nl + 1;
    if (line.size() > kMaxCaptureLine) line = line.substr(0, kMaxCaptureLine);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    Marker m = markerOf(line);
    if (m == Marker::None) {
      if (current != Marker::None) block.addLine(line);
      continue;
    }
    finishBlock();
    current = m;
    if (m == Marker::End) ended = true;
  }
  if (!ended) return {false, "Capture file has no <End> record"};
  return {};
}

CaptureLoadResult loadCaptureFile(const std::string &path, CaptureFile &capture) {
  FILE *f = std::fopen(path.c_str(), "rb");
  if (!f) return {};   // a new capture: the file is created at the end
  std::string text;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) return {false, strFormat("Error reading from file '%s'", path.c_str())};
  CaptureLoadResult r = parseCaptureText(text, capture);
  if (!r.ok) r.error = strFormat("Capture file '%s' has no <End> record", path.c_str());
  return r;
}

CaptureLoadResult writeCaptureFile(const std::string &path, const CaptureFile &capture) {
  std::string tmp = path + ".tmp";
  FILE *f = std::fopen(tmp.c_str(), "wb");
  if (!f) return {false, strFormat("Can not open file '%s'", tmp.c_str())};
  for (const CaptureFile::Entry *e : capture.entries()) {
    if (e->responses.empty()) continue;
    std::fprintf(f, "<Request>\n%s\n", e->request.c_str());
    for (const auto &r : e->responses) std::fprintf(f, "<Response>\n%s\n", r.c_str());
  }
  std::fputs("<End>\n", f);
  bool failed = std::fflush(f) != 0 || std::ferror(f) != 0 || fsync(fileno(f)) != 0;
  failed = std::fclose(f) != 0 || failed;
  if (failed || std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::remove(tmp.c_str());
    return {false, strFormat("Can not write capture file '%s'", path.c_str())};
  }
  return {};
}
