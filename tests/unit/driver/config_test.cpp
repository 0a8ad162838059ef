#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "console/console_settings.h"
#include "context/context.h"
#include "driver/config_file.h"

namespace fs = std::filesystem;

namespace {

class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kvarn-cfg-XXXXXX";
    dir_ = mkdtemp(tmpl);
    setenv("KVARNCFG", dir_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("KVARNCFG");
    fs::remove_all(dir_);
  }
  std::string read(const std::string &name) {
    std::ifstream in(dir_ + "/" + name);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  void write(const std::string &name, const std::string &text) { std::ofstream(dir_ + "/" + name) << text; }
  std::string dir_;
};

TEST(ConfigLine, AssignmentsQuotingAndTilde) {
  auto a = parseConfigLine("key=F1 act=\"Next Page\" cmd=\"say ~\"hi~\" ~~ok\" junk ko=1F");
  ASSERT_EQ(a.size(), 4u);
  EXPECT_EQ(a[0], (std::pair<std::string, std::string>{"key", "F1"}));
  EXPECT_EQ(a[1].second, "Next Page");
  EXPECT_EQ(a[2].second, "say \"hi\" ~ok");
  EXPECT_EQ(a[3].first, "ko");
}

TEST(ConfigLine, MalformedLinesNeverLoop) {
  for (const char *line : {"=", "\"", "a=\"unterminated", "===", "  ", "\"a\"=\"b\"=c", "~~~~\"~"}) {
    auto a = parseConfigLine(line);
    (void)a;
  }
  EXPECT_EQ(parseConfigLine("\"a b\"=\"c d\"")[0].first, "a b");
}

TEST(ConfigValue, QuotedUnlessAlphanumeric) {
  EXPECT_EQ(formatConfigValue("cmd", "DIS"), "cmd=DIS");
  EXPECT_EQ(formatConfigValue("prompt", "two words"), "prompt=\"two words\"");
  EXPECT_EQ(formatConfigValue("cmd", "say \"x\" ~"), "cmd=\"say ~\"x~\" ~~\"");
  EXPECT_EQ(formatConfigValue("latver", ""), "latver=\"\"");
}

TEST_F(ConfigTest, RoundTripKeepsEverything) {
  {
    ProgramContext ctx;
    ctx.settings.colwidth = 33;
    ctx.settings.prompt = "QM \"%m\" ~>";
    ctx.settings.options = 0x1234 & kOptionsMask;
    ctx.settings.colours[4] = {3, 5};
    ctx.settings.vercheckti = 1700000000;
    ctx.settings.latver = "1.2";
    consoleSettingsOf(ctx).history = {"DIS QMGR", "DEFINE QLOCAL('A B')"};
    ctx.synonyms = {{"dq", "DIS Q(*)"}};
    consoleSettingsOf(ctx).keyBindings = {
        {"F5", "", "DIS CHS(*)", 0x21, true}, {"F6", "Next Page", "", 0}, {"F7", "", "", 0}};
    consoleSettingsOf(ctx).keyNames = {{"MyKey", "1B5B"}};
    ctx.saveWanted = true;
    ConfigResult r = saveConfiguration(ctx);
    ASSERT_TRUE(r.ok) << r.text;
    EXPECT_FALSE(ctx.saveWanted);
  }
  std::string text = read("kvarn.cfg");
  EXPECT_EQ(text.rfind("* MQSC Configuration file (", 0), 0u);
  EXPECT_NE(text.find("\n\noptmask=3FFF\noptions=1234\ncmdhist=50\n"), std::string::npos);
  EXPECT_NE(text.find("colwidth=33\n"), std::string::npos);
  EXPECT_NE(text.find("prompt=\"QM ~\"%m~\" ~~>\"\n"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir_ + "/kvarn.cfb"));

  ProgramContext back;
  ASSERT_TRUE(loadConfiguration(back).ok);
  EXPECT_EQ(back.settings.colwidth, 33);
  EXPECT_EQ(back.settings.prompt, "QM \"%m\" ~>");
  EXPECT_EQ(back.settings.options, 0x1234u);
  EXPECT_EQ(back.settings.colours[4].fg, 3);
  EXPECT_EQ(back.settings.colours[4].bg, 5);
  EXPECT_EQ(back.settings.vercheckti, 1700000000);
  EXPECT_EQ(consoleSettingsOf(back).history, (std::vector<std::string>{"DIS QMGR", "DEFINE QLOCAL('A B')"}));
  ASSERT_EQ(back.synonyms.size(), 1u);
  EXPECT_EQ(back.synonyms.begin()->command, "DIS Q(*)");
  // Key assignments are written before key commands; a key left without an action
  // is written as none.
  EXPECT_LT(text.find("key=F6 act=\"Next Page\""), text.find("key=F5 cmd="));
  EXPECT_NE(text.find("key=F7 act=none ko=0\n"), std::string::npos);
  ASSERT_EQ(consoleSettingsOf(back).keyBindings.size(), 3u);
  EXPECT_EQ(consoleSettingsOf(back).keyBindings[0].key, "F5");
  EXPECT_TRUE(consoleSettingsOf(back).keyBindings[0].isCommand);
  EXPECT_EQ(consoleSettingsOf(back).keyBindings[0].command, "DIS CHS(*)");
  EXPECT_EQ(consoleSettingsOf(back).keyBindings[0].options, 0x21u);
  EXPECT_EQ(consoleSettingsOf(back).keyBindings[1].action, "Next Page");
  EXPECT_FALSE(consoleSettingsOf(back).keyBindings[2].isCommand);
  EXPECT_EQ(consoleSettingsOf(back).keyBindings[2].action, "");
  ASSERT_EQ(consoleSettingsOf(back).keyNames.size(), 1u);
  EXPECT_EQ(consoleSettingsOf(back).keyNames[0].seq, "1B5B");
  EXPECT_EQ(consoleSettingsOf(back).keyNames[0].stroke.escape, "\x1b\x5b");
}

TEST_F(ConfigTest, SynonymsAndKeyNamesComeBackInNameOrder) {
  write("kvarn.cfg", "syn=zz cmd=\"DIS Q(*)\"\nsyn=AA cmd=x\nsyn=ZZ cmd=y\nsyn=\"\" cmd=z\n"
                     "keyname=b seq=1B5B\nkeyname=A seq=\"0x10D (0x1)\"\n");
  ProgramContext ctx;
  ASSERT_TRUE(loadConfiguration(ctx).ok);
  ASSERT_EQ(ctx.synonyms.size(), 2u);  // the later zz replaces the earlier; a nameless one is dropped
  EXPECT_EQ(ctx.synonyms.begin()->name, "AA");
  EXPECT_EQ(std::next(ctx.synonyms.begin())->command, "y");
  ASSERT_EQ(consoleSettingsOf(ctx).keyNames.size(), 2u);
  EXPECT_EQ(consoleSettingsOf(ctx).keyNames[0].name, "A");
  EXPECT_EQ(consoleSettingsOf(ctx).keyNames[0].stroke, (KeyStroke{0x10d, 1, {}}));
}

TEST_F(ConfigTest, OptmaskKeepsDefaultsOfBitsItDoesNotDefine) {
  write("kvarn.cfg", "* comment\n; another\noptmask=F\noptions=0\n");
  ProgramContext ctx;
  ASSERT_TRUE(loadConfiguration(ctx).ok);
  // The low four bits are cleared; the rest keep their defaults.
  EXPECT_EQ(ctx.settings.options, 0xA4Du & ~0xFu);
}

TEST_F(ConfigTest, BackupFileIsReadWhenTheMainFileIsMissing) {
  write("kvarn.cfb", "colwidth=44\n");
  ProgramContext ctx;
  ASSERT_TRUE(loadConfiguration(ctx).ok);
  EXPECT_EQ(ctx.settings.colwidth, 44);
}

TEST_F(ConfigTest, MissingFileKeepsDefaultsAndBinaryFileDoesNoHarm) {
  ProgramContext ctx;
  EXPECT_TRUE(loadConfiguration(ctx).ok);
  EXPECT_EQ(ctx.settings.colwidth, 20);
  std::string junk;
  for (int i = 0; i < 70000; ++i) junk += static_cast<char>((i * 7919) % 256);
  write("kvarn.cfg", junk);
  ProgramContext other;
  EXPECT_TRUE(loadConfiguration(other).ok);
}

TEST_F(ConfigTest, FailedSaveLeavesTheOldFileUntouched) {
  write("kvarn.cfg", "colwidth=21\n");
  fs::create_directory(dir_ + "/kvarn.cfb");  // the new file can not be created
  ProgramContext ctx;
  ctx.saveWanted = true;
  ConfigResult r = saveConfiguration(ctx);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.text, "Can not open file '" + dir_ + "/kvarn.cfb'");
  EXPECT_EQ(read("kvarn.cfg"), "colwidth=21\n");
}

TEST_F(ConfigTest, NothingIsWrittenUnlessASaveIsWanted) {
  ProgramContext ctx;
  EXPECT_TRUE(saveConfiguration(ctx).ok);
  EXPECT_FALSE(fs::exists(dir_ + "/kvarn.cfg"));
}

TEST_F(ConfigTest, DirectoryFromEnvironment) {
  setenv("KVARNCFG", (dir_ + "/kvarn.cfg").c_str(), 1);
  EXPECT_EQ(configDirectory().text, dir_);
  setenv("KVARNCFG", (dir_ + "/").c_str(), 1);
  EXPECT_EQ(configDirectory().text, dir_);
  setenv("KVARNCFG", "/home/someone/.kvarn", 1);
  EXPECT_EQ(configDirectory().text, "/home/someone/.kvarn");
  unsetenv("KVARNCFG");
  setenv("XDG_CONFIG_HOME", "/xdg", 1);
  EXPECT_EQ(configDirectory().text, "/xdg/kvarn");
  unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
