#include "cmdserver/pcf.h"

#include <cstring>

namespace qmsim::cmdserver {

namespace {

MQLONG readLong(std::string_view data, size_t at) {
  MQLONG v;
  std::memcpy(&v, data.data() + at, sizeof v);
  return v;
}

std::string trimBlanks(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\0')) --n;
  return std::string(s.substr(0, n));
}

// Parses one parameter structure at pos; returns 0 or the reason of the fault.
MQLONG parseParam(std::string_view data, size_t& pos, PcfParam& p) {
  size_t left = data.size() - pos;
  if (left < 12) return MQRCCF_STRUCTURE_TYPE_ERROR;
  p.type = readLong(data, pos);
  MQLONG length = readLong(data, pos + 4);
  p.id = readLong(data, pos + 8);
  auto lengthOk = [&](size_t minimum) {
    return length >= static_cast<MQLONG>(minimum) && static_cast<size_t>(length) <= left && length % 4 == 0;
  };
  switch (p.type) {
  case MQCFT_INTEGER:
    if (length != 16 || left < 16) return MQRCCF_CFIN_LENGTH_ERROR;
    p.intValue = readLong(data, pos + 12);
    break;
  case MQCFT_STRING: {
    if (!lengthOk(20)) return MQRCCF_CFST_LENGTH_ERROR;
    MQLONG strLen = readLong(data, pos + 16);
    if (strLen < 0 || strLen > length - 20) return MQRCCF_CFST_STRING_LENGTH_ERR;
    p.text = trimBlanks(data.substr(pos + 20, strLen));
    break;
  }
  case MQCFT_INTEGER_LIST: {
    if (!lengthOk(16)) return MQRCCF_CFIL_LENGTH_ERROR;
    MQLONG count = readLong(data, pos + 12);
    if (count < 0 || count > (length - 16) / 4) return MQRCCF_CFIL_COUNT_ERROR;
    if (16 + 4 * static_cast<MQLONG>(count) != length) return MQRCCF_CFIL_LENGTH_ERROR;
    for (MQLONG i = 0; i < count; ++i) p.ints.push_back(readLong(data, pos + 16 + 4 * i));
    break;
  }
  case MQCFT_STRING_LIST: {
    if (!lengthOk(24)) return MQRCCF_CFSL_LENGTH_ERROR;
    MQLONG count = readLong(data, pos + 16);
    MQLONG strLen = readLong(data, pos + 20);
    if (count < 0) return MQRCCF_CFSL_COUNT_ERROR;
    if (strLen < 0) return MQRCCF_CFSL_STRING_LENGTH_ERR;
    // Strings of length 0 take no bytes, so only the count bounds them: a list of
    // them holds nothing a command could use, and a huge count would allocate
    // without limit.
    if (strLen == 0 && count > 0) return MQRCCF_CFSL_COUNT_ERROR;
    if (static_cast<int64_t>(count) * strLen > length - 24) return MQRCCF_CFSL_TOTAL_LENGTH_ERROR;
    p.texts.reserve(static_cast<size_t>(count));
    for (MQLONG i = 0; i < count; ++i)
      p.texts.push_back(trimBlanks(
          data.substr(pos + 24 + static_cast<size_t>(i) * static_cast<size_t>(strLen), static_cast<size_t>(strLen))));
    break;
  }
  default: return MQRCCF_STRUCTURE_TYPE_ERROR;
  }
  pos += static_cast<size_t>(p.type == MQCFT_INTEGER ? 16 : length);
  return 0;
}

}  // namespace

const PcfParam* PcfRequest::find(MQLONG id) const {
  for (const auto& p : params)
    if (p.id == id) return &p;
  return nullptr;
}

MQLONG parsePcf(std::string_view data, PcfRequest& out, MQLONG& badParam) {
  badParam = 0;
  if (data.size() < sizeof(MQCFH)) return MQRCCF_MSG_LENGTH_ERROR;
  std::memcpy(&out.header, data.data(), sizeof(MQCFH));
  const MQCFH& h = out.header;
  if (h.Type != MQCFT_COMMAND && h.Type != MQCFT_COMMAND_XR) return MQRCCF_CFH_TYPE_ERROR;
  if (h.StrucLength != static_cast<MQLONG>(sizeof(MQCFH))) return MQRCCF_CFH_LENGTH_ERROR;
  if (h.Version < MQCFH_VERSION_1 || h.Version > MQCFH_VERSION_3) return MQRCCF_CFH_VERSION_ERROR;
  if (h.MsgSeqNumber != 1) return MQRCCF_CFH_MSG_SEQ_NUMBER_ERR;
  if (h.Control != MQCFC_LAST && h.Control != MQCFC_NOT_LAST) return MQRCCF_CFH_CONTROL_ERROR;
  if (h.ParameterCount < 0) return MQRCCF_CFH_PARM_COUNT_ERROR;
  size_t pos = sizeof(MQCFH);
  for (MQLONG i = 0; i < h.ParameterCount; ++i) {
    if (pos >= data.size()) return MQRCCF_CFH_PARM_COUNT_ERROR;
    PcfParam p;
    if (MQLONG reason = parseParam(data, pos, p)) {
      badParam = p.id;
      return reason;
    }
    out.params.push_back(std::move(p));
  }
  if (pos != data.size()) return MQRCCF_CFH_PARM_COUNT_ERROR;
  return 0;
}

std::optional<MQCFH> peekHeader(std::string_view data) {
  if (data.size() < sizeof(MQCFH)) return std::nullopt;
  MQCFH h;
  std::memcpy(&h, data.data(), sizeof h);
  return h;
}

}  // namespace qmsim::cmdserver
