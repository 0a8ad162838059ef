// MQSC commands of object authority: SET, DISPLAY and DELETE AUTHREC, DISPLAY
// ENTAUTH and REFRESH SECURITY, answered with IBM's messages for distributed
// queue managers. The records themselves are kept by engine/authority.h.
#pragma once

#include <string>
#include <vector>

#include "cmdserver/mqsc_exec.h"
#include "cmdserver/mqsc_parser.h"
#include "engine/authority.h"

namespace qmsim::cmdserver {

MqscResponse setAuthrec(ExecContext& ctx, const MqscCommand& cmd);
MqscResponse deleteAuthrec(ExecContext& ctx, const MqscCommand& cmd);
MqscResponse displayAuthrec(ExecContext& ctx, const MqscCommand& cmd);
MqscResponse displayEntauth(ExecContext& ctx, const MqscCommand& cmd);
MqscResponse refreshSecurity(ExecContext& ctx, const MqscCommand& cmd);

// The records of a queue manager, and the operations both MQSC and PCF use.
std::vector<authority::Record> authRecords(const QueueManager& qm);

enum class AuthChange { Done, NoSuchObject, NotFound, StoreFailed };
// Adds then removes authorities of one entity on one profile, creating the record.
AuthChange changeAuthority(QueueManager& qm, const std::string& objtype, const std::string& profile,
                           const std::string& entity, bool group, const std::set<std::string>& add,
                           const std::set<std::string>& remove);
AuthChange deleteAuthority(QueueManager& qm, const std::string& objtype, const std::string& profile,
                           const std::string& entity, bool group);
// The authorities an entity holds on an object, its groups' included for a principal.
std::set<std::string> effectiveAuthority(const QueueManager& qm, const std::string& objtype,
                                         const std::string& objectName, const std::string& entity, bool group);
// Records a display selects: by profile (exact, or every profile that covers the
// name), by type (empty: all) and by entity (empty: all; membership adds its groups).
std::vector<authority::Record> selectRecords(const QueueManager& qm, const std::string& profile, bool exact,
                                             const std::string& objtype, const std::string& entity, bool group,
                                             bool membership);

}  // namespace qmsim::cmdserver
