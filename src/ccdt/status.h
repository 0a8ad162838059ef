// Error codes of the channel tables.
//
// The storage layer works with its own codes (1000 to 1016, or an errno value);
// callers see the codes 10001 to 10011 with a message. Every operation returns 0
// or one of the caller codes and writes the message into the caller's string.
#pragma once

#include <string>
#include <string_view>

namespace kvarn::ccdt {

// Storage-layer codes.
enum StorageCode : int {
  kStoreNotFound = 1000,
  kStoreDamaged = 1001,  // short read or damaged chain
  kStoreKeyExists = 1002,
  kStoreDataTooShort = 1004,
  kStoreBufferTooSmall = 1007,
  kStoreNotWritable = 1008,
  kStoreNoCurrent = 1009,
  kStoreKeyDiffers = 1010,
  kStoreNoHandle = 1011,
  kStoreNotCcdt = 1012,
  kStoreNoFile = 1013,  // file or path not found, access denied, or bad name
  kStoreNoSize = 1016,
};

// Codes callers see.
enum CcdtCode : int {
  kOk = 0,
  kErrGeneral = 10001,  // name too long, bad handle, exit lists too large, versions
  kErrAccess = 10002,
  kErrNoFile = 10003,
  kErrFormat = 10004,
  kErrStorage = 10005,
  kErrMqserver = 10006,
  kErrExists = 10007,
  kErrEndOfList = 10008,
  kErrChannelNotFound = 10009,
  kErrTooLarge = 10011,
};

// Maps a storage code to the caller's code and message. `path` and `channel`
// fill the placeholders of the messages that name them.
int reportStorageError(int storageCode, std::string_view path, std::string_view channel, std::string &message);

}  // namespace kvarn::ccdt
