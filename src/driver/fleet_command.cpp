// =fleet: several queue managers as one destination. The members are named in a list,
// or are every queue manager a client channel table names, or that has a directory in a
// directory of queue managers (a qmsim home); each is connected with the connection
// operands given (as =conn takes them).
#include <algorithm>
#include <filesystem>
#include <set>

#include "ccdt/binary_table.h"
#include "ccdt/file_io.h"
#include "ccdt/json_table.h"
#include "ccdt/status.h"
#include "context/context.h"
#include "context/output.h"
#include "driver/local_handlers.h"
#include "runtime/scan.h"
#include "transport/connect.h"
#include "transport/connection.h"
#include "transport/connection_commands.h"
#include "transport/fleet.h"

namespace {

std::vector<LocalOperand> fleetOperands() {
  std::vector<LocalOperand> operands = {
      {"qm", "Queue Manager names, separated by commas", kLocalAnyValue},
      {"ccdt", "Every Queue Manager named in this client channel table", kLocalAnyValue},
      {"home", "Every Queue Manager with a directory in this directory (a qmsim home)", kLocalAnyValue},
      {"confirm", "Whether DELETE, CLEAR and STOP are confirmed before they go to every Queue Manager", kLocalYesNo},
  };
  for (LocalOperand &op : connOperands())
    if (op.name != "qm") operands.push_back(std::move(op));
  return operands;
}

bool isFleetOperand(std::string_view name) {
  return scanEqualsNoCase(name, "qm") || scanEqualsNoCase(name, "ccdt") || scanEqualsNoCase(name, "home") ||
         scanEqualsNoCase(name, "confirm");
}

void doFleet(ProgramContext &ctx, ParsedCommand &cmd, int issueSource) {
  IssueSource source = static_cast<IssueSource>(issueSource);
  TransportState &t = transportOf(ctx);

  // 1. Alone, =fleet makes the fleet there is the destination again.
  if (cmd.items.size() == 1) {
    if (!t.fleet) return addError(ctx, "No fleet: name its queue managers with qm(QM1,QM2,...) or ccdt(file)");
    setFleetDestination(ctx, true);
    addInfo(ctx, strFormat("Commands directed to the fleet of %zu queue managers", t.fleet->members.size()));
    return;
  }

  // 2. The members: the list, then the table's queue managers.
  std::vector<std::string> names = splitQmgrList(cmd.value("qm"));
  using NameSource = bool (*)(const std::string &, std::vector<std::string> &, std::string &);
  const std::pair<const char *, NameSource> sources[] = {{"ccdt", ccdtQmgrNames}, {"home", homeQmgrNames}};
  for (const auto &[operand, read] : sources) {
    std::string where = cmd.value(operand), message;
    if (where.empty() || read(where, names, message)) continue;
    ctx.statusFlags |= kStatusConnectFailed;
    return addError(ctx, message);
  }
  if (names.empty()) {
    ctx.statusFlags |= kStatusConnectFailed;
    return addError(ctx, "Please name the fleet's queue managers with qm(QM1,QM2,...), ccdt(file) or home(directory)");
  }

  // 3. The connection template from the connection operands; the table, unless a
  //    channel is named, is how each member is reached.
  ParsedCommand connect;
  connect.text = cmd.text;
  connect.items.push_back(cmd.items[0]);
  bool channelNamed = false;
  for (size_t i = 1; i < cmd.items.size(); ++i) {
    if (isFleetOperand(cmd.items[i].name)) continue;
    channelNamed = channelNamed || scanEqualsNoCase(cmd.items[i].name, "channel") ||
                   scanEqualsNoCase(cmd.items[i].name, "conname") || scanEqualsNoCase(cmd.items[i].name, "ccdturl");
    connect.items.push_back(cmd.items[i]);
  }
  std::string table = cmd.value("ccdt");
  if (!table.empty() && !channelNamed) {
    connect.items.push_back({"client", "", false});
    connect.items.push_back({"ccdturl", table, true});
  }
  if (!readyConnectTemplate(ctx, connect, source)) return;
  bool unconfirmed = scanEqualsNoCase(cmd.value("confirm", "yes"), "no");
  formFleet(ctx, names, unconfirmed);
}

}  // namespace

bool ccdtQmgrNames(const std::string &path, std::vector<std::string> &names, std::string &message) {
  using namespace kvarn::ccdt;
  std::string text;
  if (readWholeFile(path, text) != 0) {
    message = strFormat("Client channel table '%s' can not be read", path.c_str());
    return false;
  }
  std::set<std::string> seen(names.begin(), names.end());
  bool tableNamed = false;  // the table names a queue manager (perhaps one named already)
  auto take = [&](const ChannelDefinition &def) {
    if (def.channelType != kChannelTypeClientConnection || scanTrim(def.qmgrName).empty()) return;
    tableNamed = true;
    std::string name(scanTrim(def.qmgrName));
    if (!name.empty() && seen.insert(name).second) names.push_back(name);
  };
  size_t first = text.find_first_not_of(" \t\r\n");
  if (first != std::string::npos && text[first] == '{') {
    JsonTable json;
    std::vector<std::string> messages;
    // A table that yields no channel (not JSON, cut short) names no fleet: say why.
    if (json.readText(text, path, 0, messages) != kOk || json.channels().empty()) {
      message =
          messages.empty() ? strFormat("Client channel table '%s' can not be read", path.c_str()) : messages.front();
      return false;
    }
    for (const JsonChannel &c : json.channels()) take(c.def);
  } else {
    std::unique_ptr<BinaryTable> binary;
    if (BinaryTable::open(path, BinaryTable::Mode::Read, binary, message) != kOk) return false;
    ChannelDefinition def;
    std::string step;
    while (binary->readNextChannel(def, step) == kOk) take(def);
  }
  if (!tableNamed) {
    message = strFormat("Client channel table '%s' names no queue manager", path.c_str());
    return false;
  }
  return true;
}

bool homeQmgrNames(const std::string &directory, std::vector<std::string> &names, std::string &message) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::directory_iterator it(directory, ec);
  if (ec) {
    message = strFormat("Directory '%s' can not be read", directory.c_str());
    return false;
  }
  // A queue manager's name: at most 48 of A-Z a-z 0-9 . _ / %.
  auto isQmgrName = [](const std::string &name) {
    return !name.empty() && name.size() <= 48 &&
           name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._/%") ==
               std::string::npos;
  };
  std::vector<std::string> found;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    std::string name = it->path().filename().string();
    if (it->is_directory(ec) && isQmgrName(name)) found.push_back(name);
  }
  std::sort(found.begin(), found.end());
  std::set<std::string> seen(names.begin(), names.end());
  for (std::string &name : found)
    if (seen.insert(name).second) names.push_back(std::move(name));
  return true;
}

std::vector<LocalCommand> fleetLocalCommands() {
  return {
      {"=fleet",
       "Direct commands to several Queue Managers at once",
       fleetOperands(),
       {},
       doFleet,
       kListed,
       false,
       kLeavesCcdtMode,
       kTakesLongLists},
  };
}
