// A fleet: several queue managers, each with a connection of its own (its worker and
// reply reader threads), that are one destination. Every MQSC command goes to every
// member at once, and their answers are laid out as one (completeMergedAnswer).
#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "context/context.h"
#include "transport/connection.h"

struct CommandRecord;
struct ProgramContext;

// Members connect at most this many at a time; each member then keeps its two threads.
inline constexpr size_t kFleetConnectBatch = 16;
// At most this many members in a fleet.
inline constexpr size_t kMaxFleetMembers = 1000;

struct FleetConnectResult {
  size_t connected = 0;
  size_t members = 0;
};

// Replaces any fleet with one of `names` (duplicates dropped), each connected with a
// copy of the connection template (its queue manager the member's name), in batches of
// kFleetConnectBatch; a member that has not connected after the connect wait
// ((2 * wait + 10) seconds, as for one connection) is given up. Each member's connect
// messages are shown in member order, then one line for the fleet. The fleet becomes
// the destination of the commands that follow.
FleetConnectResult formFleet(ProgramContext &ctx, const std::vector<std::string> &names, bool unconfirmedDestructive);

// Whether commands go to the fleet; another destination (=conn, CCDT mode) ends that.
bool fleetIsDestination(ProgramContext &ctx);
void setFleetDestination(ProgramContext &ctx, bool on);
// Whether DELETE, CLEAR and STOP are confirmed before they go to the fleet (true unless
// =fleet confirm(no) said otherwise); the fleet's size.
bool fleetConfirmsDestructive(ProgramContext &ctx);
size_t fleetSize(ProgramContext &ctx);

// Sends the record's command to every member at once and waits up to `waitSeconds`
// (0: respwait, or respwaiti at the console; extended while answers keep coming) for all
// of them. A member still busy with an earlier command is handed this one when it is
// free. A member that cannot be asked, fails or does not answer in time is one error in
// the answer and never holds up the others. Each member's command is counted; the
// record is the merged answer, complete on return.
enum class FleetOutcome { AllSucceeded, SomeFailed };
FleetOutcome issueFleetMqsc(ProgramContext &ctx, const std::shared_ptr<CommandRecord> &record, int waitSeconds = 0);

// Disconnects every member at once and ends the fleet. The number disconnected.
size_t disbandFleet(ProgramContext &ctx, bool report);

// The fleet's lines for =show conns: one for the fleet, one per member with its state.
std::vector<std::string> fleetReport(ProgramContext &ctx);

// Splits a list of queue manager names ("QM1,QM2, QM3"): blanks around a name dropped,
// empty names skipped, each name cut to `maxLength` characters (0: not cut).
std::vector<std::string> splitQmgrList(std::string_view list, size_t maxLength = 0);

// Whether an MQSC command would delete, clear or stop something (DELETE, CLEAR, STOP).
bool isDestructiveCommand(std::string_view text);
