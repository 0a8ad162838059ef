#include "mqsc/pcf_message.h"

#include <cstring>

int32_t readInt32(const uint8_t *p) {
  int32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

PcfBuilder::PcfBuilder(int32_t command, int32_t type, int32_t version) {
  MQCFH h{};
  h.Type = type;
  h.StrucLength = MQCFH_STRUC_LENGTH;
  h.Version = version;
  h.Command = command;
  h.MsgSeqNumber = 1;
  h.Control = MQCFC_LAST;
  h.CompCode = 0;
  h.Reason = 0;
  h.ParameterCount = 0;
  bytes_.reserve(256);
  append(&h, sizeof h);
}

void PcfBuilder::append(const void *data, size_t length) {
  const auto *p = static_cast<const uint8_t *>(data);
  bytes_.insert(bytes_.end(), p, p + length);
}

void PcfBuilder::countParameter() {
  int32_t count = readInt32(bytes_.data() + offsetof(MQCFH, ParameterCount)) + 1;
  std::memcpy(bytes_.data() + offsetof(MQCFH, ParameterCount), &count, sizeof count);
}

PcfBuilder &PcfBuilder::addInteger(int32_t parameter, int32_t value) {
  MQCFIN p{MQCFT_INTEGER, MQCFIN_STRUC_LENGTH, parameter, value};
  append(&p, sizeof p);
  countParameter();
  return *this;
}

PcfBuilder &PcfBuilder::addString(int32_t parameter, std::string_view text) {
  size_t padded = (text.size() + 3) & ~size_t{3};
  int32_t fixed[5] = {MQCFT_STRING, static_cast<int32_t>(MQCFST_STRUC_LENGTH_FIXED + padded), parameter, 0,
                      static_cast<int32_t>(text.size())};
  append(fixed, sizeof fixed);
  append(text.data(), text.size());
  bytes_.resize(bytes_.size() + (padded - text.size()), 0);
  countParameter();
  return *this;
}

PcfBuilder &PcfBuilder::addIntegerList(int32_t parameter, const std::vector<int32_t> &values) {
  int32_t fixed[4] = {MQCFT_INTEGER_LIST, static_cast<int32_t>(MQCFIL_STRUC_LENGTH_FIXED + 4 * values.size()),
                      parameter, static_cast<int32_t>(values.size())};
  append(fixed, sizeof fixed);
  append(values.data(), 4 * values.size());
  countParameter();
  return *this;
}

PcfReader::PcfReader(const uint8_t *data, size_t length) : data_(data), length_(data ? length : 0) {
  if (length_ >= sizeof(MQCFH)) {
    std::memcpy(&header_, data_, sizeof header_);
    hasHeader_ = true;
    // A reply may carry a longer header than the one we know; never a shorter one.
    pos_ = header_.StrucLength >= static_cast<int32_t>(sizeof(MQCFH)) &&
                   static_cast<size_t>(header_.StrucLength) <= length_
               ? static_cast<size_t>(header_.StrucLength)
               : sizeof(MQCFH);
    remaining_ = header_.ParameterCount;
  }
}

bool PcfReader::next(PcfParameter &out) {
  if (!hasHeader_ || damaged_ || remaining_ <= 0) return false;
  if (length_ - pos_ < 12) {
    damaged_ = length_ != pos_;
    return false;
  }
  const uint8_t *p = data_ + pos_;
  int32_t type = readInt32(p);
  int32_t strucLength = readInt32(p + 4);
  if (strucLength < 12 || static_cast<size_t>(strucLength) > length_ - pos_) {
    damaged_ = true;
    return false;
  }
  out = PcfParameter{};
  out.type = type;
  out.parameter = readInt32(p + 8);
  out.offset = pos_;
  out.length = static_cast<size_t>(strucLength);
  if (type == MQCFT_INTEGER && strucLength >= 16) {
    out.integer = readInt32(p + 12);
  } else if (type == MQCFT_STRING && strucLength >= 20) {
    int32_t n = readInt32(p + 16);
    size_t room = static_cast<size_t>(strucLength) - 20;
    size_t len = n < 0 ? 0 : static_cast<size_t>(n);
    if (len > room) len = room;
    out.string = std::string_view(reinterpret_cast<const char *>(p + 20), len);
  } else if (type == MQCFT_INTEGER_LIST && strucLength >= 16) {
    int32_t n = readInt32(p + 12);
    size_t room = (static_cast<size_t>(strucLength) - 16) / 4;
    size_t count = n < 0 ? 0 : static_cast<size_t>(n);
    if (count > room) count = room;
    out.integers.reserve(count);
    for (size_t i = 0; i < count; ++i) out.integers.push_back(readInt32(p + 16 + 4 * i));
  } else if (type == MQCFT_STRING_LIST && strucLength >= 24) {
    int32_t n = readInt32(p + 16);
    int32_t itemLength = readInt32(p + 20);
    if (n > 0 && itemLength > 0) {
      size_t room = (static_cast<size_t>(strucLength) - 24) / static_cast<size_t>(itemLength);
      size_t count = static_cast<size_t>(n) < room ? static_cast<size_t>(n) : room;
      for (size_t i = 0; i < count; ++i)
        out.strings.emplace_back(reinterpret_cast<const char *>(p + 24 + i * itemLength),
                                 static_cast<size_t>(itemLength));
    }
  }
  pos_ += static_cast<size_t>(strucLength);
  --remaining_;
  return true;
}
