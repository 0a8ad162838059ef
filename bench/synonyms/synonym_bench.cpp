// Cost of defining synonyms: `kvarn -x -f` reading n =syn definitions (in random order,
// each calling an earlier one in chains of ten, some naming synonyms inside quotes)
// beside the same run reading n =count commands, a local command that parses its
// operands and changes one setting. The cost per definition should not grow with n:
// the ratio printed for each n is what to compare.
//
//   bench_synonyms [n ...]     default: 2000 20000
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "support/process_timer.h"

namespace {

double runFile(const std::string &file) { return timeProcessMs({KVARN_BINARY, "-x", "-f", "-i", file}); }

void writeFile(const std::string &path, const std::vector<std::string> &lines) {
  FILE *f = std::fopen(path.c_str(), "w");
  if (!f) {
    std::perror(path.c_str());
    std::exit(1);
  }
  for (const auto &l : lines) std::fprintf(f, "%s\n", l.c_str());
  std::fclose(f);
}

std::string name(int i) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "s%07d", i);
  return buf;
}

}  // namespace

int main(int argc, char **argv) {
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {2000, 20000};
  std::string dir = "/tmp/kvarn-bench-synonyms-XXXXXX";
  if (!mkdtemp(dir.data())) return 1;
  setenv("KVARNCFG", dir.c_str(), 1);  // never read or write the user's configuration
  unsetenv("KVARN_BOOTSTRAP");
  std::mt19937 rng(7);
  std::string synFile = dir + "/syn.in", refFile = dir + "/ref.in";
  for (int n : sizes) {
    // Definitions in chains of ten: each calls the one before it, defined earlier.
    std::vector<std::string> syn, ref;
    for (int i = 0; i < n; ++i) {
      std::string cmd = i % 10 == 0 ? "DIS QLOCAL(APP.*) CURDEPTH; print '" + name(i) + " ran'" : name(i - 1) + "(x)";
      syn.push_back("=syn(" + name(i) + ") cmd(" + cmd + ")");
      ref.push_back(i % 2 ? "=count cmds(yes)" : "=count dspcmds(no)");
    }
    // Random order within each run of ten keeps every call defined before it is checked
    // against, while the names arrive out of order for the ordered list.
    std::vector<std::vector<std::string>> groups;
    for (int i = 0; i < n; i += 10) groups.emplace_back(syn.begin() + i, syn.begin() + std::min(n, i + 10));
    std::shuffle(groups.begin(), groups.end(), rng);
    syn.clear();
    for (auto &g : groups) syn.insert(syn.end(), g.begin(), g.end());
    writeFile(synFile, syn);
    writeFile(refFile, ref);
    std::vector<double> s, r;
    for (int k = 0; k < 3; ++k) {  // interleaved, so that machine noise hits both alike
      s.push_back(runFile(synFile));
      r.push_back(runFile(refFile));
    }
    std::sort(s.begin(), s.end());
    std::sort(r.begin(), r.end());
    double sm = s[1], rm = r[1];
    std::printf("synonyms: %6d =syn definitions   median %9.1f ms  (%.2f us each)\n", n, sm, sm * 1000 / n);
    std::printf("synonyms: %6d =count commands    median %9.1f ms  (%.2f us each)\n", n, rm, rm * 1000 / n);
    std::printf("synonyms: %6d ratio =syn / =count %.2f\n", n, sm / rm);
  }
  std::remove(synFile.c_str());
  std::remove(refFile.c_str());
  std::string cfg = dir + "/kvarn.cfg";
  std::remove(cfg.c_str());
  rmdir(dir.c_str());
  return 0;
}
