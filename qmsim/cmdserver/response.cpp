#include "cmdserver/response.h"

namespace qmsim::cmdserver {

ResponseItem detailRecord(const std::string& header, std::vector<std::string> attrs, const std::string& zosId) {
  ResponseItem item;
  item.record = true;
  size_t colon = header.find(": ");
  item.messageId = header.substr(0, colon);
  item.text = colon == std::string::npos ? std::string() : header.substr(colon + 2);
  item.attrs = std::move(attrs);
  item.zosRecordId = zosId;
  return item;
}

bool MqscResponse::failed() const {
  for (const auto& i : items)
    if (i.fault != Fault::None) return true;
  return false;
}

std::string layoutDistributed(const ResponseItem& item) {
  std::string out = item.messageId.empty() ? item.text : item.messageId + ": " + item.text;
  const auto& a = item.attrs;
  constexpr size_t kColumn = 40;
  for (size_t i = 0; i < a.size();) {
    out += "\n   ";
    if (a[i].size() < kColumn && i + 1 < a.size() && a[i + 1].size() < kColumn) {
      out += a[i];
      out.append(kColumn - a[i].size(), ' ');
      out += a[i + 1];
      i += 2;
    } else {
      out += a[i];
      ++i;
    }
  }
  return out;
}

}  // namespace qmsim::cmdserver
