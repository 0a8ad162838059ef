#include "ccdt/status.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "ccdt/channel.h"

namespace kvarn::ccdt {

std::string formatText(const char *format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int needed = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out;
  if (needed > 0) {
    std::vector<char> buffer(static_cast<size_t>(needed) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    out.assign(buffer.data(), static_cast<size_t>(needed));
  }
  va_end(args);
  return out;
}

int reportStorageError(int storageCode, std::string_view path, std::string_view channel,
                       std::string &message) {
  std::string file(path);
  std::string name(trimTrailingBlanks(channel));
  switch (storageCode) {
  case 0:
    message.clear();
    return kOk;
  case kStoreNotFound:
    message = formatText("AMQ8147: IBM MQ channel '%s' not found", name.c_str());
    return kErrChannelNotFound;
  case kStoreBufferTooSmall:
    message = formatText("AMQ8147: IBM MQ channel '%s' too large", name.c_str());
    return kErrTooLarge;
  case kStoreKeyExists:
    message = "Entry already exists";
    return kErrExists;
  case kStoreNoHandle:
    message = "Bad file handle";
    return kErrGeneral;
  case kStoreNotCcdt:
  case kStoreDamaged:
    message = formatText("File '%s' does not appear to be the correct format", file.c_str());
    return kErrFormat;
  case kStoreNoFile:
    message = formatText("Can not find file '%s'", file.c_str());
    return kErrNoFile;
  case kStoreNoSize:
    message = formatText("Error accessing file '%s' RC[%d]", file.c_str(), storageCode);
    return kErrAccess;
  case kStoreDataTooShort:
  case kStoreNotWritable:
  case kStoreNoCurrent:
  case kStoreKeyDiffers:
    message = formatText("File error %d", storageCode);
    return storageCode;
  default:
    // A system error number.
    if (file.empty())
      message = formatText("Error accessing file RC(%d)", storageCode);
    else
      message = formatText("Error accessing file '%s' RC[%d]", file.c_str(), storageCode);
    return kErrAccess;
  }
}

}  // namespace kvarn::ccdt
