// The statement compiler and executor: blocks and their messages, loops, functions,
// goto, imports and run-time text, run through the real command loop with the
// commands that would go to the dispatcher captured.
#include <gmock/gmock.h>

#include <csignal>
#include <cstdio>
#include <fstream>

#include "runtime/signals.h"
#include "script/compiler.h"
#include "script/executor.h"
#include "script/import.h"
#include "script/script_host.h"
#include "script_harness.h"

namespace {

using namespace kvarn::script;
using ::testing::HasSubstr;
using ::testing::Not;

std::vector<std::string>* issued = nullptr;

// The value of `name(...)` in an =import command (the driver's table does this for real).
bool operand(std::string_view text, std::string_view name, std::string& value) {
  size_t at = text.find(std::string(name) + "(");
  if (at == std::string_view::npos) return false;
  size_t open = at + name.size();
  size_t close = text.rfind(')');
  if (name == "file") close = text.find(')', open);
  value.assign(text.substr(open + 1, close - open - 1));
  return true;
}

bool parseImport(ProgramContext&, std::string_view text, ImportRequest& r) {
  if (!operand(text, "file", r.file)) return false;
  r.hasParms = operand(text, "parms", r.parms);
  return true;
}

bool readFileLine(ProgramContext&, InputSource& src) {
  char buf[4096];
  if (!src.stream || !std::fgets(buf, sizeof buf, src.stream)) return false;
  src.line = buf;
  while (!src.line.empty() && (src.line.back() == '\n' || src.line.back() == '\r')) src.line.pop_back();
  ++src.lineNumber;
  return true;
}

class Statements : public ::testing::Test {
 protected:
  void SetUp() override {
    issued = &commands;
    ScriptHost host;
    host.issueCommand = [](ProgramContext& ctx, std::string_view text) {
      if (text.substr(0, 5) == "print") return cmdRunPrint(ctx, text, false);
      if (text.substr(0, 4) == "wait") return cmdRunWait(ctx, text);
      std::string substituted;
      if (text.substr(0, 4) == "SUB ") {  // the dispatcher's substitution, for the error function
        if (cmdSubstitute(ctx, text.substr(4), substituted) == Substitution::Replaced) cmdRunText(ctx, substituted);
        return;
      }
      if (text == "RAISE SIGINT") raise(SIGINT);
      issued->emplace_back(text);
      ImportRequest r;
      if (text.substr(0, 7) == "=import" && parseImport(ctx, text, r)) cmdImportCommand(ctx, r);
    };
    host.parseImport = parseImport;
    host.readFileLine = readFileLine;
    scriptSetHost(host);
    h.ctx.mainInput = std::make_unique<InputSource>();
    h.ctx.mainInput->echo.input = false;  // only what the script prints and reports
  }
  void TearDown() override { scriptSetHost({}); }

  // Runs `text` as the main input and returns everything written.
  std::string run(const std::string& text) {
    InputSource& src = *h.ctx.mainInput;
    test::makeStringSource(src, text);
    src.textPos = 0;
    src.lineNumber = 0;
    src.endOfInput = false;
    cmdRunSource(h.ctx, src);
    return h.output();
  }

  std::string writeFile(const std::string& name, const std::string& text) {
    std::string path = ::testing::TempDir() + name;
    std::ofstream(path) << text;
    return path;
  }

  test::ScriptHarness h;
  std::vector<std::string> commands;
};

TEST_F(Statements, BlockTerminatorsOutOfPlace) {
  EXPECT_THAT(run("else\n"), HasSubstr("Unexpected token 'else' found."));
  std::string out = run("endif\n");
  EXPECT_THAT(out, HasSubstr("'endif' not expected outside of an if statement\nUnexpected token 'endif' found."));
  EXPECT_THAT(run("if (1)\n endwhile\nendif\n"), HasSubstr("'endwhile' not expected outside of a while loop"));
  out = run("while (0)\nendfor\n");
  EXPECT_THAT(out, HasSubstr("'endfor' not expected outside of a for loop"));
  EXPECT_THAT(out, HasSubstr("Found 'endfor' where 'endwhile' was expected"));
  EXPECT_THAT(run("while (0)\n else\n"), HasSubstr("Found 'else' where 'endwhile' was expected"));
  out = run("while (1)\n print 'x'\n");
  EXPECT_THAT(out, HasSubstr("'endwhile' not found before end of file"));
  EXPECT_EQ(out.find("not found before end of file"), out.rfind("not found before end of file"));
  EXPECT_THAT(out, Not(HasSubstr("x\n")));
}

TEST_F(Statements, AFailedBlockNeverRunsItsBody) {
  // The body is read to its terminator even after an error inside it, so the commands
  // after the error do not run as if they stood outside the block.
  std::string out = run("if (0)\n  xyz(1)\n  DELETE QLOCAL(IMPORTANT)\nendif\nprint 'after'\n");
  EXPECT_THAT(out, HasSubstr("Unrecognised function 'xyz' used."));
  EXPECT_TRUE(commands.empty());
  EXPECT_THAT(out, HasSubstr("after"));
}

TEST_F(Statements, FunctionDefinitionMessages) {
  EXPECT_THAT(run("func f(a b)\nendfunc\n"), HasSubstr("Expected ',' after parameter 'a'"));
  EXPECT_THAT(run("func f(a,b\nendfunc\n"),
              HasSubstr("Expected ')' at the end of the parameter list for function 'f'"));
  std::string name31(31, 'f'), name32(32, 'g');
  EXPECT_THAT(run("func " + name32 + "()\nendfunc\n"), HasSubstr("Functions names are limited 31 characters"));
  EXPECT_EQ(run("func " + name31 + "()\n print 'in'\nendfunc\n" + name31 + "\n"), "in\n");
  EXPECT_THAT(run("label x\n"), HasSubstr("Labels can only be used inside functions."));
  EXPECT_THAT(run("func g()\n leave\nendfunc\n"),
              HasSubstr("You can not use 'leave' from within a function, please use 'return'."));
  EXPECT_THAT(run("func one(a)\nendfunc\none(1,2)\n"), HasSubstr("Function 'one' takes only 1 parameter."));
  EXPECT_THAT(run("func none()\nendfunc\nnone(1)\n"), HasSubstr("Function 'none' does not take any parameters."));
  EXPECT_THAT(run("func f()\n func g()\n endfunc\nendfunc\n"),
              HasSubstr("You can not define a function within another function"));
  EXPECT_THAT(run("var\n"), HasSubstr("Empty parameter list in var statement."));
  EXPECT_THAT(run("return 1\n"), HasSubstr("Return statements can only be used inside functions."));
}

TEST_F(Statements, GotoScope) {
  std::string out = run("func f()\n goto inside\n while (0)\n  label inside\n endwhile\nendfunc\n");
  EXPECT_THAT(out,
              HasSubstr("The goto statement on line 2 and label 'inside' on line 4 are not in the same loop scope."));
  EXPECT_THAT(run("func f()\n goto nowhere\nendfunc\n"),
              HasSubstr("No definiton of label 'goto nowhere' found in function 'f'."));
  // Leaving a loop with goto ends it and continues at the label.
  out = run("func f()\n @i = 0\n while (1)\n  @i = @i + 1\n  if (@i = 3)\n   goto done\n  endif\n endwhile\n"
            " print 'not reached'\n label done\n print 'left at', @i\nendfunc\nf\n");
  EXPECT_EQ(out, "left at 3\n");
}

TEST_F(Statements, LoopsCountersBreakAndContinue) {
  std::string out =
      run("@i = 0\nwhile (@i < 5)\n @i = @i + 1\n if (@i = 2)\n  continue\n endif\n if (@i = 4)\n  break\n endif\n"
          " print @i, _idxWhile\nendwhile\nprint 'passes', _numWhile\n");
  EXPECT_EQ(out, "1 1\n3 3\npasses 4\n");
  EXPECT_EQ(run("foritem('a, b,,c')\n print '<' + _item + '>', _idxItem\nendfor\nprint _numItem\n"),
            "<a> 1\n<b> 2\n<c> 3\n3\n");
  // Nested loops keep their own counters.
  EXPECT_EQ(run("foritem('x,y')\n foritem('1,2')\n  print _item\n endfor\n print _idxItem\nendfor\n"),
            "1\n2\n1\n1\n2\n2\n");
  EXPECT_THAT(run("continue\nprint 'goes on'\n"), HasSubstr("'continue' issued while not in loop\ngoes on"));
  EXPECT_THAT(run("break\n"), HasSubstr("'break' issued while not in loop"));
}

TEST_F(Statements, FunctionsRecursionLocalsAndReturn) {
  EXPECT_EQ(run("func fact(n)\n if (@n <= 1)\n  return 1\n endif\n return @n * fact(@n - 1)\nendfunc\n"
                "print fact(12)\n"),
            "479001600\n");
  // Parameters and var are local; assignments to other names reach the caller's.
  EXPECT_EQ(run("@a = 'outer'\n@g = 1\nfunc f(a)\n var t\n @t = @a\n @g = 2\n print @t\nendfunc\nf('inner')\n"
                "print @a, @g\n"),
            "inner\nouter 2\n");
  // A missing argument leaves the parameter without a value.
  EXPECT_THAT(run("func two(a, b)\n print @b\nendfunc\ntwo(1)\n"),
              HasSubstr("Variable '@b' is not defined in the current scope."));
  // A definition needs its brackets; a call statement does not.
  EXPECT_THAT(run("func hi\n print 'hi'\nendfunc\n"), HasSubstr("Expected '(' after 'hi'"));
  EXPECT_EQ(run("func hi()\n print 'hi'\nendfunc\nhi\n"), "hi\n");
}

// The same statement run again must find its variable anew when scopes or records change
// between runs: a call's local shadowing, a declaration mid-loop, a deletion.
TEST_F(Statements, RepeatedStatementsFollowScopesAndDeletion) {
  EXPECT_EQ(run("@x = 0\nfunc f(n)\n if (@n = 2)\n  var x\n endif\n @x = @n\n print @x\nendfunc\n"
                "f(1)\nf(2)\nprint @x\nf(3)\nprint @x\n"),
            "1\n2\n1\n3\n3\n");
  EXPECT_EQ(run("@y = 0\nfunc g()\n @i = 0\n while (@i < 2)\n  @i = @i + 1\n  @y = @i\n  if (@i = 1)\n   var y\n"
                "  endif\n endwhile\n print @y\nendfunc\ng()\nprint @y\n"),
            "2\n1\n");
  EXPECT_EQ(run("@z = 5\n@k = 0\nwhile (@k < 3)\n @k = @k + 1\n print @z\n @d = DELVAR(@z)\n @z = @k * 10\nendwhile\n"),
            "5\n10\n20\n");
}

TEST_F(Statements, DeepRecursionIsRefusedNotACrash) {
  std::string out = run("func down(n)\n return down(@n + 1)\nendfunc\n@r = down(1)\nprint 'still here'\n");
  EXPECT_THAT(out, HasSubstr("as deep as scripts may go"));
  EXPECT_THAT(out, HasSubstr("still here"));
}

TEST_F(Statements, ErrorsEndTheTopLevelStatementOnly) {
  // An error in a while condition inside a function ends that run; the next
  // top-level statement runs.
  std::string out =
      run("func f()\n while (1 +)\n  print 'no'\n endwhile\n print 'no either'\nendfunc\nf\nprint 'next'\n");
  EXPECT_THAT(out, Not(HasSubstr("no")));
  EXPECT_THAT(out, HasSubstr("next"));
  // With _error_func the function is called and the run goes on.
  out = run("func onErr()\n print 'handled'\nendfunc\n_error_func = 'onErr'\n"
            "func g()\n SUB DEFINE QLOCAL(<@missing>)\n print 'continued'\nendfunc\ng\n");
  EXPECT_THAT(out, HasSubstr("Runtime error: DEFINE QLOCAL(<@missing>)"));
  EXPECT_THAT(out, HasSubstr("handled\ncontinued"));
}

TEST_F(Statements, SubstitutionAndRunTimeText) {
  run("@q = 'APP.Q'\nDEFINE QLOCAL(<@q>) DESCR('<abc>')\n@cmd = 'DIS QMGR; DIS Q(*)'\n@cmd\n");
  // Substitution itself is the dispatcher's; the executor hands commands over whole.
  EXPECT_EQ(commands, (std::vector<std::string>{"DEFINE QLOCAL(<@q>) DESCR('<abc>')", "DIS QMGR", "DIS Q(*)"}));
  std::string out;
  EXPECT_EQ(cmdSubstitute(h.ctx, "DEFINE QLOCAL(<@q>) DESCR('<abc>')", out), Substitution::Replaced);
  EXPECT_EQ(out, "DEFINE QLOCAL(APP.Q) DESCR('<abc>')");
  EXPECT_EQ(cmdSubstitute(h.ctx, "DIS Q(<abc>)", out), Substitution::Unchanged);
  EXPECT_EQ(cmdSubstitute(h.ctx, "DIS Q(<@nothere>)", out), Substitution::Dropped);
}

TEST_F(Statements, ImportsWithParametersAndFailedRedefinitions) {
  std::string lib = writeFile("lib.kvx", "* greets\nfunc greet()\n print 'old'\nendfunc\n");
  std::string broken = writeFile("broken.kvx", "func greet()\n print 'new'\n");
  std::string params = writeFile("params.kvx", "print @_Parm[1], @_Parm[2]\n");
  EXPECT_EQ(run("=import file(" + lib + ")\ngreet\n"), "old\n");
  std::string out = run("=import file(" + broken + ")\ngreet\n");
  EXPECT_THAT(out, HasSubstr("'endfunc' not found before end of file"));
  EXPECT_THAT(out, HasSubstr("old"));
  EXPECT_EQ(run("=import file(" + params + ") parms('a,b', c)\n"), "'a,b' c\n");
  // An =import left to run time inside text a statement runs is refused.
  EXPECT_THAT(run("@cmd = '=import file(@lib)'\n@cmd\n"),
              HasSubstr("You can not call =import from within a function."));
  std::string self = writeFile("self.kvx", "=import file(" + ::testing::TempDir() + "self.kvx)\n");
  EXPECT_THAT(run("=import file(" + self + ")\n"), HasSubstr("Import file recursion detected"));
}

TEST_F(Statements, AStopSignalEndsAnEndlessLoop) {
  installStopSignals();
  h.ctx.output = std::make_unique<OutputBuffer>(h.ctx.displayLock, nullptr, nullptr);
  std::string out = run("@n = 0\nwhile (1)\n @n = @n + 1\n RAISE SIGINT\nendwhile\n");
  EXPECT_TRUE(h.ctx.quit);
  EXPECT_EQ(h.eval("@n"), "1");
  resetStopSignal();
}

TEST(StatementWords, EveryWordIsReservedInAnyCaseAndBlockWordsNameTheirNodes) {
  for (const StatementWord& w : statementWords()) {
    std::string upper(w.word);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_TRUE(cmdIsStatement(upper + " x")) << w.word;
    EXPECT_EQ(findStatementWord(upper), &w) << w.word;
    if (w.role == WordRole::Block || w.role == WordRole::BlockPart) {
      EXPECT_EQ(std::string_view(commandTypeWord(w.type)), w.word);
    }
  }
  EXPECT_FALSE(cmdIsStatement("DEFINE QLOCAL(X)"));
  EXPECT_EQ(findStatementWord("printx"), nullptr);
}

}  // namespace

namespace {

// An =import carried out inside a function body whose file fails to compile drops only
// what that file defined: the definition around it is still being compiled and stays.
TEST_F(Statements, FailedImportInsideAFunctionBody) {
  std::string bad = writeFile("kvarn_bad_import.kvx", "f(\n");
  std::string out = run("func good()\n =import file(" + bad + ")\n print 'in good'\nendfunc\ngood()\n");
  EXPECT_THAT(out, HasSubstr("in good"));
  EXPECT_THAT(commands, Not(::testing::Contains("good()")));
  // The definition around it fails as well (no parameter list, no endfunc).
  out = run("func a\n=import file(" + bad + ")\n");
  EXPECT_THAT(out, HasSubstr("'endfunc' not found before end of file"));
  EXPECT_THAT(run("a()\nprint 'after'\n"), HasSubstr("after"));
}

}  // namespace

// ---- while loops run through their compiled programs ------------------------------------

// The output of `text` run in a fresh context with loops compiled or not, and how many
// runs of a compiled program began.
struct LoopRun {
  std::string output;
  uint64_t programRuns = 0;
};
LoopRun runFresh(const std::string& text, bool compiled) {
  test::ScriptHarness fresh;
  fresh.ctx.mainInput = std::make_unique<InputSource>();
  fresh.ctx.mainInput->echo.input = false;
  scriptState(fresh.ctx).compiledLoops = compiled;
  test::makeStringSource(*fresh.ctx.mainInput, text);
  cmdRunSource(fresh.ctx, *fresh.ctx.mainInput);
  return LoopRun{fresh.output(), scriptState(fresh.ctx).compiledLoopRuns};
}

// Runs `text` both ways: the outputs must be the same, and the compiled run must have
// used a program.
void expectSameBothWays(const std::string& text) {
  LoopRun compiled = runFresh(text, true);
  LoopRun plain = runFresh(text, false);
  EXPECT_GT(compiled.programRuns, 0u) << text;
  EXPECT_EQ(plain.programRuns, 0u);
  EXPECT_EQ(compiled.output, plain.output) << text;
}

TEST_F(Statements, CompiledIntegerLoopsGiveWhatTheExecutorGives) {
  // Every operator with an integer form, a wrapping sum, negative modulo, nested blocks,
  // an inner loop, elements of two subscripts read back, and a string built now and then.
  expectSameBothWays(
      "@i = 0\n@s = 7\n@w = 3037000499 * 3037000499 + 5928526000\n@n = -17\n@t = ''\n@k = 0\n@u = 0\n"
      "while (@i < 300)\n"
      "  @i = @i + 1\n"
      "  @s = (@s * 31 + @i) % 1000003\n"
      "  @w = @w + 3\n"
      "  @m = @n % 5 - @i % -7\n"
      "  @c = (@i > 100) AND (@i <= 200) AND (@i != 150)\n"
      "  @a[@i % 7 + 1, 2] = @s - @i\n"
      "  @b[@i] = @a[@i % 7 + 1, 2] * 2\n"
      "  * a comment\n"
      "\n"
      "  if (@i % 3 = 0)\n"
      "    @t = @t + 'x'\n"
      "  else\n"
      "    if (@c <> 0)\n"
      "      @k = @k + 1\n"
      "    endif\n"
      "  endif\n"
      "  @j = 0\n"
      "  while (@j < @i % 4)\n"
      "    @j = @j + 1\n"
      "    @u = @u + @j\n"
      "  endwhile\n"
      "endwhile\n"
      "print @i, @s, @w, @m, @c, @t, @k, @a[3,2], @b[300], @u, _numWhile\n");
  // Break and continue of the loop itself and of a loop inside it; a call statement and
  // a declaration run by the executor from inside the program.
  expectSameBothWays(
      "func note(v)\n  @seen = @seen + @v\nendfunc\n"
      "@i = 0\n@seen = 0\n@odd = 0\n"
      "while (1)\n"
      "  @i = @i + 1\n"
      "  if (@i > 50)\n    break\n  endif\n"
      "  if (@i % 2 = 0)\n    continue\n  endif\n"
      "  @odd = @odd + 1\n"
      "  var @local\n"
      "  note(@i)\n"
      "  @j = 0\n"
      "  while (@j < 10)\n    @j = @j + 1\n    if (@j = 3)\n      break\n    endif\n  endwhile\n"
      "endwhile\n"
      "print @i, @odd, @seen, @j, _numWhile\n");
  // The sum went past the largest integer and wrapped, as the expression rules wrap.
  EXPECT_THAT(runFresh("@w = 3037000499 * 3037000499 + 5928526805\n@i = 0\nwhile (@i < 3)\n @i = @i + 1\n @w = @w + 1\nendwhile\n"
                       "print @w\n",
                       true)
                  .output,
              HasSubstr("-9223372036854775807"));
}

TEST_F(Statements, CompiledLoopsHandBackWhatIsNotAnInteger) {
  // A variable turning real, then text, then an integer again; an array made by the loop;
  // elements missing, then present; a variable removed and made again.
  expectSameBothWays(
      "@i = 0\n@x = 1\n@z = 0\n"
      "while (@i < 60)\n"
      "  @i = @i + 1\n"
      "  if (@i = 20)\n    @x = 2.5\n  endif\n"
      "  if (@i = 30)\n    @x = 'abc'\n  endif\n"
      "  if (@i = 40)\n    @x = 4\n  endif\n"
      "  @y = @x + 1\n"
      "  @made[@i] = @i * @i\n"
      "  @e = @made[@i] + @made[1]\n"
      "  if (@i % 10 = 0)\n    DELVAR(@z)\n    @z = 100\n  endif\n"
      "  @z = @z + @i\n"
      "endwhile\n"
      "print @x, @y, @e, NUMSUBS(@made), @z\n");
  // Reads of a missing variable and element, and modulo by 0, report what the executor
  // reports, from the same statement.
  expectSameBothWays("@i = 0\nwhile (@i < 5)\n @i = @i + 1\n @q = @i + @nothing\nendwhile\nprint @i\n");
  expectSameBothWays("@i = 0\nwhile (@i < 5)\n @i = @i + 1\n @q = @none[@i]\nendwhile\nprint @i\n");
  expectSameBothWays("@i = 0\n@z = 0\nwhile (@i < 5)\n @i = @i + 1\n @q = 10 % (@z - 1) + 7 % @z\nendwhile\nprint @i\n");
  expectSameBothWays("@i = 0\nwhile (@i < 5)\n @i = @i + 1\n @a[@i - 1] = 1\nendwhile\nprint @i\n");
}

TEST_F(Statements, CompiledLoopsSeeFunctionsScopesAndRecursion) {
  // A condition that calls a function, a function that makes a local array of the same
  // name as the caller's, and a loop that reaches itself again through a call.
  expectSameBothWays(
      "@calls = 0\n"
      "func more(limit)\n  @calls = @calls + 1\n  return @i < @limit\nendfunc\n"
      "func shadow(n)\n  var @a\n  @a[1] = @n\n  return @a[1] * 2\nendfunc\n"
      "func walk(n)\n  var @k\n  @k = 0\n  while (@k < @n)\n    @k = @k + 1\n"
      "    if (@k = 2)\n      @r = walk(@n - 1)\n    endif\n    @total = @total + @k\n  endwhile\n  return @k\nendfunc\n"
      "@i = 0\n@total = 0\n"
      "while (more(40))\n  @i = @i + 1\n  @a[@i] = @i\n  @v = shadow(@i) + @a[@i]\nendwhile\n"
      "print @i, @calls, @v, NUMSUBS(@a), walk(5), @total\n");
}

TEST_F(Statements, ACompiledLoopEndsOnAStopSignalAndCountsItsPasses) {
  installStopSignals();
  h.ctx.output = std::make_unique<OutputBuffer>(h.ctx.displayLock, nullptr, nullptr);
  run("@n = 0\nwhile (1)\n @n = @n + 1\n if (@n = 1000)\n  RAISE SIGINT\n endif\nendwhile\n");
  EXPECT_TRUE(h.ctx.quit);
  EXPECT_EQ(h.eval("@n"), "1000");
  resetStopSignal();
  EXPECT_GT(scriptState(h.ctx).compiledLoopRuns, 0u);
}
