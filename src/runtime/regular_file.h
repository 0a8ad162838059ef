// Opening a file the program reads at start-up (configuration, bootstrap, capture): only
// a regular file is read. A fifo would block start-up until someone writes to it, and a
// device such as /dev/zero never ends; both are refused without being waited on.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

enum class RegularFileStatus {
  Opened,
  Missing,     // no such file (ENOENT)
  NotRegular,  // a directory, fifo, device or socket
  Failed,      // could not be opened; `error` tells why
};

struct RegularFile {
  FILE *stream = nullptr;  // owned by the caller when Opened
  RegularFileStatus status = RegularFileStatus::Missing;
  int error = 0;
  int64_t size = 0;  // the file's size when it was opened
  bool isDirectory = false;

  // Why it could not be read: the system's text, "Is a directory" or "Not a regular file".
  std::string reason() const;
};

// Opens `path` for reading ("r") when it is a regular file.
RegularFile openRegularFile(const std::string &path);
