#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <sstream>

#include "script_harness.h"

namespace kvarn::script::test {
namespace {

TEST(Print, BlanksJustificationAndDecimals) {
  ScriptHarness h;
  EXPECT_EQ(h.print("'a', 'b'"), "a b\n");
  EXPECT_EQ(h.print(":5r:1"), "    1\n");
  EXPECT_EQ(h.print(":3r:'x', :3l:2"), "  x 2  \n");  // justification by request
  EXPECT_EQ(h.print(":5:1"), "    1\n");              // numbers right by default
  EXPECT_EQ(h.print(":5:'x', 'y'"), "x     y\n");
  EXPECT_EQ(h.print("1.5"), "1.50\n");
  char expected[16];
  std::snprintf(expected, sizeof expected, "%.*f\n", 0, 2.5);
  EXPECT_EQ(h.print(":p0:2.5"), expected);
  EXPECT_EQ(h.print(":2:'toolong'"), "toolong\n");  // padded, never cut
  EXPECT_EQ(h.print("'a', :n:'b'"), "ab\n");
  EXPECT_EQ(h.print("MAX(1, 2), 'x,y', SUBSTR('abc', 1, 2)"), "2.00 x,y ab\n");
}

TEST(Print, SeparatorAndNoNewlineContinueTheLine) {
  ScriptHarness h;
  EXPECT_EQ(h.print("'a', :s:'b'"), "");  // kept for the next print
  EXPECT_EQ(h.print("'c'"), "a b c\n");
  EXPECT_EQ(h.print("'col1', _sep"), "col1  ");  // a segment left open, then one blank
  EXPECT_EQ(h.print("'col2'"), "col2\n");
  EXPECT_EQ(h.print("'x' + _nl + 'y'"), "x\ny\n");
}

TEST(Print, FormatErrorsAndLongText) {
  ScriptHarness h;
  EXPECT_EQ(h.print(":5r'x'"), "ERROR: Unrecognised formatting character ''' in print format string");
  EXPECT_EQ(h.print(":5"), "ERROR: End of formatting character ':' missing in print statement");
  EXPECT_EQ(h.print(":99999999999:1"), "ERROR: Field width in print format is larger than the limit of 20000");
  EXPECT_EQ(h.print("@nothere"), "ERROR: Variable '@nothere' is not defined in the current scope.");
  h.output();
  // A line longer than the print buffer is written whole.
  Value big = Value::owned(std::string(50000, 'q'));
  std::string error;
  ASSERT_TRUE(scriptAssign(h.ctx, "@big", {}, big, error));
  EXPECT_EQ(h.print(":s:@big"), std::string(49999, 'q'));
  EXPECT_EQ(h.print("'!'"), "q !\n");
}

TEST(FilePrint, LinesGoToTheOpenFileAndTheConsoleIsOne) {
  ScriptHarness h;
  char dir[] = "/tmp/kvarn_fprintXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string path = std::string(dir) + "/out.txt";
  std::string error;
  EXPECT_EQ(h.assign("@f", "FOPEN('" + path + "', 'w')"), "");
  EXPECT_EQ(h.eval("@f"), "100");
  ASSERT_TRUE(scriptFilePrint(h.ctx, "@f, 'one', 1", error)) << error;
  ASSERT_TRUE(scriptFilePrint(h.ctx, "@f, :s:'two'", error)) << error;
  ASSERT_TRUE(scriptFilePrint(h.ctx, "@f, 'a', _sep", error)) << error;
  ASSERT_TRUE(scriptFilePrint(h.ctx, "1, 'console'", error)) << error;
  EXPECT_EQ(h.output(), "console\n");
  EXPECT_FALSE(scriptFilePrint(h.ctx, "555, 'x'", error));
  EXPECT_EQ(error, "File Identifier 555 is not an open file");
  EXPECT_EQ(h.eval("FCLOSE(@f)"), "1");
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "one 1\ntwo a  \n");
  unlink(path.c_str());
  rmdir(dir);
}

// An item may open or close files while the fprint statement formats its line: the
// line still goes to its file, or the statement fails when that file was closed.
TEST(FilePrint, ItemsThatOpenOrCloseFiles) {
  ScriptHarness h;
  char dir[] = "/tmp/kvarn_fprintXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string out = std::string(dir) + "/out.txt", other = std::string(dir) + "/other.txt";
  std::string error;
  ASSERT_EQ(h.assign("@f", "FOPEN('" + out + "', 'w')"), "");
  std::string opens = "FOPEN('" + other + "', 'w')";
  ASSERT_TRUE(scriptFilePrint(h.ctx, "@f, 'ids', " + opens + ", " + opens + ", " + opens, error)) << error;
  EXPECT_FALSE(scriptFilePrint(h.ctx, "@f, 'gone', FCLOSE(@f)", error));
  EXPECT_EQ(error, "File Identifier 100 was closed while its fprint statement ran");
  std::ifstream in(out);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "ids 101 102 103\n");
  h.state().closeAllFiles();
  unlink(out.c_str());
  unlink(other.c_str());
  rmdir(dir);
}

}  // namespace
}  // namespace kvarn::script::test
