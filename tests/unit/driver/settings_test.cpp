#include <gtest/gtest.h>

#include <algorithm>

#include "context/settings.h"

namespace {

std::string screenValue(const Settings &s, const std::string &name) {
  for (const auto &line : settingsScreenLines(s, true)) {
    if (line.rfind(name + " ", 0) == 0 || line.rfind(name + ":", 0) == 0) return line.substr(line.find(": ") + 2);
  }
  return "<missing>";
}

TEST(Settings, DefaultsMatchTheOptionsWord) {
  Settings s;
  EXPECT_EQ(s.options, 0xA4Du);
  EXPECT_TRUE(s.on(kOptSound));
  EXPECT_TRUE(s.on(kOptScroll));
  EXPECT_TRUE(s.on(kOptFormatting));
  EXPECT_TRUE(s.on(kOptTimestamp));
  EXPECT_TRUE(s.on(kOptAutoSep));
  EXPECT_TRUE(s.on(kOptColours));
  EXPECT_FALSE(s.on(kOptWrap));
  EXPECT_EQ(screenValue(s, "prompt"), "%eTOLK:%e%m>");
  EXPECT_EQ(screenValue(s, "defmaxresp"), "unlimited");
  EXPECT_EQ(screenValue(s, "separator"), "solid");
  EXPECT_EQ(screenValue(s, "jsonfields"), "min");
}

TEST(Settings, ColumnsAcceptsAutoAndRejectsOutOfRange) {
  Settings s;
  s.columns = 7;
  EXPECT_TRUE(applySetting(s, "set", "columns", "auto").changed);
  EXPECT_EQ(s.columns, 0);
  EXPECT_EQ(screenValue(s, "columns"), "auto");
  SetResult r = applySetting(s, "set", "columns", "51");
  EXPECT_TRUE(r.error);
  EXPECT_EQ(r.message, "Please enter a value for 'columns' between 1 and 50 or 'auto'");
  EXPECT_TRUE(applySetting(s, "set", "columns", "12").changed);
  EXPECT_EQ(s.columns, 12);
}

TEST(Settings, DefMaxRespSpecialValues) {
  Settings s;
  EXPECT_TRUE(applySetting(s, "set", "defmaxresp", "0").changed);
  EXPECT_EQ(s.defmaxresp, 0);
  EXPECT_TRUE(applySetting(s, "set", "defmaxresp", "UNLIMITED").changed);
  EXPECT_EQ(s.defmaxresp, 999999999);
  SetResult r = applySetting(s, "set", "defmaxresp", "1000000000");
  EXPECT_TRUE(r.error);
  EXPECT_EQ(r.message, "Please enter a value for 'defmaxresp' between 1 and 999999999 or 'unlimited'");
}

TEST(Settings, NumbersAreRangeChecked) {
  Settings s;
  SetResult r = applySetting(s, "set", "cmdhist", "2");
  EXPECT_EQ(r.message, "Please enter a value for 'cmdhist' between 3 and 1000");
  EXPECT_EQ(s.cmdhist, 50);
  r = applySetting(s, "set", "cmdhist", "12x");
  EXPECT_TRUE(r.error);
  r = applySetting(s, "set", "CMDHIST", "1000");
  EXPECT_TRUE(r.changed);
  EXPECT_EQ(r.message, "cmdhist setting changed");
  EXPECT_EQ(s.cmdhist, 1000);
}

TEST(Settings, SwitchesChoicesAndText) {
  Settings s;
  EXPECT_TRUE(applySetting(s, "set", "sound", "off").changed);
  EXPECT_FALSE(s.on(kOptSound));
  applySetting(s, "set", "wrap", "on");
  EXPECT_TRUE(s.on(kOptWrap));
  // A choice that is not in the list changes nothing and says nothing.
  SetResult r = applySetting(s, "set", "separator", "wavy");
  EXPECT_FALSE(r.changed);
  EXPECT_TRUE(r.message.empty());
  EXPECT_TRUE(applySetting(s, "set", "separator", "Dotted").changed);
  EXPECT_EQ(s.detsep, kSepDotted);
  std::string longPrompt(150, 'p');
  applySetting(s, "set", "prompt", longPrompt);
  EXPECT_EQ(s.prompt.size(), 99u);
  // The output format is a choice like the others, and starts as text.
  EXPECT_FALSE(s.json());
  EXPECT_FALSE(applySetting(s, "set", "outformat", "xml").changed);
  EXPECT_TRUE(applySetting(s, "set", "outformat", "JSON").changed);
  EXPECT_TRUE(s.json());
  // A setting of another group is not reachable through =set.
  EXPECT_FALSE(applySetting(s, "set", "maxagel", "5").changed);
  EXPECT_TRUE(applySetting(s, "cache", "maxagel", "5").changed);
  EXPECT_EQ(s.maxagel, 5);
}

TEST(Settings, ColourRowsAndPairs) {
  Settings s;
  EXPECT_TRUE(applySetting(s, "colour", "fgerror", "green").changed);
  EXPECT_EQ(s.colours[1].fg, 2);
  // Slot 2 has a default background: it takes slot 0's.
  ColourPair p = effectiveColourPair(s, 2);
  EXPECT_EQ(p.fg, 6);
  EXPECT_EQ(p.bg, 0);
  // Equal colours: white on anything but white, black on white.
  s.colours[3] = {4, 4};
  EXPECT_EQ(effectiveColourPair(s, 3).fg, 7);
  s.colours[3] = {7, 7};
  EXPECT_EQ(effectiveColourPair(s, 3).fg, 0);
  // Colours off: every pair takes slot 0.
  applySetting(s, "colour", "colours", "off");
  p = effectiveColourPair(s, 1);
  EXPECT_EQ(p.fg, 7);
  EXPECT_EQ(p.bg, 0);
}

TEST(Settings, ScreenHasHeadingsAndAlignedNames) {
  Settings s;
  auto lines = settingsScreenLines(s, false);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "General Settings"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Object Cache Settings"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Colour Settings"), lines.end());
  size_t colon = std::string::npos;
  for (const auto &l : lines) {
    size_t at = l.find(": ");
    if (at == std::string::npos) continue;
    if (colon == std::string::npos) colon = at;
    EXPECT_EQ(at, colon) << l;
    if (l.rfind("colours", 0) == 0) { EXPECT_NE(l.find("(Terminal does not support colours)"), std::string::npos); }
  }
}

}  // namespace
