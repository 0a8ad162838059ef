// Object authority records as IBM's object authority manager keeps them on
// distributed platforms: a profile (an object name or a generic profile), an object
// type, an entity (principal or group) and the authorities granted. They are stored
// as ObjectKind::AuthRec definitions, so they persist like every other object.
//
// The checks answer what an entity may do with an object: the authorities of the
// most specific profile that matches the object, for the user and for each group the
// user belongs to, added together.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/objects.h"
#include "mqi/mqi.h"

namespace qmsim::authority {

// One authority name as MQSC writes it, its MQAUTH_* value, and the OBJTYPE keywords
// it applies to (empty: every type).
struct AuthName {
  const char* mqsc;
  MQLONG value;
  const char* types;
};
// In IBM's display order.
const std::vector<AuthName>& names();
const AuthName* findName(std::string_view mqsc);
const AuthName* findValue(MQLONG value);
bool appliesTo(const AuthName& a, std::string_view objtype);

// The OBJTYPE keywords of authority records and their MQOT_* values.
std::optional<MQLONG> objtypeValue(std::string_view keyword);
std::string objtypeKeyword(MQLONG value);  // empty when not an authority object type

// The expansion of ALL, ALLADM and ALLMQI for an object type; a single name for any other.
// Empty when the name does not apply to the type (NONE expands to nothing but is valid).
bool expand(std::string_view name, std::string_view objtype, std::set<std::string>& out);

// OAM generic profiles: '?' one character, '*' any characters within a qualifier,
// '**' any number of whole qualifiers.
bool isGeneric(std::string_view profile);
bool profileMatches(std::string_view profile, std::string_view name);

struct Record {
  std::string profile;
  std::string objtype;  // QUEUE, QMGR ...
  std::string entity;
  bool group = false;
  std::set<std::string> auths;  // MQSC names
};

ObjectDef toObject(const Record& r);
std::optional<Record> fromObject(const ObjectDef& def);
std::string storageName(const std::string& objtype, bool group, const std::string& entity, const std::string& profile);
// The authorities in display order, or NONE.
std::string authList(const std::set<std::string>& auths);
std::vector<MQLONG> authValues(const std::set<std::string>& auths);

// The groups a user id belongs to: those of the system's user of that name, if any,
// and the group of the user's own name.
std::set<std::string> groupsOf(const std::string& user);

// What an entity may do with an object, from the records given.
std::set<std::string> entityAuthority(const std::vector<Record>& records, const std::string& objtype,
                                      const std::string& objectName, const std::string& entity, bool group);
// True when user (or one of its groups) holds every authority in wanted. Members of
// the mqm group hold every authority, as with IBM.
bool authorized(const std::vector<Record>& records, const std::string& objtype, const std::string& objectName,
                const std::string& user, const std::set<std::string>& wanted);

// The profile IBM keeps queue manager authorities under.
constexpr const char* kQMgrProfile = "self";

}  // namespace qmsim::authority
