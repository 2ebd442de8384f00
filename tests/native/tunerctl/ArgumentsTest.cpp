#include <gtest/gtest.h>

#include "Arguments.h"

namespace {

using tunerctl::Command;
using tunerctl::Invocation;
using tunerctl::ParseArguments;

struct Good {
  std::vector<std::string> args;
  bool usb, json;
  int tuner;
  Command command;
  bool on;
  int selector;
  const char* selection;
};

TEST(Arguments, CommandsAndOptionsAnywhere) {
  const Good cases[] = {
      {{"count"}, false, false, 1, Command::kCount, false, 0, ""},
      {{"--usb", "--tuner", "3", "--json", "status"},
       true,
       true,
       3,
       Command::kStatus,
       false,
       0,
       ""},
      {{"name", "--tuner=4"}, false, false, 4, Command::kName, false, 0, ""},
      {{"--tuner", "2", "--tuner", "007", "power", "ON"},
       false,
       false,
       7,
       Command::kPower,
       true,
       0,
       ""},
      {{"power", "off"}, false, false, 1, Command::kPower, false, 0, ""},
      {{"channel", "1"}, false, false, 1, Command::kChannel, false, 1, "1"},
      {{"channel", "012"}, false, false, 1, Command::kChannel, false, 12, "12"},
      {{"channel", "up", "--json"}, false, true, 1, Command::kChannel, false, 0, "up"},
      {{"CHANNEL", "Down"}, false, false, 1, Command::kChannel, false, -1, "down"},
      {{"channel", "dtt"}, false, false, 1, Command::kChannel, false, -2, "dtt"},
      {{"channel", "bs"}, false, false, 1, Command::kChannel, false, -3, "bs"},
      {{"--tuner", "2147483647", "count"}, false, false, 2147483647, Command::kCount, false, 0, ""},
  };
  for (const Good& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const Invocation got = ParseArguments(c.args);
    ASSERT_EQ(got.kind, Invocation::Kind::kRun) << got.problem;
    EXPECT_EQ(got.usb, c.usb);
    EXPECT_EQ(got.json, c.json);
    EXPECT_EQ(got.tuner, c.tuner);
    EXPECT_EQ(got.command, c.command);
    EXPECT_EQ(got.on, c.on);
    EXPECT_EQ(got.selector, c.selector);
    EXPECT_EQ(got.selection, c.selection);
  }
}

TEST(Arguments, BadUsageSaysWhatIsWrongInOneLine) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{}, "tunerctl: no command given"},
      {{"--json"}, "tunerctl: no command given"},
      {{"tune"}, "tunerctl: unknown command 'tune'"},
      {{"channel", "13"}, "tunerctl: channel takes 1..12, up, down, dtt or bs, not '13'"},
      {{"channel", "0"}, "tunerctl: channel takes 1..12, up, down, dtt or bs, not '0'"},
      {{"channel", "-1"}, "tunerctl: unknown option '-1'"},
      {{"channel", "1x"}, "tunerctl: channel takes 1..12, up, down, dtt or bs, not '1x'"},
      {{"channel"}, "tunerctl: channel needs 1..12, up, down, dtt or bs"},
      {{"channel", "1", "2"}, "tunerctl: unexpected argument '2' after channel"},
      {{"power"}, "tunerctl: power needs on or off"},
      {{"power", "1"}, "tunerctl: power takes on or off, not '1'"},
      {{"status", "now"}, "tunerctl: unexpected argument 'now' after status"},
      {{"--tuner", "0", "count"}, "tunerctl: --tuner takes a number from 1 up, not '0'"},
      {{"--tuner", "one", "count"}, "tunerctl: --tuner takes a number from 1 up, not 'one'"},
      {{"--tuner", "+2", "count"}, "tunerctl: --tuner takes a number from 1 up, not '+2'"},
      {{"--tuner=", "count"}, "tunerctl: --tuner takes a number from 1 up, not ''"},
      {{"count", "--tuner", "2147483648"},
       "tunerctl: --tuner takes a number from 1 up, not '2147483648'"},
      {{"count", "--tuner"}, "tunerctl: --tuner needs a number"},
      {{"--verbose", "count"}, "tunerctl: unknown option '--verbose'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.first));
    const Invocation got = ParseArguments(c.first);
    EXPECT_EQ(got.kind, Invocation::Kind::kBadUsage);
    EXPECT_EQ(got.problem, c.second);
  }
}

TEST(Arguments, HelpAndVersionWinOverEverythingElse) {
  EXPECT_EQ(ParseArguments({"channel", "13", "--help"}).kind, Invocation::Kind::kHelp);
  EXPECT_EQ(ParseArguments({"-h"}).kind, Invocation::Kind::kHelp);
  EXPECT_EQ(ParseArguments({"--version", "--help"}).kind, Invocation::Kind::kHelp);
  EXPECT_EQ(ParseArguments({"--bogus", "--version"}).kind, Invocation::Kind::kVersion);
}

}  // namespace
