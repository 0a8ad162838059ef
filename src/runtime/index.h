// The ordered index: a height-balanced binary tree threaded by an in-order list,
// with every node's position in key order. Callers embed IndexNode at the start of
// their own node records (the key follows the header).
#pragma once
#include <cstddef>
#include <cstdint>

struct IndexNode;

struct IndexCrossRef {           // link from a node to a node of another index
  IndexCrossRef *next;
  IndexNode *node;
};

struct IndexNode {
  IndexNode *left;
  IndexNode *right;
  IndexNode *prev;               // previous node in key order
  IndexNode *next;               // next node in key order
  IndexCrossRef *crossRefs;
  int16_t height;
  uint16_t ownership;            // set by indexInsert (sits in what was padding)
  uint32_t position;             // position in key order, from 0
  // the key follows: a uint32_t (mode -4), a const char * (modes -3 and -2),
  // or n bytes (mode n > 0)
};

enum IndexKeyMode : int {
  kKeyUInt32 = -4,
  kKeyTextExact = -3,
  kKeyTextNoCase = -2,
  // n > 0: n bytes stored in the node
};

enum IndexInsertFlags : unsigned {
  kIndexUseCallerNode = 64,      // the caller's node memory becomes the node
  kIndexAllowEqual = 128,        // equal keys are allowed
};

struct IndexRoot {
  IndexNode *root = nullptr;
  IndexNode *first = nullptr;
  IndexNode *last = nullptr;
};

// The key stored right after the node header.
inline void *indexKey(IndexNode *n) { return reinterpret_cast<char *>(n) + sizeof(IndexNode); }
inline const void *indexKey(const IndexNode *n) { return reinterpret_cast<const char *>(n) + sizeof(IndexNode); }

// Insert `node` (whose size in bytes is `nodeSize`, header included). Without
// kIndexUseCallerNode a copy is made with CSGetMem. Returns the node in the index, or
// nullptr for an equal key without kIndexAllowEqual (nothing changes) or no storage.
IndexNode *indexInsert(IndexRoot &root, IndexNode *node, size_t nodeSize, int keyMode, unsigned flags);

// `key` points at the key value: a uint32_t*, a const char* (the text itself), or n bytes.
// With equal keys the first in key order is found.
IndexNode *indexFind(const IndexRoot &root, const void *key, int keyMode);

// Number of nodes in the index.
inline uint32_t indexCount(const IndexRoot &root) { return root.last ? root.last->position + 1 : 0; }

using IndexCallback = void (*)(IndexNode *node, void *callerValue);

// Deletes the first node in key order with that key. Returns 0 when deleted, 3 when the
// key is not found. The callback sees the node before it is freed (nodes inserted with
// kIndexUseCallerNode are not freed). The node's cross-reference chain is freed with
// freeList after the callback, so it must consist of CSGetMem blocks.
int indexDelete(IndexRoot &root, const void *key, int keyMode, IndexCallback callback, void *callerValue);
// Visit every node (with the optional callback) and free it.
void indexDestroy(IndexRoot &root, IndexCallback callback, void *callerValue);

// Free a chain of CSGetMem blocks linked through their first pointer.
void freeList(void *first);

// Check every invariant (heights, balance, order, list, positions); for tests.
bool indexVerify(const IndexRoot &root, int keyMode);
