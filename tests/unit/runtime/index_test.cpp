// The ordered index against a reference container, in every key mode.
#include "runtime/index.h"
#include "runtime/memory.h"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

template <typename Key>
struct Node {
  IndexNode header;
  Key key;
  int payload;
};
static_assert(offsetof(Node<uint32_t>, key) == sizeof(IndexNode));
static_assert(offsetof(Node<const char *>, key) == sizeof(IndexNode));

using Bytes = std::array<unsigned char, 3>;
static_assert(offsetof(Node<Bytes>, key) == sizeof(IndexNode));

int noCaseThenExact(const std::string &a, const std::string &b) {
  for (size_t i = 0;; ++i) {
    int ca = i < a.size() ? std::tolower(static_cast<unsigned char>(a[i])) : 0;
    int cb = i < b.size() ? std::tolower(static_cast<unsigned char>(b[i])) : 0;
    if (ca != cb) return ca < cb ? -1 : 1;
    if (!ca) break;
  }
  return a.compare(b);
}

// One key mode: how to make keys, how the reference orders them, what indexFind takes.
struct UIntMode {
  using Key = uint32_t;
  using RefKey = uint32_t;
  static constexpr int mode = kKeyUInt32;
  struct Less {
    bool operator()(RefKey a, RefKey b) const { return a < b; }
  };
  std::vector<uint32_t> pool{0, 1, 2, 7, 100, 0x7fffffff, 0x80000000u, 0xffffffffu};
  RefKey pick(std::mt19937 &rng) {
    return rng() % 3 == 0 ? pool[rng() % pool.size()] : static_cast<uint32_t>(rng() % 400) * 11;
  }
  Key nodeKey(const RefKey &k) { return k; }
  const void *findKey(const RefKey &k) { return &k; }
};

template <int Mode>
struct TextMode {
  using Key = const char *;
  using RefKey = std::string;
  static constexpr int mode = Mode;
  struct Less {
    bool operator()(const std::string &a, const std::string &b) const {
      return Mode == kKeyTextNoCase ? noCaseThenExact(a, b) < 0 : a < b;
    }
  };
  std::vector<std::string> pool;
  TextMode() {
    const char *letters = "aAbB";
    pool.push_back("");
    for (int len = 1; len <= 3; ++len)
      for (int i = 0; i < 64; ++i) {
        std::string s;
        for (int j = 0, v = i; j < len; ++j, v /= 4) s += letters[v % 4];
        pool.push_back(s);
      }
  }
  RefKey pick(std::mt19937 &rng) { return pool[rng() % pool.size()]; }
  // The node keeps a pointer, so it must point at text that outlives the index.
  Key nodeKey(const RefKey &k) {
    for (auto &s : pool)
      if (s == k) return s.c_str();
    return nullptr;
  }
  const void *findKey(const RefKey &k) { return nodeKey(k); }
};

struct BytesMode {
  using Key = Bytes;
  using RefKey = Bytes;
  static constexpr int mode = 3;
  struct Less {
    bool operator()(const Bytes &a, const Bytes &b) const { return std::memcmp(a.data(), b.data(), 3) < 0; }
  };
  RefKey pick(std::mt19937 &rng) {
    Bytes b{static_cast<unsigned char>(rng() % 3 * 127), static_cast<unsigned char>(rng() % 5),
            static_cast<unsigned char>(rng() % 4 * 85)};
    return b;
  }
  Key nodeKey(const RefKey &k) { return k; }
  const void *findKey(const RefKey &k) { return k.data(); }
};

template <typename Key = uint32_t>
void recordPayload(IndexNode *n, void *seen) {
  static_cast<std::vector<int> *>(seen)->push_back(reinterpret_cast<Node<Key> *>(n)->payload);
}

template <typename M>
int payloadOf(const IndexNode *n) {
  return reinterpret_cast<const Node<typename M::Key> *>(n)->payload;
}

template <typename M>
void randomAgainstReference(bool allowEqual, unsigned seed) {
  M m;
  std::mt19937 rng(seed);
  std::multimap<typename M::RefKey, int, typename M::Less> ref;
  IndexRoot root;
  const unsigned flags = allowEqual ? unsigned{kIndexAllowEqual} : 0u;
  const int32_t blocksBefore = CSMemoryCounters().blocksInUse;

  for (int step = 0; step < 3000; ++step) {
    auto key = m.pick(rng);
    // Lean towards growth early, towards shrinking late.
    bool insert = rng() % 100 < (step < 1500 ? 65u : 40u);
    if (insert) {
      Node<typename M::Key> node{};
      node.key = m.nodeKey(key);
      node.payload = step;
      IndexNode *got = indexInsert(root, &node.header, sizeof node, M::mode, flags);
      bool present = ref.find(key) != ref.end();
      if (!allowEqual && present) {
        ASSERT_EQ(got, nullptr) << "equal key accepted at step " << step;
      } else {
        ASSERT_NE(got, nullptr);
        ASSERT_NE(got, &node.header) << "without flag 64 the index keeps a copy";
        ref.emplace(key, step);
      }
    } else {
      std::vector<int> seen;
      int rc = indexDelete(root, m.findKey(key), M::mode, recordPayload<typename M::Key>, &seen);
      auto it = ref.lower_bound(key);
      if (it == ref.end() || typename M::Less()(key, it->first)) {
        ASSERT_EQ(rc, 3);
        ASSERT_TRUE(seen.empty());
      } else {
        ASSERT_EQ(rc, 0);
        ASSERT_EQ(seen, std::vector<int>{it->second}) << "the first equal key in order goes";
        ref.erase(it);
      }
    }

    ASSERT_TRUE(indexVerify(root, M::mode)) << "step " << step;
    ASSERT_EQ(indexCount(root), ref.size());
    uint32_t pos = 0;
    const IndexNode *n = root.first;
    for (auto &[k, payload] : ref) {
      ASSERT_NE(n, nullptr);
      ASSERT_EQ(n->position, pos++);
      ASSERT_EQ(payloadOf<M>(n), payload) << "order differs at step " << step;
      n = n->next;
    }
    ASSERT_EQ(n, nullptr);

    auto probe = m.pick(rng);
    const IndexNode *found = indexFind(root, m.findKey(probe), M::mode);
    auto it = ref.lower_bound(probe);
    if (it == ref.end() || typename M::Less()(probe, it->first)) ASSERT_EQ(found, nullptr);
    else ASSERT_TRUE(found && payloadOf<M>(found) == it->second);
  }

  size_t visited = 0;
  indexDestroy(
      root, [](IndexNode *, void *count) { ++*static_cast<size_t *>(count); }, &visited);
  EXPECT_EQ(visited, ref.size());
  EXPECT_EQ(root.root, nullptr);
  EXPECT_EQ(root.first, nullptr);
  ref.clear();
  EXPECT_EQ(CSMemoryCounters().blocksInUse, blocksBefore) << "every copied node is freed";
}

// Positions are renumbered lazily: read only through indexPosition, between bursts of
// changes, they must equal each node's rank in the reference.
template <typename M>
void lazyPositionsAgainstReference(unsigned seed) {
  M m;
  std::mt19937 rng(seed);
  std::multimap<typename M::RefKey, int, typename M::Less> ref;
  IndexRoot root;
  auto checkSomeRanks = [&](int step) {
    for (int probe = 0; probe < 10 && !ref.empty(); ++probe) {
      auto it = ref.lower_bound(m.pick(rng));
      if (it == ref.end()) it = ref.begin();
      const IndexNode *n = indexFind(root, m.findKey(it->first), M::mode);
      ASSERT_NE(n, nullptr);
      ASSERT_EQ(indexPosition(root, n), static_cast<uint32_t>(std::distance(ref.begin(), it))) << "step " << step;
    }
  };

  for (int step = 0; step < 6000; ++step) {
    auto key = m.pick(rng);
    if (rng() % 100 < (step < 3000 ? 70u : 35u)) {
      Node<typename M::Key> node{};
      node.key = m.nodeKey(key);
      node.payload = step;
      ASSERT_NE(indexInsert(root, &node.header, sizeof node, M::mode, kIndexAllowEqual), nullptr);
      ref.emplace(key, step);
    } else {
      auto it = ref.lower_bound(key);
      bool present = it != ref.end() && !typename M::Less()(key, it->first);
      ASSERT_EQ(indexDelete(root, m.findKey(key), M::mode, nullptr, nullptr), present ? 0 : 3);
      if (present) ref.erase(it);
    }
    ASSERT_EQ(indexCount(root), ref.size());
    // Bursts of changes of random length between readings.
    if (rng() % 40 == 0) checkSomeRanks(step);
  }

  uint32_t rank = 0;
  auto it = ref.begin();
  for (const IndexNode *n = root.first; n; n = n->next, ++it) {
    ASSERT_EQ(indexPosition(root, n), rank++);
    ASSERT_EQ(payloadOf<M>(n), it->second);
  }
  ASSERT_EQ(rank, ref.size());
  EXPECT_TRUE(indexVerify(root, M::mode));

  // One more change, then the destroy callback must still see current positions.
  Node<typename M::Key> front{};
  front.key = m.nodeKey(ref.begin()->first);
  ASSERT_NE(indexInsert(root, &front.header, sizeof front, M::mode, kIndexAllowEqual), nullptr);
  std::vector<uint32_t> positions;
  indexDestroy(
      root, [](IndexNode *n, void *out) { static_cast<std::vector<uint32_t> *>(out)->push_back(n->position); },
      &positions);
  ASSERT_EQ(positions.size(), ref.size() + 1);
  for (uint32_t i = 0; i < positions.size(); ++i) ASSERT_EQ(positions[i], i);
}

}  // namespace

TEST(OrderedIndex, LazyPositionsMatchReferenceRanks) {
  lazyPositionsAgainstReference<UIntMode>(11);
  lazyPositionsAgainstReference<TextMode<kKeyTextExact>>(12);
  lazyPositionsAgainstReference<TextMode<kKeyTextNoCase>>(13);
  lazyPositionsAgainstReference<BytesMode>(14);
}

// Appending in key order and removing the last node shift no other position, so they
// keep the stored positions current without a renumbering walk.
TEST(OrderedIndex, AppendingKeepsPositionsCurrent) {
  IndexRoot root;
  auto append = [&](uint32_t key) {
    Node<uint32_t> node{};
    node.key = key;
    return indexInsert(root, &node.header, sizeof node, kKeyUInt32, kIndexAllowEqual);
  };
  for (uint32_t k = 0; k < 1000; ++k) ASSERT_NE(append(k), nullptr);
  for (uint32_t k = 999; k >= 950; --k) ASSERT_EQ(indexDelete(root, &k, kKeyUInt32, nullptr, nullptr), 0);
  const IndexNode *equalAtEnd = append(949);  // an equal key goes after the one there
  ASSERT_NE(equalAtEnd, nullptr);
  EXPECT_FALSE(root.positionsStale);
  uint32_t expected = 0;
  for (const IndexNode *n = root.first; n; n = n->next) ASSERT_EQ(n->position, expected++);
  EXPECT_EQ(expected, 951u);

  uint32_t k = 7;
  ASSERT_EQ(indexDelete(root, &k, kKeyUInt32, nullptr, nullptr), 0);
  k = 8;
  EXPECT_EQ(indexPosition(root, indexFind(root, &k, kKeyUInt32)), 7u);
  EXPECT_EQ(indexPosition(root, equalAtEnd), 949u);
  EXPECT_EQ(indexCount(root), 950u);
  EXPECT_TRUE(indexVerify(root, kKeyUInt32));
  indexDestroy(root, nullptr, nullptr);
  EXPECT_EQ(indexCount(root), 0u);
}

TEST(OrderedIndex, RandomOperationsMatchReference) {
  for (bool allowEqual : {false, true}) {
    SCOPED_TRACE(allowEqual ? "equal keys allowed" : "unique keys");
    randomAgainstReference<UIntMode>(allowEqual, 1);
    randomAgainstReference<TextMode<kKeyTextExact>>(allowEqual, 2);
    randomAgainstReference<TextMode<kKeyTextNoCase>>(allowEqual, 3);
    randomAgainstReference<BytesMode>(allowEqual, 4);
  }
}

TEST(OrderedIndex, SequentialKeysStayBalanced) {
  IndexRoot root;
  for (uint32_t k = 0; k < 5000; ++k) {
    Node<uint32_t> node{};
    node.key = k;
    ASSERT_NE(indexInsert(root, &node.header, sizeof node, kKeyUInt32, 0), nullptr);
  }
  EXPECT_TRUE(indexVerify(root, kKeyUInt32));
  EXPECT_LE(root.root->height, 18) << "an unbalanced tree would be 5000 deep";
  for (uint32_t k = 0; k < 5000; k += 2) ASSERT_EQ(indexDelete(root, &k, kKeyUInt32, nullptr, nullptr), 0);
  EXPECT_TRUE(indexVerify(root, kKeyUInt32));
  EXPECT_EQ(indexCount(root), 2500u);
  uint32_t k = 4999;
  EXPECT_EQ(indexPosition(root, indexFind(root, &k, kKeyUInt32)), 2499u);
  indexDestroy(root, nullptr, nullptr);
}

TEST(OrderedIndex, NoCaseKeysAreDistinctWithUpperCaseFirst) {
  IndexRoot root;
  const char *keys[] = {"abd", "abc", "ABC", "Abc"};
  for (const char *k : keys) {
    Node<const char *> node{};
    node.key = k;
    ASSERT_NE(indexInsert(root, &node.header, sizeof node, kKeyTextNoCase, 0), nullptr) << k;
  }
  std::vector<std::string> order;
  for (IndexNode *n = root.first; n; n = n->next) order.push_back(reinterpret_cast<Node<const char *> *>(n)->key);
  EXPECT_EQ(order, (std::vector<std::string>{"ABC", "Abc", "abc", "abd"}));
  auto *found = reinterpret_cast<Node<const char *> *>(indexFind(root, "abc", kKeyTextNoCase));
  ASSERT_NE(found, nullptr);
  EXPECT_STREQ(found->key, "abc");
  EXPECT_EQ(indexFind(root, "aBC", kKeyTextNoCase), nullptr);
  indexDestroy(root, nullptr, nullptr);
}

TEST(OrderedIndex, EqualKeysNeedFlag128) {
  IndexRoot root;
  Node<uint32_t> a{}, b{};
  a.key = b.key = 9;
  a.payload = 1;
  b.payload = 2;
  ASSERT_NE(indexInsert(root, &a.header, sizeof a, kKeyUInt32, 0), nullptr);
  const int32_t blocks = CSMemoryCounters().blocksInUse;
  EXPECT_EQ(indexInsert(root, &b.header, sizeof b, kKeyUInt32, 0), nullptr);
  EXPECT_EQ(CSMemoryCounters().blocksInUse, blocks) << "a refused insert allocates nothing";
  EXPECT_EQ(indexCount(root), 1u);
  ASSERT_NE(indexInsert(root, &b.header, sizeof b, kKeyUInt32, kIndexAllowEqual), nullptr);
  ASSERT_EQ(indexCount(root), 2u);
  EXPECT_EQ(payloadOf<UIntMode>(root.first), 1);
  EXPECT_EQ(payloadOf<UIntMode>(root.last), 2);
  EXPECT_EQ(payloadOf<UIntMode>(indexFind(root, &a.key, kKeyUInt32)), 1);
  indexDestroy(root, nullptr, nullptr);
}

TEST(OrderedIndex, CallerNodesAreNeitherCopiedNorFreed) {
  IndexRoot root;
  std::vector<Node<uint32_t>> nodes(50);
  const MemoryCounters before = CSMemoryCounters();
  for (uint32_t i = 0; i < nodes.size(); ++i) {
    nodes[i].key = (i * 7) % 50;
    nodes[i].payload = static_cast<int>(i);
    ASSERT_EQ(indexInsert(root, &nodes[i].header, sizeof nodes[i], kKeyUInt32, kIndexUseCallerNode), &nodes[i].header);
  }
  EXPECT_EQ(CSMemoryCounters().allocations, before.allocations);
  uint32_t k = 21;  // nodes[3]
  std::vector<int> seen;
  EXPECT_EQ(indexDelete(root, &k, kKeyUInt32, recordPayload<>, &seen), 0);
  EXPECT_EQ(seen, std::vector<int>{3});
  EXPECT_EQ(indexDelete(root, &k, kKeyUInt32, recordPayload<>, &seen), 3);
  EXPECT_TRUE(indexVerify(root, kKeyUInt32));
  seen.clear();
  indexDestroy(root, recordPayload<>, &seen);
  EXPECT_EQ(seen.size(), 49u);
  EXPECT_EQ(nodes[0].payload, 0) << "caller memory left alone";
}

TEST(OrderedIndex, DeleteFreesCrossReferencesBeforeTheCallback) {
  IndexRoot root;
  const int32_t blocks = CSMemoryCounters().blocksInUse;
  Node<uint32_t> node{};
  node.key = 4;
  IndexNode *n = indexInsert(root, &node.header, sizeof node, kKeyUInt32, 0);
  ASSERT_NE(n, nullptr);
  for (int i = 0; i < 3; ++i) {
    auto *ref = static_cast<IndexCrossRef *>(CSGetMem(sizeof(IndexCrossRef)));
    ref->next = n->crossRefs;
    ref->node = nullptr;
    n->crossRefs = ref;
  }
  bool sawNoRefs = false;
  auto check = [](IndexNode *node, void *flag) { *static_cast<bool *>(flag) = node->crossRefs == nullptr; };
  EXPECT_EQ(indexDelete(root, &node.key, kKeyUInt32, check, &sawNoRefs), 0);
  EXPECT_TRUE(sawNoRefs);
  EXPECT_EQ(CSMemoryCounters().blocksInUse, blocks);
  EXPECT_EQ(root.root, nullptr);
}

TEST(OrderedIndex, BadArgumentsChangeNothing) {
  IndexRoot root;
  Node<uint32_t> node{};
  EXPECT_EQ(indexInsert(root, &node.header, sizeof(IndexNode) + 2, kKeyUInt32, 0), nullptr) << "no room for the key";
  EXPECT_EQ(indexInsert(root, &node.header, sizeof node, 0, 0), nullptr);
  EXPECT_EQ(indexInsert(root, &node.header, sizeof node, -1, 0), nullptr);
  EXPECT_EQ(indexInsert(root, nullptr, sizeof node, kKeyUInt32, 0), nullptr);
  EXPECT_EQ(indexDelete(root, &node.key, kKeyUInt32, nullptr, nullptr), 3);
  EXPECT_EQ(indexFind(root, &node.key, kKeyUInt32), nullptr);
  EXPECT_EQ(indexPosition(root, nullptr), UINT32_MAX);
  EXPECT_TRUE(indexVerify(root, kKeyUInt32));
  indexDestroy(root, nullptr, nullptr);
  freeList(nullptr);
}
