// The ordered index: a height-balanced binary tree threaded by an in-order list,
// with every node's position in key order. Callers embed IndexNode at the start of
// their own node records (the key follows the header).
//
// Insert, find and delete cost O(log n). Positions are kept lazily: a change that shifts
// them marks the root stale, and the next reader renumbers the whole list once (O(n)).
// Read positions through indexPosition, or call indexRenumber before reading
// IndexNode::position directly. Appending in key order and deleting the last node keep
// the positions valid, so they never make the root stale.
#pragma once
#include <cstddef>
#include <cstdint>

struct IndexNode;

struct IndexCrossRef {  // link from a node to a node of another index
  IndexCrossRef *next;
  IndexNode *node;
};

struct IndexNode {
  IndexNode *left;
  IndexNode *right;
  IndexNode *prev;  // previous node in key order
  IndexNode *next;  // next node in key order
  IndexCrossRef *crossRefs;
  int16_t height;
  uint16_t ownership;  // set by indexInsert (sits in what was padding)
  uint32_t position;   // position in key order, from 0; valid only after
                       // indexRenumber (see indexPosition)
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
  kIndexUseCallerNode = 64,  // the caller's node memory becomes the node
  kIndexAllowEqual = 128,    // equal keys are allowed
};

struct IndexRoot {
  IndexNode *root = nullptr;
  IndexNode *first = nullptr;
  IndexNode *last = nullptr;
  uint32_t count = 0;                   // nodes in the index
  mutable bool positionsStale = false;  // some node's position is out of date
};

// The key stored right after the node header.
inline void *indexKey(IndexNode *n) { return reinterpret_cast<char *>(n) + sizeof(IndexNode); }
inline const void *indexKey(const IndexNode *n) { return reinterpret_cast<const char *>(n) + sizeof(IndexNode); }

// Insert `node` (whose size in bytes is `nodeSize`, header included). Without
// kIndexUseCallerNode a copy is made with CSGetMem. Returns the node in the index, or
// nullptr for an equal key without kIndexAllowEqual (nothing changes), no storage, or a
// full index (positions are 32-bit).
IndexNode *indexInsert(IndexRoot &root, IndexNode *node, size_t nodeSize, int keyMode, unsigned flags);

// `key` points at the key value: a uint32_t*, a const char* (the text itself), or n bytes.
// With equal keys the first in key order is found.
IndexNode *indexFind(const IndexRoot &root, const void *key, int keyMode);

// Number of nodes in the index.
inline uint32_t indexCount(const IndexRoot &root) { return root.count; }

// Brings every node's position up to date with one walk of the in-order list when the
// root is stale; costs nothing otherwise.
void indexRenumber(const IndexRoot &root);
// The node's position in key order, from 0 (renumbering first when the root is stale).
// `node` must be in this index; nullptr gives UINT32_MAX.
uint32_t indexPosition(const IndexRoot &root, const IndexNode *node);

using IndexCallback = void (*)(IndexNode *node, void *callerValue);

// Deletes the first node in key order with that key. Returns 0 when deleted, 3 when the
// key is not found. The callback sees the node, already unlinked and with an undefined
// position, before it is freed (nodes inserted with kIndexUseCallerNode are not freed).
// The node's cross-reference chain is freed with freeList after the callback, so it
// must consist of CSGetMem blocks.
int indexDelete(IndexRoot &root, const void *key, int keyMode, IndexCallback callback, void *callerValue);
// Visit every node (with the optional callback) and free it.
void indexDestroy(IndexRoot &root, IndexCallback callback, void *callerValue);

// Free a chain of CSGetMem blocks linked through their first pointer.
void freeList(void *first);

// Check every invariant (heights, balance, order, list, count, positions, renumbering
// first when stale); for tests.
bool indexVerify(const IndexRoot &root, int keyMode);
