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

// The real ReadBytes and WriteBytes: a byte read from the line, the abort flag turning a read that
// brings nothing into 2 (and leaving one that brings a byte alone), and a read and a write that
// the system refuses. (A tuner whose terminal has gone is no such case under wine: its line
// still takes writes and reads as silence.)
TEST_F(CommPort, ReadBytesWriteBytesAndTheAbortFlag) {
  CCommPort port;
  ASSERT_EQ(port.Reopen(tuner.ComName().c_str(), kTunerBaudRate, kFlowHardware), 0);
  char byte = 0;
  unsigned count = 7;
  EXPECT_EQ(port.ReadBytes(&byte, 0, &count), 0);
  EXPECT_EQ(count, 0u);
  port.SetAbort();
  count = 7;
  EXPECT_EQ(port.ReadBytes(&byte, 0, &count), 2);
  EXPECT_EQ(count, 0u);

  const char command[] = "SETPOWER on\r";
  ASSERT_EQ(port.WriteBytes(command, 12, &count), 0);
  EXPECT_EQ(count, 12u);
  EXPECT_EQ(port.ReadBytes(&byte, 1, &count), 0);  // a byte came: no abort
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(byte, 'O');
  EXPECT_EQ(tuner.Received(), command);

  port.Close();  // the calls below reach the system with the closed port's handle
  EXPECT_EQ(port.WriteBytes(command, 12, &count), 1);
  EXPECT_STREQ(port.Message(), "IDS_MSG_ERR_WriteComPort");
  EXPECT_EQ(port.LastError(), static_cast<unsigned>(ERROR_INVALID_HANDLE));
  SetLastError(0);
  EXPECT_EQ(port.ReadBytes(&byte, 1, &count), 1);
  EXPECT_STREQ(port.Message(), "IDS_MSG_ERR_ReadComPort");
  EXPECT_EQ(port.LastError(), static_cast<unsigned>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(tuner.Control("commands"), "1");
}

}  // namespace
