// What the integration tests under wine need around the library: the driver's registry entries
// in the prefix's real registry, and the control channel of each simulated tuner.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The control channel of simulated tuner `n` (1-based; run-under-wine.sh starts them).
class SimulatedTuner {
 public:
  explicit SimulatedTuner(int n);
  // The COM name the tuner is attached as, e.g. "COM11".
  const std::string& ComName() const { return com_; }
  // Sends one control line and returns the answer after "ok" (fails the test on "error").
  std::string Control(const std::string& line);
  // Everything the tuner received since the last reset or clear.
  std::string Received();
  static std::string Hex(const std::string& bytes);

 private:
  std::string com_;
  int port_ = 0;
};

// The driver's entries under HKEY_LOCAL_MACHINE, rebuilt from scratch by each test.
class DriverRegistryLayout {
 public:
  DriverRegistryLayout();   // removes any earlier layout
  ~DriverRegistryLayout();  // and removes this one
  // Writes "Count" (without instances yet).
  void SetCount(int count);
  // Writes instance value "<index>" and, unless portName is null, its "Device Parameters" key
  // with "PortName"; withDeviceKey false leaves the device key out.
  void AddInstance(int index, const std::string& instancePath, const char* portName,
                   bool withDeviceKey = true);
  // The usual layout: `tuners` tuner instances on the simulated tuners' COM ports.
  void AttachSimulatedTuners(int tuners);
};

// The whole content of a file; empty when it cannot be read.
std::string ReadFileText(const char* path);

// Code page 932 bytes of a few texts the tests compare with.
extern const std::string kCp932HyoushoSong;  // the simulator's DTT button-1 programme name

// A test with both simulated tuners reset, no driver entries yet and no transcript file, before
// and after.
class TwoSimulatedTuners : public ::testing::Test {
 protected:
  DriverRegistryLayout layout;
  SimulatedTuner tuner1{1}, tuner2{2};

  void SetUp() override {
    tuner1.Control("reset");
    tuner2.Control("reset");
    DeleteFileA("logfile.txt");
  }
  void TearDown() override {
    SetFileAttributesA("logfile.txt", FILE_ATTRIBUTE_NORMAL);
    DeleteFileA("logfile.txt");
  }
};
