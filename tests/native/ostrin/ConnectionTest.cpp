// The connection to a tuner (OpenDevice, CloseDevice, the road of RunOnDevice), the device count,
// and the power and channel work, against the scripted kivactl.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "Control.h"
#include "Device.h"
#include "FakeKivactl.h"
#include "RemoteKeys.h"
#include "ostrin.h"

namespace {

using Calls = std::vector<std::string>;

class Connection : public ::testing::Test {
 protected:
  void SetUp() override { ostrin::deviceOpen = 0; }
  void TearDown() override { ostrin::deviceOpen = 0; }
  FakeKivactl kivactl;
};

TEST(RemoteKeys, EverySelector) {
  struct Case {
    int selector;
    bool found;
    unsigned short key;
  };
  const Case cases[] = {
      {1, true, 0x1F38},   {2, true, 0x1F39}, {6, true, 0x1F3D},  {11, true, 0x1F42},
      {12, true, 0x1F43},  {0, true, 0x1F47}, {-1, true, 0x1F4A}, {-2, false, 0},
      {-3, false, 0},      {13, false, 0},    {-4, false, 0},     {INT_MIN, false, 0},
      {INT_MAX, false, 0},
  };
  for (const Case& c : cases) {
    unsigned short key = 0xABCD;
    EXPECT_EQ(ostrin::RemoteKeyForSelector(c.selector, &key), c.found) << c.selector;
    EXPECT_EQ(key, c.found ? c.key : 0xABCD) << c.selector;
  }
}

TEST_F(Connection, IndexOutsideOneToFourIsRefusedBeforeKivactl) {
  for (int index : {0, 5, 6, -1, INT_MIN, INT_MAX}) {
    EXPECT_EQ(ostrin::OpenDevice(index), OSTRIN_ERROR_DEVICE) << index;
    EXPECT_EQ(ostrin::CloseDevice(index), OSTRIN_ERROR_DEVICE) << index;
  }
  EXPECT_EQ(kivactl.calls, Calls{});
}

TEST_F(Connection, OpenSelectsTheIndexWhateverTheCount) {
  kivactl.deviceCount = 1;
  EXPECT_EQ(ostrin::OpenDevice(4), 0);
  EXPECT_EQ(ostrin::deviceOpen, 1);
  EXPECT_EQ(kivactl.calls, (Calls{"DevCtrl_GetEnumDevice", "DevCtrl_SetGetEnumDevice 4",
                                  "KivaDevCtrl_Initialize"}));
  EXPECT_EQ(ostrin::OpenDevice(1), ostrin::kAlreadyOpen);
  EXPECT_EQ(kivactl.calls.size(), 3u);  // a second open asks kivactl nothing
}

TEST(OpenDevice, Failures) {  // each case with a fresh kivactl; none opens
  struct Case {
    int count, enumResult, initializeResult, expected;
    size_t calls;
  };
  const Case cases[] = {
      {0, 0, 0, OSTRIN_ERROR_NO_DEVICE, 1},   // nothing attached
      {-3, 0, 0, OSTRIN_ERROR_DEVICE, 1},     // a negative count
      {2, 5, 0, OSTRIN_ERROR_NO_DEVICE, 1},   // counting failed: the count stays 0
      {1, 0, -2, OSTRIN_ERROR_NO_DEVICE, 3},  // initialise's distinguished failure
      {1, 0, 1, OSTRIN_ERROR_DEVICE, 3},     {1, 0, -3, OSTRIN_ERROR_DEVICE, 3},
  };
  for (const Case& c : cases) {
    FakeKivactl fake;
    fake.deviceCount = c.count;
    fake.enumResult = c.enumResult;
    fake.initializeResult = c.initializeResult;
    EXPECT_EQ(ostrin::OpenDevice(2), c.expected) << c.count << " " << c.initializeResult;
    EXPECT_EQ(fake.calls.size(), c.calls);
    EXPECT_EQ(ostrin::deviceOpen, 0);
  }
}

TEST_F(Connection, CloseClearsTheStateEvenWhenKivactlFails) {
  EXPECT_EQ(ostrin::CloseDevice(1), 0);  // nothing open: nothing asked
  EXPECT_EQ(kivactl.calls, Calls{});

  ostrin::deviceOpen = 1;
  kivactl.uninitializeResult = 7;
  EXPECT_EQ(ostrin::CloseDevice(3), OSTRIN_ERROR_DEVICE);
  EXPECT_EQ(ostrin::deviceOpen, 0);
  EXPECT_EQ(kivactl.calls, Calls{"KivaDevCtrl_Uninitialize"});

  ostrin::deviceOpen = 1;
  EXPECT_EQ(ostrin::CloseDevice(5), OSTRIN_ERROR_DEVICE);  // out of range: untouched
  EXPECT_EQ(ostrin::deviceOpen, 1);
}

TEST_F(Connection, RunOnDeviceOpensWorksAndCloses) {
  int worked = 0;
  kivactl.uninitializeResult = 1;  // not reported
  EXPECT_EQ(ostrin::RunOnDevice(2, [&] { return ++worked, -5; }), -5);
  EXPECT_EQ(worked, 1);
  EXPECT_EQ(ostrin::deviceOpen, 0);
  EXPECT_EQ(kivactl.calls.back(), "KivaDevCtrl_Uninitialize");
}

TEST_F(Connection, RunOnDeviceDoesNoWorkWhenTheOpenFails) {
  int worked = 0;
  kivactl.initializeResult = -2;
  EXPECT_EQ(ostrin::RunOnDevice(1, [&] { return ++worked; }), OSTRIN_ERROR_NO_DEVICE);
  EXPECT_EQ(ostrin::RunOnDevice(0, [&] { return ++worked; }), OSTRIN_ERROR_DEVICE);
  EXPECT_EQ(worked, 0);
  EXPECT_EQ(kivactl.calls.back(), "KivaDevCtrl_Initialize");  // no close after a failed open
}

TEST_F(Connection, RunOnDeviceClosesAConnectionFoundOpenInsteadOfWorking) {
  for (int index : {1, 0, 9}) {
    ostrin::deviceOpen = 1;
    kivactl.calls.clear();
    int worked = 0;
    EXPECT_EQ(ostrin::RunOnDevice(index, [&] { return ++worked, -4; }), 0);
    EXPECT_EQ(worked, 0);
    EXPECT_EQ(ostrin::deviceOpen, 0) << index;
    EXPECT_EQ(kivactl.calls, Calls{"KivaDevCtrl_Uninitialize"});
  }
}

TEST_F(Connection, CountDevices) {
  EXPECT_EQ(ostrin::CountDevices(nullptr), OSTRIN_ERROR_GET_COUNT);
  EXPECT_EQ(kivactl.calls, Calls{});

  int count = 99;
  kivactl.deviceCount = 6;  // more than can be opened: reported all the same
  EXPECT_EQ(ostrin::CountDevices(&count), 0);
  EXPECT_EQ(count, 6);

  count = 99;
  kivactl.enumResult = -1;
  EXPECT_EQ(ostrin::CountDevices(&count), OSTRIN_ERROR_GET_COUNT);
  EXPECT_EQ(count, 0);
}

TEST_F(Connection, SwitchPowerPassesTheSwitchUnchanged) {
  EXPECT_EQ(ostrin::SwitchPower(7), 0);
  kivactl.powerResult = 2;
  EXPECT_EQ(ostrin::SwitchPower(0), OSTRIN_ERROR_SET_POWER);
  EXPECT_EQ(kivactl.calls,
            (Calls{"KivaDevCtrl_SetSTi7710Power 0 7", "KivaDevCtrl_SetSTi7710Power 0 0"}));
}

TEST_F(Connection, SendChannelKey) {
  EXPECT_EQ(ostrin::SendChannelKey(1), OSTRIN_ERROR_DEVICE);  // no connection
  ostrin::deviceOpen = 1;
  EXPECT_EQ(ostrin::SendChannelKey(-2), OSTRIN_ERROR_SET_CHANNEL);
  EXPECT_EQ(ostrin::SendChannelKey(-3), OSTRIN_ERROR_SET_CHANNEL);
  EXPECT_EQ(kivactl.calls, Calls{});  // no key for the networks, nothing sent

  EXPECT_EQ(ostrin::SendChannelKey(12), 0);
  kivactl.keyResult = -1;
  EXPECT_EQ(ostrin::SendChannelKey(OSTRIN_CHANNEL_DOWN), OSTRIN_ERROR_SET_CHANNEL);
  EXPECT_EQ(kivactl.calls, (Calls{"KivaDevCtrl_SendRemoteCommand 0 0x1F43",
                                  "KivaDevCtrl_SendRemoteCommand 0 0x1F4A"}));
}

}  // namespace
