// Arbitrary reply bytes to the reply decoder and the internal-request handlers. The first
// byte picks the target and the MQMD format; the rest is the reply message.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "context/context.h"
#include "context/output.h"
#include "mqsc/attribute_tokenizer.h"
#include "mqsc/response.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  static const char *formats[] = {MQFMT_ADMIN, MQFMT_PCF, MQFMT_COMMAND_1, MQFMT_COMMAND_2};
  uint8_t selector = data[0];
  // An exact-size copy, so that the sanitizer sees any read past the reply.
  std::vector<uint8_t> reply(data + 1, data + size);

  ProgramContext ctx;
  ctx.displayLock.create();
  ctx.mode |= kModeFile;
  ctx.output = std::make_unique<OutputBuffer>(ctx.displayLock, nullptr, nullptr);
  MqscTarget target;
  target.platform = (selector & 4) ? MQPL_ZOS : MQPL_UNIX;
  target.tolkMode = (selector & 8) != 0;
  target.diagnosticFlags = (selector & 16) ? 256 : 0;
  MQMD md = kvarn::mqi::defaultMD();
  std::memcpy(md.Format, formats[selector & 3], 8);

  CommandRecord record;
  record.isDisplay = (selector & 32) != 0;
  record.keepRecords = true;
  if (selector & 64) record.filters.push_back([](const ResponseRecord &r) { return r.text.size() % 2 == 0; });
  if (!record.filters.empty()) record.marks |= kMarkHasModifiers;
  handleMqscResponse(ctx, record, target, md, reply.data(), reply.size());
  handleMqscResponse(ctx, record, target, md, reply.data(), reply.size());
  completeCommandRecord(ctx, record);
  for (const ResponseRecord &response : record.keptRecords) {
    AttributeTokenizer tok(response, (selector & 128) ? ListValueMode::One : ListValueMode::PerItem, true);
    AttributeToken token;
    while (tok.next(token)) localTimeStamp(token.text);
    for (const RecordAttribute &a : response.attributes) response.find(response.keywordOf(a), a.kind == RecordAttribute::Bare);
  }

  QmgrLevelReply level;
  handleQmgrLevelReply(ctx, level, md, reply.data(), reply.size());
  TolkLevelReply tolk;
  handleTolkLevelReply(ctx, tolk, md, reply.data(), reply.size());
  QueueCommandReply queue;
  handleQueueDepthReply(ctx, queue, md, reply.data(), reply.size());
  handleClearQueueReply(ctx, queue, md, reply.data(), reply.size());
  static const NameListDef def{"queue", MQCMD_INQUIRE_Q_NAMES, 1, MQCA_Q_NAME, 0};
  NameCache cache;
  cache.descriptor = &def;
  handleNameCacheReply(ctx, cache, 1, md, reply.data(), reply.size());
  return 0;
}
