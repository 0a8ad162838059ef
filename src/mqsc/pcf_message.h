// Building PCF requests and reading PCF replies in IBM's published layout (MQCFH followed
// by MQCFIN, MQCFST, MQCFIL ... parameters). The reader never reads beyond the bytes it
// was given: a parameter whose length does not fit ends the walk.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "mqi/mqi.h"

class PcfBuilder {
 public:
  PcfBuilder(int32_t command, int32_t type = MQCFT_COMMAND, int32_t version = MQCFH_VERSION_1);
  PcfBuilder &addInteger(int32_t parameter, int32_t value);
  // Coded character set 0, unpadded StringLength, StrucLength padded to a multiple of 4.
  PcfBuilder &addString(int32_t parameter, std::string_view text);
  PcfBuilder &addIntegerList(int32_t parameter, const std::vector<int32_t> &values);
  const std::vector<uint8_t> &bytes() const { return bytes_; }
  std::vector<uint8_t> take() { return std::move(bytes_); }

 private:
  void append(const void *data, size_t length);
  void countParameter();
  std::vector<uint8_t> bytes_;
};

// One parameter of a PCF message as found in the bytes.
struct PcfParameter {
  int32_t type = 0;
  int32_t parameter = 0;
  size_t offset = 0;                      // of the structure within the message
  size_t length = 0;                      // StrucLength
  int32_t integer = 0;                    // MQCFIN value
  std::string_view string;                // MQCFST text (StringLength bytes, clipped to the structure)
  std::vector<int32_t> integers;          // MQCFIL values (clipped to the structure)
  std::vector<std::string_view> strings;  // MQCFSL items (clipped to the structure)
};

class PcfReader {
 public:
  PcfReader(const uint8_t *data, size_t length);
  // False when the message is shorter than an MQCFH.
  bool hasHeader() const { return hasHeader_; }
  const MQCFH &header() const { return header_; }
  // The next parameter; false at the end of the message or at a damaged parameter.
  bool next(PcfParameter &parameter);
  size_t position() const { return pos_; }
  bool damaged() const { return damaged_; }

 private:
  const uint8_t *data_;
  size_t length_;
  size_t pos_ = 0;
  int32_t remaining_ = 0;
  bool hasHeader_ = false;
  bool damaged_ = false;
  MQCFH header_{};
};

int32_t readInt32(const uint8_t *p);
