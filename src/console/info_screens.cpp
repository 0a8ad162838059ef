#include "console/info_screens.h"

#include <algorithm>
#include <string>
#include <vector>

#include "console/actions.h"
#include "console/console_settings.h"
#include "console/console_state.h"
#include "console/key_sequence.h"
#include "console/keys.h"
#include "context/settings.h"
#include "runtime/scan.h"

namespace {

enum BlockKind { kParagraph = 0, kHeading = 1, kContinued = 2 };
struct BlockEntry {
  BlockKind kind;
  const char *text;
};

const BlockEntry kWelcome[] = {
    {kParagraph, "Welcome to the KVARN help screen. This screen gives you basic information on how to drive the "
                 "program. For more detailed information"},
    {kContinued, "please refer to the User Guide."},
    {kHeading, "Screens"},
    {kHeading, "-------"},
    {kParagraph, "There are actually four screens. These are accessible by issuing the relevant show command or "
                 "pressing a key"},
    {kParagraph, ""},
};
const BlockEntry kCommandsBlock[] = {
    {kHeading, "Commands"},
    {kHeading, "--------"},
    {kParagraph, "As well as MQSC commands you can enter additional commands which change the behaviour of KVARN. "
                 "For example the =set command allows you to"},
    {kContinued, "change program settings. A list of commands can be seen by typing '=?' at the command line. Help on "
                 "an individual command can be shown,"},
    {kContinued, "say the =set command, by typing '=set ?'."},
    {kParagraph, "A full list of the commands is shown below:"},
    {kParagraph, ""},
};
const BlockEntry kKeysBlock[] = {
    {kHeading, "Keys & Synonyms"},
    {kHeading, "---------------"},
    {kParagraph, "Below is a list of the current key assignments and defined synonyms. These can be changed using the"},
    {kContinued, "=key, =keyname and =syn commands."},
};
const BlockEntry kSettingsBlock[] = {
    {kHeading, "Settings"},
    {kHeading, "--------"},
    {kParagraph, "Below is a list of the current program settings."},
    {kParagraph, "These can be changed using the =set, =cache and =colour commands"},
};

void add(ConsoleState &c, Screen screen, std::string_view text, uint32_t style = kStyleInfo) {
  c.ctx->output->addLine(screen, text, style);
}

// Paragraphs are word-wrapped at blanks to the screen width (at most 500 characters).
void addBlock(ConsoleState &c, Screen screen, const BlockEntry *begin, const BlockEntry *end) {
  size_t width = std::min<size_t>(500, static_cast<size_t>(std::max(20, c.columns)));
  std::string paragraph;
  auto flush = [&] {
    std::string_view rest = paragraph;
    while (rest.size() > width) {
      size_t cut = rest.rfind(' ', width);
      if (cut == std::string_view::npos || cut == 0) cut = width;
      add(c, screen, rest.substr(0, cut));
      rest = rest.substr(cut);
      while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    }
    add(c, screen, rest);
    paragraph.clear();
  };
  bool open = false;
  for (const BlockEntry *e = begin; e != end; ++e) {
    if (e->kind == kContinued && open) {
      paragraph += ' ';
      paragraph += e->text;
      continue;
    }
    if (open) flush();
    open = false;
    if (e->kind == kHeading) {
      add(c, screen, e->text, kStyleHeading);
    } else {
      paragraph = e->text;
      open = true;
    }
  }
  if (open) flush();
}

// The current action of a key: its assignment, else its default.
struct Bound {
  std::string key;
  std::string action;   // empty: none
  std::string command;  // a key command's text
  bool isCommand = false;
};

std::vector<Bound> boundKeys(const ProgramContext &ctx) {
  std::vector<Bound> out;
  auto assignment = [&](const std::string &name, const char *fallback) {
    Bound b{name, fallback ? fallback : "", "", false};
    for (const KeyBindingEntry &k : consoleSettingsOf(ctx).keyBindings)
      if (scanEqualsNoCase(k.key, name)) {
        b.isCommand = k.isCommand;
        b.action = k.isCommand ? "" : k.action;
        b.command = k.command;
      }
    return b;
  };
  for (const KeyNameEntry &k : consoleSettingsOf(ctx).keyNames) {
    const KeyDef *builtin = findBuiltinKey(k.name);
    out.push_back(assignment(k.name, builtin ? builtin->defaultAction : nullptr));
  }
  for (const KeyDef &k : builtinKeys()) {
    bool shadowed = std::any_of(consoleSettingsOf(ctx).keyNames.begin(), consoleSettingsOf(ctx).keyNames.end(),
                                [&](const KeyNameEntry &u) { return scanEqualsNoCase(u.name, k.name); });
    if (!shadowed) out.push_back(assignment(k.name, k.defaultAction));
  }
  return out;
}

void heading(ConsoleState &c, Screen screen, const std::string &title) {
  add(c, screen, "");
  add(c, screen, title, kStyleHeading);
  add(c, screen, std::string(title.size(), '-'), kStyleHeading);
}

void buildKeys(ConsoleState &c) {
  const ProgramContext &ctx = *c.ctx;
  addBlock(c, kScreenKeys, std::begin(kKeysBlock), std::end(kKeysBlock));
  std::vector<Bound> keys = boundKeys(ctx);
  size_t width = 0;
  for (const ActionDef &a : actionTable()) width = std::max(width, std::string_view(a.name).size());
  heading(c, kScreenKeys, "Action Keys");
  for (const ActionDef &a : actionTable()) {
    if (a.name[0] == '!') continue;
    bool first = true;
    for (const Bound &b : keys) {
      if (b.isCommand || !findAction(b.action) || findAction(b.action) != &a) continue;
      add(c, kScreenKeys, strFormat("%-*s : %s", static_cast<int>(width), first ? a.name : "", b.key.c_str()));
      first = false;
    }
    if (first) add(c, kScreenKeys, strFormat("%-*s : <none>", static_cast<int>(width), a.name));
  }
  size_t keyWidth = 0;
  for (const Bound &b : keys) keyWidth = std::max(keyWidth, b.key.size());
  bool anyCommand = std::any_of(keys.begin(), keys.end(), [](const Bound &b) { return b.isCommand; });
  if (anyCommand) {
    heading(c, kScreenKeys, "Key Commands");
    for (const Bound &b : keys)
      if (b.isCommand)
        add(c, kScreenKeys, strFormat("%-*s : %s", static_cast<int>(keyWidth), b.key.c_str(), b.command.c_str()));
  }
  if (!consoleSettingsOf(ctx).keyNames.empty()) {
    heading(c, kScreenKeys, "User Keys");
    size_t seqWidth = 0;
    for (const KeyNameEntry &k : consoleSettingsOf(ctx).keyNames) seqWidth = std::max(seqWidth, k.seq.size());
    for (const KeyNameEntry &k : consoleSettingsOf(ctx).keyNames) {
      Bound b;
      for (const Bound &x : keys)
        if (scanEqualsNoCase(x.key, k.name)) b = x;
      std::string what = b.isCommand ? (b.command.size() > 100 ? strFormat("command(%.100s...)", b.command.c_str())
                                                               : "command(" + b.command + ")")
                         : b.action.empty() ? std::string("action(none)")
                                            : "action(" + b.action + ")";
      add(c, kScreenKeys,
          strFormat("%-*s %-*s : %s", static_cast<int>(keyWidth), k.name.c_str(), static_cast<int>(seqWidth),
                    k.seq.c_str(), what.c_str()));
    }
  }
  if (!ctx.synonyms.empty()) {
    heading(c, kScreenKeys, "Synonyms");
    size_t synWidth = 0;
    for (const Synonym &s : ctx.synonyms) synWidth = std::max(synWidth, s.name.size());
    for (const Synonym &s : ctx.synonyms)
      add(c, kScreenKeys,
          s.command.size() > 100
              ? strFormat("%-*s - %.100s...", static_cast<int>(synWidth), s.name.c_str(), s.command.c_str())
              : strFormat("%-*s - %s", static_cast<int>(synWidth), s.name.c_str(), s.command.c_str()));
  }
}

std::string firstKeyFor(const ProgramContext &ctx, const char *action) {
  for (const Bound &b : boundKeys(ctx))
    if (!b.isCommand && findAction(b.action) == findAction(action)) return b.key;
  return "";
}

void buildHelp(ConsoleState &c) {
  if (c.host.versionLine) add(c, kScreenHelp, c.host.versionLine());
  add(c, kScreenHelp, "");
  addBlock(c, kScreenHelp, std::begin(kWelcome), std::end(kWelcome));
  add(c, kScreenHelp, "Description                      Command           Key", kStyleHeading);
  static const struct {
    const char *text;
    const char *action;
  } kScreens[] = {{"Shows this help screen           =show scrn(help)", "Show Help"},
                  {"Shows the main MQSC screen       =show scrn(mqsc)", "Show MQSC"},
                  {"Shows the key assignment screen  =show scrn(keys)", "Show Keys"},
                  {"Shows the current settings       =show scrn(sets)", "Show Settings"}};
  for (const auto &s : kScreens)
    add(c, kScreenHelp, strFormat("%s  %s", s.text, firstKeyFor(*c.ctx, s.action).c_str()));
  add(c, kScreenHelp, "");
  addBlock(c, kScreenHelp, std::begin(kCommandsBlock), std::end(kCommandsBlock));
  if (c.host.localCommands) {
    auto commands = c.host.localCommands();
    size_t width = 0;
    for (const auto &[name, description] : commands)
      if (name.empty() || name[0] != '~') width = std::max(width, name.size());
    for (const auto &[name, description] : commands)
      if (name.empty() || name[0] != '~')
        add(c, kScreenHelp, strFormat("%-*s - %s", static_cast<int>(width), name.c_str(), description.c_str()));
  }
  if (c.host.machineDetails) {
    add(c, kScreenHelp, "");
    for (const std::string &line : c.host.machineDetails(*c.ctx)) add(c, kScreenHelp, line);
  }
}

void buildSettings(ConsoleState &c) {
  addBlock(c, kScreenSettings, std::begin(kSettingsBlock), std::end(kSettingsBlock));
  add(c, kScreenSettings, "");
  for (const std::string &line : settingsScreenLines(c.ctx->settings, c.colours)) add(c, kScreenSettings, line);
}

}  // namespace

void rebuildInfoScreen(ConsoleState &c, Screen screen) {
  if (screen == kScreenMqsc) return;
  {
    OwnedMutexGuard guard(c.ctx->displayLock);
    c.ctx->output->screen(screen).clear();
  }
  if (screen == kScreenHelp) buildHelp(c);
  else if (screen == kScreenKeys) buildKeys(c);
  else buildSettings(c);
  c.scroll[screen] = 0;
  // The top of the screen is where its text starts.
  uint64_t total = c.ctx->output->screen(screen).rows();
  uint64_t height = static_cast<uint64_t>(std::max(1, c.rows - 2));
  c.scroll[screen] = total > height ? total - height : 0;
}

void switchScreen(ConsoleState &c, Screen screen) {
  c.screen = screen;
  consoleSettingsOf(*c.ctx).view.screen = screen;
  rebuildInfoScreen(c, screen);
  c.findLine = SIZE_MAX;
  c.fullRepaint = true;
  c.dirty = true;
}
