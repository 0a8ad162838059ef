// How the console's cost grows with its buffer: the time to add one line and repaint,
// and to scroll a page and repaint, with a large buffer beside a small one measured in
// the same run (the ratio is the figure: it stays near 1 when the cost does not grow
// with the buffer), and the heap bytes per buffered line.
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "console/console_state.h"
#include "console/editing.h"
#include "console/paint.h"
#include "console/scrolling.h"
#include "console/terminal.h"
#include "context/context.h"
#include "context/output.h"

namespace {

struct Figures {
  double addPaintUs = 0;
  double pagePaintUs = 0;
  double bytesPerLine = 0;
};

std::string lineText(size_t i) {
  // A laid-out attribute line: the common case in a long display.
  return "QUEUE(APP.QUEUE." + std::to_string(i) + ")    TYPE(QLOCAL)    CURDEPTH(" + std::to_string(i % 5000) +
         ")    DESCR(benchmark line " + std::to_string(i) + ")";
}

Figures measure(size_t lines, int repeats) {
  Figures f;
  ProgramContext ctx;
  ctx.displayLock.create();
  ctx.output = std::make_unique<OutputBuffer>(ctx.displayLock, nullptr, nullptr);
  ctx.output->keepLines(true, 1ull << 40);
  ctx.output->setWidth(80);
  size_t before = mallinfo2().uordblks;
  for (size_t i = 0; i < lines; ++i) ctx.output->addLine(lineText(i), (i % 40 == 0) ? kStyleCommand : kStyleAttributes);
  f.bytesPerLine = static_cast<double>(mallinfo2().uordblks - before) / static_cast<double>(lines);

  ConsoleState c;
  c.ctx = &ctx;
  FILE *out = std::fopen("/dev/null", "w");
  FILE *in = std::fopen("/dev/null", "r");
  std::string why;
  if (!openTerminalOn(c, out, in, why)) {
    std::fprintf(stderr, "bench_console: %s\n", why.c_str());
    std::exit(1);
  }
  c.prompt = "QM1>";
  paintConsole(c);

  auto t0 = std::chrono::steady_clock::now();
  for (int r = 0; r < repeats; ++r) {
    ctx.output->addLine(lineText(lines + static_cast<size_t>(r)), kStyleAttributes);
    c.dirty = true;
    paintConsole(c);
  }
  auto t1 = std::chrono::steady_clock::now();
  for (int r = 0; r < repeats; ++r) {
    pageOutput(c, (r / 50) % 2 == 0 ? -1 : +1);
    paintConsole(c);
  }
  auto t2 = std::chrono::steady_clock::now();
  f.addPaintUs = std::chrono::duration<double, std::micro>(t1 - t0).count() / repeats;
  f.pagePaintUs = std::chrono::duration<double, std::micro>(t2 - t1).count() / repeats;
  closeTerminal(c);
  std::fclose(out);
  std::fclose(in);
  return f;
}

}  // namespace

int main(int argc, char **argv) {
  size_t big = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
  int repeats = argc > 2 ? std::atoi(argv[2]) : 2000;
  setenv("TERM", "xterm-256color", 0);
  Figures small = measure(1000, repeats);
  Figures large = measure(big, repeats);
  std::printf("console, %zu lines beside 1000 lines (%d repeats)\n", big, repeats);
  std::printf("  add a line and repaint : %8.1f us  vs %8.1f us  ratio %.2f\n", large.addPaintUs, small.addPaintUs,
              large.addPaintUs / small.addPaintUs);
  std::printf("  page and repaint       : %8.1f us  vs %8.1f us  ratio %.2f\n", large.pagePaintUs, small.pagePaintUs,
              large.pagePaintUs / small.pagePaintUs);
  std::printf("  heap bytes per line    : %8.1f       (text %zu bytes)\n", large.bytesPerLine,
              lineText(big / 2).size());
  return 0;
}
