// The ordered index: an AVL tree threaded by an in-order list. Every node also knows its
// position in key order, so callers can page through an index by number. Renumbering
// the list after every insert and delete made n inserts cost O(n^2), so positions are
// renumbered lazily: changes that shift them only mark the root stale, and readers
// renumber once, through indexRenumber.
#include "runtime/index.h"

#include "runtime/fault.h"
#include "runtime/memory.h"

#include <cctype>
#include <cstring>
#include <vector>

namespace {

constexpr uint16_t kOwnedByIndex = 1;  // the index made the node with CSGetMem

bool validMode(int mode) { return mode > 0 || (mode >= kKeyUInt32 && mode <= kKeyTextNoCase); }
bool textMode(int mode) { return mode == kKeyTextExact || mode == kKeyTextNoCase; }

size_t keySize(int mode) {
  if (mode == kKeyUInt32) return sizeof(uint32_t);
  if (textMode(mode)) return sizeof(const char *);
  return static_cast<size_t>(mode);
}

// The key as the comparison sees it: the text for text modes, else the key bytes.
const void *nodeKey(const IndexNode *n, int mode) {
  if (textMode(mode)) {
    const char *text;
    std::memcpy(&text, indexKey(n), sizeof text);
    return text;
  }
  return indexKey(n);
}

int compareNoCase(const char *a, const char *b) {
  for (;; ++a, ++b) {
    int ca = std::tolower(static_cast<unsigned char>(*a));
    int cb = std::tolower(static_cast<unsigned char>(*b));
    if (ca != cb) return ca < cb ? -1 : 1;
    if (!*a) return 0;
  }
}

int compareKeys(const void *a, const void *b, int mode) {
  switch (mode) {
  case kKeyUInt32: {
    uint32_t x, y;
    std::memcpy(&x, a, sizeof x);
    std::memcpy(&y, b, sizeof y);
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  case kKeyTextExact:
  case kKeyTextNoCase: {
    const char *x = a ? static_cast<const char *>(a) : "";
    const char *y = b ? static_cast<const char *>(b) : "";
    if (mode == kKeyTextNoCase) {
      // Texts equal apart from case stay distinct, in byte order (ABC before abc).
      if (int c = compareNoCase(x, y)) return c;
    }
    int c = std::strcmp(x, y);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  default: return std::memcmp(a, b, static_cast<size_t>(mode));
  }
}

int heightOf(const IndexNode *n) { return n ? n->height : 0; }

void updateHeight(IndexNode *n) {
  int l = heightOf(n->left), r = heightOf(n->right);
  n->height = static_cast<int16_t>(1 + (l > r ? l : r));
}

IndexNode *rotateRight(IndexNode *n) {
  IndexNode *l = n->left;
  n->left = l->right;
  l->right = n;
  updateHeight(n);
  updateHeight(l);
  return l;
}

IndexNode *rotateLeft(IndexNode *n) {
  IndexNode *r = n->right;
  n->right = r->left;
  r->left = n;
  updateHeight(n);
  updateHeight(r);
  return r;
}

IndexNode *rebalance(IndexNode *n) {
  updateHeight(n);
  int balance = heightOf(n->left) - heightOf(n->right);
  if (balance > 2 || balance < -2) CS_FAULT(balance);
  if (balance == 2) {
    if (heightOf(n->left->left) < heightOf(n->left->right)) n->left = rotateLeft(n->left);
    return rotateRight(n);
  }
  if (balance == -2) {
    if (heightOf(n->right->right) < heightOf(n->right->left)) n->right = rotateRight(n->right);
    return rotateLeft(n);
  }
  return n;
}

struct InsertPath {
  IndexNode *node;
  const void *key;
  int mode;
  IndexNode *pred = nullptr;  // in-order neighbours met on the way down
  IndexNode *succ = nullptr;
};

// Equal keys go to the right, so a later equal key follows the earlier ones.
IndexNode *insertBelow(IndexNode *t, InsertPath &p) {
  if (!t) return p.node;
  if (compareKeys(p.key, nodeKey(t, p.mode), p.mode) < 0) {
    p.succ = t;
    t->left = insertBelow(t->left, p);
  } else {
    p.pred = t;
    t->right = insertBelow(t->right, p);
  }
  return rebalance(t);
}

IndexNode *removeMin(IndexNode *t, IndexNode *&out) {
  if (!t->left) {
    out = t;
    return t->right;
  }
  t->left = removeMin(t->left, out);
  return rebalance(t);
}

IndexNode *removeMax(IndexNode *t, IndexNode *&out) {
  if (!t->right) {
    out = t;
    return t->left;
  }
  t->right = removeMax(t->right, out);
  return rebalance(t);
}

struct RemovePath {
  const IndexNode *target;  // the first node in key order with this key
  const void *key;
  int mode;
};

// The key steers the descent; among equal keys the target is the first in key order,
// so an equal node that is not the target has it in its left subtree.
IndexNode *removeFromTree(IndexNode *t, const RemovePath &p) {
  if (!t) CS_FAULT(0);  // the target was found, so it must be on the path
  if (t != p.target) {
    if (compareKeys(p.key, nodeKey(t, p.mode), p.mode) <= 0) t->left = removeFromTree(t->left, p);
    else t->right = removeFromTree(t->right, p);
  } else {
    if (!t->left || !t->right) return t->left ? t->left : t->right;
    IndexNode *replacement = nullptr;
    if (heightOf(t->left) > heightOf(t->right)) t->left = removeMax(t->left, replacement);
    else t->right = removeMin(t->right, replacement);
    replacement->left = t->left;
    replacement->right = t->right;
    t = replacement;
  }
  return rebalance(t);
}

// Cross-references go first, then the caller sees the node, then it is freed.
void releaseNode(IndexNode *n, IndexCallback callback, void *callerValue) {
  freeList(n->crossRefs);
  n->crossRefs = nullptr;
  bool owned = n->ownership == kOwnedByIndex;
  if (callback) callback(n, callerValue);
  if (owned) CSFreeMem(n);
}

}  // namespace

IndexNode *indexInsert(IndexRoot &root, IndexNode *node, size_t nodeSize, int keyMode, unsigned flags) {
  if (!node || !validMode(keyMode) || nodeSize < sizeof(IndexNode) + keySize(keyMode)) return nullptr;
  if (root.count == UINT32_MAX) return nullptr;
  const void *key = nodeKey(node, keyMode);
  if (!(flags & kIndexAllowEqual) && indexFind(root, key, keyMode)) return nullptr;

  IndexNode *n = node;
  uint16_t ownership = 0;
  if (!(flags & kIndexUseCallerNode)) {
    n = static_cast<IndexNode *>(CSGetMem(nodeSize));
    if (!n) return nullptr;
    std::memcpy(static_cast<void *>(n), node, nodeSize);
    ownership = kOwnedByIndex;
  }
  n->left = n->right = n->prev = n->next = nullptr;
  n->height = 1;
  n->ownership = ownership;

  InsertPath path{n, nodeKey(n, keyMode), keyMode};
  root.root = insertBelow(root.root, path);

  n->prev = path.pred;
  n->next = path.succ;
  (path.pred ? path.pred->next : root.first) = n;
  (path.succ ? path.succ->prev : root.last) = n;
  // Appending leaves every other position as it was; anything else shifts the rest.
  n->position = root.count++;
  if (path.succ) root.positionsStale = true;
  return n;
}

IndexNode *indexFind(const IndexRoot &root, const void *key, int keyMode) {
  if (!validMode(keyMode) || (!key && !textMode(keyMode))) return nullptr;
  IndexNode *found = nullptr;
  for (IndexNode *t = root.root; t;) {
    int c = compareKeys(key, nodeKey(t, keyMode), keyMode);
    if (c == 0) found = t;  // keep going left for the first of equal keys
    t = c <= 0 ? t->left : t->right;
  }
  return found;
}

int indexDelete(IndexRoot &root, const void *key, int keyMode, IndexCallback callback, void *callerValue) {
  IndexNode *n = indexFind(root, key, keyMode);
  if (!n) return 3;
  root.root = removeFromTree(root.root, RemovePath{n, nodeKey(n, keyMode), keyMode});
  (n->prev ? n->prev->next : root.first) = n->next;
  (n->next ? n->next->prev : root.last) = n->prev;
  --root.count;
  if (n->next) root.positionsStale = true;  // removing the last node shifts nothing
  n->left = n->right = n->prev = n->next = nullptr;
  releaseNode(n, callback, callerValue);
  return 0;
}

void indexDestroy(IndexRoot &root, IndexCallback callback, void *callerValue) {
  if (callback) indexRenumber(root);  // the callback may read positions
  IndexNode *n = root.first;
  root = IndexRoot{};
  while (n) {
    IndexNode *next = n->next;
    releaseNode(n, callback, callerValue);
    n = next;
  }
}

void indexRenumber(const IndexRoot &root) {
  if (!root.positionsStale) return;
  uint32_t position = 0;
  for (IndexNode *n = root.first; n; n = n->next) n->position = position++;
  root.positionsStale = false;
}

uint32_t indexPosition(const IndexRoot &root, const IndexNode *node) {
  if (!node) return UINT32_MAX;
  indexRenumber(root);
  return node->position;
}

void freeList(void *first) {
  while (first) {
    void *next;
    std::memcpy(&next, first, sizeof next);
    CSFreeMem(first);
    first = next;
  }
}

namespace {

// Height of the subtree if every node's stored height and balance hold, else -1.
int verifySubtree(const IndexNode *t, std::vector<const IndexNode *> &inOrder, size_t limit) {
  if (!t) return 0;
  if (inOrder.size() > limit) return -1;  // a cycle
  int l = verifySubtree(t->left, inOrder, limit);
  if (l < 0) return -1;
  inOrder.push_back(t);
  int r = verifySubtree(t->right, inOrder, limit);
  if (r < 0 || l - r > 1 || r - l > 1) return -1;
  int h = 1 + (l > r ? l : r);
  return t->height == h ? h : -1;
}

}  // namespace

bool indexVerify(const IndexRoot &root, int keyMode) {
  if (!validMode(keyMode)) return false;
  size_t listLength = 0;
  for (const IndexNode *n = root.first; n; n = n->next)
    if (++listLength > (1u << 31)) return false;
  std::vector<const IndexNode *> inOrder;
  inOrder.reserve(listLength);
  if (verifySubtree(root.root, inOrder, listLength) < 0 || inOrder.size() != listLength) return false;
  if (listLength != root.count) return false;
  if (inOrder.empty()) return !root.first && !root.last;
  indexRenumber(root);
  if (root.first != inOrder.front() || root.last != inOrder.back()) return false;
  for (size_t i = 0; i < inOrder.size(); ++i) {
    const IndexNode *n = inOrder[i];
    if (n->position != i) return false;
    if (n->prev != (i ? inOrder[i - 1] : nullptr)) return false;
    if (n->next != (i + 1 < inOrder.size() ? inOrder[i + 1] : nullptr)) return false;
    if (i && compareKeys(nodeKey(inOrder[i - 1], keyMode), nodeKey(n, keyMode), keyMode) > 0) return false;
  }
  return true;
}
