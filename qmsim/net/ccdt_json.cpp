#include "net/ccdt_json.h"

#include <cctype>
#include <map>
#include <memory>
#include <variant>

namespace qmsim {

namespace {

// Just enough JSON: objects, arrays, strings, numbers and literals.
struct Json {
  enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
  double number = 0;
  std::string text;
  std::vector<Json> items;
  std::map<std::string, Json> fields;

  const Json* field(const std::string& name) const {
    auto it = fields.find(name);
    return kind == Object && it != fields.end() ? &it->second : nullptr;
  }
};

class Parser {
 public:
  explicit Parser(const std::string& s) : s_(s) {}
  bool parse(Json& out, std::string& error) {
    if (!value(out, 0) || (skip(), pos_ != s_.size())) {
      error = "JSON error at offset " + std::to_string(pos_);
      return false;
    }
    return true;
  }

 private:
  void skip() {
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\n' || s_[pos_] == '\r' || s_[pos_] == '\t')) ++pos_;
  }
  bool literal(const char* word) {
    size_t n = std::char_traits<char>::length(word);
    if (s_.compare(pos_, n, word) != 0) return false;
    pos_ += n;
    return true;
  }
  bool string(std::string& out) {
    if (pos_ >= s_.size() || s_[pos_] != '"') return false;
    ++pos_;
    while (pos_ < s_.size() && s_[pos_] != '"') {
      char c = s_[pos_++];
      if (c == '\\') {
        if (pos_ >= s_.size()) return false;
        char e = s_[pos_++];
        switch (e) {
          case 'n': out += '\n'; break;
          case 't': out += '\t'; break;
          case 'r': out += '\r'; break;
          case 'b': out += '\b'; break;
          case 'f': out += '\f'; break;
          case 'u':
            if (pos_ + 4 > s_.size()) return false;
            out += '?';  // names in a channel table are plain ASCII
            pos_ += 4;
            break;
          default: out += e;
        }
      } else {
        out += c;
      }
    }
    if (pos_ >= s_.size()) return false;
    ++pos_;
    return true;
  }
  bool value(Json& out, int depth) {
    if (depth > 64) return false;
    skip();
    if (pos_ >= s_.size()) return false;
    char c = s_[pos_];
    if (c == '{') {
      out.kind = Json::Object;
      ++pos_;
      skip();
      if (pos_ < s_.size() && s_[pos_] == '}') return ++pos_, true;
      for (;;) {
        skip();
        std::string key;
        if (!string(key)) return false;
        skip();
        if (pos_ >= s_.size() || s_[pos_++] != ':') return false;
        if (!value(out.fields[key], depth + 1)) return false;
        skip();
        if (pos_ >= s_.size()) return false;
        if (s_[pos_] == ',') { ++pos_; continue; }
        if (s_[pos_] == '}') return ++pos_, true;
        return false;
      }
    }
    if (c == '[') {
      out.kind = Json::Array;
      ++pos_;
      skip();
      if (pos_ < s_.size() && s_[pos_] == ']') return ++pos_, true;
      for (;;) {
        if (!value(out.items.emplace_back(), depth + 1)) return false;
        skip();
        if (pos_ >= s_.size()) return false;
        if (s_[pos_] == ',') { ++pos_; continue; }
        if (s_[pos_] == ']') return ++pos_, true;
        return false;
      }
    }
    if (c == '"') {
      out.kind = Json::String;
      return string(out.text);
    }
    if (literal("true") || literal("false")) return out.kind = Json::Bool, true;
    if (literal("null")) return true;
    size_t start = pos_;
    while (pos_ < s_.size() && (std::isdigit(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '-' ||
                                s_[pos_] == '+' || s_[pos_] == '.' || s_[pos_] == 'e' || s_[pos_] == 'E'))
      ++pos_;
    if (pos_ == start) return false;
    out.kind = Json::Number;
    out.text = s_.substr(start, pos_ - start);
    return true;
  }

  const std::string& s_;
  size_t pos_ = 0;
};

}  // namespace

bool parseJsonCcdt(const std::string& text, std::vector<CcdtChannel>& channels, std::string& error) {
  Json root;
  if (!Parser(text).parse(root, error)) return false;
  const Json* list = root.field("channel");
  if (!list || list->kind != Json::Array) {
    error = "no \"channel\" array";
    return false;
  }
  for (const auto& ch : list->items) {
    const Json* type = ch.field("type");
    if (type && type->text != "clientConnection") continue;
    const Json* name = ch.field("name");
    const Json* client = ch.field("clientConnection");
    if (!name || name->kind != Json::String || !client) continue;
    CcdtChannel out{name->text, "", ""};
    if (const Json* qm = client->field("queueManager"); qm && qm->kind == Json::String) out.queueManager = qm->text;
    if (const Json* conns = client->field("connection"); conns && conns->kind == Json::Array) {
      for (const auto& c : conns->items) {
        const Json* host = c.field("host");
        const Json* port = c.field("port");
        if (!host || host->kind != Json::String) continue;
        if (!out.connName.empty()) out.connName += ",";
        out.connName += host->text;
        if (port && port->kind == Json::Number) out.connName += "(" + port->text + ")";
      }
    }
    channels.push_back(std::move(out));
  }
  return true;
}

}  // namespace qmsim
