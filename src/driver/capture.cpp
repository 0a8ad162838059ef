#include "driver/capture.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "context/output.h"
#include "runtime/regular_file.h"

namespace {

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
  bool cut = false;
  void addLine(std::string_view line) {
    if (any) {
      if (text.size() < kMaxCaptureBlock) text += '\n';
      else cut = true;
    }
    any = true;
    size_t room = kMaxCaptureBlock - std::min(text.size(), kMaxCaptureBlock);
    if (line.size() > room) cut = true;
    text.append(line.substr(0, room));
  }
};

}  // namespace

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
  bool cut = false;
  auto finishBlock = [&]() {
    cut = cut || block.cut;
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
    if (line.size() > kMaxCaptureLine) {
      line = line.substr(0, kMaxCaptureLine);
      cut = true;
    }
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
  CaptureLoadResult r;
  r.leaveUnchanged = cut;
  return r;
}

CaptureLoadResult loadCaptureFile(const std::string &path, CaptureFile &capture) {
  auto unused = [&](const std::string &why) {
    CaptureLoadResult r;
    r.leaveUnchanged = true;
    r.notice = strFormat("Capture file '%s' is not used and is left unchanged: %s", path.c_str(), why.c_str());
    return r;
  };
  RegularFile file = openRegularFile(path);
  if (file.status == RegularFileStatus::Missing) return {};  // a new capture: the file is created at the end
  if (!file.stream) return unused(file.reason());
  if (file.size > kMaxCaptureFileSize) {
    std::fclose(file.stream);
    return unused(strFormat("it is larger than %lld bytes", static_cast<long long>(kMaxCaptureFileSize)));
  }
  std::string text;
  char buf[65536];
  size_t n;
  bool tooLarge = false;
  while ((n = std::fread(buf, 1, sizeof buf, file.stream)) > 0) {
    text.append(buf, n);
    if (static_cast<int64_t>(text.size()) > kMaxCaptureFileSize) {  // it grew while being read
      tooLarge = true;
      break;
    }
  }
  bool failed = std::ferror(file.stream) != 0;
  std::fclose(file.stream);
  if (tooLarge) return unused(strFormat("it is larger than %lld bytes", static_cast<long long>(kMaxCaptureFileSize)));
  if (failed) return {false, strFormat("Error reading from file '%s'", path.c_str())};
  CaptureLoadResult r = parseCaptureText(text, capture);
  if (!r.ok) r.error = strFormat("Capture file '%s' has no <End> record", path.c_str());
  else if (r.leaveUnchanged)
    return unused(strFormat("it holds lines longer than %zu bytes or texts longer than %zu bytes", kMaxCaptureLine,
                            kMaxCaptureBlock));
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
