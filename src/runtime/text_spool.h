// Text that may grow large, kept in memory up to a limit and beyond it in a temporary
// file, so that holding the whole text of a command's response costs the program a
// fixed amount of memory whatever the response's size. The file is unlinked the moment
// it is made: nothing is left behind, whatever ends the program.
#pragma once
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

class TextSpool {
 public:
  // `memoryLimit`: the bytes kept in memory before the text moves to a file.
  explicit TextSpool(size_t memoryLimit = kDefaultMemoryLimit) : limit_(memoryLimit) {}
  ~TextSpool();
  TextSpool(TextSpool &&other) noexcept;
  TextSpool &operator=(TextSpool &&other) noexcept;
  TextSpool(const TextSpool &) = delete;
  TextSpool &operator=(const TextSpool &) = delete;

  void append(std::string_view text);
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // The whole text. Should the file have become unreadable, what could be read.
  std::string text() const;
  void clear();

  static constexpr size_t kDefaultMemoryLimit = 256 << 10;

 private:
  void moveToFile();

  size_t limit_;
  size_t size_ = 0;
  std::string memory_;   // the text, or the part not yet written to the file
  FILE *file_ = nullptr;  // once the text outgrew the limit
  bool fileFailed_ = false;  // no file could be made: everything stays in memory
};
