// The port object over the Windows raw calls, against a simulated tuner's pseudo-terminal (COM11):
// what Open sets on the line for each flow-control name, the device path, ApplyBaudRate, and the
// failures of Open, seen from the simulator's side of the line.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "CommPort/CCommPort.h"
#include "WineTestSupport.h"

namespace {

using varnel::CCommPort;
using varnel::kFlowHardware;
using varnel::kFlowNone;
using varnel::kTunerBaudRate;

class CommPort : public ::testing::Test {
 protected:
  SimulatedTuner tuner{1};
  void SetUp() override { tuner.Control("reset"); }
  bool HasHandshaking() { return tuner.Control("termios").find("crtscts=1") != std::string::npos; }
};

TEST_F(CommPort, FlowControlNameSetsTheHandshakingOrLeavesIt) {
  const std::string com = tuner.ComName();
  struct Case {
    const char* flow;
    bool handshakingAfter;
  };
  // Each case opens the port afresh; the terminal keeps its settings between opens, so a name
  // that leaves the setting alone shows the one before it.
  const Case cases[] = {
      {kFlowHardware, true}, {"other", true}, {kFlowNone, false},
      {"other", false},      {nullptr, true}, {"", true},
  };
  for (const Case& c : cases) {
    CCommPort port;
    ASSERT_EQ(port.Reopen(com.c_str(), kTunerBaudRate, c.flow), 0) << port.Message();
    EXPECT_EQ(HasHandshaking(), c.handshakingAfter) << (c.flow ? c.flow : "null");
    port.Close();
  }
}

TEST_F(CommPort, OpenAlwaysSetsTheTunersSpeedAndApplyBaudRateTheStoredOne) {
  CCommPort port;
  ASSERT_EQ(port.Reopen(tuner.ComName().c_str(), 9600, kFlowHardware), 0);
  EXPECT_NE(tuner.Control("termios").find("speed=115200 csize=8 parity=none stopbits=1"),
            std::string::npos);
  ASSERT_EQ(port.ApplyBaudRate(), 0);
  EXPECT_NE(tuner.Control("termios").find("speed=9600"), std::string::npos);
  port.Close();
  port.Close();  // closing a closed object does nothing
}

TEST_F(CommPort, DevicePathAndOpenFailures) {
  const std::string path = "\\\\.\\" + tuner.ComName();
  CCommPort port;
  EXPECT_EQ(port.Reopen(path.c_str(), kTunerBaudRate, kFlowHardware), 0);  // used unchanged
  port.Close();

  for (const char* name : {"", "COM98"}) {
    CCommPort failed;
    EXPECT_EQ(failed.Reopen(name, kTunerBaudRate, kFlowHardware), 1) << name;
    EXPECT_STREQ(failed.Message(), "IDS_MSG_ERR_OPEN_PORT") << name;
    EXPECT_NE(failed.LastError(), 0u) << name;
  }
}

}  // namespace
