// DEFINE, ALTER, DELETE, DISPLAY and MOVE CHANNEL on a channel table.
#include <algorithm>
#include <ctime>

#include "ccdt/json_table.h"
#include "ccdt/status.h"
#include "ccdtmode/ccdt_command.h"
#include "ccdtmode/table_store.h"
#include "mqsc/attribute_tokenizer.h"
#include "mqsc/prepare_steps.h"
#include "mqsc/vocab.h"
#include "runtime/scan.h"

namespace kvarn::ccdtmode {

using namespace kvarn::ccdt;

namespace {

// ---------------------------------------------------------------- clauses

// Checks every clause against the attribute rows for the command's verb. False (with
// the message given) at the first that does not belong.
bool checkClauses(const CcdtCommand &command, const CcdtModeState &state, Reply &reply) {
  unsigned verb = command.row->verbBit;
  for (const Clause &clause : command.clauses) {
    const char *keyword = clause.keyword.c_str();
    const ChannelAttribute *attr = findChannelAttribute(clause.keyword);
    if (verb == kVerbDisplay && clause.keyword == "ALL" && !clause.hasValue) continue;
    if (verb == kVerbDefine && clause.keyword == "LIKE" && clause.hasValue) continue;
    if (!attr) {
      // A channel keyword of another channel type, or no keyword at all.
      bool known = fieldTableByName("channel") &&
                   findFieldInTable(fieldTableByName("channel"), clause.keyword, kFieldExactLength) != nullptr;
      reply.bad(known ? strFormat("AMQ8427: Attribute '%s' is not valid for this command", keyword)
                      : strFormat("AMQ8427: Unrecognised attribute name '%s'", keyword));
      return false;
    }
    if (attr->kind == AttributeKind::JsonNumber && state.form != TableForm::Json) {
      reply.bad(strFormat("AMQ8427: Parameter '%s' is only allowed when using a JSON CCDT file", keyword));
      return false;
    }
    if (!(attr->verbs & verb)) {
      if (attr->kind == AttributeKind::JsonNumber)
        reply.bad(strFormat("AMQ8427: Parameter '%s' not valid for command", keyword));
      else if (clause.keyword == "REPLACE" || clause.keyword == "NOREPLACE")
        reply.bad("AMQ8427: REPLACE is not a valid keyword for this command.");
      else if (attr->kind == AttributeKind::Altered)
        reply.bad(strFormat("AMQ8427: You can not set the value of attribute '%s'", keyword));
      else reply.bad(strFormat("AMQ8427: Attribute '%s' is not valid for this command", keyword));
      return false;
    }
    // A display names attributes to show, or filters with a value; everything else
    // takes a value except REPLACE and NOREPLACE.
    bool wantsValue = attr->kind != AttributeKind::Flag;
    if (verb == kVerbDisplay && !clause.hasValue && attr->kind != AttributeKind::JsonNumber) wantsValue = false;
    if (wantsValue != clause.hasValue) {
      reply.bad(
          strFormat("AMQ8405: Syntax error detected at or near command segment below :-\n%s", command.text.c_str()));
      return false;
    }
  }
  if (command.has("REPLACE") && command.has("NOREPLACE")) {
    reply.bad("Duplicate keyword error 'NOREPLACE'");
    return false;
  }
  return true;
}

// Applies the settable clauses to a definition. False with the message given.
bool applyClauses(const CcdtCommand &command, ChannelDefinition &def, Reply &reply) {
  for (const Clause &clause : command.clauses) {
    const ChannelAttribute *attr = findChannelAttribute(clause.keyword);
    if (!attr || attr->kind == AttributeKind::Flag || attr->kind == AttributeKind::JsonNumber) continue;
    if (attr->kind == AttributeKind::ChannelType && clause.keyword == "TYPE") continue;
    std::string message;
    if (!applyChannelAttribute(*attr, clause, def, message)) {
      reply.bad(message);
      return false;
    }
  }
  return true;
}

// ---------------------------------------------------------------- selecting channels

struct Criteria {
  std::string name;
  bool hasQmgr = false;
  std::string qmgr;
  int index = 0;     // 0: any; kAll: every one
  int position = 0;  // 0: any; kAll: every one
};

enum class Miss { None, Name, Qmgr, Index, Position };

bool isGeneric(std::string_view name) { return name.find('*') != std::string_view::npos; }

bool nameMatches(const std::string &pattern, std::string_view name) {
  std::string_view trimmed = trimTrailingBlanks(name);
  return isGeneric(pattern) ? wildcardMatch(pattern, trimmed) : trimmed == pattern;
}

// Calls `visit` for each channel the criteria select, in file order, without copying
// the table. Returns the first criterion that left nothing (Miss::None when one was
// visited).
template <typename Visit>
Miss visitChannels(CcdtModeState &state, const Criteria &c, std::vector<std::string> &problems, Visit &&visit) {
  bool anyName = false, anyQmgr = false, anyIndex = false, any = false;
  auto consider = [&](const ChannelDefinition &def, int index, size_t position) {
    if (!nameMatches(c.name, def.channelName)) return;
    anyName = true;
    if (c.hasQmgr && !wildcardMatch(c.qmgr, trimTrailingBlanks(def.qmgrName))) return;
    anyQmgr = true;
    if (c.index > 0 && index != c.index) return;
    anyIndex = true;
    if (c.position > 0 && position != static_cast<size_t>(c.position)) return;
    any = true;
    visit(def, index, position);
  };
  if (state.form == TableForm::Json) {
    size_t position = 0;
    for (const JsonChannel &ch : state.json.channels()) consider(ch.def, ch.index, ++position);
  } else if (state.binary) {
    // One channel of a name is read by its key; a generic name reads them in order.
    ChannelDefinition def;
    std::string message;
    if (!isGeneric(c.name)) {
      int rc = state.binary->readChannel(c.name, def, message);
      if (rc == kOk) consider(def, 1, 0);
      else if (rc != kErrChannelNotFound) problems.push_back(message);
    } else {
      state.binary->rewind();
      for (size_t position = 1;; ++position) {
        int rc = state.binary->readNextChannel(def, message);
        if (rc == kErrEndOfList) break;
        if (rc == kOk) consider(def, 1, position);
        else problems.push_back(message);
      }
    }
  }
  if (any) return Miss::None;
  return !anyName ? Miss::Name : !anyQmgr ? Miss::Qmgr : !anyIndex ? Miss::Index : Miss::Position;
}

// The channels the criteria select, copied.
std::vector<StoredChannel> selectChannels(CcdtModeState &state, const Criteria &c, Miss &miss,
                                          std::vector<std::string> &problems) {
  std::vector<StoredChannel> found;
  miss = visitChannels(state, c, problems, [&](const ChannelDefinition &def, int index, size_t position) {
    found.push_back({def, index, position});
  });
  return found;
}

std::string missMessage(const Criteria &c, Miss miss) {
  int n = static_cast<int>(c.name.size());
  switch (miss) {
  case Miss::Qmgr:
    return strFormat("AMQ8147: IBM MQ channel '%.*s' for Qmgr '%s' not found", n, c.name.c_str(), c.qmgr.c_str());
  case Miss::Index:
    return strFormat("AMQ8147: IBM MQ channel '%.*s' with index '%d' not found", n, c.name.c_str(), c.index);
  case Miss::Position:
    return strFormat("AMQ8147: IBM MQ channel '%.*s' at position '%d' not found", n, c.name.c_str(), c.position);
  default: return strFormat("AMQ8147: IBM MQ channel '%.*s' not found", n, c.name.c_str());
  }
}

// Reads the selection clauses of a command. False with the message given.
bool readCriteria(const CcdtCommand &command, Reply &reply, Criteria &c, bool indexAll) {
  c.name = command.name;
  if (const Clause *q = command.find("QMNAME"); q && q->hasValue) {
    c.hasQmgr = true;
    c.qmgr = mqscValue(q->value);
  }
  if (command.has("INDEX") && !jsonNumber(command, "INDEX", reply, c.index, indexAll)) return false;
  if (command.has("POSITION") && !jsonNumber(command, "POSITION", reply, c.position, true)) return false;
  return true;
}

void reportProblems(Reply &reply, const std::vector<std::string> &problems) {
  for (const std::string &p : problems) reply.fail(p);
}

int64_t now() { return static_cast<int64_t>(std::time(nullptr)); }

// Writes a definition into the table: a binary table keys it by name; in a JSON table
// it replaces the channel at `position` (1-based), or goes in before `insertAt`.
int storeChannel(ProgramContext &ctx, CcdtModeState &state, const ChannelDefinition &def, size_t position,
                 size_t insertAt, std::string &message) {
  if (int rc = prepareChange(ctx, state, message); rc != kOk) return rc;
  if (state.form == TableForm::Json) {
    // A value the file cannot hold would leave a table that no longer reads whole.
    std::string why;
    if (!jsonCanHold(def, why)) {
      message =
          strFormat("AMQ8427: Channel '%s' can not be written: %s", trimmedName(def.channelName).c_str(), why.c_str());
      return kErrGeneral;
    }
    if (position > 0) state.json.replace(position - 1, def);
    else state.json.insert(insertAt, def);
  } else {
    // The key becomes the current record, so an existing channel is updated in place.
    ChannelDefinition existing;
    std::string ignored;
    state.binary->readChannel(def.channelName, existing, ignored);
    if (int rc = state.binary->writeChannel(def, state.version, message); rc != kOk) return rc;
  }
  noteChange(ctx, state);
  return kOk;
}

// ---------------------------------------------------------------- DEFINE CHANNEL

void defineChannel(ProgramContext &ctx, CcdtModeState &state, CcdtCommand &command, Reply &reply) {
  // 1. The clauses and the name.
  if (!checkClauses(command, state, reply)) return;
  const std::string &name = command.name;
  int n = static_cast<int>(name.size());
  if (!isValidObjectName(name) || isGeneric(name)) return reply.fail("AMQ8427: The channel name is not valid.");
  int index = 0;
  if (command.has("INDEX") && !jsonNumber(command, "INDEX", reply, index, false, true)) return;

  // 2. The definition it replaces, if any.
  size_t replacing = 0;  // 1-based position in a JSON table
  size_t insertAt = static_cast<size_t>(-1);
  bool exists = false;
  if (state.form == TableForm::Json) {
    int groupSize = state.json.countOf(name);
    std::vector<size_t> group;
    if (groupSize > 0) {
      const auto &all = state.json.channels();
      for (size_t i = 0; i < all.size(); ++i)
        if (all[i].def.channelName == name) group.push_back(i + 1);
    }
    if (index == kBefore || index == kAfter) {
      if (!group.empty()) insertAt = index == kBefore ? group.front() - 1 : group.back();
    } else if (index > 0) {
      if (index <= groupSize) {
        exists = true;
        replacing = group[static_cast<size_t>(index) - 1];
      } else if (index > groupSize + 1) {
        return reply.fail(
            groupSize == 0
                ? strFormat("AMQ8150: There are no current definitions of channel '%.*s'", n, name.c_str())
                : strFormat("AMQ8150: There are only %d definitions of channel '%.*s'", groupSize, n, name.c_str()));
      } else if (!group.empty()) {
        insertAt = group.back();  // one past the end adds a further channel of the name
      }
    } else if (groupSize > 1 && command.has("REPLACE")) {
      return reply.fail(strFormat("AMQ8427: %d matching channels found, use INDEX.", groupSize));
    } else if (groupSize >= 1) {
      exists = true;
      replacing = group.front();
    }
  } else if (state.binary) {
    ChannelDefinition existing;
    std::string message;
    int rc = state.binary->readChannel(name, existing, message);
    if (rc == kOk) exists = true;
    else if (rc != kErrChannelNotFound) return reply.fail(message);
  }
  if (exists && !command.has("REPLACE")) return reply.fail("AMQ8150: IBM MQ channel already exists, specify REPLACE");

  // 3. A new definition starts from the defaults, or from the LIKE channel.
  ChannelDefinition def = clientConnectionDefaults();
  if (const Clause *like = command.find("LIKE")) {
    Criteria c;
    c.name = mqscValue(like->value);
    if (c.name.empty() || isGeneric(c.name)) return reply.fail("AMQ8427: The channel name is not valid.");
    Miss miss;
    std::vector<std::string> problems;
    std::vector<StoredChannel> from = selectChannels(state, c, miss, problems);
    if (from.empty()) return reply.fail(missMessage(c, miss), true);
    def = from.front().def;
  }
  def.channelName = name;
  if (state.form == TableForm::Json) def.version = kMaxRecordVersion;
  if (!applyClauses(command, def, reply)) return;
  if (def.channelType != kChannelTypeClientConnection)
    return reply.fail("AMQ8150: Sorry, you can only define CLNTCONN channels");
  def.alterTime = now();

  // 4. It is written, and reported.
  std::string message;
  if (storeChannel(ctx, state, def, replacing, insertAt, message) != kOk) return reply.fail(message);
  reply.text(strFormat("AMQ8016: IBM MQ channel '%.*s' defined", n, name.c_str()));
}

// ---------------------------------------------------------------- ALTER CHANNEL

void alterChannel(ProgramContext &ctx, CcdtModeState &state, CcdtCommand &command, Reply &reply) {
  if (!checkClauses(command, state, reply)) return;
  Criteria c;
  if (!readCriteria(command, reply, c, false)) return;
  c.hasQmgr = false;  // QMNAME is an attribute to set here
  bool filtered = !reply.record().filters.empty();
  // A generic name alters every channel it selects only with =WHERE, so that one
  // mistyped name never rewrites the whole table.
  if (isGeneric(c.name) && !filtered) return reply.fail("AMQ8427: The channel name is not valid.");
  Miss miss;
  std::vector<std::string> problems;
  std::vector<StoredChannel> targets = selectChannels(state, c, miss, problems);
  reportProblems(reply, problems);
  if (targets.empty()) return reply.fail(missMessage(c, miss), true);
  if (state.form == TableForm::Json && c.index == 0 && !isGeneric(c.name) && targets.size() > 1)
    return reply.fail(strFormat("AMQ8427: %d matching channels found, use INDEX.", static_cast<int>(targets.size())));

  int changed = 0;
  for (StoredChannel &target : targets) {
    // With =WHERE, the channel as a display would show it must pass.
    if (filtered) {
      std::string record = "AMQ8414: Display Channel details.\n";
      record += strFormat("CHANNEL(%s)", trimmedName(target.def.channelName).c_str());
      for (const ChannelAttribute &attr : channelAttributes())
        if (attr.shownByAll) record += " " + formatChannelAttribute(attr, target.def);
      const CommandDef *alter = identifyCommand(reply.record(), reply.record().commandText);
      ResponseRecord shown = parsedRecord(std::move(record), {}, alter ? alter->fields : nullptr);
      bool pass = true;
      for (const RecordFilter &filter : reply.record().filters)
        if (filter && !filter(shown)) pass = false;
      if (!pass) continue;
    }
    ChannelDefinition def = target.def;
    if (!applyClauses(command, def, reply)) return;
    if (def.channelType != kChannelTypeClientConnection)
      return reply.fail("AMQ8150: Sorry, you can only define CLNTCONN channels");
    def.alterTime = now();
    std::string message;
    if (storeChannel(ctx, state, def, state.form == TableForm::Json ? target.position : 0, 0, message) != kOk)
      return reply.fail(message);
    reply.text(strFormat("AMQ8016: IBM MQ channel '%s' changed", trimmedName(def.channelName).c_str()));
    ++changed;
  }
  if (changed == 0) reply.fail("AMQ8147: No channels found which match criteria", true);
}

// ---------------------------------------------------------------- DELETE CHANNEL

void deleteChannel(ProgramContext &ctx, CcdtModeState &state, CcdtCommand &command, Reply &reply) {
  if (!checkClauses(command, state, reply)) return;
  if (isGeneric(command.name)) return reply.fail("AMQ8147: Channel name can not contain wildcards on DELETE operation");
  Criteria c;
  if (!readCriteria(command, reply, c, true)) return;
  Miss miss;
  std::vector<std::string> problems;
  std::vector<StoredChannel> targets = selectChannels(state, c, miss, problems);
  reportProblems(reply, problems);
  if (targets.empty()) return reply.fail(missMessage(c, miss), true);
  if (state.form == TableForm::Json && c.index != kAll && targets.size() > 1)
    return reply.fail(strFormat("AMQ8427: %d matching channels found, use INDEX.", static_cast<int>(targets.size())));

  std::string message;
  if (prepareChange(ctx, state, message) != kOk) return reply.fail(message);
  if (state.form == TableForm::Json) {
    // From the end, so the positions still to go stay where they were.
    for (auto it = targets.rbegin(); it != targets.rend(); ++it) state.json.erase(it->position - 1);
  } else {
    ChannelDefinition def;
    if (state.binary->readChannel(c.name, def, message) != kOk || state.binary->deleteCurrent(message) != kOk)
      return reply.fail(message);
  }
  noteChange(ctx, state);
  int n = static_cast<int>(c.name.size());
  if (targets.size() == 1) reply.text(strFormat("AMQ8015: IBM MQ channel '%.*s' deleted", n, c.name.c_str()));
  else
    reply.text(
        strFormat("AMQ8015: %d IBM MQ channels '%.*s' deleted", static_cast<int>(targets.size()), n, c.name.c_str()));
}

// ---------------------------------------------------------------- DISPLAY CHANNEL

void displayChannel(ProgramContext &ctx, CcdtModeState &state, CcdtCommand &command, Reply &reply) {
  if (!checkClauses(command, state, reply)) return;
  Criteria c;
  if (!readCriteria(command, reply, c, true)) return;
  // CHLTYPE(x) and TYPE(x) filter by type: a table holds client-connection channels only.
  int32_t wantedType = 0;
  for (const char *keyword : {"CHLTYPE", "TYPE"}) {
    const Clause *type = command.find(keyword);
    if (!type || !type->hasValue) continue;
    ChannelDefinition probe;
    std::string message;
    if (!applyChannelAttribute(*findChannelAttribute("CHLTYPE"), *type, probe, message)) return reply.fail(message);
    wantedType = probe.channelType;
  }

  // The attributes shown: the name and type always, then those asked for.
  bool all = command.has("ALL");
  std::vector<const ChannelAttribute *> shown;
  for (const ChannelAttribute &attr : channelAttributes()) {
    if (attr.kind == AttributeKind::Flag || attr.kind == AttributeKind::JsonNumber) continue;
    if (std::string_view(attr.keyword) == "TYPE") continue;
    const Clause *asked = command.find(attr.keyword);
    bool askedFor = asked && (!asked->hasValue || std::string_view(attr.keyword) == "QMNAME");
    if (std::string_view(attr.keyword) == "CHLTYPE" || (all && attr.shownByAll) || askedFor) shown.push_back(&attr);
  }
  if (command.has("TYPE") && !command.find("TYPE")->hasValue) shown.push_back(findChannelAttribute("CHLTYPE"));

  // Each channel is shown as it is read: a large table is never copied whole.
  bool escape = state.form == TableForm::Json && showEscapeChars();
  std::string text;
  size_t shownCount = 0;
  std::vector<std::string> problems;
  Miss miss = visitChannels(state, c, problems, [&](const ChannelDefinition &def, int, size_t) {
    if (wantedType != 0 && def.channelType != wantedType) return;
    text.assign("AMQ8414: Display Channel details.\n   CHANNEL(");
    text += trimTrailingBlanks(def.channelName);
    text += ')';
    bool seenType = false;
    for (const ChannelAttribute *attr : shown) {
      if (attr->kind == AttributeKind::ChannelType) {
        if (seenType) continue;
        seenType = true;
      }
      text += "\n   ";
      if (escape && attr->kind == AttributeKind::Text && !(def.*attr->text).empty())
        text += strFormat("%s(%s)", attr->keyword, escapeForDisplay(def.*attr->text).c_str());
      else text += formatChannelAttribute(*attr, def);
    }
    reply.text(text);
    ++shownCount;
  });
  reportProblems(reply, problems);
  if (shownCount == 0) {
    bool criteria = c.hasQmgr || c.index > 0 || c.position > 0 || wantedType != 0;
    if (!isGeneric(c.name) && miss != Miss::None) return reply.fail(missMessage(c, miss), true);
    return reply.fail(criteria ? "AMQ8147: No channels found which match criteria" : "AMQ8147: No channels found.",
                      true);
  }
}

// ---------------------------------------------------------------- MOVE CHANNEL

void moveChannel(ProgramContext &ctx, CcdtModeState &state, CcdtCommand &command, Reply &reply) {
  if (state.form != TableForm::Json) return reply.fail("AMQ8147: MOVE CHANNEL can only be used with JSON CCDT files");
  if (!checkClauses(command, state, reply)) return;
  if (!command.has("POSITION") || !command.has("NEWPOS"))
    return reply.fail(
        strFormat("AMQ8405: Syntax error detected at or near command segment below :-\n%s", command.text.c_str()));
  int position = 0, newPosition = 0;
  if (!jsonNumber(command, "POSITION", reply, position) || !jsonNumber(command, "NEWPOS", reply, newPosition)) return;
  int count = static_cast<int>(state.json.channels().size());
  int n = static_cast<int>(command.name.size());
  if (position > count)
    return reply.fail(strFormat("AMQ8427: POSITION too large, there are only %d channels defined.", count));
  if (newPosition > count)
    return reply.fail(strFormat("AMQ8427: NEWPOS too large, there are only %d channels defined.", count));
  const ChannelDefinition &at = state.json.channels()[static_cast<size_t>(position) - 1].def;
  if (trimTrailingBlanks(at.channelName) != command.name)
    return reply.fail(
        strFormat("AMQ8427: The channel at position %d is not '%.*s'", position, n, command.name.c_str()));
  if (position == newPosition) return reply.text("AMQ8016: Move not required POSITION and NEWPOS are the same");
  std::string message;
  if (prepareChange(ctx, state, message) != kOk) return reply.fail(message);
  state.json.move(static_cast<size_t>(position) - 1, static_cast<size_t>(newPosition) - 1);
  noteChange(ctx, state);
  reply.text(strFormat("AMQ8016: Channel '%.*s' moved", n, command.name.c_str()));
}

// ---------------------------------------------------------------- the rows

constexpr const char *kDefineUsage = "  DEFINE CHANNEL( channel-name )\n"
                                     "         CHLTYPE( CLNTCONN )\n"
                                     "         CONNAME( connection-name )\n"
                                     "       [ AFFINITY( PREFERRED | NONE ) ]   [ CERTLABL( string ) ]\n"
                                     "       [ CLNTWGHT( integer ) ]            [ COMPHDR( NONE | SYSTEM ) ]\n"
                                     "       [ COMPMSG( NONE | RLE | ZLIBFAST | ZLIBHIGH | ANY ) ]\n"
                                     "       [ DEFRECON( NO | YES | QMGR | DISABLED ) ]\n"
                                     "       [ DESCR( string ) ]                [ HBINT( integer ) ]\n"
                                     "       [ KAINT( integer | AUTO ) ]        [ LIKE( channel-name ) ]\n"
                                     "       [ LOCLADDR( string ) ]             [ MAXMSGL( integer ) ]\n"
                                     "       [ MODENAME( string ) ]             [ PASSWORD( string ) ]\n"
                                     "       [ QMNAME( string ) ]               [ RCVDATA( string ) ]\n"
                                     "       [ RCVEXIT( string ) ]              [ SCYDATA( string ) ]\n"
                                     "       [ SCYEXIT( string ) ]              [ SENDDATA( string ) ]\n"
                                     "       [ SENDEXIT( string ) ]             [ SHARECNV( integer ) ]\n"
                                     "       [ SSLCIPH( string ) ]              [ SSLPEER( string ) ]\n"
                                     "       [ TPNAME( string ) ]               [ TRPTYPE( TCP | NETBIOS | LU62 ) ]\n"
                                     "       [ USERID( string ) ]               [ REPLACE ]\n"
                                     "    Fields valid in JSON mode only:\n"
                                     "     [ INDEX( BEFORE | AFTER | integer ) ]";

constexpr const char *kAlterUsage = "  ALTER CHANNEL( channel-name )\n"
                                    "       [ CHLTYPE( CLNTCONN ) ]            [ CONNAME( connection-name ) ]\n"
                                    "       [ AFFINITY( PREFERRED | NONE ) ]   [ CERTLABL( string ) ]\n"
                                    "       [ CLNTWGHT( integer ) ]            [ COMPHDR( NONE | SYSTEM ) ]\n"
                                    "       [ COMPMSG( NONE | RLE | ZLIBFAST | ZLIBHIGH | ANY ) ]\n"
                                    "       [ DEFRECON( NO | YES | QMGR | DISABLED ) ]\n"
                                    "       [ DESCR( string ) ]                [ HBINT( integer ) ]\n"
                                    "       [ KAINT( integer | AUTO ) ]        [ LOCLADDR( string ) ]\n"
                                    "       [ MAXMSGL( integer ) ]             [ MODENAME( string ) ]\n"
                                    "       [ PASSWORD( string ) ]             [ QMNAME( string ) ]\n"
                                    "       [ RCVDATA( string ) ]              [ RCVEXIT( string ) ]\n"
                                    "       [ SCYDATA( string ) ]              [ SCYEXIT( string ) ]\n"
                                    "       [ SENDDATA( string ) ]             [ SENDEXIT( string ) ]\n"
                                    "       [ SHARECNV( integer ) ]            [ SSLCIPH( string ) ]\n"
                                    "       [ SSLPEER( string ) ]              [ TPNAME( string ) ]\n"
                                    "       [ TRPTYPE( TCP | NETBIOS | LU62 ) ] [ USERID( string ) ]\n"
                                    "       [ =WHERE( expression ) ]\n"
                                    "    Fields valid in JSON mode only:\n"
                                    "     [ INDEX( integer ) ]";

constexpr const char *kDeleteUsage = "  DELETE CHANNEL(channel-name)\n"
                                     "    Fields valid in JSON mode only:\n"
                                     "     [ INDEX( ALL | integer ) ]        [QMNAME( queue-manager-name )]";

constexpr const char *kDisplayUsage = "  DISPLAY CHANNEL( wilcarded channel-name )\n"
                                      "     [ QMNAME( wildcarded queue-manager-name ) ]\n"
                                      "     [ =WHERE( expression ) ]          [ =FIND( text ) ]\n"
                                      "     [ ALL ] [ AFFINITY ] [ ALTDATE ] [ ALTTIME ] [ CERTLABL ] [ CHLTYPE ]\n"
                                      "     [ CLNTWGHT ] [ COMPHDR ] [ COMPMSG ] [ CONNAME ] [ DEFRECON ] [ DESCR ]\n"
                                      "     [ HBINT ] [ KAINT ] [ LOCLADDR ] [ MAXMSGL ] [ MODENAME ] [ PASSWORD ]\n"
                                      "     [ QMNAME ] [ RCVDATA ] [ RCVEXIT ] [ SCYDATA ] [ SCYEXIT ] [ SENDDATA ]\n"
                                      "     [ SENDEXIT ] [ SSLCIPH ] [ SSLPEER ] [ TPNAME ] [ TRPTYPE ] [ TYPE ]\n"
                                      "     [ USERID ]\n"
                                      "    Fields valid in JSON mode only:\n"
                                      "     [ INDEX( ALL | integer ) ] [ POSITION( ALL | integer ) ]";

constexpr const char *kMoveUsage = "  MOVE CHANNEL(channel-name) POSITION( integer ) NEWPOS( integer )";

constexpr CcdtCommandRow kRows[] = {
    {"DISPLAY", "DIS", "CHANNEL", "CHL", 25, kVerbDisplay, kDisplayUsage, displayChannel},
    {"ALTER", "ALT", "CHANNEL", "CHL", 21, kVerbAlter, kAlterUsage, alterChannel},
    {"DEFINE", "DEF", "CHANNEL", "CHL", 23, kVerbDefine, kDefineUsage, defineChannel},
    {"DELETE", "", "CHANNEL", "CHL", 24, kVerbDelete, kDeleteUsage, deleteChannel},
    {"MOVE", "", "CHANNEL", "CHL", 10305, kVerbMove, kMoveUsage, moveChannel},
};

}  // namespace

std::span<const CcdtCommandRow> channelCommandRows() { return kRows; }

}  // namespace kvarn::ccdtmode
