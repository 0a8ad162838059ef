// Reads arbitrary text as a capture file; what it keeps must write back and read again
// to the same requests and responses.
#include <cstddef>
#include <cstdint>
#include <string>

#include "driver/capture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string text(reinterpret_cast<const char *>(data), size);
  CaptureFile capture;
  if (!parseCaptureText(text, capture).ok) return 0;
  std::string rewritten;
  for (const CaptureFile::Entry *e : capture.entries()) {
    if (e->request.find('\n') != std::string::npos) continue;
    for (const auto &r : e->responses)
      if (r.find("<") == std::string::npos && r.find('\r') == std::string::npos)
        rewritten += "<Request>\n" + e->request + "\n<Response>\n" + r + "\n";
  }
  rewritten += "<End>\n";
  CaptureFile again;
  if (!parseCaptureText(rewritten, again).ok) __builtin_trap();
  return 0;
}
