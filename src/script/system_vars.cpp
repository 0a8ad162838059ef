#include "script/system_vars.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>
#include <ctime>

#include "script/response_attr.h"
#include "script/script_host.h"
#include "script/script_state.h"
#include "text/text.h"

namespace kvarn::script {

namespace {

constexpr size_t kMaxStreamLength = 64;

using Getter = void (*)(ProgramContext&, ScriptState&, Value&);

void text(Value& out, std::string_view s) {
  if (s.empty()) out.setView({});
  else out.setConcat(s, {});
}

ConnectionState connection(ProgramContext& ctx) {
  const ScriptHost& host = scriptHost();
  return host.connection ? host.connection(ctx) : ConnectionState{};
}

int64_t hostNumber(const std::function<int64_t(ProgramContext&)>& f, ProgramContext& ctx, int64_t none) {
  return f ? f(ctx) : none;
}

void screenSize(ProgramContext& ctx, int& width, int& height) {
  const ScriptHost& host = scriptHost();
  if (host.screenSize && host.screenSize(ctx, width, height)) return;
  struct winsize ws {};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) {
    width = ws.ws_col;
    height = ws.ws_row;
    return;
  }
  width = ctx.outputWidth;
  height = 24;
}

void pendingConnect(ProgramContext& ctx) {
  if (scriptHost().ensureConnected) scriptHost().ensureConnected(ctx);
}

struct SystemVariable {
  std::string_view name;
  Getter get;
};

const SystemVariable kSystemVariables[] = {
    {"_nl", [](ProgramContext&, ScriptState&, Value& v) { v.setView("\n"); }},
    // Scripts choose paths and commands by this; on Linux it must not claim Windows.
    {"_os", [](ProgramContext&, ScriptState&, Value& v) { v.setView("LINUX"); }},
    {"_sep", [](ProgramContext&, ScriptState&, Value& v) { v.setView("\x05"); }},
    {"_time", [](ProgramContext&, ScriptState&, Value& v) { v.setInt(static_cast<int64_t>(std::time(nullptr))); }},
    {"_qmgr",
     [](ProgramContext& c, ScriptState&, Value& v) {
       pendingConnect(c);
       text(v, connection(c).adminQmgr);
     }},
    {"_connqmgr",
     [](ProgramContext& c, ScriptState&, Value& v) {
       pendingConnect(c);
       text(v, connection(c).connectedQmgr);
     }},
    {"_client", [](ProgramContext& c, ScriptState&, Value& v) { v.setInt(connection(c).client ? 1 : 0); }},
    {"_platform",
     [](ProgramContext& c, ScriptState&, Value& v) {
       ConnectionState s = connection(c);
       text(v, s.connected ? platformName(s.platform) : "NOTCONNECTED");
     }},
    {"_cmdlevel", [](ProgramContext& c, ScriptState&, Value& v) { v.setInt(connection(c).commandLevel); }},
    {"_tolkcmdlevel", [](ProgramContext& c, ScriptState&, Value& v) { v.setInt(connection(c).tolkCommandLevel); }},
    {"_sarvoacmdlevel", [](ProgramContext& c, ScriptState&, Value& v) { v.setInt(connection(c).agentLevel); }},
    {"_ccdtmode", [](ProgramContext& c, ScriptState&,
                     Value& v) { v.setInt(scriptHost().ccdtFile && !scriptHost().ccdtFile(c).empty() ? 1 : 0); }},
    {"_ccdt", [](ProgramContext& c, ScriptState&,
                 Value& v) { text(v, scriptHost().ccdtFile ? scriptHost().ccdtFile(c) : std::string()); }},
    {"_width",
     [](ProgramContext& c, ScriptState&, Value& v) {
       int w = 0, h = 0;
       screenSize(c, w, h);
       v.setInt(w);
     }},
    {"_height",
     [](ProgramContext& c, ScriptState&, Value& v) {
       int w = 0, h = 0;
       screenSize(c, w, h);
       v.setInt(h);
     }},
    {"_lastrc",
     [](ProgramContext& c, ScriptState&, Value& v) { v.setInt(hostNumber(scriptHost().lastReasonCode, c, 0)); }},
    {"_lastrcstr",
     [](ProgramContext& c, ScriptState&, Value& v) {
       int64_t rc = hostNumber(scriptHost().lastReasonCode, c, 0);
       if (rc == 0) {
         v.setView("None");
         return;
       }
       std::string name = scriptHost().reasonName ? scriptHost().reasonName(rc) : std::string();
       if (name.empty()) name = "Unknown Reason(" + std::to_string(rc) + ")";
       text(v, name);
     }},
    {"_cmdok",
     [](ProgramContext& c, ScriptState& s, Value& v) {
       v.setInt(s.latestCommand.recorded ? s.latestCommand.succeeded
                                         : ((c.statusFlags & kStatusCommandFailed) ? 0 : 1));
     }},
    {"_responses", [](ProgramContext&, ScriptState& s,
                      Value& v) { v.setInt(s.latestCommand.recorded ? s.latestCommand.responses : -1); }},
    {"_matches", [](ProgramContext&, ScriptState& s, Value& v) { v.setInt(s.matched); }},
    {"_respwait", [](ProgramContext& c, ScriptState&,
                     Value& v) { v.setInt(c.fileMode() ? c.settings.respwait : c.settings.respwaiti); }},
    {"_lastcmdresp", [](ProgramContext&, ScriptState& s, Value& v) { text(v, s.latestCommand.responseText.text()); }},
    {"_lastresp", [](ProgramContext&, ScriptState& s, Value& v) { text(v, lastResponseText(s.currentRecord())); }},
    {"_item", [](ProgramContext&, ScriptState& s, Value& v) { text(v, s.item); }},
    {"_idxEach", [](ProgramContext&, ScriptState& s, Value& v) { v.setInt(s.eachLoop.index); }},
    {"_idxWhile", [](ProgramContext&, ScriptState& s, Value& v) { v.setInt(s.whileLoop.index); }},
    {"_idxItem", [](ProgramContext&, ScriptState& s, Value& v) { v.setInt(s.itemLoop.index); }},
    {"_numEach", [](ProgramContext&, ScriptState& s, Value& v) { v.setInt(s.eachLoop.passes); }},
    {"_numWhile", [](ProgramContext&, ScriptState& s, Value& v) { v.setInt(s.whileLoop.passes); }},
    {"_numItem", [](ProgramContext&, ScriptState& s, Value& v) { v.setInt(s.itemLoop.passes); }},
    {"_errno", [](ProgramContext&, ScriptState& s, Value& v) { v.setInt(s.lastErrno); }},
    {"_errnostr",
     [](ProgramContext&, ScriptState& s, Value& v) { text(v, s.lastErrno ? std::strerror(s.lastErrno) : ""); }},
    {"_stream", [](ProgramContext&, ScriptState& s, Value& v) { text(v, s.stream); }},
    {"_error_func", [](ProgramContext&, ScriptState& s, Value& v) { text(v, s.errorFunction); }},
};

const SystemVariable* findSystemVariable(std::string_view name) {
  for (const SystemVariable& row : kSystemVariables)
    if (row.name == name) return &row;
  return nullptr;
}

}  // namespace

std::string platformName(int32_t code) {
  switch (code) {
  case 4: return "IBM i";
  case 2: return "OS/2";
  case 3: return "Unix";
  case 1: return "z/OS";
  case 5: return "MS Windows";
  case 11: return "Windows";
  case 12: return "VMS";
  case 13: return "HP NS";
  case 28: return "MQ Appliance";
  default: return "UNKNOWN(" + std::to_string(code) + ")";
  }
}

std::vector<std::string_view> systemVariableNames() {
  std::vector<std::string_view> names;
  for (const SystemVariable& row : kSystemVariables) names.push_back(row.name);
  return names;
}

bool isSystemVariableName(std::string_view name) { return findSystemVariable(name) != nullptr; }

bool systemVariableValue(ProgramContext& ctx, std::string_view name, Value& out) {
  const SystemVariable* row = findSystemVariable(name);
  if (!row) return false;
  row->get(ctx, scriptState(ctx), out);
  return true;
}

bool assignSystemVariable(ProgramContext& ctx, std::string_view name, const Value& value, std::string& error) {
  ScriptState& state = scriptState(ctx);
  auto refuse = [&](std::string message) {
    error = std::move(message);
    state.errorFlag = true;
    return false;
  };
  if (name == "_stream") {
    if (!value.isString()) return refuse("The _stream system variable should be set to a string");
    state.stream = std::string(value.bytes().substr(0, kMaxStreamLength));
    return true;
  }
  if (name == "_error_func") {
    if (!value.isString()) return refuse("The _error_func system variable should be set to a string");
    std::string_view fn = value.bytes();
    if (fn.empty()) {
      state.errorFunction.clear();
      return true;
    }
    const FunctionDef* f = state.functions.find(fn);
    if (!f || !f->runBody())
      return refuse(strFormat("Error function %.*s is not defined.", static_cast<int>(fn.size()), fn.data()));
    state.errorFunction = std::string(fn);
    return true;
  }
  return refuse(
      strFormat("You can not set the value of system variable %.*s.", static_cast<int>(name.size()), name.data()));
}

}  // namespace kvarn::script
