// Cost of the ordered index per operation: insert, find and delete of 1,000, 10,000 and
// 100,000 keys, in key order and in random order, in every key mode. The reference is a
// std::map (unique keys) or std::multimap (equal keys allowed, flag 128) ordered by the
// same comparison and measured in the same run. Both sides allocate through the counted
// allocator, so the ratio compares the structures, not the allocators.
//
//   bench_index [largest-n]     e.g. bench_index 10000 to leave out the 100,000 runs
#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "runtime/index.h"

namespace {

using Clock = std::chrono::steady_clock;

double nanosSince(Clock::time_point start) {
  return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
}

// --- key modes: the key stored in the node, its order, and what indexFind takes ---

struct UIntMode {
  using Key = uint32_t;
  static constexpr int mode = kKeyUInt32;
  static constexpr const char *name = "uint32 (-4)";
  struct Less {
    bool operator()(Key a, Key b) const { return a < b; }
  };
  static const void *findKey(const Key &k) { return &k; }
  Key make(std::mt19937 &rng) { return static_cast<uint32_t>(rng()); }
};

int compareNoCaseThenExact(const char *a, const char *b) {
  for (const char *x = a, *y = b;; ++x, ++y) {
    int cx = std::tolower(static_cast<unsigned char>(*x));
    int cy = std::tolower(static_cast<unsigned char>(*y));
    if (cx != cy) return cx < cy ? -1 : 1;
    if (!*x) break;
  }
  return std::strcmp(a, b);
}

// Object-name-like texts: a common prefix and a random tail of mixed case.
template <int Mode>
struct TextMode {
  using Key = const char *;
  static constexpr int mode = Mode;
  static constexpr const char *name = Mode == kKeyTextExact ? "text (-3)" : "text nocase (-2)";
  struct Less {
    bool operator()(Key a, Key b) const {
      return (Mode == kKeyTextNoCase ? compareNoCaseThenExact(a, b) : std::strcmp(a, b)) < 0;
    }
  };
  static const void *findKey(const Key &k) { return k; }
  std::deque<std::string> texts;  // the nodes point into these
  Key make(std::mt19937 &rng) {
    static const char chars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._";
    std::string s = "APP.QUEUE.";
    for (int i = 0, len = 6 + static_cast<int>(rng() % 14); i < len; ++i) s += chars[rng() % (sizeof chars - 1)];
    texts.push_back(std::move(s));
    return texts.back().c_str();
  }
};

// 48 bytes, the length of an IBM MQ object name, blank padded.
struct BytesMode {
  using Key = std::array<unsigned char, 48>;
  static constexpr int mode = 48;
  static constexpr const char *name = "48 bytes (48)";
  struct Less {
    bool operator()(const Key &a, const Key &b) const { return std::memcmp(a.data(), b.data(), a.size()) < 0; }
  };
  static const void *findKey(const Key &k) { return k.data(); }
  Key make(std::mt19937 &rng) {
    Key k;
    k.fill(' ');
    std::memcpy(k.data(), "APP.QUEUE.", 10);
    for (int i = 10; i < 22; ++i) k[i] = static_cast<unsigned char>('A' + rng() % 26);
    return k;
  }
};

template <typename Key>
struct Node {
  IndexNode header;
  Key key;
  int payload;
};

// `count` keys: distinct unless `distinctValues` limits them, then with repeats.
template <typename M>
std::vector<typename M::Key> makeKeys(M &m, size_t count, size_t distinctValues, bool sorted, std::mt19937 &rng) {
  std::set<typename M::Key, typename M::Less> seen;
  std::vector<typename M::Key> values;
  while (values.size() < distinctValues) {
    auto k = m.make(rng);
    if (seen.insert(k).second) values.push_back(k);
  }
  std::vector<typename M::Key> keys;
  keys.reserve(count);
  for (size_t i = 0; i < count; ++i) keys.push_back(values[i % values.size()]);
  if (sorted) std::stable_sort(keys.begin(), keys.end(), typename M::Less());
  else std::shuffle(keys.begin(), keys.end(), rng);
  return keys;
}

struct Figures {  // nanoseconds per operation
  double insert = 0, find = 0, erase = 0, renumber = 0;
};

long gSink = 0;  // keeps the lookups observable

template <typename M>
Figures runIndex(const std::vector<typename M::Key> &keys, unsigned flags, int rounds) {
  Figures f;
  for (int r = 0; r < rounds; ++r) {
    IndexRoot root;
    auto t = Clock::now();
    for (size_t i = 0; i < keys.size(); ++i) {
      Node<typename M::Key> node{};
      node.key = keys[i];
      node.payload = static_cast<int>(i);
      if (!indexInsert(root, &node.header, sizeof node, M::mode, flags)) std::abort();
    }
    f.insert += nanosSince(t);
    t = Clock::now();
    indexRenumber(root);
    f.renumber += nanosSince(t);
    t = Clock::now();
    for (const auto &k : keys) gSink += indexFind(root, M::findKey(k), M::mode) != nullptr;
    f.find += nanosSince(t);
    t = Clock::now();
    for (const auto &k : keys)
      if (indexDelete(root, M::findKey(k), M::mode, nullptr, nullptr) != 0) std::abort();
    f.erase += nanosSince(t);
    if (root.root) std::abort();
  }
  double ops = static_cast<double>(keys.size()) * rounds;
  return {f.insert / ops, f.find / ops, f.erase / ops, f.renumber / ops};
}

template <typename Map, typename Key>
Figures runMap(const std::vector<Key> &keys, int rounds) {
  Figures f;
  for (int r = 0; r < rounds; ++r) {
    Map map;
    auto t = Clock::now();
    for (size_t i = 0; i < keys.size(); ++i) map.emplace(keys[i], static_cast<int>(i));
    f.insert += nanosSince(t);
    // lower_bound finds the first of equal keys, as indexFind does
    t = Clock::now();
    for (const auto &k : keys) gSink += map.lower_bound(k) != map.end();
    f.find += nanosSince(t);
    t = Clock::now();
    for (const auto &k : keys) map.erase(map.lower_bound(k));
    f.erase += nanosSince(t);
    if (!map.empty()) std::abort();
  }
  double ops = static_cast<double>(keys.size()) * rounds;
  return {f.insert / ops, f.find / ops, f.erase / ops, 0};
}

void printRow(const char *mode, const char *order, size_t n, const Figures &ix, const Figures &ref) {
  std::printf("%-17s %-10s %7zu | %7.1f %7.1f %5.2f | %7.1f %7.1f %5.2f | %7.1f %7.1f %5.2f | %5.1f\n", mode, order, n,
              ix.insert, ref.insert, ix.insert / ref.insert, ix.find, ref.find, ix.find / ref.find, ix.erase, ref.erase,
              ix.erase / ref.erase, ix.renumber);
}

template <typename M>
void benchMode(const std::vector<size_t> &sizes) {
  using Map = std::map<typename M::Key, int, typename M::Less>;
  using MultiMap = std::multimap<typename M::Key, int, typename M::Less>;
  for (size_t n : sizes) {
    const int rounds = static_cast<int>(std::max<size_t>(1, 300000 / n));
    M m;
    std::mt19937 rng(static_cast<unsigned>(n));
    auto random = makeKeys(m, n, n, false, rng);
    auto sorted = random;
    std::sort(sorted.begin(), sorted.end(), typename M::Less());
    // Equal keys allowed: each value four times on average, in random order.
    auto repeats = makeKeys(m, n, std::max<size_t>(1, n / 4), false, rng);

    printRow(M::name, "sequential", n, runIndex<M>(sorted, 0, rounds), runMap<Map>(sorted, rounds));
    printRow(M::name, "random", n, runIndex<M>(random, 0, rounds), runMap<Map>(random, rounds));
    printRow(M::name, "equal x4", n, runIndex<M>(repeats, kIndexAllowEqual, rounds), runMap<MultiMap>(repeats, rounds));
  }
}

}  // namespace

int main(int argc, char **argv) {
  size_t largest = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
  std::vector<size_t> sizes;
  for (size_t n : {1000, 10000, 100000})
    if (n <= largest) sizes.push_back(n);

  std::printf("nanoseconds per operation: index, reference std::map (std::multimap for equal x4), ratio\n");
  std::printf("renumber: one indexRenumber walk over the full index, per node\n\n");
  std::printf("%-17s %-10s %7s | %-21s | %-21s | %-21s | %s\n", "key mode", "order", "n", "insert", "find", "delete",
              "renumber");
  benchMode<UIntMode>(sizes);
  benchMode<TextMode<kKeyTextExact>>(sizes);
  benchMode<TextMode<kKeyTextNoCase>>(sizes);
  benchMode<BytesMode>(sizes);
  return gSink == -1;
}
