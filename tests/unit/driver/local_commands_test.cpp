#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "../support/captured_output.h"
#include "console/console_settings.h"
#include "context/context.h"
#include "driver/dispatch.h"
#include "driver/host_wiring.h"
#include "driver/local_handlers.h"
#include "driver/synonyms.h"
#include "mqsc/command_record.h"
#include "script/exp_context.h"
#include "script/script_host.h"
#include "script/script_state.h"
#include "transport/connection.h"

namespace fs = std::filesystem;

namespace {

class LocalCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    ctx.mode |= kModeFile;
    ctx.startupState = 0;
    ctx.implicitConnect = false;
    ASSERT_TRUE(ctx.consoleLock.create());
    ASSERT_TRUE(ctx.displayLock.create());
    out.attach(ctx);
    ctx.mainInput = std::make_unique<InputSource>();
    ctx.input = ctx.mainInput.get();
    ctx.settings.options &= ~kOptTimestamp;
    wireRooms(ctx);
    char tmpl[] = "/tmp/kvarn-local-XXXXXX";
    dir = mkdtemp(tmpl);
  }
  void TearDown() override {
    ctx.output->closeCopyFile();
    fs::remove_all(dir);
  }
  // The lines a local command adds (hidden ones included).
  std::string run(const std::string &text) {
    out.lines.clear();
    cslIssueLocalCommand(ctx, ctx.input, text, IssueFromUser);
    return out.text();
  }
  std::string issue(const std::string &text) {
    out.lines.clear();
    cslIssueCommand(ctx, text);
    return out.text();
  }
  uint32_t styleOf(size_t line) { return line < out.lines.size() ? out.lines[line].second : 0; }
  static std::string contents(const std::string &path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  std::string parameter(int32_t index) {
    auto *record = kvarn::script::scriptState(ctx).variables.find(
        kvarn::script::expVariableKey("@_Parm", std::span<const int32_t>(&index, 1)));
    return record && record->hasValue ? std::string(record->value.bytes()) : "<unset>";
  }

  ProgramContext ctx;
  CapturedOutput out;
  std::string dir;
};

TEST_F(LocalCommands, LengthLimitSyntaxErrorsAndTrace) {
  const std::string head = "=syn(a) cmd(", tail = ")";
  std::string longest = head + std::string(999 - head.size() - tail.size(), 'x') + tail;
  EXPECT_EQ(run(longest), longest + "\n");
  std::string tooLong = longest + " ";
  ctx.trace.dispatch = true;
  EXPECT_EQ(run(tooLong), tooLong + "\nCommand too long\n");  // echoed, rejected, not traced
  EXPECT_EQ(run("=xyz"), "cslIssueLocalCommand '=xyz'\n=xyz\nUnrecognised command '=xyz'\n"
                         "cslIssueLocalCommand (Return) '=xyz'\n");
  EXPECT_EQ(styleOf(0), uint32_t{kStyleTrace});
  ctx.trace.dispatch = false;
  EXPECT_EQ(run("=cls(x)"), "=cls(x)\nParameter '=cls' does not have any values\n");
  EXPECT_EQ(run("=cls ?"), "Command syntax:\n\"=cls\" - Clear the screen\nThe command has no parameters\n");
}

TEST_F(LocalCommands, EchoSwitchesAndTheEchoOfEcho) {
  run("=echo resp(no)");  // cmds on before and after: shown
  EXPECT_EQ(styleOf(0) & kStyleHidden, 0u);
  EXPECT_FALSE(ctx.input->echo.resp);
  run("=echo cmds(NO)");  // turned off by itself: hidden
  EXPECT_NE(styleOf(0) & kStyleHidden, 0u);
  EXPECT_FALSE(ctx.input->echo.cmds);
  run("=count cmds(no)");
  EXPECT_NE(styleOf(0) & kStyleHidden, 0u);
  run("=echo cmds(yes)");  // off before it: still hidden
  EXPECT_NE(styleOf(0) & kStyleHidden, 0u);
  run("=echo input(no)");  // the master switch hides it too
  EXPECT_NE(styleOf(0) & kStyleHidden, 0u);
  cslIssueLocalCommand(ctx, ctx.input, "=echo input(setting)", IssueFromStartup);
  EXPECT_TRUE(ctx.input->echo.input);
}

TEST_F(LocalCommands, CountAndSummary) {
  run("=count summary(fail, OKNZ) cmds(no) emptydsp(fail)");
  EXPECT_EQ(ctx.counting.summary, uint32_t{kSummaryFail | kSummaryOkNZ});
  EXPECT_FALSE(ctx.counting.cmds);
  EXPECT_TRUE(ctx.counting.emptydspFails);
  EXPECT_EQ(run("=show summary"), "=show summary\nMQSC Command summary - Success: 0 Fail: 0 \n");
  run("=count summary(none)");
  EXPECT_EQ(run("=show summary"), "=show summary\n");
  EXPECT_EQ(run("=count summary(fails)"),
            "=count summary(fails)\nUnrecognised value 'fails' for 'summary' parameter\n");
}

TEST_F(LocalCommands, OutputFileHoldsWhatTheOutputShows) {
  const std::string file = dir + "/out.txt";
  run("=output file(" + file + ")");
  run("=set colwidth(30)");
  run("=echo cmds(no)");
  run("=set colwidth(31)");  // its echo is hidden: not in the file either
  run("=echo cmds(yes)");
  run("=show summary");
  run("=output");
  EXPECT_EQ(contents(file), "=set colwidth(30)\ncolwidth setting changed\ncolwidth setting changed\n=show summary\n"
                            "MQSC Command summary - Issued: 0 Success: 0 Fail: 0 \n");
  const std::string before = contents(file);
  run("=output file(" + file + ") append(yes)");
  run("=show summary");
  run("=output");
  EXPECT_EQ(contents(file), before + "=show summary\nMQSC Command summary - Issued: 0 Success: 0 Fail: 0 \n");
  run("=output file(" + file + ")");  // replaced
  run("=output");
  EXPECT_EQ(contents(file), "");
}

TEST_F(LocalCommands, OutputFailuresLoseNothing) {
  const std::string file = dir + "/out.txt";
  run("=output file(" + file + ")");
  run("=show summary");
  for (const std::string &bad : {dir + "/missing/x.txt", file + "/x.txt", dir})
    EXPECT_EQ(run("=output file(" + bad + ")"), "=output file(" + bad + ")\nCan not open output file '" + bad + "'\n");
  EXPECT_FALSE(ctx.output->copyFileOpen());
  EXPECT_EQ(contents(file), "=show summary\nMQSC Command summary - Issued: 0 Success: 0 Fail: 0 \n");

  // The command file being read is never replaced nor appended to.
  const std::string commands = dir + "/cmds.txt";
  std::ofstream(commands) << "DIS QMGR\n";
  ctx.input->stream = std::fopen(commands.c_str(), "r");
  for (const char *append : {"", " append(yes)"})
    EXPECT_EQ(run("=output file(" + commands + ")" + append), "=output file(" + commands + ")" + append +
                                                                  "\nCan not open output file '" + commands +
                                                                  "' - it is being read as a command file\n");
  std::fclose(ctx.input->stream);
  ctx.input->stream = nullptr;
  EXPECT_EQ(contents(commands), "DIS QMGR\n");
}

TEST_F(LocalCommands, ScreenCommandsInFileModeAndAtTheConsole) {
  // One message for the operands that need the console; the others still act.
  std::string shown = run("=show key scrn(help) parse machine");
  EXPECT_EQ(shown.substr(0, shown.find("User")),
            "=show key scrn(help) parse machine\nCommand '=show key scrn(help) parse machine' ignored in file mode\n"
            "Machine Details\n---------------\n");
  EXPECT_EQ(run("=cls"), "=cls\nCommand '=cls' ignored in file mode\n");
  EXPECT_EQ(run("=purge"), "=purge\nCommand '=purge' ignored in file mode\n");
  const std::string repeat = "=repeat cmd(" + std::string(60, 'x') + ")";
  EXPECT_EQ(run(repeat), repeat + "\nCommand '=repeat cmd(" + std::string(38, 'x') + "...' ignored in file mode\n");

  ctx.mode &= ~kModeFile;
  run("=show key");
  EXPECT_TRUE(consoleSettingsOf(ctx).view.showKeys);
  run("=show key key");
  EXPECT_TRUE(consoleSettingsOf(ctx).view.showKeys);
  run("=show key(off) parse(on)");
  EXPECT_FALSE(consoleSettingsOf(ctx).view.showKeys);
  EXPECT_TRUE(consoleSettingsOf(ctx).view.showParse);
  run("=show scrn(keys) scrn(next)");  // wraps after the last screen
  EXPECT_EQ(consoleSettingsOf(ctx).view.screen, kScreenMqsc);
  run("=show scrn(next) noecho(yes)");
  EXPECT_EQ(consoleSettingsOf(ctx).view.screen, kScreenHelp);
  EXPECT_TRUE(ctx.output->showHidden);
  consoleSettingsOf(ctx).history = {"DIS QMGR", "DIS Q(*)"};
  EXPECT_EQ(run("=show cmdhist"), "=show cmdhist\nDIS QMGR\nDIS Q(*)\n2 command entries\n");
  EXPECT_EQ(run("=show memory").rfind("=show memory\nMemory: Blocks:", 0), 0u);

  consoleSettingsOf(ctx).view.rows = 5;
  EXPECT_EQ(run("=cls"), "=cls\n\n\n\n\n");
}

TEST_F(LocalCommands, PurgeKeepsWhatACommandInFlightStillWrites) {
  ctx.mode &= ~kModeFile;
  ctx.output->keepLines(true);
  run("=show summary");
  uint32_t busy = ctx.output->addLine("DIS QMGR", kStyleCommand);
  run("=show summary");
  auto record = std::make_shared<CommandRecord>();
  record->outputGroup = busy;
  transportOf(ctx).records[7] = record;
  run("=purge");
  const ScreenLines &lines = ctx.output->screen(kScreenMqsc);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines.at(0).text(), "DIS QMGR");
  EXPECT_EQ(lines.at(0).rowIndex, 0u);
  transportOf(ctx).records.clear();
  run("=purge");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines.at(0).text(), "=purge");
  EXPECT_EQ(lines.rows(), 1u);
}

TEST_F(LocalCommands, SynonymNamesAndRecursion) {
  EXPECT_EQ(run("=syn(abcdefghijk) cmd(x)"),
            "=syn(abcdefghijk) cmd(x)\nPlease keep the synonym to 10 chaarcters or less\n");
  EXPECT_EQ(run("=syn(1a) cmd(x)"), "=syn(1a) cmd(x)\nName '1a' can not start with a number\n");
  EXPECT_EQ(run("=syn(a*b) cmd(x)"), "=syn(a*b) cmd(x)\nName 'a*b' contains invalid character '*'.\n");
  EXPECT_EQ(run("=syn cmd(x)"), "=syn cmd(x)\nPlease enter a synonym name\n");
  EXPECT_EQ(run("=syn(a) cmd(a)"), "=syn(a) cmd(a)\nSynonym recursion detected\nSynonym 'a' has value 'a'\n");
  EXPECT_TRUE(ctx.synonyms.empty());
  EXPECT_FALSE(ctx.settingsChanged);

  run("=syn(b) cmd(DIS Q(*))");
  run("=syn(c) cmd(b(1))");
  EXPECT_EQ(
      run("=syn(B) cmd(c(x))"),
      "=syn(B) cmd(c(x))\nSynonym recursion detected\nSynonym 'B' has value 'c(x)'\nSynonym 'c' has value 'b(1)'\n");
  run("=syn(x-y) cmd(DIS QMGR)");
  run("=syn(z) cmd(DIS Q(x-y))");
  run("=syn(A) cmd(DIS CHL(*))");
  ASSERT_EQ(ctx.synonyms.size(), 5u);
  EXPECT_EQ(ctx.synonyms.begin()->name, "A");
  EXPECT_EQ(ctx.synonyms.rbegin()->name, "z");
  EXPECT_EQ(findSynonym(ctx, "B")->command, "DIS Q(*)");
  EXPECT_TRUE(ctx.settingsChanged);
  run("=syn(b)");
  EXPECT_EQ(findSynonym(ctx, "b"), nullptr);
}

// The recursion check follows what running the text would call, and nothing else: the
// first word of each command (the whole command, or followed by its bracket), never a
// word inside quotes or among a command's operands.
TEST_F(LocalCommands, RecursionCheckFollowsOnlyWhatTheTextCalls) {
  EXPECT_EQ(run("=syn(dq) cmd(print 'dq ran')"), "=syn(dq) cmd(print 'dq ran')\n");
  EXPECT_EQ(findSynonym(ctx, "dq")->command, "print 'dq ran'");
  EXPECT_EQ(run("=syn(dq) cmd(print \"dq\"; DIS Q(dq) DESCR; dq x)"),
            "=syn(dq) cmd(print \"dq\"; DIS Q(dq) DESCR; dq x)\n");
  // A call after ';', after a block header or after else is a call.
  for (const char *text :
       {"DIS QMGR; dq", "DIS QMGR;dq(1)", "if (@a = 1) dq", "foreach(DIS Q(*)) dq(QUEUE)", "else DQ"}) {
    std::string command = std::string("=syn(dq) cmd(") + text + ")";
    EXPECT_EQ(run(command), command + "\nSynonym recursion detected\nSynonym 'dq' has value '" + text + "'\n");
  }
  run("=syn(e) cmd(print 'e'; dq('x'))");
  EXPECT_EQ(run("=syn(DQ) cmd(e)"), "=syn(DQ) cmd(e)\nSynonym recursion detected\nSynonym 'DQ' has value 'e'\nSynonym "
                                    "'e' has value 'print 'e'; dq('x')'\n");
}

TEST_F(LocalCommands, RecursionCheckFollowsEachSynonymOnce) {
  // Forty levels of synonyms that each call the next twice: 2^40 paths, 41 synonyms.
  for (int i = 0; i < 40; ++i)
    storeSynonym(ctx, "s" + std::to_string(i), "s" + std::to_string(i + 1) + "; s" + std::to_string(i + 1));
  storeSynonym(ctx, "s40", "DIS QMGR");
  EXPECT_EQ(run("=syn(top) cmd(s0)"), "=syn(top) cmd(s0)\n");
  std::string refused = run("=syn(s40) cmd(top)");
  EXPECT_NE(refused.find("Synonym 's39' has value 's40; s40'\n"), std::string::npos);
  EXPECT_EQ(out.lines.size(), 1u + 1u + 42u);
}

TEST_F(LocalCommands, RecursionCheckWalksAChainOfAnyLength) {
  // Each synonym calls the one before it: a chain as long as the list.
  constexpr int kLength = 50000;
  auto name = [](int i) { return strFormat("s%06d", i); };
  storeSynonym(ctx, name(0), "DIS QMGR");
  for (int i = 1; i < kLength; ++i) storeSynonym(ctx, name(i), name(i - 1) + "(" + std::to_string(i) + ")");
  EXPECT_EQ(run("=syn(top) cmd(" + name(kLength - 1) + ")"), "=syn(top) cmd(" + name(kLength - 1) + ")\n");
  std::string refused = run("=syn(" + name(0) + ") cmd(top)");
  EXPECT_NE(refused.find("Synonym 's000001' has value 's000000(1)'\n"), std::string::npos);
  EXPECT_EQ(out.lines.size(), 1u + 1u + 1u + kLength);
  EXPECT_EQ(findSynonym(ctx, name(0))->command, "DIS QMGR");
}

TEST_F(LocalCommands, SynonymCalls) {
  // Synonyms that call each other, as a hand-edited configuration file can hold them.
  storeSynonym(ctx, "a", "b");
  storeSynonym(ctx, "b", "a");
  EXPECT_EQ(issue("A"), "Synonym recursion detected\nSynonym 'a' has value 'b'\nSynonym 'b' has value 'a'\n");
  EXPECT_TRUE(ctx.runningSynonyms.empty());

  storeSynonym(ctx, "p", "=count dspcmds(no)");
  issue("p( one, 'two,three' ,x(1,2))");
  EXPECT_FALSE(ctx.counting.dspcmds);
  EXPECT_EQ(parameter(1), "one");
  EXPECT_EQ(parameter(2), "'two,three' ");
  EXPECT_EQ(parameter(3), "x(1,2)");
  EXPECT_EQ(parameter(4), "<unset>");
  issue("p(only)");
  EXPECT_EQ(parameter(1), "only");
  EXPECT_EQ(parameter(2), "<unset>");
  EXPECT_EQ(issue("p(x"), "Closing bracket not found on synonym command\n");
  EXPECT_FALSE(matchSynonym(ctx, "p x").synonym);  // other text after the name: not a call
  EXPECT_TRUE(matchSynonym(ctx, "  P  ").synonym);
  EXPECT_FALSE(matchSynonym(ctx, "(x)").synonym);
}

}  // namespace

namespace {

int keyCalls = 0;

TEST_F(LocalCommands, RepeatAtTheConsoleUntilEscape) {
  ctx.mode &= ~kModeFile;
  ctx.output->keepLines(true);
  EXPECT_EQ(run("=repeat"), "=repeat\nPlease enter a command to invoke\n");
  EXPECT_EQ(run("=repeat cmd(DIS QMGR) delay(0)"),
            "=repeat cmd(DIS QMGR) delay(0)\nThe value for delay() should be between 1 and 100,000\n");
  EXPECT_EQ(run("=repeat cmd(DIS QMGR) delay(100001)"),
            "=repeat cmd(DIS QMGR) delay(100001)\nThe value for delay() should be between 1 and 100,000\n");

  // Escape on the third wait: three passes; each pass replaces the last one's output,
  // and without keep nothing of them is left.
  kvarn::script::ScriptHost host = kvarn::script::scriptHost();
  // The console waits the time it is given for a key; Escape comes at the third wait.
  host.consoleKey = [](ProgramContext &, int seconds) {
    if (++keyCalls == 3) return 27;
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    return 0;
  };
  kvarn::script::scriptSetHost(host);
  auto screenLines = [&] {
    std::vector<std::string> lines;
    const ScreenLines &s = ctx.output->screen(kScreenMqsc);
    for (size_t i = 0; i < s.size(); ++i) lines.emplace_back(s.at(i).text());
    return lines;
  };
  size_t before = ctx.output->screen(kScreenMqsc).size();
  keyCalls = 0;
  run("=repeat cmd(print 'tick') delay(1)");
  EXPECT_EQ(keyCalls, 3);
  EXPECT_EQ(ctx.output->screen(kScreenMqsc).size(), before + 1);  // only the =repeat line
  EXPECT_FALSE(consoleSettingsOf(ctx).view.repeating);
  keyCalls = 0;
  run("=repeat cmd(print 'tock') delay(1) keep");
  std::vector<std::string> kept = screenLines();
  EXPECT_EQ(std::count(kept.begin(), kept.end(), "tock"), 1);
  keyCalls = 0;
  run("=repeat cmd(print 'all') delay(1) history");
  kept = screenLines();
  EXPECT_EQ(std::count(kept.begin(), kept.end(), "all"), 3);
  kvarn::script::scriptSetHost({});
}

}  // namespace
