// Whole-file reading and crash-safe replacement of the table files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kvarn::ccdt {

// Reads the whole file into `content`. Returns 0, kStoreNoFile (1013) when it
// does not exist or cannot be opened, or the system error number.
int readWholeFile(const std::string &path, std::string &content);

// Last-write time of a file in seconds since 1970, or -1.
int64_t fileModifiedTime(const std::string &path);

// What tells one state of a file from another: a program that changes the file
// (rewriting it in place or renaming a new one over it) changes the stamp.
struct FileStamp {
  bool exists = false;
  uint64_t device = 0, inode = 0;
  int64_t size = 0;
  int64_t modifiedNs = 0;
  bool operator==(const FileStamp &) const = default;
};
FileStamp fileStamp(const std::string &path);

// Whether this process could replace `path`: write the file (when it exists) and
// create files in its directory. Returns 0 or the errno that stops it.
int checkReplaceable(const std::string &path);

// The file a replacement should land on: the target of a symbolic link, so the
// link itself survives.
std::string replacementTarget(const std::string &path);

// Writes `content` to `path` (created or truncated), flushes it to the disk and
// closes it. Takes the permission bits of `modeFrom` when that file exists. On
// failure the partial file is removed and the system error number returned.
int writeFileDurably(const std::string &path, std::string_view content, const std::string &modeFrom);

// Renames and makes the change durable by syncing the directory. Returns 0 or errno.
int renameDurably(const std::string &from, const std::string &to);

// Writes `content` beside `path` as "<path>_tmp" and renames it into place: the
// old file stays as it was unless the new one is complete. Returns 0 or errno.
int replaceFile(const std::string &path, std::string_view content);

}  // namespace kvarn::ccdt
