#include "ccdt/status.h"

#include "ccdt/channel.h"
#include "text/text.h"

namespace kvarn::ccdt {

int reportStorageError(int storageCode, std::string_view path, std::string_view channel, std::string &message) {
  std::string file(path);
  std::string name(trimTrailingBlanks(channel));
  switch (storageCode) {
  case 0: message.clear(); return kOk;
  case kStoreNotFound:
    message = strFormat("AMQ8147: IBM MQ channel '%s' not found", name.c_str());
    return kErrChannelNotFound;
  case kStoreBufferTooSmall:
    message = strFormat("AMQ8147: IBM MQ channel '%s' too large", name.c_str());
    return kErrTooLarge;
  case kStoreKeyExists: message = "Entry already exists"; return kErrExists;
  case kStoreNoHandle: message = "Bad file handle"; return kErrGeneral;
  case kStoreNotCcdt:
  case kStoreDamaged:
    message = strFormat("File '%s' does not appear to be the correct format", file.c_str());
    return kErrFormat;
  case kStoreNoFile: message = strFormat("Can not find file '%s'", file.c_str()); return kErrNoFile;
  case kStoreNoSize:
    message = strFormat("Error accessing file '%s' RC[%d]", file.c_str(), storageCode);
    return kErrAccess;
  case kStoreDataTooShort:
  case kStoreNotWritable:
  case kStoreNoCurrent:
  case kStoreKeyDiffers: message = strFormat("File error %d", storageCode); return storageCode;
  default:
    // A system error number.
    if (file.empty()) message = strFormat("Error accessing file RC(%d)", storageCode);
    else message = strFormat("Error accessing file '%s' RC[%d]", file.c_str(), storageCode);
    return kErrAccess;
  }
}

}  // namespace kvarn::ccdt
