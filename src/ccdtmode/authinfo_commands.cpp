// DEFINE, ALTER, DELETE and DISPLAY AUTHINFO on a binary channel table: the CRL
// servers (CRLLDAP1 to CRLLDAP10) and the OCSP responder (OCSP1) a client checks
// certificates with.
#include <ctime>

#include "ccdt/binary_table.h"
#include "ccdt/status.h"
#include "ccdtmode/ccdt_command.h"
#include "ccdtmode/channel_attributes.h"
#include "ccdtmode/table_store.h"
#include "mqsc/prepare_steps.h"
#include "runtime/scan.h"

namespace kvarn::ccdtmode {

using namespace kvarn::ccdt;

namespace {

enum class AuthType { None, CrlLdap, Ocsp };

const char *typeName(AuthType t) { return t == AuthType::Ocsp ? "OCSP" : "CRLLDAP"; }

struct AuthAttribute {
  const char *keyword;
  unsigned verbs;
  int maxLength;  // 0: no value
};

constexpr unsigned kSet = kVerbDefine | kVerbAlter | kVerbDisplay;
constexpr AuthAttribute kAttributes[] = {
    {"AUTHTYPE", kSet, 8},        {"CONNAME", kSet, 264},       {"DESCR", kSet, 64},         {"LDAPUSER", kSet, 1024},
    {"LDAPPWD", kSet, 32},        {"OCSPURL", kSet, 256},       {"REPLACE", kVerbDefine, 0}, {"INSERT", kVerbDefine, 0},
    {"ALTDATE", kVerbDisplay, 0}, {"ALTTIME", kVerbDisplay, 0}, {"ALL", kVerbDisplay, 0},
};

const AuthAttribute *findAttribute(std::string_view keyword) {
  for (const AuthAttribute &a : kAttributes)
    if (scanEqualsNoCase(a.keyword, keyword)) return &a;
  return nullptr;
}

bool checkClauses(const CcdtCommand &command, Reply &reply) {
  unsigned verb = command.row->verbBit;
  for (const Clause &clause : command.clauses) {
    const char *keyword = clause.keyword.c_str();
    const AuthAttribute *attr = findAttribute(clause.keyword);
    if (!attr) {
      reply.bad(strFormat("AMQ8427: Unrecognised attribute name '%s'", keyword));
      return false;
    }
    if (!(attr->verbs & verb)) {
      if (clause.keyword == "REPLACE") reply.bad("AMQ8427: REPLACE is not a valid keyword for this command.");
      else if (clause.keyword == "INSERT") reply.bad("AMQ8427: INSERT is not a valid keyword for this command.");
      else if (clause.keyword == "ALTDATE" || clause.keyword == "ALTTIME")
        reply.bad(strFormat("AMQ8427: You can not set the value of attribute '%s'", keyword));
      else reply.bad(strFormat("AMQ8427: Attribute '%s' is not valid for this command", keyword));
      return false;
    }
    bool wantsValue = attr->maxLength > 0 && !(verb == kVerbDisplay && !clause.hasValue);
    if (wantsValue != clause.hasValue) {
      reply.bad(
          strFormat("AMQ8405: Syntax error detected at or near command segment below :-\n%s", command.text.c_str()));
      return false;
    }
    if (clause.hasValue && static_cast<int>(mqscValue(clause.value).size()) > attr->maxLength) {
      reply.bad(strFormat("AMQ8427: The maximum length of attribute '%s' is %d characters.", keyword, attr->maxLength));
      return false;
    }
  }
  if (command.has("REPLACE") && command.has("INSERT")) {
    reply.bad("Duplicate keyword error 'INSERT'");
    return false;
  }
  return true;
}

std::string clauseValue(const CcdtCommand &command, const char *keyword) {
  const Clause *c = command.find(keyword);
  return c && c->hasValue ? mqscValue(c->value) : std::string();
}

bool readType(const CcdtCommand &command, AuthType &type, Reply &reply) {
  type = AuthType::None;
  if (!command.has("AUTHTYPE")) return true;
  std::string value = clauseValue(command, "AUTHTYPE");
  if (value == "CRLLDAP") type = AuthType::CrlLdap;
  else if (value == "OCSP") type = AuthType::Ocsp;
  else {
    reply.bad(strFormat("AMQ8427: Unrecognised value '%s'.", value.c_str()));
    return false;
  }
  return true;
}

// "CRLLDAP3" or "OCSP1": the type and the 1-based position. False for any other name.
bool parseEntryName(std::string_view name, AuthType &type, int &position) {
  std::string_view digits;
  if (name.starts_with("CRLLDAP")) {
    type = AuthType::CrlLdap;
    digits = name.substr(7);
  } else if (name.starts_with("OCSP")) {
    type = AuthType::Ocsp;
    digits = name.substr(4);
  } else {
    return false;
  }
  if (digits.empty() || digits.size() > 3 || digits.find_first_not_of("0123456789") != std::string_view::npos)
    return false;
  position = std::stoi(std::string(digits));
  return position >= 1;
}

// One AUTHINFO entry as the commands see it.
struct Entry {
  AuthType type = AuthType::CrlLdap;
  int position = 1;
  CrlEntry crl;
  std::string url;
  std::string description;
  int64_t alterTime = 0;
  std::string name() const { return strFormat("%s%d", typeName(type), position); }
};

int readEntries(CcdtModeState &state, std::vector<Entry> &entries, CrlList &crl, OcspList &ocsp, std::string &message) {
  entries.clear();
  crl = CrlList{};
  ocsp = OcspList{};
  if (!state.binary) return kOk;
  if (int rc = state.binary->readCrl(crl, message); rc != kOk) return rc;
  if (int rc = state.binary->readOcsp(ocsp, message); rc != kOk) return rc;
  for (size_t i = 0; i < crl.entries.size(); ++i)
    entries.push_back({AuthType::CrlLdap, static_cast<int>(i + 1), crl.entries[i], {}, crl.description, crl.alterTime});
  for (size_t i = 0; i < ocsp.urls.size(); ++i)
    entries.push_back({AuthType::Ocsp, static_cast<int>(i + 1), {}, ocsp.urls[i], ocsp.description, ocsp.alterTime});
  return kOk;
}

std::string storageMessage(int rc, const std::string &message) {
  if (!message.empty()) return message;
  return strFormat("AMQ8147: Error accessing authentication information records RC(%d)", rc);
}

// Applies the clauses that set values. False when the type forbids one.
bool applyValues(const CcdtCommand &command, AuthType type, CrlEntry &crl, std::string &url, std::string &descr,
                 bool &changed, Reply &reply) {
  auto set = [&](std::string &field, const char *keyword) {
    if (!command.has(keyword)) return;
    std::string value = clauseValue(command, keyword);
    if (field != value) changed = true;
    field = value;
  };
  for (const char *crlOnly : {"CONNAME", "LDAPUSER", "LDAPPWD"})
    if (type == AuthType::Ocsp && command.has(crlOnly)) {
      reply.bad(strFormat("AMQ8427: Attribute '%s' is not valid for this command", crlOnly));
      return false;
    }
  if (type == AuthType::CrlLdap && command.has("OCSPURL")) {
    reply.bad("AMQ8427: Attribute 'OCSPURL' is not valid for this command");
    return false;
  }
  set(crl.connectionName, "CONNAME");
  set(crl.ldapUser, "LDAPUSER");
  set(crl.ldapPassword, "LDAPPWD");
  set(descr, "DESCR");
  if (command.has("OCSPURL")) {
    std::string value = clauseValue(command, "OCSPURL");
    if (!value.starts_with("http://") && !value.starts_with("https://") && !value.starts_with("HTTP://") &&
        !value.starts_with("HTTPS://")) {
      reply.bad("AMQ8454: Syntax error found in parameter OCSPURL");
      return false;
    }
    set(url, "OCSPURL");
  }
  return true;
}

int writeEntry(CcdtModeState &state, AuthType type, CrlList &crl, OcspList &ocsp, std::string &message) {
  if (type == AuthType::Ocsp) {
    ocsp.alterTime = std::time(nullptr);
    return state.binary->writeOcsp(ocsp, message);
  }
  crl.alterTime = std::time(nullptr);
  return state.binary->writeCrl(crl, message);
}

bool refuseJson(const CcdtModeState &state, Reply &reply) {
  if (state.form != TableForm::Json) return false;
  reply.fail("AMQ8150: JSON CCDT files do not support AUTHINFO commands");
  return true;
}

// ---------------------------------------------------------------- DEFINE AUTHINFO

void defineAuthinfo(ProgramContext &ctx, CcdtModeState &state, CcdtCommand &command, Reply &reply) {
  if (refuseJson(state, reply) || !checkClauses(command, reply)) return;
  const std::string &name = command.name;
  if (!isValidObjectName(name) || name.find('*') != std::string::npos)
    return reply.fail("AMQ8150: The authentication information name is not valid.");
  AuthType type;
  if (!readType(command, type, reply)) return;
  if (type == AuthType::None) return reply.fail("AMQ8147: Unknown Authentication Info type");
  if (type == AuthType::Ocsp && !command.has("OCSPURL"))
    return reply.fail("AMQ8462: The required parameter OCSPURL is missing");

  std::string message;
  if (int rc = prepareChange(ctx, state, message); rc != kOk) return reply.fail(message);
  std::vector<Entry> entries;
  CrlList crl;
  OcspList ocsp;
  if (int rc = readEntries(state, entries, crl, ocsp, message); rc != kOk)
    return reply.fail(storageMessage(rc, message));

  // A name of the form CRLLDAPn or OCSPn says where the entry goes; any other name
  // adds it at the end.
  size_t count = type == AuthType::Ocsp ? ocsp.urls.size() : crl.entries.size();
  AuthType named;
  int position = 0;
  if (parseEntryName(name, named, position)) {
    if (named != type)
      return reply.fail(
          strFormat("AMQ8147: Authentication name '%s' does not match required authinfo type", name.c_str()));
  } else {
    position = static_cast<int>(count) + 1;
  }
  bool exists = static_cast<size_t>(position) <= count;
  if (exists && !command.has("REPLACE") && !command.has("INSERT"))
    return reply.fail(strFormat("AMQ8150: IBM MQ authentication information '%s' already exists", name.c_str()));

  CrlEntry entry;
  std::string url, descr = type == AuthType::Ocsp ? ocsp.description : crl.description;
  bool changed = false;
  if (!applyValues(command, type, entry, url, descr, changed, reply)) return;
  size_t at = std::min(static_cast<size_t>(position - 1), count);
  bool replace = exists && command.has("REPLACE");
  if (type == AuthType::Ocsp) {
    if (!replace && ocsp.urls.size() >= static_cast<size_t>(kMaxOcspUrls))
      return reply.fail(strFormat("AMQ8326: Maximum number (%d) of OCSP AUTHINFO definitions reached.", kMaxOcspUrls));
    if (replace) ocsp.urls[at] = url;
    else ocsp.urls.insert(ocsp.urls.begin() + static_cast<std::ptrdiff_t>(at), url);
    ocsp.description = descr;
  } else {
    if (!replace && crl.entries.size() >= static_cast<size_t>(kMaxCrlEntries))
      return reply.fail(
          strFormat("AMQ8326: Maximum number (%d) of CRLLDAP AUTHINFO definitions reached.", kMaxCrlEntries));
    if (replace) crl.entries[at] = entry;
    else crl.entries.insert(crl.entries.begin() + static_cast<std::ptrdiff_t>(at), entry);
    crl.description = descr;
  }
  if (int rc = writeEntry(state, type, crl, ocsp, message); rc != kOk) return reply.fail(storageMessage(rc, message));
  noteChange(ctx, state);
  // Reported by the name it now has: a position past the end lands at the end.
  std::string placed =
      parseEntryName(name, named, position) ? strFormat("%s%d", typeName(type), static_cast<int>(at + 1)) : name;
  reply.text(strFormat("AMQ8016: IBM MQ authentication information '%s' defined", placed.c_str()));
}

// The entry an ALTER, DELETE or single DISPLAY names. False with the message given.
bool findEntry(CcdtModeState &state, const CcdtCommand &command, AuthType wanted, std::vector<Entry> &entries,
               CrlList &crl, OcspList &ocsp, size_t &found, Reply &reply) {
  AuthType type;
  int position = 0;
  if (!parseEntryName(command.name, type, position)) {
    reply.fail(strFormat("AMQ8147: Authentication name '%s' is not valid", command.name.c_str()));
    return false;
  }
  if (wanted != AuthType::None && wanted != type) {
    reply.fail(
        strFormat("AMQ8147: Authentication name '%s' does not match required authinfo type", command.name.c_str()));
    return false;
  }
  std::string message;
  if (int rc = readEntries(state, entries, crl, ocsp, message); rc != kOk) {
    reply.fail(storageMessage(rc, message));
    return false;
  }
  for (size_t i = 0; i < entries.size(); ++i)
    if (entries[i].type == type && entries[i].position == position) {
      found = i;
      return true;
    }
  reply.fail(strFormat("AMQ8147: authentication information '%s' not found.", command.name.c_str()), true);
  return false;
}

// ---------------------------------------------------------------- ALTER AUTHINFO

void alterAuthinfo(ProgramContext &ctx, CcdtModeState &state, CcdtCommand &command, Reply &reply) {
  if (refuseJson(state, reply) || !checkClauses(command, reply)) return;
  AuthType wanted;
  if (!readType(command, wanted, reply)) return;
  std::vector<Entry> entries;
  CrlList crl;
  OcspList ocsp;
  size_t found = 0;
  if (!findEntry(state, command, wanted, entries, crl, ocsp, found, reply)) return;
  Entry entry = entries[found];
  bool changed = false;
  if (!applyValues(command, entry.type, entry.crl, entry.url, entry.description, changed, reply)) return;
  if (!changed) return reply.fail("AMQ8427: None of the authinfo objects were changed.");
  std::string message;
  if (int rc = prepareChange(ctx, state, message); rc != kOk) return reply.fail(message);
  size_t at = static_cast<size_t>(entry.position - 1);
  if (entry.type == AuthType::Ocsp) {
    ocsp.urls[at] = entry.url;
    ocsp.description = entry.description;
  } else {
    crl.entries[at] = entry.crl;
    crl.description = entry.description;
  }
  if (int rc = writeEntry(state, entry.type, crl, ocsp, message); rc != kOk)
    return reply.fail(storageMessage(rc, message));
  noteChange(ctx, state);
  reply.text(strFormat("AMQ8016: IBM MQ authentication information '%s' changed", command.name.c_str()));
}

// ---------------------------------------------------------------- DELETE AUTHINFO

void deleteAuthinfo(ProgramContext &ctx, CcdtModeState &state, CcdtCommand &command, Reply &reply) {
  if (refuseJson(state, reply) || !checkClauses(command, reply)) return;
  std::vector<Entry> entries;
  CrlList crl;
  OcspList ocsp;
  size_t found = 0;
  if (!findEntry(state, command, AuthType::None, entries, crl, ocsp, found, reply)) return;
  const Entry &entry = entries[found];
  std::string message;
  if (int rc = prepareChange(ctx, state, message); rc != kOk) return reply.fail(message);
  size_t at = static_cast<size_t>(entry.position - 1);
  if (entry.type == AuthType::Ocsp) ocsp.urls.erase(ocsp.urls.begin() + static_cast<std::ptrdiff_t>(at));
  else crl.entries.erase(crl.entries.begin() + static_cast<std::ptrdiff_t>(at));
  if (int rc = writeEntry(state, entry.type, crl, ocsp, message); rc != kOk)
    return reply.fail(storageMessage(rc, message));
  noteChange(ctx, state);
  reply.text(strFormat("AMQ8015: IBM MQ authentication information '%s' deleted", command.name.c_str()));
}

// ---------------------------------------------------------------- DISPLAY AUTHINFO

std::string valueOf(const char *keyword, std::string_view value) {
  return value.empty() ? strFormat("%s( )", keyword)
                       : strFormat("%s(%.*s)", keyword, static_cast<int>(value.size()), value.data());
}

void displayAuthinfo(ProgramContext &, CcdtModeState &state, CcdtCommand &command, Reply &reply) {
  if (refuseJson(state, reply) || !checkClauses(command, reply)) return;
  AuthType wanted;
  if (!readType(command, wanted, reply)) return;
  bool generic = command.name.find('*') != std::string::npos;
  AuthType named;
  int position = 0;
  if (!generic && !parseEntryName(command.name, named, position))
    return reply.fail(strFormat("AMQ8147: Authentication name '%s' is not valid", command.name.c_str()));
  std::vector<Entry> entries;
  CrlList crl;
  OcspList ocsp;
  std::string message;
  if (int rc = readEntries(state, entries, crl, ocsp, message); rc != kOk)
    return reply.fail(storageMessage(rc, message));

  bool all = command.has("ALL");
  auto asked = [&](const char *keyword) {
    const Clause *c = command.find(keyword);
    return all || (c && !c->hasValue);
  };
  int shown = 0;
  for (const Entry &e : entries) {
    std::string name = e.name();
    if (generic ? !wildcardMatch(command.name, name) : name != command.name) continue;
    if (wanted != AuthType::None && e.type != wanted) continue;
    std::string text = "AMQ8414: Display authentication information details.\n";
    text += strFormat("   AUTHINFO(%s)\n   AUTHTYPE(%s)", name.c_str(), typeName(e.type));
    if (e.type == AuthType::CrlLdap) {
      if (asked("CONNAME")) text += "\n   " + valueOf("CONNAME", e.crl.connectionName);
      if (asked("LDAPUSER")) text += "\n   " + valueOf("LDAPUSER", e.crl.ldapUser);
      if (asked("LDAPPWD")) text += "\n   " + valueOf("LDAPPWD", e.crl.ldapPassword.empty() ? "" : "********");
    } else if (asked("OCSPURL")) {
      text += "\n   " + valueOf("OCSPURL", e.url);
    }
    if (asked("DESCR")) text += "\n   " + valueOf("DESCR", e.description);
    if (asked("ALTDATE")) text += "\n   " + formatAlteredAttribute("ALTDATE", e.alterTime);
    if (asked("ALTTIME")) text += "\n   " + formatAlteredAttribute("ALTTIME", e.alterTime);
    reply.text(text);
    ++shown;
  }
  if (shown > 0) return;
  if (!generic)
    return reply.fail(strFormat("AMQ8147: Authentication Information '%s' not found.", command.name.c_str()), true);
  reply.fail("AMQ8147: No authentication information definitions found which match criteria", true);
}

constexpr const char *kDefineUsage = "  DEFINE AUTHINFO( authinfo-name )\n"
                                     "         AUTHTYPE( CRLLDAP | OCSP )\n"
                                     "       [ CONNAME( connection-name ) ]   [ DESCR( description ) ]\n"
                                     "       [ LDAPUSER( user ) ]             [ LDAPPWD( password ) ]\n"
                                     "       [ REPLACE | INSERT ]\n"
                                     "  or\n"
                                     "  DEFINE AUTHINFO( authinfo-name )\n"
                                     "         AUTHTYPE( OCSP )                 OCSPURL( url )\n"
                                     "       [ DESCR( description )]          [ REPLACE | INSERT ]";
constexpr const char *kAlterUsage = "  ALTER AUTHINFO( authinfo-name )\n"
                                    "       [ AUTHTYPE( CRLLDAP | OCSP ) ]   [ CONNAME( connection-name ) ]\n"
                                    "       [ DESCR( description ) ]         [ OCSPURL( url ) ]\n"
                                    "       [ LDAPUSER( user ) ]             [ LDAPPWD( password ) ]";
constexpr const char *kDeleteUsage = "  DELETE AUTHINFO(authinfo-name)";
constexpr const char *kDisplayUsage = "  DISPLAY AUTHINFO( wildcarded authinfo-name )\n"
                                      "     [ =WHERE( expression ) ]          [ =FIND( text ) ]\n"
                                      "     [ AUTHTYPE( CRLLDAP | OCSP ) ]\n"
                                      "     [ ALL ] [ ALTDATE ] [ ALTTIME ] [ AUTHTYPE ] [ CONNAME ] [ DESCR ]\n"
                                      "     [ LDAPPWD ] [ LDAPUSER ] [ OCSPURL ]";

constexpr CcdtCommandRow kRows[] = {
    {"DISPLAY", "DIS", "AUTHINFO", "AI", 83, kVerbDisplay, kDisplayUsage, displayAuthinfo},
    {"ALTER", "ALT", "AUTHINFO", "AI", 79, kVerbAlter, kAlterUsage, alterAuthinfo},
    {"DEFINE", "DEF", "AUTHINFO", "AI", 81, kVerbDefine, kDefineUsage, defineAuthinfo},
    {"DELETE", "", "AUTHINFO", "AI", 82, kVerbDelete, kDeleteUsage, deleteAuthinfo},
};

}  // namespace

std::span<const CcdtCommandRow> authinfoCommandRows() { return kRows; }

}  // namespace kvarn::ccdtmode
