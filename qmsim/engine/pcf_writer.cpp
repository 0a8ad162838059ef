#include "engine/pcf_writer.h"

namespace qmsim {

namespace {
void appendLong(std::string& out, MQLONG v) { out.append(reinterpret_cast<const char*>(&v), sizeof v); }
}  // namespace

PcfWriter::PcfWriter(MQLONG type, MQLONG version, MQLONG command, MQLONG seq, bool last, MQLONG compCode,
                     MQLONG reason) {
  header_.Type = type;
  header_.StrucLength = sizeof(MQCFH);
  header_.Version = version;
  header_.Command = command;
  header_.MsgSeqNumber = seq;
  header_.Control = last ? MQCFC_LAST : MQCFC_NOT_LAST;
  header_.CompCode = compCode;
  header_.Reason = reason;
}

PcfWriter& PcfWriter::integer(MQLONG id, MQLONG value) {
  appendLong(body_, MQCFT_INTEGER);
  appendLong(body_, 16);
  appendLong(body_, id);
  appendLong(body_, value);
  ++header_.ParameterCount;
  return *this;
}

PcfWriter& PcfWriter::string(MQLONG id, std::string_view value, size_t padTo) {
  std::string text(value);
  if (text.size() < padTo) text.append(padTo - text.size(), ' ');
  size_t length = (20 + text.size() + 3) / 4 * 4;
  appendLong(body_, MQCFT_STRING);
  appendLong(body_, static_cast<MQLONG>(length));
  appendLong(body_, id);
  appendLong(body_, MQCCSI_DEFAULT);
  appendLong(body_, static_cast<MQLONG>(text.size()));
  body_ += text;
  body_.append(length - 20 - text.size(), '\0');
  ++header_.ParameterCount;
  return *this;
}

PcfWriter& PcfWriter::integerList(MQLONG id, const std::vector<MQLONG>& values) {
  appendLong(body_, MQCFT_INTEGER_LIST);
  appendLong(body_, static_cast<MQLONG>(16 + 4 * values.size()));
  appendLong(body_, id);
  appendLong(body_, static_cast<MQLONG>(values.size()));
  for (MQLONG v : values) appendLong(body_, v);
  ++header_.ParameterCount;
  return *this;
}

std::string PcfWriter::finish() const {
  std::string out(reinterpret_cast<const char*>(&header_), sizeof header_);
  return out + body_;
}

}  // namespace qmsim
