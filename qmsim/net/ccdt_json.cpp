#include "net/ccdt_json.h"

#include <nlohmann/json.hpp>

namespace qmsim {

namespace {

using Json = nlohmann::json;

// The member `name` of an object, or null when `j` is no object or has no such member.
const Json* field(const Json& j, const char* name) {
  if (!j.is_object()) return nullptr;
  auto it = j.find(name);
  return it == j.end() ? nullptr : &*it;
}

const Json* stringField(const Json& j, const char* name) {
  const Json* f = field(j, name);
  return f && f->is_string() ? f : nullptr;
}

}  // namespace

bool parseJsonCcdt(const std::string& text, std::vector<CcdtChannel>& channels, std::string& error) {
  Json root;
  try {
    root = Json::parse(text);
  } catch (const Json::parse_error& e) {
    error = "JSON error at offset " + std::to_string(e.byte > 0 ? e.byte - 1 : 0) + ": " + e.what();
    return false;
  }
  const Json* list = field(root, "channel");
  if (!list || !list->is_array()) {
    error = "no \"channel\" array";
    return false;
  }
  for (const Json& ch : *list) {
    const Json* type = field(ch, "type");
    if (type && !(type->is_string() && type->get_ref<const std::string&>() == "clientConnection")) continue;
    const Json* name = stringField(ch, "name");
    const Json* client = field(ch, "clientConnection");
    if (!name || !client) continue;
    CcdtChannel out{name->get<std::string>(), "", ""};
    if (const Json* qm = stringField(*client, "queueManager")) out.queueManager = qm->get<std::string>();
    if (const Json* conns = field(*client, "connection"); conns && conns->is_array()) {
      for (const Json& c : *conns) {
        const Json* host = stringField(c, "host");
        const Json* port = field(c, "port");
        if (!host) continue;
        if (!out.connName.empty()) out.connName += ",";
        out.connName += host->get<std::string>();
        if (port && port->is_number()) out.connName += "(" + port->dump() + ")";
      }
    }
    channels.push_back(std::move(out));
  }
  return true;
}

}  // namespace qmsim
