// The system: SYSTEM, WAIT, GETKEY.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <algorithm>

#include "runtime/launch.h"
#include "runtime/signals.h"
#include "script/functions.h"
#include "script/lib_support.h"
#include "script/script_host.h"

namespace kvarn::script {

namespace {

using namespace lib;

constexpr int64_t kSync = 1, kAsync = 2;

bool systemFn(ExprContext& ctx, std::span<Value> a, Value& r) {
  if (a.empty() || a.size() > 2) {
    ctx.setError("Function system() accepts one or two parameters");
    return false;
  }
  if (ctx.checkMode()) {
    r.setInt(1);
    return true;
  }
  std::string command, error;
  if (!a[0].isNotSet() && !valueToText(a[0], 2, command, error)) {
    ctx.setError(std::move(error));
    return false;
  }
  int64_t mode = a.size() == 2 ? intArg(a[1]) : kAsync;
  if ((mode & (kSync | kAsync)) == (kSync | kAsync)) {
    reportError(ctx, "The second parameter to function system() cannot specify both SYNC and ASYNC.");
    mode = kAsync;
  }
  std::string failure = (mode & kSync) ? runCommandAndWait(command) : startCommand(command);
  if (!failure.empty()) {
    while (!failure.empty() && failure.back() == '\n') failure.pop_back();
    reportError(ctx, failure);
    r.setInt(0);
    return true;
  }
  r.setInt(1);
  return true;
}

// Waits longer than this are this long (a clock past it would overflow).
constexpr int64_t kLongestWait = int64_t{1} << 31;

// A stop signal or the console's interrupt ends every wait at once.
bool waitEnds(const ProgramContext* p) { return stopRequested() || (p && p->interrupted); }

// Sleeps in short steps so that a stop ends the wait.
void sleepSeconds(ProgramContext* p, int64_t seconds) {
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(std::clamp<int64_t>(seconds, 0, kLongestWait));
  while (std::chrono::steady_clock::now() < until && !waitEnds(p))
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

bool waitFn(ExprContext& ctx, std::span<Value> a, Value& r) {
  r.setInt(1);
  if (ctx.checkMode()) return true;
  ProgramContext* p = program(ctx);
  if (p && !p->fileMode() && scriptHost().refreshScreen) scriptHost().refreshScreen(*p);
  sleepSeconds(p, std::max<int64_t>(0, intArg(a[0])));
  return true;
}

// File mode: the terminal is polled once a second; without one the wait still lasts.
int terminalKey(ProgramContext* p, int64_t seconds) {
  int fd = ::open("/dev/tty", O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  // Polled in short steps, so that a stop signal ends the wait.
  for (int64_t step = 0; step < std::min(seconds, kLongestWait) * 10 && !waitEnds(p); ++step) {
    if (fd < 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      continue;
    }
    struct pollfd pfd {
      fd, POLLIN, 0
    };
    if (::poll(&pfd, 1, 100) > 0 && (pfd.revents & POLLIN)) {
      unsigned char c = 0;
      ssize_t n = ::read(fd, &c, 1);
      ::close(fd);
      return n == 1 ? c : 0;
    }
  }
  if (fd >= 0) ::close(fd);
  return 0;
}

bool getkeyFn(ExprContext& ctx, std::span<Value> a, Value& r) {
  r.setInt(0);
  if (ctx.checkMode()) return true;
  ProgramContext* p = program(ctx);
  int64_t seconds = std::max<int64_t>(0, intArg(a[0]));
  if (p && !p->fileMode() && scriptHost().consoleKey) {
    int key = 0;
    for (int64_t left = seconds; left > 0 && !key && !waitEnds(p); left -= 20)  // the console waits 20 s at most
      key = scriptHost().consoleKey(*p, static_cast<int>(std::min<int64_t>(left, 20)));
    r.setInt(key);
    return true;
  }
  r.setInt(terminalKey(p, seconds));
  return true;
}

constexpr OperatorDef kRows[] = {
    functionRow("WAIT", 1, waitFn),
    functionRow("SYSTEM", -1, systemFn),
    functionRow("GETKEY", 1, getkeyFn),
};

}  // namespace

std::span<const OperatorDef> systemFunctionRows() { return kRows; }

}  // namespace kvarn::script
