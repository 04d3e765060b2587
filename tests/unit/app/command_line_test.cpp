#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(ReadOptions, DefaultsAndLastValueWins) {
  Settings none = readOptions({});
  EXPECT_EQ(none.nodePath, "/usr/bin/env");
  EXPECT_EQ(none.cliPath, "");
  EXPECT_EQ(none.copySpec, "ctrl+alt+c");
  EXPECT_EQ(none.pasteSpec, "ctrl+alt+b");

  Settings s = readOptions({"--cli", "a.js", "--copy", "cmd+x", "--cli", "b.js", "--paste",
                            "ctrl+1", "--node", "/opt/node"});
  EXPECT_EQ(s.cliPath, "b.js");
  EXPECT_EQ(s.copySpec, "cmd+x");
  EXPECT_EQ(s.pasteSpec, "ctrl+1");
  EXPECT_EQ(s.nodePath, "/opt/node");
}

TEST(ReadOptions, ReadsNamesAndValuesInPairs) {
  // A value is taken verbatim, even "--cli" or empty.
  EXPECT_EQ(readOptions({"--node", "--cli", "x.js"}).nodePath, "--cli");
  EXPECT_EQ(readOptions({"--node", "--cli", "x.js"}).cliPath, "");
  EXPECT_EQ(readOptions({"--cli", "x.js", "--cli", ""}).cliPath, "");
  // An unknown name swallows its value; case and "=" forms are unknown.
  EXPECT_EQ(readOptions({"--verbose", "--cli", "x.js"}).cliPath, "");
  EXPECT_EQ(readOptions({"--CLI", "x.js"}).cliPath, "");
  EXPECT_EQ(readOptions({"--cli=x.js", "--cli", "y.js"}).cliPath, "");
  // A name without a value is ignored.
  EXPECT_EQ(readOptions({"--cli", "x.js", "--cli"}).cliPath, "x.js");
}

TEST(CheckSettings, GivesBothShortcuts) {
  Settings s;
  s.cliPath = "x.js";
  auto shortcuts = std::get<StartupShortcuts>(checkSettings(s));
  EXPECT_EQ(shortcuts.copy, (HotkeySpec{0x1800, 8}));
  EXPECT_EQ(shortcuts.paste, (HotkeySpec{0x1800, 11}));
}

}  // namespace
