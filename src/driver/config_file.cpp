#include "driver/config_file.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "console/console_settings.h"
#include "console/key_commands.h"
#include "context/context.h"
#include "context/output.h"
#include "driver/synonyms.h"
#include "runtime/path.h"
#include "runtime/regular_file.h"
#include "runtime/scan.h"

namespace {

constexpr size_t kMaxConfigLine = 20000;
constexpr const char *kConfigName = "kvarn.cfg";
constexpr const char *kConfigNew = "kvarn.cfb";

std::string homeDirectory() {
  if (const char *home = std::getenv("HOME"); home && *home) return home;
  if (const passwd *pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "";
}

bool makeDirectories(const std::string &dir) {
  std::string partial;
  for (size_t i = 0; i <= dir.size(); ++i) {
    if (i == dir.size() || (dir[i] == '/' && i > 0)) {
      partial = dir.substr(0, i);
      if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
  }
  return true;
}

int32_t toInt(const std::string &v) { return static_cast<int32_t>(std::strtol(v.c_str(), nullptr, 10)); }
uint32_t toHex(const std::string &v) { return static_cast<uint32_t>(std::strtoul(v.c_str(), nullptr, 16)); }

struct NumberField {
  const char *name;
  int32_t Settings::*field;
};
constexpr NumberField kNumberFields[] = {
    {"cmdhist", &Settings::cmdhist},       {"defmaxresp", &Settings::defmaxresp}, {"history", &Settings::history},
    {"jsonfields", &Settings::jsonfields}, {"maxager", &Settings::maxager},       {"maxagel", &Settings::maxagel},
    {"colstyle", &Settings::colstyle},     {"columns", &Settings::columns},       {"colwidth", &Settings::colwidth},
    {"listval", &Settings::listval},       {"detsep", &Settings::detsep},         {"vercheck", &Settings::vercheck},
};

// Reads one quoted or plain token from `line` at `pos`.
std::string readToken(std::string_view line, size_t &pos) {
  std::string out;
  if (pos < line.size() && line[pos] == '"') {
    ++pos;
    while (pos < line.size() && line[pos] != '"') {
      if (line[pos] == '~' && pos + 1 < line.size()) ++pos;
      out += line[pos++];
    }
    if (pos < line.size()) ++pos;  // the closing quote
    return out;
  }
  while (pos < line.size() && line[pos] != ' ' && line[pos] != '=') out += line[pos++];
  return out;
}

bool plainValue(std::string_view v) {
  if (v.empty()) return false;
  for (char c : v)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  return true;
}

class LineWriter {
 public:
  explicit LineWriter(FILE *f) : f_(f) {}
  LineWriter &add(std::string_view name, std::string_view value) {
    items_.push_back(formatConfigValue(name, value));
    return *this;
  }
  void end() {
    for (size_t i = 0; i < items_.size(); ++i) {
      std::fputs(items_[i].c_str(), f_);
      std::fputc(i + 1 < items_.size() ? ' ' : '\n', f_);
    }
    items_.clear();
  }

 private:
  FILE *f_;
  std::vector<std::string> items_;
};

std::string hexText(uint32_t v) { return strFormat("%X", v); }

void writeBody(ProgramContext &ctx, FILE *f) {
  const Settings &s = ctx.settings;
  std::time_t now = std::time(nullptr);
  char when[32];
  ctime_r(&now, when);
  std::fprintf(f, "* MQSC Configuration file (%.24s)\n\n", when);
  std::fprintf(f, "optmask=%X\n", kOptionsMask);
  std::fprintf(f, "options=%X\n", s.options);
  std::fprintf(f, "cmdhist=%d\ndefmaxresp=%d\nhistory=%d\njsonfields=%d\nmaxager=%d\nmaxagel=%d\n", s.cmdhist,
               s.defmaxresp, s.history, s.jsonfields, s.maxager, s.maxagel);
  std::fprintf(f, "colstyle=%d\ncolumns=%d\ncolwidth=%d\nlistval=%d\ndetsep=%d\nvercheck=%d\n", s.colstyle, s.columns,
               s.colwidth, s.listval, s.detsep, s.vercheck);
  LineWriter w(f);
  if (s.vercheckti != 0) {
    std::fprintf(f, "vercheckti=%lld\n", static_cast<long long>(s.vercheckti));
    if (!s.latver.empty()) w.add("latver", s.latver).end();
    if (!s.latbld.empty()) w.add("latbld", s.latbld).end();
  }
  w.add("prompt", s.prompt).end();
  std::fputs("\n* Colour settings\n\n", f);
  for (int i = 0; i < kColourSlots; ++i) {
    w.add("fg" + std::to_string(i), colourName(s.colours[i].fg)).end();
    w.add("bg" + std::to_string(i), colourName(s.colours[i].bg)).end();
  }
  if (!consoleSettingsOf(ctx).keyNames.empty()) {
    std::fputs("\n* User Keys\n\n", f);
    for (const auto &k : consoleSettingsOf(ctx).keyNames) w.add("keyname", k.name).add("seq", k.seq).end();
  }
  std::fputs("\n* Key Assignments\n\n", f);
  for (const auto &k : consoleSettingsOf(ctx).keyBindings)
    if (!k.isCommand)
      w.add("key", k.key).add("act", k.action.empty() ? kNoActionName : k.action).add("ko", hexText(k.options)).end();
  std::fputs("\n* Key Commands\n\n", f);
  for (const auto &k : consoleSettingsOf(ctx).keyBindings)
    if (k.isCommand) w.add("key", k.key).add("cmd", k.command).add("ko", hexText(k.options)).end();
  std::fputs("\n* Command History\n\n", f);
  for (const auto &h : consoleSettingsOf(ctx).history) w.add("cmd", scanMaskPasswords(h)).end();
  if (!ctx.synonyms.empty()) {
    std::fputs("\n* Synonyms\n\n", f);
    for (const auto &syn : ctx.synonyms) w.add("syn", syn.name).add("cmd", syn.command).end();
  }
}

std::recursive_mutex &saveLock() {
  static std::recursive_mutex lock;
  return lock;
}

}  // namespace

ConfigResult configDirectory() {
  if (const char *env = std::getenv("KVARNCFG"); env && *env) {
    std::string value = env;
    struct stat st {};
    bool isDirectory = stat(value.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    size_t lastSlash = value.find_last_of("/\\");
    std::string last = lastSlash == std::string::npos ? value : value.substr(lastSlash + 1);
    // A name with an extension (kvarn.cfg) names the file; hidden directories such as
    // ~/.kvarn are still directories.
    if (!isDirectory && last.find('.', 1) != std::string::npos) {
      size_t slash = value.find_last_of("/\\");
      value = slash == std::string::npos ? "" : value.substr(0, slash);
    }
    return {true, tidyDirectory(value)};
  }
  if (const char *xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
    return {true, tidyDirectory(std::string(xdg) + "/kvarn")};
  std::string home = homeDirectory();
  if (home.empty()) return {false, "Can not determine the home directory"};
  return {true, home + "/.config/kvarn"};
}

std::string formatConfigValue(std::string_view name, std::string_view value) {
  std::string out(name);
  out += '=';
  if (plainValue(value)) {
    out.append(value);
    return out;
  }
  out += '"';
  for (char c : value) {
    if (c == '"' || c == '~') out += '~';
    out += c;
  }
  out += '"';
  return out;
}

ConfigAssignments parseConfigLine(std::string_view line) {
  ConfigAssignments out;
  size_t pos = 0;
  while (pos < line.size()) {
    while (pos < line.size() && line[pos] == ' ') ++pos;
    if (pos >= line.size()) break;
    size_t start = pos;
    std::string name = readToken(line, pos);
    if (pos < line.size() && line[pos] == '=') {
      ++pos;
      std::string value = readToken(line, pos);
      out.emplace_back(std::move(name), std::move(value));
    } else if (pos == start) {
      ++pos;  // a stray character: skip it so the loop always advances
    }
  }
  return out;
}

void applyConfigLine(ProgramContext &ctx, const ConfigAssignments &line, uint32_t &optmask) {
  Settings &s = ctx.settings;
  const std::string *keyname = nullptr, *seq = nullptr, *key = nullptr, *act = nullptr, *cmd = nullptr, *syn = nullptr;
  uint32_t ko = 0;
  for (const auto &[name, value] : line) {
    if (scanEqualsNoCase(name, "optmask")) {
      optmask = toHex(value) & kOptionsMask;
    } else if (scanEqualsNoCase(name, "options")) {
      s.options = (kOptionsDefault & ~optmask) | (toHex(value) & kOptionsMask);
    } else if (scanEqualsNoCase(name, "prompt")) {
      s.prompt = value.substr(0, 99);
    } else if (scanEqualsNoCase(name, "vercheckti")) {
      s.vercheckti = std::strtoll(value.c_str(), nullptr, 10);
    } else if (scanEqualsNoCase(name, "latver")) {
      s.latver = value;
    } else if (scanEqualsNoCase(name, "latbld")) {
      s.latbld = value;
    } else if (scanEqualsNoCase(name, "keyname")) {
      keyname = &value;
    } else if (scanEqualsNoCase(name, "seq")) {
      seq = &value;
    } else if (scanEqualsNoCase(name, "key")) {
      key = &value;
    } else if (scanEqualsNoCase(name, "act")) {
      act = &value;
    } else if (scanEqualsNoCase(name, "cmd")) {
      cmd = &value;
    } else if (scanEqualsNoCase(name, "ko")) {
      ko = toHex(value);
    } else if (scanEqualsNoCase(name, "syn")) {
      syn = &value;
    } else if ((name.size() == 3 || name.size() == 4) &&
               (name[0] == 'f' || name[0] == 'b' || name[0] == 'F' || name[0] == 'B') &&
               (name[1] == 'g' || name[1] == 'G') && std::isdigit(static_cast<unsigned char>(name[2]))) {
      int slot = std::atoi(name.c_str() + 2);
      if (slot >= 0 && slot < kColourSlots) {
        int16_t colour = static_cast<int16_t>(colourByName(value));
        if (name[0] == 'f' || name[0] == 'F') s.colours[slot].fg = colour;
        else s.colours[slot].bg = colour;
      }
    } else {
      for (const auto &f : kNumberFields)
        if (scanEqualsNoCase(name, f.name)) s.*f.field = toInt(value);
    }
  }
  if (keyname) {
    restoreKeyName(ctx, *keyname, seq ? *seq : "");
  } else if (key) {
    restoreKeyBinding(ctx, *key, act, cmd, ko);
  } else if (syn) {
    if (cmd && !syn->empty()) storeSynonym(ctx, *syn, *cmd);
  } else if (cmd) {
    consoleSettingsOf(ctx).history.push_back(*cmd);
  }
}

// A configuration file that exists but cannot be read holds the user's settings all
// the same: the run goes on with what it could read, says why, and never saves over it.
ConfigResult unreadableConfiguration(ProgramContext &ctx, const std::string &path, const std::string &reason) {
  ctx.configUnreadable = true;
  std::string text =
      strFormat("Can not read configuration file '%s' - %s; it will not be saved over", path.c_str(), reason.c_str());
  ctx.startupErrors.push_back(text);
  return {true, text};
}

ConfigResult loadConfiguration(ProgramContext &ctx) {
  ConfigResult dir = configDirectory();
  if (!dir.ok) return dir;
  std::string path = joinPath(dir.text, kConfigName);
  RegularFile opened = openRegularFile(path);
  if (opened.status == RegularFileStatus::Missing) {
    path = joinPath(dir.text, kConfigNew);
    opened = openRegularFile(path);
  }
  FILE *f = opened.stream;
  ctx.configPath = joinPath(dir.text, kConfigName);
  if (opened.status == RegularFileStatus::Missing)
    return {true, "Configuration file '" + ctx.configPath + "' not found, using defaults"};
  if (!f) return unreadableConfiguration(ctx, path, opened.reason());
  std::string line(kMaxConfigLine, '\0');
  uint32_t optmask = 0;  // optmask comes first in the file and applies to the options read after it
  while (std::fgets(line.data(), static_cast<int>(line.size()), f)) {
    std::string_view text(line.c_str());
    bool complete = !text.empty() && text.back() == '\n';
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    if (!complete && !std::feof(f)) {
      // An over-long line: skip the rest of it rather than read it as a new line.
      int c;
      while ((c = std::fgetc(f)) != EOF && c != '\n') {}
    }
    if (text.empty() || text[0] == '*' || text[0] == ';') continue;
    applyConfigLine(ctx, parseConfigLine(text), optmask);
  }
  int readError = std::ferror(f) != 0 ? (errno ? errno : EIO) : 0;
  std::fclose(f);
  if (readError) return unreadableConfiguration(ctx, path, std::strerror(readError));
  return {true, "Configuration loaded from '" + path + "'"};
}

ConfigResult saveConfiguration(ProgramContext &ctx) {
  std::lock_guard<std::recursive_mutex> guard(saveLock());
  if (!ctx.saveWanted) return {};
  if (ctx.configUnreadable)
    return {false, strFormat("Configuration not saved: '%s' could not be read at start-up", ctx.configPath.c_str())};
  ConfigResult dir = configDirectory();
  if (!dir.ok) return dir;
  if (!dir.text.empty()) makeDirectories(dir.text);
  std::string tmp = joinPath(dir.text, kConfigNew);
  std::string path = joinPath(dir.text, kConfigName);
  FILE *f = std::fopen(tmp.c_str(), "w");
  if (!f) return {false, strFormat("Can not open file '%s'", tmp.c_str())};
  writeBody(ctx, f);
  bool failed = std::fflush(f) != 0 || std::ferror(f) != 0 || fsync(fileno(f)) != 0;
  failed = (std::fclose(f) != 0) || failed;
  if (failed) {
    std::remove(tmp.c_str());
    return {false, strFormat("Error writing to file '%s'", tmp.c_str())};
  }
  // rename() replaces the old file in one step, so a failure leaves kvarn.cfg as it was.
  if (std::rename(tmp.c_str(), path.c_str()) != 0)
    return {false, strFormat("Can not rename file '%s' to '%s'", tmp.c_str(), path.c_str())};
  ctx.saveWanted = false;
  return {true, path};
}
