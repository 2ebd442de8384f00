#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "FakeClock.h"
#include "TextPosix.h"
#include "TunerCtl.h"

namespace {

// A scripted library: what each function returns and writes, and the calls it received.
struct Script {
  int result = 0;
  int count = 2;
  int power = 1, lock = 1;
  bool writesPower = true;
  int channel = 11;
  std::string name = "\x95\x5c\x8f\xb2\x8e\xae";  // 表彰式 in code page 932
  long long takesMs = 0;                          // fake time the call takes
  FakeClock* clock = nullptr;
  const std::atomic<int>* errLines = nullptr;  // set: the call lasts until a line is on stderr
  std::vector<std::string> calls;
};
Script g_script;

int Done(const std::string& call) {
  g_script.calls.push_back(call);
  if (g_script.clock != nullptr) g_script.clock->Advance(g_script.takesMs);
  if (g_script.errLines != nullptr) BecameNonZeroWithin5s(*g_script.errLines);
  return g_script.result;
}

int VARNEL_CALL GetCount(int* count) {
  *count = g_script.count;
  return Done("GetCount");
}
int VARNEL_CALL SetPower(int index, int on) {
  return Done("SetPower " + std::to_string(index) + " " + std::to_string(on));
}
int VARNEL_CALL SetChannel(int index, int selector) {
  return Done("SetChannel " + std::to_string(index) + " " + std::to_string(selector));
}
int VARNEL_CALL GetProgramName(int index, char* name, int* size, int* channel) {
  if (g_script.result == 0 && g_script.name.size() + 1 <= static_cast<size_t>(*size)) {
    std::memcpy(name, g_script.name.c_str(), g_script.name.size() + 1);
    *channel = g_script.channel;
  }
  return Done("GetProgramName " + std::to_string(index) + " " + std::to_string(*size));
}
int VARNEL_CALL GetStatus(int index, int* power, int* lock) {
  if (g_script.writesPower) *power = g_script.power;
  if (g_script.result == 0) *lock = g_script.lock;
  return Done("GetStatus " + std::to_string(index));
}

class RecordingPlatform : public tunerctl::Platform {
 public:
  bool OpenLibrary(bool usb, tunerctl::TunerLibrary* library, std::string* problem) override {
    if (!problem_.empty()) {
      *problem = problem_;
      return false;
    }
    library->prefix = usb ? "OSTRIN" : "VARNEL";
    library->getCount = GetCount;
    library->setPower = SetPower;
    library->setChannel = SetChannel;
    library->getProgramName = GetProgramName;
    library->getStatus = GetStatus;
    return true;
  }
  std::string Cp932ToUtf8(const std::string& text) override {
    return tunerctl::Cp932ToUtf8Posix(text);
  }
  void WriteOut(const std::string& line) override { out_ += line + "\n"; }
  void WriteErr(const std::string& line) override {
    std::lock_guard<std::mutex> guard(mutex_);  // the notice comes from a watcher thread
    err_ += line + "\n";
    ++errLines_;
  }
  bool ErrIsTerminal() override { return terminal_; }
  tunerctl::Clock& GetClock() override { return clock_; }

  std::string problem_;
  bool terminal_ = false;
  std::string out_, err_;
  std::mutex mutex_;
  std::atomic<int> errLines_{0};
  FakeClock clock_;
};

class MainTest : public testing::Test {
 protected:
  void SetUp() override { g_script = Script(); }
  int Run(const std::vector<std::string>& args) { return tunerctl::Main(args, platform_); }
  RecordingPlatform platform_;
};

std::string Usage() {
  std::string text;
  for (const std::string& line : tunerctl::UsageLines()) text += line + "\n";
  return text;
}

struct Case {
  std::vector<std::string> args;
  const char* call;
  const char* human;
  const char* json;
};

TEST_F(MainTest, EveryCommandCallsItsFunctionAndPrintsOneLine) {
  const Case cases[] = {
      {{"count"}, "GetCount", "tuners: 2", "{\"tuners\":2}"},
      {{"--tuner", "2", "power", "on"},
       "SetPower 2 1",
       "tuner 2: power on",
       "{\"tuner\":2,\"power\":true}"},
      {{"power", "off"}, "SetPower 1 0", "tuner 1: power off", "{\"tuner\":1,\"power\":false}"},
      {{"channel", "12"},
       "SetChannel 1 12",
       "tuner 1: channel 12 selected",
       "{\"tuner\":1,\"channel\":12}"},
      {{"channel", "up"},
       "SetChannel 1 0",
       "tuner 1: channel up",
       "{\"tuner\":1,\"channel\":\"up\"}"},
      {{"channel", "down"},
       "SetChannel 1 -1",
       "tuner 1: channel down",
       "{\"tuner\":1,\"channel\":\"down\"}"},
      {{"channel", "dtt"},
       "SetChannel 1 -2",
       "tuner 1: network dtt selected",
       "{\"tuner\":1,\"network\":\"dtt\"}"},
      {{"channel", "bs", "--tuner=3"},
       "SetChannel 3 -3",
       "tuner 3: network bs selected",
       "{\"tuner\":3,\"network\":\"bs\"}"},
      {{"name"},
       "GetProgramName 1 1024",
       "tuner 1: channel 11 表彰式",
       "{\"tuner\":1,\"channel\":11,\"name\":\"表彰式\"}"},
      {{"status"},
       "GetStatus 1",
       "tuner 1: power on, signal locked",
       "{\"tuner\":1,\"power\":true,\"locked\":true}"},
  };
  for (const Case& c : cases) {
    for (bool json : {false, true}) {
      SCOPED_TRACE(testing::PrintToString(c.args) + (json ? " --json" : ""));
      SetUp();
      platform_.out_.clear();
      std::vector<std::string> args = c.args;
      if (json) args.insert(args.begin(), "--json");
      EXPECT_EQ(Run(args), tunerctl::kExitOk);
      EXPECT_EQ(g_script.calls, std::vector<std::string>{c.call});
      EXPECT_EQ(platform_.out_, std::string(json ? c.json : c.human) + "\n");
      EXPECT_EQ(platform_.err_, "");
    }
  }
}

TEST_F(MainTest, StatusShowsWhatTheTunerReported) {
  g_script.power = 0;
  g_script.lock = 0;
  EXPECT_EQ(Run({"status"}), 0);
  g_script.writesPower = false;  // varnel: the power exchange failed, the signal figure came
  g_script.lock = 1;
  EXPECT_EQ(Run({"status"}), 0);
  EXPECT_EQ(Run({"status", "--json"}), 0);
  EXPECT_EQ(platform_.out_,
            "tuner 1: power off, signal not locked\n"
            "tuner 1: power unknown, signal locked\n"
            "{\"tuner\":1,\"power\":null,\"locked\":true}\n");
}

TEST_F(MainTest, NameWithQuotesAndLineBreaksStaysOneLineAndValidJson) {
  // A USB tuner's name runs to the end of its reply, line breaks included.
  g_script.name = "A \"B\"\\\r\nC\t\x01";
  g_script.channel = 5;
  EXPECT_EQ(Run({"name"}), 0);
  EXPECT_EQ(Run({"--json", "name"}), 0);
  g_script.name = "";  // a programme without a name
  EXPECT_EQ(Run({"name"}), 0);
  EXPECT_EQ(platform_.out_,
            "tuner 1: channel 5 A \"B\"\\  C  \n"
            "{\"tuner\":1,\"channel\":5,\"name\":\"A \\\"B\\\"\\\\\\r\\nC\\t\\u0001\"}\n"
            "tuner 1: channel 5\n");
}

TEST_F(MainTest, LibraryFailureNamesTheFunctionAndCodeAndWritesNothingToStdout) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"count"}, "tunerctl: VARNEL_GetCount failed with -8\n"},
      {{"power", "on"}, "tunerctl: tuner 1: VARNEL_SetPower failed with -8\n"},
      {{"--tuner", "4", "channel", "up"}, "tunerctl: tuner 4: VARNEL_SetChannel failed with -8\n"},
      {{"name", "--json"}, "tunerctl: tuner 1: VARNEL_GetProgramName failed with -8\n"},
      {{"status"}, "tunerctl: tuner 1: VARNEL_GetStatus failed with -8\n"},
      {{"--usb", "status"}, "tunerctl: tuner 1: OSTRIN_GetStatus failed with -8\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.first));
    SetUp();
    g_script.result = -8;
    g_script.writesPower = false;
    platform_.err_.clear();
    EXPECT_EQ(Run(c.first), tunerctl::kExitFailed);
    EXPECT_EQ(platform_.err_, c.second);
  }
  EXPECT_EQ(platform_.out_, "");
}

TEST_F(MainTest, FailureHints) {
  struct Hint {
    std::vector<std::string> args;
    int result;
    const char* message;
  };
  const Hint cases[] = {
      {{"--usb", "name"},
       -2,
       "tunerctl: tuner 1: OSTRIN_GetProgramName failed with -2 (no USB tuner attached)\n"},
      {{"--usb", "--tuner", "5", "status"},
       -1,
       "tunerctl: tuner 5: OSTRIN_GetStatus failed with -1 (no such tuner, or it could not be "
       "opened)\n"},
      {{"status"},
       -7,
       "tunerctl: tuner 1: VARNEL_GetStatus failed with -7 (the tuner reports power off)\n"},
      {{"--usb", "status"}, -7, "tunerctl: tuner 1: OSTRIN_GetStatus failed with -7\n"},
      {{"--usb", "channel", "bs"},
       -5,
       "tunerctl: tuner 1: OSTRIN_SetChannel failed with -5 (a USB tuner has no network keys)\n"},
      {{"channel", "bs"}, -5, "tunerctl: tuner 1: VARNEL_SetChannel failed with -5\n"},
  };
  for (const Hint& c : cases) {
    SCOPED_TRACE(c.message);
    SetUp();
    g_script.result = c.result;
    g_script.power = 0;
    platform_.err_.clear();
    EXPECT_EQ(Run(c.args), tunerctl::kExitFailed);
    EXPECT_EQ(platform_.err_, c.message);
  }
}

TEST_F(MainTest, BadUsageGivesTheProblemAndTheUsageOnStderrAndCallsNothing) {
  EXPECT_EQ(Run({"channel", "13"}), tunerctl::kExitBadUsage);
  EXPECT_EQ(platform_.err_,
            "tunerctl: channel takes 1..12, up, down, dtt or bs, not '13'\n" + Usage());
  EXPECT_EQ(platform_.out_, "");
  EXPECT_TRUE(g_script.calls.empty());
}

TEST_F(MainTest, HelpAndVersionOnStdout) {
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_EQ(platform_.out_.rfind(Usage(), 0), 0u);
  EXPECT_NE(platform_.out_.find("Exit status: 0 done; 1 the tuner or its library failed; 2 bad"),
            std::string::npos);
  platform_.out_.clear();
  EXPECT_EQ(Run({"--version"}), 0);
  EXPECT_EQ(platform_.out_, std::string("tunerctl ") + TUNERCTL_VERSION + "\n");
  EXPECT_EQ(platform_.err_, "");
  EXPECT_TRUE(g_script.calls.empty());
}

TEST_F(MainTest, MissingLibraryFailsWithThePlatformsReason) {
  platform_.problem_ = "--usb needs ostrin.dll beside tunerctl.exe; it is missing (error 126)";
  EXPECT_EQ(Run({"--usb", "count"}), tunerctl::kExitFailed);
  EXPECT_EQ(platform_.err_, "tunerctl: " + platform_.problem_ + "\n");
  EXPECT_EQ(platform_.out_, "");
}

TEST_F(MainTest, SlowCallAtATerminalSaysItIsStillWaitingBeforeItsResult) {
  platform_.terminal_ = true;
  g_script.clock = &platform_.clock_;
  g_script.takesMs = 35000;
  g_script.errLines = &platform_.errLines_;
  g_script.result = -5;
  EXPECT_EQ(Run({"--tuner", "2", "channel", "5"}), tunerctl::kExitFailed);
  EXPECT_EQ(platform_.err_,
            "tunerctl: tuner 2: still waiting for VARNEL_SetChannel...\n"
            "tunerctl: tuner 2: VARNEL_SetChannel failed with -5\n");
  platform_.err_.clear();
  platform_.terminal_ = false;  // a file or a pipe: no notice
  g_script.errLines = nullptr;
  EXPECT_EQ(Run({"--tuner", "2", "channel", "5"}), tunerctl::kExitFailed);
  EXPECT_EQ(platform_.err_, "tunerctl: tuner 2: VARNEL_SetChannel failed with -5\n");
}

}  // namespace
