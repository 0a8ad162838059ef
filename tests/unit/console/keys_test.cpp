#include <gtest/gtest.h>

#include <set>

#include "../support/captured_output.h"
#include "console/actions.h"
#include "console/console_settings.h"
#include "console/key_commands.h"
#include "console/key_sequence.h"
#include "console/keys.h"
#include "runtime/scan.h"

namespace {

KeyStroke read(std::string_view text) {
  KeyStroke stroke;
  EXPECT_TRUE(parseKeySequence(text, stroke)) << text;
  return stroke;
}

TEST(KeySequence, CodesModifiersAndEscapeBytes) {
  EXPECT_EQ(read("0x10D"), (KeyStroke{0x10d, 0, {}}));
  EXPECT_EQ(read("0x10d (0x1)"), (KeyStroke{0x10d, 1, {}}));
  EXPECT_EQ(read("  0X1E1 0x2"), (KeyStroke{0x1e1, 2, {}}));
  EXPECT_EQ(read("1b5B3131"), (KeyStroke{0, 0, "\x1b[11"}));
  EXPECT_EQ(read("1B5B313131313131").escape, "\x1b[1111");  // six bytes at most
  EXPECT_TRUE(read("   ").empty());
  KeyStroke s;
  for (const char *bad : {"1B5", "1G", "1B 5B", "0x", "0x10D junk", "0x123456789", "0x10D (1)"})
    EXPECT_FALSE(parseKeySequence(bad, s)) << bad;
  // Written as the configuration file keeps them, and read back the same.
  for (const char *text : {"0x10D", "0x184 (0x3)", "1B5B3131"}) EXPECT_EQ(formatKeySequence(read(text)), text);
}

TEST(KeyTables, EveryKeyAndAction) {
  std::set<std::string> names;
  std::set<std::pair<uint32_t, uint32_t>> strokes;
  for (const KeyDef &key : builtinKeys()) {
    std::string lower(key.name);
    for (char &c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_TRUE(names.insert(lower).second) << key.name;
    EXPECT_TRUE(strokes.insert({key.code, key.modifiers}).second) << key.name;
    EXPECT_TRUE(!key.defaultAction || findAction(key.defaultAction)) << key.name;
    EXPECT_TRUE(key.redirectable || key.defaultAction) << key.name;
  }
  EXPECT_EQ(findBuiltinKey("f13")->modifiers, kModShift);
  EXPECT_EQ(findBuiltinKey("Alt-z")->code, 0x1bau);
  EXPECT_STREQ(findAction("none")->name, "!none");
  EXPECT_STREQ(findAction("show keys")->name, "Show Keys");
  EXPECT_EQ(findAction("noop")->flags, kActionOrdinary);
  EXPECT_EQ(findAction("Select Cursor Top")->flags, kActionSelecting);
  EXPECT_EQ(findAction("Jump"), nullptr);
}

class KeyCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    ctx.displayLock.create();
    out.attach(ctx);
    ctx.mode |= kModeFile;
  }
  // Runs =key or =keyname through its handler and returns the lines it added.
  std::string run(const std::string &text) {
    ParsedCommand cmd = parseLocalCommand(text);
    out.lines.clear();
    for (const LocalCommand &row : consoleLocalCommands())
      if (scanEqualsNoCase(row.name, cmd.name())) row.handler(ctx, cmd, IssueFromUser);
    return out.text();
  }
  const KeyBindingEntry *binding(const std::string &key) {
    for (const auto &b : consoleSettingsOf(ctx).keyBindings)
      if (b.key == key) return &b;
    return nullptr;
  }
  ProgramContext ctx;
  CapturedOutput out;
};

TEST_F(KeyCommands, KeyNamesAreCheckedKeptInOrderAndRemoved) {
  EXPECT_EQ(run("=keyname seq(1B)"), "Please enter a key name\n");
  EXPECT_EQ(run("=keyname(k)"), "Please specify a seq() parameter\n");
  EXPECT_EQ(run("=keyname(9k) seq(1B)"), "Name '9k' can not start with a number\n");
  EXPECT_EQ(run("=keyname(a/b) seq(1B)"), "Name 'a/b' contains invalid character '/'.\n");
  EXPECT_EQ(run("=keyname(k) seq(1B4)"), "Sequence contains non-hexdecimal values\n");
  EXPECT_EQ(run("=keyname(k) seq(0x10D)"), "Supplied keystroke '(0x10D)' already has name 'F5'\n");
  EXPECT_EQ(run("=keyname(k) seq(#)"), "Command '=keyname(k) seq(#)' ignored in file mode\n");
  EXPECT_TRUE(consoleSettingsOf(ctx).keyNames.empty());
  EXPECT_FALSE(ctx.settingsChanged);

  EXPECT_EQ(run("=keyname(Zed) seq(1b5b3131)"), "");
  EXPECT_EQ(run("=keyname(alpha) seq(0x10D 0x2)"), "");
  EXPECT_EQ(run("=keyname(Beta) seq(1B5B3131)"), "Supplied keystroke '(1B5B3131)' already has name 'Zed'\n");
  EXPECT_EQ(run("=keyname(zed) seq(1B5B3131)"), "");  // the same name may keep its keystroke
  ASSERT_EQ(consoleSettingsOf(ctx).keyNames.size(), 2u);
  EXPECT_EQ(consoleSettingsOf(ctx).keyNames[0].name, "alpha");
  EXPECT_EQ(consoleSettingsOf(ctx).keyNames[1].name, "zed");
  EXPECT_EQ(consoleSettingsOf(ctx).keyNames[1].seq, "1B5B3131");
  EXPECT_TRUE(ctx.settingsChanged);
  EXPECT_EQ(findKeyByStroke(ctx, KeyStroke{0, 0, "\x1b[11"})->name, "zed");

  run("=key(zed) cmd(DIS QMGR)");
  EXPECT_EQ(run("=keyname(zed) seq()"), "");
  EXPECT_EQ(consoleSettingsOf(ctx).keyNames.size(), 1u);
  EXPECT_EQ(binding("zed"), nullptr);  // its assignment went with it
}

TEST_F(KeyCommands, KeyAssignments) {
  EXPECT_EQ(run("=key action(Copy)"), "Please enter a key name\n");
  EXPECT_EQ(run("=key(F99) action(Copy)"), "Unrecognised keyname 'F99'\n");
  EXPECT_EQ(run("=key(enter) action(Copy)"), "Sorry, key 'Enter' is not redirectable\n");
  EXPECT_EQ(run("=key(F5) action(Copy) cmd(x)"), "Please specify only one of ACTION or CMD\n");
  EXPECT_EQ(run("=key(F5) action(Jump)"), "Unrecognised action 'Jump'\n");
  EXPECT_EQ(run("=key(F5) noenter"), "Please specify either a cmd() or action() parameter\n");
  EXPECT_TRUE(consoleSettingsOf(ctx).keyBindings.empty());

  EXPECT_EQ(run("=key(f5) action(none)"), "");
  EXPECT_EQ(binding("F5")->action, "!none");
  EXPECT_EQ(run("=key name(F6) cmd(DIS QMGR) noenter nolog"), "");
  EXPECT_TRUE(binding("F6")->isCommand);
  EXPECT_EQ(binding("F6")->command, "DIS QMGR");
  EXPECT_EQ(binding("F6")->options, uint32_t{kKeyCommandBase | kKeyCommandNoEnter | kKeyCommandNoLog});
  run("=key(F6) action(Copy)");  // a new assignment replaces the command
  EXPECT_FALSE(binding("F6")->isCommand);
  // Back to the default: nothing differs, nothing is kept.
  run("=key(F1) action(Copy)");
  run("=key(F1) action(show help)");
  EXPECT_EQ(binding("F1"), nullptr);
  // An empty cmd() leaves a key without any action.
  run("=key(Escape) cmd()");
  ASSERT_NE(binding("Escape"), nullptr);
  EXPECT_EQ(binding("Escape")->action, "");
  EXPECT_FALSE(binding("Escape")->isCommand);
  // A user key named like a built-in one keeps what that key may do.
  run("=keyname(Enter) seq(1B4F4D)");
  EXPECT_EQ(run("=key(Enter) action(Copy)"), "Sorry, key 'Enter' is not redirectable\n");
  EXPECT_EQ(findKeyByName(ctx, "enter")->stroke.escape, "\x1bOM");
  EXPECT_STREQ(findKeyByName(ctx, "enter")->defaultAction, "Enter Command");
}

TEST_F(KeyCommands, RestoredAsWritten) {
  restoreKeyName(ctx, "Odd", "zz");
  restoreKeyName(ctx, "Key1", "0x10D (0x1)");
  EXPECT_EQ(consoleSettingsOf(ctx).keyNames[0].name, "Key1");
  EXPECT_EQ(consoleSettingsOf(ctx).keyNames[1].seq, "zz");         // kept for the next save
  EXPECT_TRUE(consoleSettingsOf(ctx).keyNames[1].stroke.empty());  // and matches no keystroke
  std::string none = "none", odd = "Jump", bang = "!none", text = "DIS QMGR";
  restoreKeyBinding(ctx, "F5", &none, nullptr, 0);
  restoreKeyBinding(ctx, "F6", &odd, nullptr, 0);
  restoreKeyBinding(ctx, "F7", &bang, nullptr, 0);
  restoreKeyBinding(ctx, "F8", nullptr, &text, 0x21);
  EXPECT_EQ(binding("F5")->action, "");
  EXPECT_EQ(binding("F6")->action, "Jump");
  EXPECT_EQ(binding("F7")->action, "!none");
  EXPECT_TRUE(binding("F8")->isCommand);
  EXPECT_EQ(binding("F8")->options, 0x21u);
}

}  // namespace
