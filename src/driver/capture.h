// The capture file (-D capture:file): records of "<Request>" text followed by one or
// more "<Response>" texts, ended by "<End>". Loaded at start-up, written back at the end.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "context/context.h"
#include "runtime/index.h"

struct CaptureFile : ContextPart {
  struct Entry {
    std::string request;
    std::vector<std::string> responses;
  };

  CaptureFile();
  ~CaptureFile();
  CaptureFile(const CaptureFile &) = delete;
  CaptureFile &operator=(const CaptureFile &) = delete;

  // Adds a response to a request, creating the request when it is new.
  void add(std::string_view request, std::string response);
  const Entry *find(std::string_view request) const;
  // Entries in key order.
  std::vector<const Entry *> entries() const;
  size_t size() const { return entries_.size(); }

 private:
  struct Node {
    IndexNode node;
    const char *key;
    size_t entry;
  };
  IndexRoot index_;
  std::vector<std::unique_ptr<Entry>> entries_;
  std::vector<std::unique_ptr<Node>> nodes_;
};

struct CaptureLoadResult {
  bool ok = true;
  std::string error;
  // The file holds more than the reader keeps (a line over 10,000 bytes, a text over
  // 50,000, a file over kMaxCaptureFileSize), or is not a regular file: writing it back
  // would lose what was cut, so it must be left as it is. `notice` says why.
  bool leaveUnchanged = false;
  std::string notice;
};

inline constexpr size_t kMaxCaptureLine = 10000;
inline constexpr size_t kMaxCaptureBlock = 50000;
inline constexpr int64_t kMaxCaptureFileSize = 64ll * 1024 * 1024;

// A missing file is not an error (the capture starts empty). A file without an
// "<End>" line is.
CaptureLoadResult loadCaptureFile(const std::string &path, CaptureFile &capture);
// Sets leaveUnchanged when a line or a text had to be cut.
CaptureLoadResult parseCaptureText(std::string_view text, CaptureFile &capture);
// Writes path + ".tmp" and renames it into place.
CaptureLoadResult writeCaptureFile(const std::string &path, const CaptureFile &capture);
