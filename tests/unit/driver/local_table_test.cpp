#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "context/settings.h"
#include "driver/local_table.h"

namespace {

std::string firstError(const std::string &text) {
  ParsedCommand cmd;
  SyntaxResult r = checkLocalCommand(text, cmd);
  if (r.ok) return "ok";
  return r.lines.empty() ? "" : r.lines[0];
}

TEST(LocalSyntax, AcceptedCommands) {
  ParsedCommand cmd;
  ASSERT_TRUE(checkLocalCommand("=set colwidth( 33 ) sound(off)", cmd).ok);
  ASSERT_EQ(cmd.items.size(), 3u);
  EXPECT_EQ(cmd.value("colwidth"), "33");
  EXPECT_EQ(cmd.value("SOUND"), "off");
  ASSERT_TRUE(checkLocalCommand("=SYN(ls) cmd(dis q(*) where(curdepth gt 0))", cmd).ok);
  EXPECT_EQ(cmd.items[0].value, "ls");
  EXPECT_EQ(cmd.value("cmd"), "dis q(*) where(curdepth gt 0)");
  EXPECT_TRUE(checkLocalCommand("=count summary(fail, oknz)", cmd).ok);
  EXPECT_TRUE(checkLocalCommand("=show key", cmd).ok);          // a hidden operand, with its empty value row
  EXPECT_TRUE(checkLocalCommand("qdepth qlocal(Q1)", cmd).ok);  // hidden rows are named without their ~
  EXPECT_TRUE(checkLocalCommand("=conn qm(QM1) client channel(SYSTEM.DEF.SVRCONN)", cmd).ok);
  EXPECT_TRUE(checkLocalCommand("=echo cmds(maybe)", cmd).ok == false);
}

TEST(LocalSyntax, ErrorMessages) {
  EXPECT_EQ(firstError("=xyz"), "Unrecognised command '=xyz'");
  EXPECT_EQ(firstError("=set bogus(1)"), "Unrecognised parameter 'bogus'");
  EXPECT_EQ(firstError("=set sound(yes)"), "Unrecognised value 'yes' for 'sound' parameter");
  EXPECT_EQ(firstError("=set separator(wavy)"), "Unrecognised value 'wavy' for 'separator' parameter");
  EXPECT_EQ(firstError("=set sound"), "Missing value for parameter 'sound'");
  EXPECT_EQ(firstError("=cache purge(now)"), "Parameter 'purge' does not have any values");
  EXPECT_EQ(firstError("=set cmdhist(ten)"), "Please specify a number as a value for parameter 'cmdhist'");
  EXPECT_EQ(firstError("=count summary(fails)"), "Unrecognised value 'fails' for 'summary' parameter");
  EXPECT_EQ(firstError("=set prompt(abc"), "Missing closing bracket for bracket at position 12");
  EXPECT_EQ(firstError("=set $x"), "Unexpected character '$' found at position 6");
  EXPECT_EQ(firstError("=set colw(1)"), "Unrecognised parameter 'colw'");  // no abbreviations
}

TEST(LocalSyntax, TwentyItemsAtMost) {
  std::string text = "=set";
  for (int i = 0; i < 19; ++i) text += " sound(on)";
  EXPECT_EQ(firstError(text), "ok");
  EXPECT_EQ(firstError(text + " sound(on)"), "Too many command parameters");
}

TEST(LocalSyntax, Help) {
  ParsedCommand cmd;
  SyntaxResult r = checkLocalCommand("=?", cmd);
  ASSERT_TRUE(r.help);
  EXPECT_EQ(r.lines[0], "Commands available are:");
  for (const auto &l : r.lines) EXPECT_EQ(l.find("qdepth"), std::string::npos);
  r = checkLocalCommand("=cls ?", cmd);
  ASSERT_TRUE(r.help);
  EXPECT_EQ(r.lines[1], "\"=cls\" - Clear the screen");
  EXPECT_EQ(r.lines[2], "The command has no parameters");
  r = checkLocalCommand("=output ?", cmd);
  EXPECT_EQ(r.lines[1], "\"=output <parms>\" - Set output file settings");
  EXPECT_EQ(r.lines[2], "where <parms> are:");
  EXPECT_EQ(r.lines[3], " append - Should the file be appended to");
  r = checkLocalCommand("=show scrn(?)", cmd);
  ASSERT_TRUE(r.help);
  EXPECT_EQ(r.lines[0], "where values are:");
  EXPECT_EQ(r.lines[1], " help - Shows the help screen");
  // Every release from 5.2 is accepted; help lists only those marked for display.
  r = checkLocalCommand("=ccdt version(?)", cmd);
  EXPECT_EQ(r.lines[1], " 9.3.4 - MQ 9.3.4 Version");
  EXPECT_EQ(r.lines.back(), " 7.1   - MQ 7.1 Version");
  for (const auto &l : r.lines) EXPECT_EQ(l.find("9.2.2"), std::string::npos);
  EXPECT_EQ(firstError("=ccdtj version(9.2.2)"), "ok");
  EXPECT_EQ(firstError("=ccdt version(5.2)"), "ok");
  EXPECT_EQ(firstError("=ccdt version(5.1)"), "Unrecognised value '5.1' for 'version' parameter");
  // Type labels stand for placeholders; the own value has its own table.
  r = checkLocalCommand("=cache maxager(?)", cmd);
  EXPECT_EQ(r.lines[1], " <age> -   Valid values between 0 and 500000 seconds");
  r = checkLocalCommand("=syn(?)", cmd);
  ASSERT_TRUE(r.help);
  EXPECT_EQ(r.lines[1], " <Synonym> - Any text");
  EXPECT_EQ(firstError("=cls(now)"), "Parameter '=cls' does not have any values");
  EXPECT_EQ(firstError("=cache purge(?)"), "Parameter 'purge' does not have any values");
}

ParsedCommand parsed;
SyntaxResult check(const std::string &text) { return checkLocalCommand(text, parsed); }

std::string upper(std::string text) {
  for (char &c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

void expectCommandHelp(const LocalCommand &row) {
  SyntaxResult r = check(row.name + " ?");
  ASSERT_TRUE(r.help) << row.name;
  ASSERT_GE(r.lines.size(), 3u);
  EXPECT_EQ(r.lines[0], "Command syntax:");
  std::vector<const LocalOperand *> listed;
  size_t width = 0;
  for (const auto &op : row.operands)
    if (op.listed) {
      listed.push_back(&op);
      width = std::max(width, op.name.size());
    }
  if (listed.empty()) {
    EXPECT_EQ(r.lines[1], "\"" + row.name + "\" - " + row.description);
    EXPECT_EQ(r.lines[2], "The command has no parameters");
    EXPECT_EQ(r.lines.size(), 3u);
    return;
  }
  EXPECT_EQ(r.lines[1], "\"" + row.name + " <parms>\" - " + row.description);
  EXPECT_EQ(r.lines[2], "where <parms> are:");
  ASSERT_EQ(r.lines.size(), 3 + listed.size()) << row.name;
  for (size_t i = 0; i < listed.size(); ++i) {
    std::string name = listed[i]->name;
    name.resize(width, ' ');
    EXPECT_EQ(r.lines[3 + i], " " + name + " - " + listed[i]->description);
  }
}

void expectOperandValues(const LocalCommand &row, const LocalOperand &op) {
  const std::string item = row.name + " " + op.name;
  if (op.values.empty()) {
    EXPECT_TRUE(check(item).ok) << item;
    EXPECT_EQ(firstError(item + "(x)"), "Parameter '" + op.name + "' does not have any values");
    return;
  }
  SyntaxResult help = check(item + "(?)");
  ASSERT_TRUE(help.help) << item;
  EXPECT_EQ(help.lines[0], "where values are:");
  size_t shown = 0;
  bool optional = false, open = false;
  for (const auto &v : op.values) {
    if (v.value == "!t") continue;
    shown += v.listed;
    if (v.value.empty()) {
      optional = true;
      EXPECT_TRUE(check(item).ok) << item;
    } else if (v.value == "<number>") {
      open = true;
      EXPECT_TRUE(check(item + "(12)").ok) << item;
      EXPECT_EQ(firstError(item + "(twelve)"), "Please specify a number as a value for parameter '" + op.name + "'");
    } else if (v.value == "<value>") {
      open = true;
      EXPECT_TRUE(check(item + "( any text, at (all) )").ok) << item;
    } else {
      EXPECT_TRUE(check(item + "(" + upper(v.value) + ")").ok) << item << " " << v.value;
    }
  }
  EXPECT_EQ(help.lines.size(), 1 + shown) << item;
  if (!optional) { EXPECT_EQ(firstError(item), "Missing value for parameter '" + op.name + "'"); }
  if (!open) { EXPECT_EQ(firstError(item + "(zzz)"), "Unrecognised value 'zzz' for '" + op.name + "' parameter"); }
}

// The help of every command and operand, and the check of every value, follow the table.
TEST(LocalHelp, EveryRowOfTheTable) {
  SyntaxResult list = check("=?");
  ASSERT_TRUE(list.help);
  size_t listedRows = 0;
  for (const LocalCommand &row : localCommandTable()) {
    if (row.listed) {
      ++listedRows;
      ASSERT_LT(listedRows, list.lines.size());
      EXPECT_EQ(list.lines[listedRows].substr(0, row.name.size() + 1), " " + row.name);
      EXPECT_NE(list.lines[listedRows].find(" - " + row.description), std::string::npos);
    }
    expectCommandHelp(row);
    for (const LocalOperand &op : row.operands) expectOperandValues(row, op);
    if (row.ownValues.empty())
      EXPECT_EQ(firstError(row.name + "(x)"), "Parameter '" + row.name + "' does not have any values");
    else EXPECT_TRUE(check(row.name + "(x)").ok) << row.name;
  }
  EXPECT_EQ(list.lines.size(), 1 + listedRows);
}

std::string lower(std::string text) {
  for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The rows come from several subsystems: each name once (commands are matched without
// regard to case), and every command a user can see has something to run.
TEST(LocalTable, RowsAreCompleteAndNamedOnce) {
  std::set<std::string> names;
  for (const LocalCommand &row : localCommandTable()) {
    EXPECT_TRUE(names.insert(lower(row.name)).second) << "two rows named " << row.name;
    if (row.listed) { EXPECT_NE(row.handler, nullptr) << row.name; }
    std::set<std::string> operands;
    for (const LocalOperand &op : row.operands)
      EXPECT_TRUE(operands.insert(lower(op.name)).second) << row.name << " has two operands " << op.name;
  }
  // The listing order places every row, and names no command that has no row.
  std::set<std::string> ordered;
  for (const char *name : localCommandListingOrder()) {
    EXPECT_TRUE(ordered.insert(lower(name)).second) << name;
    EXPECT_NE(findLocalCommand(name), nullptr) << name << " is ordered but has no row";
  }
  EXPECT_EQ(ordered, names);
}

// =cache offers exactly the settings table's cache settings, with their descriptions and
// their range, and its own purge.
TEST(LocalTable, CacheOperandsAreTheCacheSettings) {
  const LocalCommand *cache = findLocalCommand("=cache");
  ASSERT_NE(cache, nullptr);
  std::set<std::string> settings, operands;
  for (const SettingRow &row : settingTable()) {
    if (!row.group || std::string_view(row.group) != "cache") continue;
    settings.insert(row.name);
    auto op = std::find_if(cache->operands.begin(), cache->operands.end(),
                           [&](const LocalOperand &o) { return o.name == row.name; });
    ASSERT_NE(op, cache->operands.end()) << row.name;
    EXPECT_EQ(op->description, row.description);
    ParsedCommand cmd;
    SyntaxResult help = checkLocalCommand("=cache " + op->name + "(?)", cmd);
    ASSERT_GE(help.lines.size(), 2u);
    EXPECT_NE(help.lines[1].find(" between " + std::to_string(row.min) + " and " + std::to_string(row.max) + " "),
              std::string::npos)
        << help.lines[1];
  }
  for (const LocalOperand &op : cache->operands)
    if (op.name != "purge") operands.insert(op.name);
  EXPECT_EQ(operands, settings);
}

}  // namespace
