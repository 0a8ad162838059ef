// Test support: a ProgramContext output buffer that writes nothing and keeps every line
// added to the MQSC screen (from any thread) for the test to read.
#pragma once
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "context/context.h"
#include "context/output.h"

class CapturedOutput {
 public:
  // Installs a silent output buffer in `ctx` (its display lock must exist).
  void attach(ProgramContext &ctx) {
    ctx.output = std::make_unique<OutputBuffer>(ctx.displayLock, nullptr, nullptr);
    ctx.output->setListener([this](Screen screen, const OutputLine &line) {
      if (screen != kScreenMqsc) return;
      std::lock_guard<std::mutex> lock(mutex_);
      lines.emplace_back(std::string(line.text()), line.style);
    });
  }
  std::string text() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string out;
    for (const auto &l : lines) out += l.first + "\n";
    return out;
  }
  std::string joined() { return text(); }

  std::vector<std::pair<std::string, uint32_t>> lines;

 private:
  std::mutex mutex_;
};
