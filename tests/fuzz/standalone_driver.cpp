// Runs a fuzz target without libFuzzer: replays every file of the corpus folders
// given on the command line, then feeds a bounded number of generated inputs
// (random bytes and mutations of the corpus). Used for the smoke pass in CTest;
// the real fuzzing build links clang's libFuzzer instead.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

std::vector<std::string> readCorpus(const std::vector<std::string> &paths) {
  std::vector<std::string> corpus;
  for (const auto &p : paths) {
    std::error_code ec;
    if (std::filesystem::is_directory(p, ec)) {
      for (const auto &e : std::filesystem::directory_iterator(p, ec))
        if (e.is_regular_file()) {
          std::ifstream in(e.path(), std::ios::binary);
          corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    } else if (std::filesystem::is_regular_file(p, ec)) {
      std::ifstream in(p, std::ios::binary);
      corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
  }
  return corpus;
}

std::string mutate(std::string s, std::mt19937 &rng) {
  std::uniform_int_distribution<int> byte(0, 255);
  int edits = 1 + static_cast<int>(rng() % 8);
  for (int i = 0; i < edits; ++i) {
    switch (rng() % 4) {
    case 0:
      if (!s.empty()) s[rng() % s.size()] = static_cast<char>(byte(rng));
      break;
    case 1: s.insert(s.empty() ? 0 : rng() % s.size(), 1, static_cast<char>(byte(rng))); break;
    case 2:
      if (!s.empty()) s.erase(rng() % s.size(), 1 + rng() % 4);
      break;
    default:
      if (!s.empty()) {
        size_t from = rng() % s.size();
        s.insert(rng() % s.size(), s.substr(from, 1 + rng() % 16));
      }
    }
  }
  return s;
}

}  // namespace

int main(int argc, char **argv) {
  long runs = 1000;
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--runs=", 7) == 0) runs = std::strtol(argv[i] + 7, nullptr, 10);
    else paths.emplace_back(argv[i]);
  }
  auto corpus = readCorpus(paths);
  for (const auto &c : corpus) LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(c.data()), c.size());

  std::mt19937 rng(12345);
  for (long r = 0; r < runs; ++r) {
    std::string input;
    if (!corpus.empty() && r % 4 != 0) {
      input = mutate(corpus[rng() % corpus.size()], rng);
    } else {
      size_t len = rng() % 256;
      input.resize(len);
      for (auto &ch : input) ch = static_cast<char>(rng() % 256);
    }
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(input.data()), input.size());
  }
  std::printf("fuzz smoke: %zu corpus inputs, %ld generated inputs\n", corpus.size(), runs);
  return 0;
}
