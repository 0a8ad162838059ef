// Decoding replies: PCF escape responses, TOLK's multi-record messages, RESET QSTATS and
// z/OS command-server text, into the lines and marks of a command record.
#include "mqsc/response.h"

#include <cctype>
#include <cstring>
#include <new>

#include "context/context.h"
#include "context/output.h"
#include "mqsc/attribute_tokenizer.h"
#include "mqsc/pcf_message.h"
#include "runtime/scan.h"

namespace {

constexpr int32_t kReasonShortReply = 2071;
constexpr int32_t kReasonResponsesLimited = 10001;
constexpr int32_t kReasonSourceLimited = 10002;
constexpr int32_t kControlMultiRecord = 0x10000;

bool isLeadSep(char c) { return c == ' ' || c == '\r' || c == '\n'; }
std::string_view skipLead(std::string_view s) {
  while (!s.empty() && isLeadSep(s.front())) s.remove_prefix(1);
  return s;
}

std::string shortReplyMessage() {
  return strFormat("Command processing RC(%ld) %s", static_cast<long>(kReasonShortReply),
                   reasonText(kReasonShortReply));
}

// A message number followed by ':' at once or after one severity letter.
bool hasMessage(std::string_view text, const char *number) {
  size_t n = std::strlen(number);
  if (!text.starts_with(number)) return false;
  if (text.size() > n && text[n] == ':') return true;
  return text.size() > n + 1 && std::isalpha(static_cast<unsigned char>(text[n])) && text[n + 1] == ':';
}

constexpr const char *kNotFoundMessages[] = {"AMQ8147", "AMQ8565", "AMQ8933", "AMQ8459", "AMQ8884",
                                             "AMQ8461", "AMQ9082", "AMQ8464", "AMQ8472", "AMQ8420"};

uint32_t lineFlags(const CommandRecord &record, const MqscTarget &target, uint32_t flags) {
  if (record.kind == RecordKind::ScriptCommand || target.checkAttributes || record.checkingAttributes)
    flags |= kLineQuiet;
  return flags;
}

void addErrorLine(ProgramContext &ctx, CommandRecord &record, const MqscTarget &target, std::string text) {
  record.marks |= kMarkError;
  addRecordLine(ctx, record, RecordLine{std::move(text), lineFlags(record, target, kLineError), record.groupQmgr});
}

// One string of response text; `line` has its leading blanks skipped.
void addResponseString(ProgramContext &ctx, CommandRecord &record, const MqscTarget &target, std::string_view line) {
  if (line.empty()) return;
  uint32_t flags = kLineResponseText;
  if (isRecordHeader(line, target.diagnosticFlags)) {
    flags |= kLineRecordStart;
    // The totals show received against matched, so records the filters drop count too.
    ++record.receivedCount;
    if (!record.groupQmgr.empty()) ++record.receivedByQmgr[record.groupQmgr];
  }
  addRecordLine(ctx, record, RecordLine{std::string(line), lineFlags(record, target, flags), record.groupQmgr});
}

void addTextLocked(ProgramContext &ctx, CommandRecord &record, const MqscTarget &target, const char *text,
                   size_t length) {
  std::string_view all(text, length);
  size_t pos = 0;
  while (pos < all.size()) {
    size_t end = all.find('\0', pos);
    if (end == std::string_view::npos) end = all.size();
    addResponseString(ctx, record, target, skipLead(all.substr(pos, end - pos)));
    pos = end + 1;
  }
}

// ---------------------------------------------------------------- z/OS text

// Returns true when the line ends the command.
bool zosLine(ProgramContext &ctx, CommandRecord &record, const MqscTarget &target, std::string_view line) {
  line = skipLead(line);
  if (line.empty()) return false;
  bool ends = false;
  auto is = [&](const char *id) { return line.starts_with(id); };
  if (is("CSQ5100I") || is("CSQH015I") || is("CSQI010I") || is("CSQJ322I") || is("CSQW127I")) {
    record.marks &= ~kMarkFilterable;
  } else if (is("CSQ9022I")) {
    ends = !record.has(kMarkSeveralQmgrs);
  } else if (is("CSQ9023E")) {
    record.marks |= kMarkError;
    ends = !record.has(kMarkSeveralQmgrs);
  } else if (is("CSQM297I")) {
    record.marks |= kMarkError | kMarkNotFound;
  } else if (is("CSQM131I")) {
    record.marks |= kMarkError;
  } else if (is("CSQN137I")) {
    record.marks |= kMarkSeveralQmgrs;
  } else if (is("CSQN121I")) {
    std::string_view trimmed = line;
    while (!trimmed.empty() && isLeadSep(trimmed.back())) trimmed.remove_suffix(1);
    size_t start = trimmed.find_last_of(' ');
    std::string_view word = start == std::string_view::npos ? trimmed : trimmed.substr(start + 1);
    record.groupQmgr = std::string(word.substr(0, 4));
    record.groupLine = std::string(line);
  } else if (is("CSQN122I") || is("CSQN123E")) {
    ends = true;
  }
  addResponseString(ctx, record, target, line);
  return ends;
}

bool decodeZosText(ProgramContext &ctx, CommandRecord &record, const MqscTarget &target, const uint8_t *data, size_t length) {
  std::string_view text(reinterpret_cast<const char *>(data), length);
  bool ends = false;
  if (text.size() > 8 && text[8] == '*') {
    size_t pos = 0;
    while (pos < text.size()) {
      size_t end = text.find('\0', pos);
      if (end == std::string_view::npos) end = text.size();
      if (zosLine(ctx, record, target, text.substr(pos, end - pos))) ends = true;
      pos = end + 1;
    }
  } else {
    ends = zosLine(ctx, record, target, text.substr(0, text.find('\0')));
  }
  return ends;
}

// ---------------------------------------------------------------- PCF

void decodeResetQstats(ProgramContext &ctx, CommandRecord &record, const MqscTarget &target, PcfReader &reader) {
  const MQCFH &h = reader.header();
  std::string text;
  if (h.Reason == 0) text = "AMQ8409: RESET QSTATS details.\n";
  const char *parameterName = nullptr;
  PcfParameter p;
  while (reader.next(p)) {
    if (p.parameter == ZRT_ATTR_RESPONSE_DELIMITER || p.parameter == kSecondRecordDelimiter) break;
    if (p.type == MQCFT_STRING && p.parameter == MQCA_Q_NAME) {
      std::string_view name = p.string;
      while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) name.remove_suffix(1);
      text += strFormat("QSTATS(%.*s) ", static_cast<int>(name.size()), name.data());
    } else if (p.type == MQCFT_INTEGER) {
      switch (p.parameter) {
      case MQIA_TIME_SINCE_RESET: text += strFormat("RESETINT(%d) ", p.integer); break;
      case MQIA_HIGH_Q_DEPTH: text += strFormat("HIQDEPTH(%d) ", p.integer); break;
      case MQIA_MSG_ENQ_COUNT: text += strFormat("MSGSIN(%d) ", p.integer); break;
      case MQIA_MSG_DEQ_COUNT: text += strFormat("MSGSOUT(%d) ", p.integer); break;
      case MQIACF_PARAMETER_ID: parameterName = parameterText(p.integer); break;
      default: break;
      }
    }
  }
  if (h.Reason != 0 && h.Reason != MQRCCF_COMMAND_FAILED) {
    text += strFormat("AMQ8147: %s", reasonText(h.Reason));
    if (parameterName) text += strFormat(" Parameter: %s", parameterName);
    record.marks |= kMarkError;
  }
  if (!text.empty()) addResponseString(ctx, record, target, text);
}

// One PCF record (a whole reply, or one piece of a multi-record reply).
void decodePcfRecord(ProgramContext &ctx, CommandRecord &record, const MqscTarget &target, const uint8_t *data, size_t length) {
  PcfReader reader(data, length);
  const MQCFH &h = reader.header();
  if (h.CompCode == MQCC_FAILED) record.marks |= kMarkError;
  if (h.CompCode != MQCC_OK && record.compCode == MQCC_OK) {
    record.compCode = h.CompCode;
    record.reason = h.Reason;
  }
  if (h.Command == MQCMD_RESET_Q_STATS) {
    decodeResetQstats(ctx, record, target, reader);
    return;
  }
  bool sawText = false;
  PcfParameter p;
  while (reader.next(p)) {
    if (p.type != MQCFT_STRING || p.parameter != MQCACF_ESCAPE_TEXT) continue;
    sawText = true;
    std::string_view text = skipLead(p.string);
    if (hasMessage(text, "AMQ8405")) record.marks |= kMarkError;
    for (const char *id : kNotFoundMessages)
      if (hasMessage(text, id)) record.marks |= kMarkError | kMarkNotFound;
    if (record.has(kMarkError) && record.errorText.empty()) {
      size_t end = text.find_first_of("\r\n");
      record.errorText = std::string(text.substr(0, end));
    }
    addTextLocked(ctx, record, target, p.string.data(), p.string.size());
  }
  // A failure that carries no text of its own would otherwise pass unseen.
  if (h.CompCode == MQCC_FAILED && !sawText && h.Reason != 0)
    addErrorLine(ctx, record, target,
                 strFormat("Command processing RC(%ld) %s", static_cast<long>(h.Reason), reasonText(h.Reason)));
}

// Cuts a multi-record message at its delimiter parameters; each piece gets a copy of the
// header with its own parameter count, and only the final piece keeps the last bit.
std::vector<std::vector<uint8_t>> splitRecords(const uint8_t *data, size_t length) {
  PcfReader reader(data, length);
  MQCFH h = reader.header();
  size_t bodyStart = reader.position();
  std::vector<std::pair<size_t, size_t>> pieces;  // byte range of each piece's parameters
  std::vector<int32_t> counts;
  size_t start = bodyStart;
  int32_t count = 0;
  PcfParameter p;
  while (reader.next(p)) {
    if (p.parameter == ZRT_ATTR_RESPONSE_DELIMITER || p.parameter == kSecondRecordDelimiter) {
      pieces.emplace_back(start, p.offset);
      counts.push_back(count);
      start = p.offset + p.length;
      count = 0;
    } else {
      ++count;
    }
  }
  size_t end = reader.position();
  if (count > 0 || pieces.empty()) {
    pieces.emplace_back(start, end);
    counts.push_back(count);
  }
  std::vector<std::vector<uint8_t>> out;
  for (size_t i = 0; i < pieces.size(); ++i) {
    MQCFH ph = h;
    ph.StrucLength = sizeof(MQCFH);
    ph.ParameterCount = counts[i];
    ph.Control &= ~(MQCFC_LAST | kControlMultiRecord);
    if (i + 1 == pieces.size()) ph.Control |= (h.Control & MQCFC_LAST);
    std::vector<uint8_t> piece(sizeof ph);
    std::memcpy(piece.data(), &ph, sizeof ph);
    piece.insert(piece.end(), data + pieces[i].first, data + pieces[i].second);
    out.push_back(std::move(piece));
  }
  return out;
}

bool formatIs(const MQMD &md, const char *format) { return std::memcmp(md.Format, format, 8) == 0; }

}  // namespace

void addResponseText(ProgramContext &ctx, CommandRecord &record, const MqscTarget &target, const char *text,
                     size_t length) {
  OwnedMutexGuard guard(ctx.displayLock);
  addTextLocked(ctx, record, target, text, length);
}

namespace {
bool decodeReply(ProgramContext &ctx, CommandRecord &record, const MqscTarget &target, const MQMD &md,
                 const uint8_t *data, size_t length) {
  bool last = false;
  {
    OwnedMutexGuard guard(ctx.displayLock);
    if (record.complete()) return true;  // a late reply for a command already finished
    if (!ctx.fileMode()) record.marks |= kMarkMarkerAdded;
    if (ctx.countingUnhandled) record.checkingAttributes = true;
    if (!data) length = 0;
    if (target.isZos() && (formatIs(md, MQFMT_COMMAND_1) || formatIs(md, MQFMT_COMMAND_2))) {
      record.zosText = true;
      last = decodeZosText(ctx, record, target, data, length);
    } else if (length >= sizeof(MQCFH)) {
      MQCFH h;
      std::memcpy(&h, data, sizeof h);
      if (h.Reason == kReasonResponsesLimited || h.Reason == kReasonSourceLimited) {
        record.marks |= h.Reason == kReasonResponsesLimited ? kMarkResponsesLimited : kMarkSourceLimited;
        h.CompCode = 0;
        h.Reason = 0;
      }
      std::vector<uint8_t> copy(data, data + length);
      std::memcpy(copy.data(), &h, sizeof h);
      if ((formatIs(md, MQFMT_ADMIN) || formatIs(md, MQFMT_PCF)) && (h.Control & kControlMultiRecord)) {
        for (const auto &piece : splitRecords(copy.data(), copy.size()))
          decodePcfRecord(ctx, record, target, piece.data(), piece.size());
      } else {
        decodePcfRecord(ctx, record, target, copy.data(), copy.size());
      }
      last = (h.Control & MQCFC_LAST) != 0;
    } else {
      addErrorLine(ctx, record, target, shortReplyMessage());
      ctx.statusFlags |= kStatusMqCallFailed;
    }
  }
  return last;
}
}  // namespace

bool handleMqscResponse(ProgramContext &ctx, CommandRecord &record, const MqscTarget &target, const MQMD &md,
                        const uint8_t *data, size_t length) {
  bool last = false;
  try {
    last = decodeReply(ctx, record, target, md, data, length);
  } catch (const std::bad_alloc &) {
    // The reply is dropped; the command is still completed at its last reply.
    ctx.statusFlags |= kStatusInternalFailure;
    last = length >= sizeof(MQCFH) && (readInt32(data + offsetof(MQCFH, Control)) & MQCFC_LAST) != 0;
  }
  if (last) completeCommandRecord(ctx, record);
  return last;
}

// ---------------------------------------------------------------- internal requests

namespace {
bool shortReply(ProgramContext &ctx, size_t length) {
  if (length >= sizeof(MQCFH)) return false;
  addError(ctx, shortReplyMessage());
  return true;
}
}  // namespace

bool handleQmgrLevelReply(ProgramContext &ctx, QmgrLevelReply &result, const MQMD &, const uint8_t *data,
                          size_t length) {
  if (!data || shortReply(ctx, length)) {
    result.failed = true;
    result.reason = kReasonShortReply;
    return true;
  }
  PcfReader reader(data, length);
  const MQCFH &h = reader.header();
  result.reason = h.Reason;
  if (h.CompCode == MQCC_FAILED) {
    result.failed = true;
    return (h.Control & MQCFC_LAST) != 0;
  }
  PcfParameter p;
  while (reader.next(p)) {
    if (p.type != MQCFT_INTEGER) continue;
    switch (p.parameter) {
    case MQIA_COMMAND_LEVEL: result.commandLevel = p.integer; break;
    case MQIA_PLATFORM: result.platform = p.integer; break;
    case 80000: result.agentLevel = p.integer; break;
    case 80001: result.agentFeatures = p.integer; break;
    default: break;
    }
  }
  return (h.Control & MQCFC_LAST) != 0;
}

bool handleTolkLevelReply(ProgramContext &ctx, TolkLevelReply &result, const MQMD &, const uint8_t *data,
                          size_t length) {
  if (!data || shortReply(ctx, length)) {
    result.failed = true;
    result.reason = kReasonShortReply;
    return true;
  }
  PcfReader reader(data, length);
  const MQCFH &h = reader.header();
  result.reason = h.Reason;
  if (h.CompCode == MQCC_FAILED) result.failed = true;
  PcfParameter p;
  while (reader.next(p))
    if (p.type == MQCFT_INTEGER && p.parameter == ZRT_ATTR_COMMAND_LEVEL) result.commandLevel = p.integer;
  return (h.Control & MQCFC_LAST) != 0;
}

bool handleClearQueueReply(ProgramContext &ctx, QueueCommandReply &result, const MQMD &, const uint8_t *data,
                           size_t length) {
  if (!data || shortReply(ctx, length)) {
    result.reason = kReasonShortReply;
    return true;
  }
  PcfReader reader(data, length);
  result.reason = reader.header().Reason;
  return (reader.header().Control & MQCFC_LAST) != 0;
}

bool handleQueueDepthReply(ProgramContext &ctx, QueueCommandReply &result, const MQMD &, const uint8_t *data,
                           size_t length) {
  if (!data || shortReply(ctx, length)) {
    result.reason = kReasonShortReply;
    return true;
  }
  PcfReader reader(data, length);
  const MQCFH &h = reader.header();
  bool last = (h.Control & MQCFC_LAST) != 0;
  // The closing summary of a multi-message answer (3008) must not overwrite the depth.
  if (last && h.Reason == MQRCCF_COMMAND_FAILED && result.reason >= 0) return true;
  result.reason = h.Reason;
  PcfParameter p;
  while (reader.next(p))
    if (p.type == MQCFT_INTEGER && p.parameter == MQIA_CURRENT_Q_DEPTH) result.depth = p.integer;
  return last;
}

bool handleNameCacheReply(ProgramContext &ctx, NameCache &cache, uint32_t sequence, const MQMD &, const uint8_t *data,
                          size_t length) {
  if (!data || shortReply(ctx, length)) return true;
  PcfReader reader(data, length);
  bool last = (reader.header().Control & MQCFC_LAST) != 0;
  // Sequence numbers wrap: compare them as a serial number.
  int32_t age = static_cast<int32_t>(sequence - cache.requestSeq);
  if (age < 0) return last;
  if (age > 0 || cache.filled == 0) {
    cache.names.clear();
    cache.requestSeq = sequence;
    cache.filled = std::time(nullptr);
  }
  if (!cache.descriptor) return last;
  auto enter = [&](std::string_view name) {
    while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) name.remove_suffix(1);
    if (!name.empty()) cache.names.emplace_back(name);
  };
  PcfParameter p;
  while (reader.next(p)) {
    if (p.parameter != cache.descriptor->nameParameter) continue;
    if (p.type == MQCFT_STRING) enter(p.string);
    for (std::string_view s : p.strings) enter(s);
  }
  return last;
}
