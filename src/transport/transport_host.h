// What the transport calls above itself: while the command thread waits for replies,
// the console repaints what arrived and watches for the user's Escape. The driver
// fills one TransportHost at start-up; empty, the wait just waits.
#pragma once
#include <functional>
#include <optional>
#include <string>

struct ProgramContext;

struct TransportHost {
  // Called every tenth of a second of a wait; true stops waiting (the command goes on,
  // a late answer is dropped with its record).
  std::function<bool(ProgramContext &)> whileWaiting;
  // Whether the command thread may be released before the last response of a long
  // answer (the console, no script statement running).
  std::function<bool(ProgramContext &)> mayReleaseEarly;
  // The console's status line, from the worker thread: `text` shown once `delaySeconds`
  // have passed and it is still there; empty text clears it.
  std::function<void(ProgramContext &, const std::string &text, int delaySeconds)> showStatus;
  // Reads a password at `prompt` in the console's command area (typed characters shown
  // as '*'); nothing when there is no console, and the terminal is then read directly.
  std::function<std::optional<std::string>(ProgramContext &, const std::string &prompt)> readPassword;
};

void transportSetHost(TransportHost host);
const TransportHost &transportHost();
