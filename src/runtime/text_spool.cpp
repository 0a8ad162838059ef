#include "runtime/text_spool.h"

#include <algorithm>
#include <utility>

TextSpool::~TextSpool() {
  if (file_) std::fclose(file_);
}

TextSpool::TextSpool(TextSpool &&other) noexcept
    : limit_(other.limit_), size_(other.size_), memory_(std::move(other.memory_)), file_(other.file_),
      fileFailed_(other.fileFailed_) {
  other.file_ = nullptr;
  other.size_ = 0;
  other.memory_.clear();
}

TextSpool &TextSpool::operator=(TextSpool &&other) noexcept {
  if (this != &other) {
    clear();
    limit_ = other.limit_;
    size_ = other.size_;
    memory_ = std::move(other.memory_);
    file_ = other.file_;
    fileFailed_ = other.fileFailed_;
    other.file_ = nullptr;
    other.size_ = 0;
    other.memory_.clear();
  }
  return *this;
}

void TextSpool::append(std::string_view text) {
  if (memory_.capacity() == 0 && limit_ > 0) memory_.reserve(std::min<size_t>(limit_ + 4096, 1 << 16));
  memory_.append(text);
  size_ += text.size();
  if (memory_.size() > limit_ && !fileFailed_) moveToFile();
}

void TextSpool::moveToFile() {
  if (!file_) {
    file_ = std::tmpfile();
    if (!file_) {
      fileFailed_ = true;
      return;
    }
  }
  if (std::fwrite(memory_.data(), 1, memory_.size(), file_) != memory_.size()) {
    // A full disk: what is in the file stays there, the rest stays in memory.
    fileFailed_ = true;
    return;
  }
  memory_.clear();
}

std::string TextSpool::text() const {
  std::string out;
  if (file_) {
    std::fflush(file_);
    long end = std::ftell(file_);
    if (end > 0) {
      out.resize(static_cast<size_t>(end));
      std::rewind(file_);
      out.resize(std::fread(out.data(), 1, out.size(), file_));
      std::fseek(file_, 0, SEEK_END);
    }
  }
  out += memory_;
  return out;
}

void TextSpool::clear() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  fileFailed_ = false;
  memory_.clear();
  size_ = 0;
}
