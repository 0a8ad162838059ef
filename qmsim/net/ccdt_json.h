// Client channels from a JSON client channel definition table, as IBM defines the
// format: {"channel":[{"name":..., "type":"clientConnection",
//   "clientConnection":{"connection":[{"host":..., "port":...}], "queueManager":...}}]}
#pragma once

#include <string>
#include <vector>

namespace qmsim {

struct CcdtChannel {
  std::string name;
  std::string queueManager;
  std::string connName;  // "host(port),host(port)"
};

// False and the reason in `error` for text that is not such a table, or not JSON at all
// (strictly: control characters in strings escaped, text in UTF-8).
bool parseJsonCcdt(const std::string& text, std::vector<CcdtChannel>& channels, std::string& error);

}  // namespace qmsim
