#include <gtest/gtest.h>

#include <vector>

#include "context/status.h"
#include "driver/options.h"

namespace {

OptionResult parse(std::vector<const char *> args, Options &o) {
  args.insert(args.begin(), "kvarn");
  return parseCommandLine(static_cast<int>(args.size()), args.data(), o);
}

TEST(Options, ValueFormsAllNameTheQueueManager) {
  for (auto args : {std::vector<const char *>{"-m:QM1"}, {"-m", "QM1"}, {"-mQM1"}, {"/m", "QM1"}}) {
    Options o;
    ASSERT_TRUE(parse(args, o).ok);
    EXPECT_EQ(o.qmgr, "QM1");
  }
}

TEST(Options, FlagsShareOneArgumentAndAValueEndsTheGroup) {
  Options o;
  ASSERT_TRUE(parse({"-efxmQM2", "-s"}, o).ok);
  EXPECT_TRUE(o.noEcho);
  EXPECT_TRUE(o.fileMode);
  EXPECT_TRUE(o.noConnect);
  EXPECT_TRUE(o.stopOnError);
  EXPECT_EQ(o.qmgr, "QM2");
}

TEST(Options, ColumnsRange) {
  Options o;
  EXPECT_TRUE(parse({"-c", "50"}, o).ok);
  EXPECT_EQ(o.columns, 50);
  for (const char *bad : {"0", "51", "abc", "-3"}) {
    Options p;
    OptionResult r = parse({"-c", bad}, p);
    EXPECT_FALSE(r.ok) << bad;
    EXPECT_EQ(r.exitCode, kExitBadCommandLine);
    EXPECT_EQ(r.message, "Please use a COLUMN value between 1 and 50\n");
  }
}

TEST(Options, WidthZeroIsAcceptedAndNegativeRejected) {
  Options o;
  ASSERT_TRUE(parse({"-w", "0"}, o).ok);
  EXPECT_TRUE(o.hasWidth);
  EXPECT_EQ(o.width, 0);
  Options p;
  OptionResult r = parse({"-w", "-1"}, p);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, "Please use non negative width value.\n");
}

TEST(Options, UsageForUnknownLetterMissingValueAndQuestionMark) {
  for (auto args : {std::vector<const char *>{"-Z"}, {"-m"}, {"-?"}}) {
    Options o;
    OptionResult r = parse(args, o);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.exitCode, 132);
    EXPECT_NE(r.message.find("\nUsage: KVARN <Optional flags as below>\n"), std::string::npos);
    EXPECT_NE(r.message.find("        [-c  <Number of columns>]\n"), std::string::npos);
    EXPECT_NE(r.message.find("        [-d  <Channel Definition>] for example -d \"channel(MYCHANNEL)\"\n"),
              std::string::npos);
  }
}

TEST(Options, UsageListsEveryOptionInOrder) {
  std::string usage = usageText();
  size_t last = 0;
  for (char letter : std::string("cCdDefFgijlmnopqrsStvVwx!")) {
    size_t at = usage.find(std::string("[-") + letter + "  ");
    ASSERT_NE(at, std::string::npos) << letter;
    EXPECT_GT(at, last) << letter;
    last = at;
  }
}

TEST(Options, LongHelpAndVersionAreAnsweredWhereAnOptionMayStand) {
  Options h, v, late;
  ASSERT_TRUE(parse({"--help"}, h).ok);
  EXPECT_EQ(h.info, InfoRequest::Help);
  ASSERT_TRUE(parse({"--version"}, v).ok);
  EXPECT_EQ(v.info, InfoRequest::Version);
  ASSERT_TRUE(parse({"-f", "-m", "QM1", "--version", "ignored"}, late).ok);
  EXPECT_EQ(late.info, InfoRequest::Version);
  // A value is never a request, -? keeps its usage failure, and look-alikes are refused.
  Options value;
  ASSERT_TRUE(parse({"-m", "--help"}, value).ok);
  EXPECT_EQ(value.info, InfoRequest::None);
  EXPECT_EQ(value.qmgr, "--help");
  for (auto args : {std::vector<const char *>{"-?"}, {"--helpme"}, {"--Version"}, {"-x", "stray", "--help"}}) {
    Options o;
    OptionResult r = parse(args, o);
    EXPECT_FALSE(r.ok) << args.back();
    EXPECT_EQ(r.exitCode, kExitBadCommandLine);
    EXPECT_EQ(o.info, InfoRequest::None);
  }
  EXPECT_EQ(helpText().rfind(usageText(), 0), 0u);
}

TEST(Options, OutputFormatTextOrJson) {
  Options o;
  EXPECT_EQ(o.outputFormat, -1);  // not given: the setting decides
  ASSERT_TRUE(parse({"-o", "json"}, o).ok);
  EXPECT_EQ(o.outputFormat, 1);
  ASSERT_TRUE(parse({"-oTEXT"}, o).ok);
  EXPECT_EQ(o.outputFormat, 0);
  for (auto bad : {std::vector<const char *>{"-o", "xml"}, {"-o", ""}, {"-o"}}) {
    Options b;
    OptionResult r = parse(bad, b);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.exitCode, 132);
  }
  Options b;
  EXPECT_EQ(parse({"-o", "yaml"}, b).message, "Please use an output format of text or json, not 'yaml'\n");
}

TEST(Options, ParsingStopsAtTheFirstNonOption) {
  Options o;
  OptionResult r = parse({"-x", "extra", "-f"}, o);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message.rfind("Unrecognised parameter 'extra'\n\n", 0), 0u);
  EXPECT_FALSE(o.fileMode);
}

TEST(Options, NamesAreCutToFiftyCharacters) {
  std::string longName(70, 'Q');
  Options o;
  ASSERT_TRUE(parse({"-m", longName.c_str(), "-v", longName.c_str()}, o).ok);
  EXPECT_EQ(o.qmgr.size(), 50u);
  EXPECT_EQ(o.via.size(), 50u);
}

TEST(Options, AListOfQueueManagersNamesAFleetEachNameCutOnItsOwn) {
  std::string longName(70, 'Q');
  Options o;
  std::string list = "QM1, " + longName + ",,QM3";
  ASSERT_TRUE(parse({"-m", list.c_str(), "-l"}, o).ok);
  EXPECT_EQ(o.qmgr, "QM1," + std::string(50, 'Q') + ",QM3");
  // The fleet is formed as =conn would connect one queue manager, with the same operands.
  EXPECT_EQ(implicitConnectCommand(o), "=fleet qm(QM1," + std::string(50, 'Q') + ",QM3) client ");
  Options one;
  ASSERT_TRUE(parse({"-m", "QM1"}, one).ok);
  EXPECT_EQ(implicitConnectCommand(one), "=conn qm(QM1) ");
}

TEST(Options, CcdtVersions) {
  struct Case {
    const char *text;
    bool ok;
    int version;
    const char *message;
  };
  const Case cases[] = {
      {"7.1", true, 10, nullptr},
      {"9.3.4", true, 12, nullptr},
      {"s11", true, 11, nullptr},
      {"012", true, 12, nullptr},
      {"5.0", true, 4, nullptr},
      {"7", true, 7, nullptr},
      {"s13", false, 0, "The supported range MQCD Versions is between 0 and 12 (inclusive)\n"},
      {"8.1", false, 0,
       "Value values for -V parameter are :\n   7.1, 7.5, 8.0, 9.0, 9.1, 9.2, 9.2.5, 9.3, 9.3.1, 9.3.2, 9.3.3, "
       "9.3.4\n"},
  };
  for (const auto &c : cases) {
    Options o;
    OptionResult r = parse({"-V", c.text}, o);
    EXPECT_EQ(r.ok, c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(o.ccdtVersion, c.version) << c.text;
    } else {
      EXPECT_EQ(r.message, c.message) << c.text;
    }
  }
}

TEST(Options, CaptureIsSeparateFromTraceLetters) {
  Options o;
  ASSERT_TRUE(parse({"-D", "capture:/tmp/x.cap", "-Dds"}, o).ok);
  EXPECT_EQ(o.capturePath, "/tmp/x.cap");
  EXPECT_EQ(o.debugLetters, "ds");
}

TEST(Options, ImplicitConnectCommand) {
  Options o;
  ASSERT_TRUE(
      parse({"-m", "QM1", "-q", "CMDQ", "-r", "RQ", "-p", "PFX", "-v", "VIA", "-l", "-d", "channel(CH1)"}, o).ok);
  EXPECT_EQ(implicitConnectCommand(o),
            "=conn qm(QM1) cmdq(CMDQ) replyq(RQ) replypfx(PFX) via(VIA) client channel(CH1) ");
  EXPECT_EQ(implicitConnectCommand(Options{}), "=conn ");
}

TEST(ExitCode, EveryOutcome) {
  EXPECT_EQ(exitCodeFromStatus(0), 64);
  EXPECT_EQ(exitCodeFromStatus(kStatusCommandSucceeded), 0);
  EXPECT_EQ(exitCodeFromStatus(kStatusCommandFailed), 131);
  EXPECT_EQ(exitCodeFromStatus(kStatusCommandFailed | kStatusCommandSucceeded), 65);
  EXPECT_EQ(exitCodeFromStatus(kStatusConnectFailed | kStatusInternalFailure | kStatusCommandSucceeded), 128);
  EXPECT_EQ(exitCodeFromStatus(kStatusInternalFailure | kStatusMqCallFailed), 130);
  EXPECT_EQ(exitCodeFromStatus(kStatusMqCallFailed | kStatusCommandFailed), 129);
  EXPECT_EQ(exitCodeFromStatus(32), 255);
}

}  // namespace
