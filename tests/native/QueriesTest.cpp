#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "../../include/varnel.h"
#include "CommPort/CCommPort.h"
#include "FakeLine.h"
#include "Queries.h"

using namespace varnel;  // NOLINT: the library's internals under test

namespace {

// Code page 932 text: "ソ" (83 5C) and "表" (95 5C) end in a backslash byte; "ニュース" is
// 83 6A 83 85 81 5B 83 58.
const std::string kNews = "\x83\x6A\x83\x85\x81\x5B\x83\x58";
const std::string kSoHyou = "\x83\x5C\x95\x5C";

struct Parsed {
  bool ok;
  std::string name;
  int channel;
};

Parsed Parse(const std::string& reply, int size) {
  FakeLine line;  // collects the traces
  char buffer[kReplySize] = {};
  std::memcpy(buffer, reply.data(), std::min(reply.size(), size_t{kReplySize - 1}));
  char name[64];
  std::memset(name, '#', sizeof name);
  name[sizeof name - 1] = '\0';
  int channel = -99;
  const bool ok = ParseProgramReply(buffer, name, size, &channel);
  return {ok, ok ? std::string(name) : std::string(), channel};
}

TEST(ProgramReply, NameIsTheTextBetweenTheKeyAndScreen) {
  struct Case {
    std::string reply;
    int size;
    Parsed expected;
  } cases[] = {
      {"POWER:on\r\nCHANNEL:011\r\nPROGRAM:" + kNews + "\r\nscreen=1\r\nOK\r",
       64,
       {true, kNews, 11}},
      {"CHANNEL:011\r\nPROGRAM:" + kSoHyou + "\r\nscreen=1\r\nOK\r", 64, {true, kSoHyou, 11}},
      {"CHANNEL:7\r\nPROGRAM:\r\nscreen=\r\nOK\r", 2, {true, "", 7}},  // empty name
      {"CHANNEL:7\r\nPROGRAM:0123456789\r\nscreen=", 12, {true, "0123456789", 7}},
      {"CHANNEL:7\r\nPROGRAM:0123456789\r\nscreen=", 11, {false, "", 7}},  // would fill it
      {"CHANNEL:7\r\nPROGRAM:" + kNews + kNews.substr(0, 2) + "\r\nscreen=", 11, {false, "", 7}},
      {"CHANNEL:7\r\nPROGRAM:x\r\nscreen=", 1, {false, "", 7}},
      {"CHANNEL:7\r\nPROGRAM:x\r\nscreen=", -5, {false, "", 7}},
      {"CHANNEL:x\r\nPROGRAM:x\r\nscreen=", 9, {true, "x", 0}},  // no number: 0
      {"CHANNEL: -12\r\nPROGRAM:x\r\nscreen=", 9, {true, "x", -12}},
      {"CHANNEL:99999999999\r\nPROGRAM:x\r\nscreen=", 9, {true, "x", 0x7FFFFFFF}},
      // The channel is read after the cut before "PROGRAM:": its digits end there.
      {"CHANNEL:12PROGRAM:x\r\nscreen=", 9, {true, "x", 1}},
      // "PROGRAM:" at the very start: nothing before it to cut.
      {"PROGRAM:x\r\nscreen=CHANNEL:5", 9, {true, "x", 5}},
      // screen before PROGRAM: the name runs to the end of the reply.
      {"CHANNEL:3\r\nscreen=\r\nPROGRAM:abc\r\nOK\r", 64, {true, "abc\r\nOK\r", 3}},
  };
  for (const Case& c : cases) {
    const Parsed got = Parse(c.reply, c.size);
    EXPECT_EQ(got.ok, c.expected.ok) << c.reply;
    EXPECT_EQ(got.name, c.expected.name) << c.reply;
    EXPECT_EQ(got.channel, c.expected.channel) << c.reply;
  }
}

TEST(ProgramReply, KeysAreFoundOnlyOnCharacterBoundaries) {
  // 83 50 is "ケ": its trail byte 'P' would start a byte-wise match of "PROGRAM:" inside the
  // name; 83 43 ("イ") would start "CHANNEL:". Only the real keys count.
  const std::string fake =
      "\x83PROGRAM:no\x83"
      "CHANNEL:9";
  const Parsed got = Parse("CHANNEL:4\r\nPROGRAM:" + fake + "\r\nscreen=", 64);
  EXPECT_TRUE(got.ok);
  EXPECT_EQ(got.name, fake);
  EXPECT_EQ(got.channel, 4);
  // A lone fake key is no key at all.
  EXPECT_FALSE(Parse("CHANNEL:4\r\n\x83PROGRAM:x\r\nscreen=", 64).ok);
}

TEST(ProgramReply, MissingKeysLeaveEverythingAlone) {
  for (const std::string& reply :
       {std::string("PROGRAM:x\r\nscreen="), std::string("CHANNEL:1\r\nscreen="),
        std::string("CHANNEL:1\r\nPROGRAM:x\r\nscreen"), std::string()}) {
    const Parsed got = Parse(reply, 64);
    EXPECT_FALSE(got.ok) << reply;
    EXPECT_EQ(got.channel, -99) << reply;
  }
}

TEST(LockState, BitErrorFigureInParentheses) {
  struct Case {
    std::string reply;
    bool ok;
    int lock;
  } cases[] = {
      {"BitErrorRate=1.0E-05 (999)\r\nOK\r", true, 1},
      {"BitErrorRate=1.0E-05 (1000)\r\nOK\r", true, 0},
      {"BitErrorRate=(0)", true, 1},
      {"BitErrorRate= " + kSoHyou + "( 12)", true, 1},  // the scan steps over 5C trail bytes
      {"BitErrorRate=\x83(5)", false, 0},  // 83 28 is stepped over as one character: no "("
      {"BitErrorRate=(-1)", true, 0},      // taken as 4294967295
      {"BitErrorRate=(abc)", true, 0},     // no digits: not locked
      {"BitErrorRate=(99999999999999)", true, 0},
      {"BitErrorRate=5", false, 0},
      {"BitErrorRate=\x83", false, 0},
      {"POWER:on\r\nOK\r", false, 0},
      {"bitErrorRate=(1)", false, 0},
  };
  for (const Case& c : cases) {
    FakeLine line;
    int lock = 7;
    EXPECT_EQ(ParseLockState(c.reply.c_str(), &lock), c.ok) << c.reply;
    EXPECT_EQ(lock, c.lock) << c.reply;
  }
}

TEST(Parsers, TraceTheFiguresTheyRead) {
  FakeLine line;
  char reply[kReplySize] = "CHANNEL:011\r\nPROGRAM:News\r\nscreen=";
  char name[16];
  int channel = 0, lock = 0;
  ASSERT_TRUE(ParseProgramReply(reply, name, sizeof name, &channel));
  ParseLockState("BitErrorRate=1 (999)", &lock);
  ParseLockState("BitErrorRate=(abc)", &lock);
  EXPECT_EQ(g_traces, (std::vector<std::string>{"unknown: Channel:11\n", "unknown: Program:News\n",
                                                "unknown: BER:999\n", "unknown: BER:-1\n"}));
}

std::string StatusReply(const std::string& name) {
  return "POWER:on\r\nCHANNEL:021\r\nPROGRAM:" + name +
         "\r\nscreen=1\r\nBitErrorRate=1 (20)\r\nOK\r";
}

TEST(ReadProgramName, RetriesTenTimesWithAPauseAfterEachFailure) {
  FakeLine line;
  int getstats = 0;
  line.answer = [&](const std::string&) {
    return ++getstats < 4 ? std::string("POWER:on\r\nOK\r") : StatusReply("ok");
  };
  CCommPort port;
  char name[16] = "nodata";
  int size = 16, channel = -1;
  EXPECT_EQ(ReadProgramName(port, name, &size, &channel), 0);
  EXPECT_STREQ(name, "ok");
  EXPECT_EQ(channel, 21);
  EXPECT_EQ(g_pauses, std::vector<unsigned>(3, 500u));
  EXPECT_EQ(g_traces.back(), "unknown: Program:ok\n");

  // A name that never fits: ten attempts, ten pauses, the name untouched, the channel written.
  FakeLine always;
  always.answer = [](const std::string&) { return StatusReply("0123456789"); };
  std::strcpy(name, "nodata");
  size = 11;
  channel = -1;
  EXPECT_EQ(ReadProgramName(port, name, &size, &channel), VARNEL_ERROR_GET_PROGRAM_NAME);
  EXPECT_STREQ(name, "nodata");
  EXPECT_EQ(channel, 21);
  EXPECT_EQ(g_pauses, std::vector<unsigned>(10, 500u));
  std::string tenQueries;
  for (int i = 0; i < 10; ++i) tenQueries += "GETSTAT\r";
  EXPECT_EQ(always.written, tenQueries);
}

TEST(ReadProgramName, SilentTunerCostsTenExchangeTimeoutsAndTenPauses) {
  FakeLine line;  // never answers
  CCommPort port;
  char name[16] = "nodata";
  int size = 16, channel = -1;
  EXPECT_EQ(ReadProgramName(port, name, &size, &channel), VARNEL_ERROR_GET_PROGRAM_NAME);
  EXPECT_EQ(line.readCalls, 70);  // 10 x 7 reads of 5 s, plus 10 x 500 ms: about 355 s
  EXPECT_EQ(g_pauses.size(), 10u);
  EXPECT_EQ(channel, -1);
}

TEST(ReadTunerStatus, TwoExchangesOrOneWithoutPower) {
  FakeLine line;
  line.answer = [](const std::string&) { return StatusReply("x"); };
  CCommPort port;
  int power = 0, lock = 0;
  EXPECT_EQ(ReadTunerStatus(port, &power, &lock), 0);
  EXPECT_EQ(power, 1);
  EXPECT_EQ(lock, 1);
  EXPECT_EQ(line.written, "GETSTAT\rGETSTAT\r");

  line.written.clear();
  lock = 0;
  EXPECT_EQ(ReadTunerStatus(port, nullptr, &lock), 0);
  EXPECT_EQ(lock, 1);
  EXPECT_EQ(line.written, "GETSTAT\r");

  line.written.clear();
  EXPECT_EQ(ReadTunerStatus(port, &power, nullptr), VARNEL_ERROR_GET_STATUS);
  EXPECT_EQ(line.written, "");
}

TEST(ReadTunerStatus, FailedPowerExchangeLeavesPowerAsTheCallerSetIt) {
  FakeLine line;
  line.Silence(7);                          // the power query times out
  line.Send("BitErrorRate=1 (5)\r\nOK\r");  // the second query answers
  CCommPort port;
  int power = 42, lock = 0;
  EXPECT_EQ(ReadTunerStatus(port, &power, &lock), 0);
  EXPECT_EQ(power, 42);
  EXPECT_EQ(lock, 1);

  FakeLine silent;
  lock = 9;
  EXPECT_EQ(ReadTunerStatus(port, nullptr, &lock), VARNEL_ERROR_GET_STATUS);
  EXPECT_EQ(lock, 0);
}

// Replies of every length a reply can keep, with every combination of keys cut at every point,
// never read or write outside their buffers (the sanitizers watch).
TEST(Parsers, EveryLengthAndEveryCutStaysInsideTheBuffers) {
  const std::string full = "CHANNEL:011\r\nPROGRAM:" + kSoHyou + kNews +
                           "\r\nscreen=1\r\nBitErrorRate=" + kSoHyou + "(20)\r\nOK\r";
  for (size_t length = 0; length < kReplySize; ++length) {
    std::string reply;
    while (reply.size() < length) reply += full;
    reply.resize(length);
    for (size_t cut : {size_t{0}, length / 3, length / 2, length}) {
      std::string text = reply.substr(cut) + reply.substr(0, cut);
      char* heap = new char[kReplySize];  // exact size, so any overrun is caught
      std::memset(heap, 0, kReplySize);
      std::memcpy(heap, text.data(), text.size());
      char name[8];
      int channel = 0, lock = 0;
      ParseLockState(heap, &lock);
      ParseProgramReply(heap, name, sizeof name, &channel);
      delete[] heap;
    }
  }
}

}  // namespace
