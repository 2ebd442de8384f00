#include <gtest/gtest.h>

#include <algorithm>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "FakeLine.h"
#include "PortDiscovery.h"

using namespace varnel;  // NOLINT: the library's internals under test

namespace {

// The driver's registry entries as a map; a missing entry fails its query with 2 (not found).
class FakeRegistry : public DriverRegistry {
 public:
  bool hasCount = true;
  int count = 0;
  std::map<std::string, std::string> instances;  // value name -> instance path
  std::map<std::string, std::string> portNames;  // device key -> PortName

  void AddDevice(const std::string& instance, const std::string& port) {
    instances[std::to_string(count++)] = instance;
    portNames["SYSTEM\\CurrentControlSet\\Enum\\" + instance + "\\Device Parameters"] = port;
  }

  long QueryCount(int* value) override {
    if (!hasCount) return 2;
    *value = count;
    return 0;
  }
  long QueryInstancePath(const char* name, char* path, unsigned* size) override {
    return Lookup(instances, name, path, size);
  }
  long QueryPortName(const char* key, char* name, unsigned* size) override {
    return Lookup(portNames, key, name, size);
  }

 private:
  // Stores the text without its NUL when it fills the buffer, as the registry may.
  static long Lookup(const std::map<std::string, std::string>& values, const char* key, char* out,
                     unsigned* size) {
    auto it = values.find(key);
    if (it == values.end()) return 2;
    const std::string& text = it->second;
    if (text.size() > *size) return 234;  // more data
    std::memcpy(out, text.c_str(), std::min<size_t>(text.size() + 1, *size));
    *size = static_cast<unsigned>(std::min<size_t>(text.size() + 1, *size));
    return 0;
  }
};

const std::string kTuner = "USB\\VID_FEDC&PID_BA98\\";

std::string ListAsText(const char* list) {
  std::string text;
  for (const char* p = list;; ++p) {
    text += *p == '\0' ? '|' : *p;
    if (p[0] == '\0' && p[1] == '\0' && p != list) return text + '|';
    if (p == list && p[0] == '\0') return "|";
  }
}

class PortDiscoveryTest : public ::testing::Test {
 protected:
  FakeLine line;  // collects the traces
  FakeRegistry registry;
  char list[kPortListSize + 16];
  unsigned count = 0;

  void SetUp() override { std::memset(list, 0x55, sizeof list); }
  int Discover() { return ListTunerPorts(registry, &count, list); }
};

TEST_F(PortDiscoveryTest, MissingCountFails) {
  registry.hasCount = false;
  EXPECT_EQ(Discover(), 1);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(g_traces, std::vector<std::string>{"unknown: COM not found!\n"});
}

TEST_F(PortDiscoveryTest, CountZeroGivesAnEmptyList) {
  EXPECT_EQ(Discover(), 0);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(list[0], '\0');
}

TEST_F(PortDiscoveryTest, ListsTheTunersPortsInTheDriversOrder) {
  registry.AddDevice(kTuner + "1", "COM3");
  registry.AddDevice("USB\\VID_1234&PID_0001\\7", "COM4");   // another device
  registry.AddDevice("usb\\vid_fedc&pid_ba98\\2", "COM12");  // lower case still matches
  registry.instances["3"] = kTuner + "nodevparams";          // no Device Parameters key
  registry.count++;
  registry.count++;  // "4" is missing altogether
  registry.AddDevice(kTuner + "5", "COM7");

  ASSERT_EQ(Discover(), 0);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(ListAsText(list), "COM3|COM12|COM7||");
  EXPECT_STREQ(NthPortInList(0, list), "COM3");
  EXPECT_STREQ(NthPortInList(1, list), "COM3");
  EXPECT_STREQ(NthPortInList(3, list), "COM7");
  EXPECT_STREQ(NthPortInList(4, list), "");  // past the end: the empty closing name
  EXPECT_EQ(NthPortInList(1, nullptr), nullptr);

  const std::vector<std::string> expected = {
      "unknown: Count:6\n",
      "unknown: 0:USB\\VID_FEDC&PID_BA98\\1\n",
      "unknown: VID_FEDC&PID_BA98 found!!\n",
      "unknown: Port Name:COM3\n",
      "unknown: 1:USB\\VID_1234&PID_0001\\7\n",
      "unknown: 2:usb\\vid_fedc&pid_ba98\\2\n",
      "unknown: VID_FEDC&PID_BA98 found!!\n",
      "unknown: Port Name:COM12\n",
      "unknown: 3:USB\\VID_FEDC&PID_BA98\\nodevparams\n",
      "unknown: VID_FEDC&PID_BA98 found!!\n",
      "unknown: Error2\n",
      "unknown: Error\n",
      "unknown: 5:USB\\VID_FEDC&PID_BA98\\5\n",
      "unknown: VID_FEDC&PID_BA98 found!!\n",
      "unknown: Port Name:COM7\n",
  };
  EXPECT_EQ(g_traces, expected);
}

TEST_F(PortDiscoveryTest, EmptyPortNameIsSkippedAndDoesNotEndTheList) {
  registry.AddDevice(kTuner + "1", "");
  registry.AddDevice(kTuner + "2", "COM5");
  ASSERT_EQ(Discover(), 0);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(ListAsText(list), "COM5||");
}

TEST_F(PortDiscoveryTest, NameThatNoLongerFitsIsSkippedAndShorterOnesStillGoIn) {
  // Three names of 255 bytes take 768 bytes; a fourth, with the list's closing NUL, would need
  // 1025.
  const std::string longName = "COM" + std::string(252, '7');
  for (int i = 0; i < 4; ++i) registry.AddDevice(kTuner + std::to_string(i), longName);
  registry.AddDevice(kTuner + "short", "COM5");
  ASSERT_EQ(Discover(), 0);
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(ListAsText(list), longName + "|" + longName + "|" + longName + "|COM5||");
  EXPECT_NE(
      std::find(g_traces.begin(), g_traces.end(), "unknown: Port list full: " + longName + "\n"),
      g_traces.end());
}

TEST_F(PortDiscoveryTest, OversizedLayoutNeverWritesBeyondTheList) {
  // Hundreds of instances with names of up to 261 bytes stored without a NUL.
  for (int i = 0; i < 400; ++i) {
    std::string instance = kTuner + std::to_string(i) + std::string(230, 'x');
    instance.resize(250 + i % 12, 'y');  // up to 261: the longest lose their last byte
    registry.AddDevice(instance,
                       "COM" + std::string(250 + i % 11, static_cast<char>('0' + i % 10)));
  }
  ASSERT_EQ(Discover(), 0);
  for (size_t i = kPortListSize; i < sizeof list; ++i) ASSERT_EQ(list[i], 0x55) << i;
  // Names are at most 260 bytes once terminated; only whole names go in, the list stays closed.
  unsigned seen = 0;
  size_t offset = 0;
  while (list[offset] != '\0') {
    const size_t length = std::strlen(list + offset);
    EXPECT_LE(length, 260u);
    offset += length + 1;
    ++seen;
  }
  EXPECT_EQ(seen, count);
  EXPECT_GT(count, 2u);
  EXPECT_LT(offset, size_t{kPortListSize});
}

// A sysfs tree as two maps: tty name -> its resolved directory, "dir/attribute" -> text.
class FakeTtyTree : public TtyTree {
 public:
  bool hasTtyClass = true;
  std::vector<std::pair<std::string, std::string>> ttys;  // in the directory's order
  std::map<std::string, std::string> attributes;

  // A tty below a USB device "/sys/devices/pci/usb1/<device>", interface <device>:1.<n>.
  void AddUsbTty(const std::string& name, const std::string& device, int interface,
                 const std::string& vendor = "fedc", const std::string& product = "ba98") {
    const std::string dir = "/sys/devices/pci/usb1/" + device;
    attributes[dir + "/idVendor"] = vendor + "\n";
    attributes[dir + "/idProduct"] = product + "\n";
    ttys.emplace_back(
        name, dir + "/" + device + ":1." + std::to_string(interface) + "/" + name + "/tty/" + name);
  }

  bool ListTtys(void (*visit)(void*, const char*), void* context) override {
    if (!hasTtyClass) return false;
    visit(context, ".");
    visit(context, "..");
    for (const auto& tty : ttys) visit(context, tty.first.c_str());
    return true;
  }
  bool TtyPath(const char* name, char* path, unsigned size) override {
    for (const auto& tty : ttys) {
      if (tty.first == name && tty.second.size() < size) {
        std::memcpy(path, tty.second.c_str(), tty.second.size() + 1);
        return true;
      }
    }
    return false;
  }
  bool ReadAttribute(const char* dir, const char* attribute, char* value, unsigned size) override {
    auto it = attributes.find(std::string(dir) + "/" + attribute);
    if (it == attributes.end()) return false;
    std::snprintf(value, size, "%s", it->second.c_str());
    return true;
  }
};

class UsbTtyDiscoveryTest : public ::testing::Test {
 protected:
  FakeLine line;  // collects the traces
  FakeTtyTree tree;
  char list[kPortListSize + 16];
  unsigned count = 0;

  void SetUp() override { std::memset(list, 0x55, sizeof list); }
  int Discover() { return ListUsbTunerTtys(tree, &count, list); }
};

TEST_F(UsbTtyDiscoveryTest, NoTtyClassFailsAndNoTunerIsAnEmptyList) {
  tree.hasTtyClass = false;
  EXPECT_EQ(Discover(), 1);
  tree.hasTtyClass = true;
  tree.AddUsbTty("ttyUSB0", "1-1", 0, "0403", "6001");
  tree.ttys.emplace_back("ttyS0", "/sys/devices/platform/serial8250/tty/ttyS0");
  tree.ttys.emplace_back("gone", "");  // a tty whose link does not resolve
  EXPECT_EQ(Discover(), 0);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(ListAsText(list), "|");
}

TEST_F(UsbTtyDiscoveryTest, TunersInUsbPortThenInterfaceOrderWhateverTheirNames) {
  tree.AddUsbTty("ttyUSB0", "1-1.10", 0);
  tree.AddUsbTty("ttyUSB1", "1-1.2", 1, "FEDC", "BA98");  // identifiers in upper case
  tree.AddUsbTty("ttyUSB2", "1-1.2", 0);
  tree.AddUsbTty("ttyUSB3", "1-1", 0, "fedc", "ba99");  // another product
  tree.AddUsbTty("ttyACM0", "2-1", 0);
  tree.AddUsbTty("ttyUSB4", "1-1.02", 3);  // "02" is port 2, after interface 1 of "1-1.2"
  EXPECT_EQ(Discover(), 0);
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(ListAsText(list), "/dev/ttyUSB2|/dev/ttyUSB1|/dev/ttyUSB4|/dev/ttyUSB0|/dev/ttyACM0||");
}

TEST_F(UsbTtyDiscoveryTest, ManyTunersNeverWriteBeyondTheList) {
  for (int i = 0; i < 200; ++i) {
    tree.AddUsbTty("ttyUSB" + std::to_string(i) + std::string(40, 'x'), "1-" + std::to_string(i),
                   0);
  }
  EXPECT_EQ(Discover(), 0);
  for (size_t i = kPortListSize; i < sizeof list; ++i) ASSERT_EQ(list[i], 0x55) << i;
  EXPECT_GT(count, 10u);
  EXPECT_LE(count, 32u);
}

}  // namespace
