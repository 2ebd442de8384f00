#include "PortDiscovery.h"

#include <cstdio>
#include <cstring>

#include "DebugTrace.h"
#include "TextMb.h"

namespace {

// The hardware identification of the tuner's USB-to-serial bridge inside an instance path.
const char kTunerHardwareId[] = "VID_FEDC&PID_BA98";
const char kEnumRoot[] = "SYSTEM\\CurrentControlSet\\Enum\\";
const char kDeviceParameters[] = "\\Device Parameters";

// A registry string need not carry its NUL; make sure the text ends inside the buffer.
void TerminateRegistryText(char* text, unsigned stored) {
  text[stored < kRegistryTextSize ? stored : kRegistryTextSize - 1] = '\0';
}

bool BelongsToTuner(const char* instancePath) {
  char upper[kRegistryTextSize];
  std::memcpy(upper, instancePath, sizeof upper);
  return MbFind(MbUpper(upper), kTunerHardwareId) != nullptr;
}

// Appends `name` and the list's closing NUL at `*end`, if both fit in the list.
bool AppendPortName(char* list, unsigned* end, const char* name) {
  const size_t length = std::strlen(name);
  if (*end + length + 2 > kPortListSize) return false;
  std::memcpy(list + *end, name, length + 1);
  *end += static_cast<unsigned>(length) + 1;
  list[*end] = '\0';
  return true;
}

}  // namespace

int ListTunerPorts(DriverRegistry& registry, unsigned* count, char* list) {
  int instances = 0;
  if (registry.QueryCount(&instances) != 0) {
    DebugTrace("COM not found!\n");
    return 1;
  }
  DebugTrace("Count:%d\n", instances);
  list[0] = '\0';
  unsigned end = 0;  // offset of the list's closing NUL

  for (int i = 0; i < instances; ++i) {
    char valueName[16];
    std::snprintf(valueName, sizeof valueName, "%d", i);
    char instancePath[kRegistryTextSize];
    unsigned size = kRegistryTextSize;
    if (registry.QueryInstancePath(valueName, instancePath, &size) != 0) {
      DebugTrace("Error\n");
      continue;
    }
    TerminateRegistryText(instancePath, size);
    DebugTrace("%d:%s\n", i, instancePath);
    if (!BelongsToTuner(instancePath)) continue;
    DebugTrace("%s found!!\n", kTunerHardwareId);

    char deviceKey[sizeof kEnumRoot + kRegistryTextSize + sizeof kDeviceParameters];
    std::snprintf(deviceKey, sizeof deviceKey, "%s%s%s", kEnumRoot, instancePath,
                  kDeviceParameters);
    char portName[kRegistryTextSize];
    size = kRegistryTextSize;
    if (registry.QueryPortName(deviceKey, portName, &size) != 0) {
      DebugTrace("Error2\n");
      continue;
    }
    TerminateRegistryText(portName, size);
    DebugTrace("Port Name:%s\n", portName);
    if (portName[0] == '\0') continue;  // an empty name would end the list before the others
    if (AppendPortName(list, &end, portName)) {
      ++*count;
    } else {
      DebugTrace("Port list full: %s\n", portName);
    }
  }
  return 0;
}

char* NthPortInList(unsigned n, char* list) {
  if (list == nullptr) return nullptr;
  char* name = list;
  // The empty name that ends the list is never stepped over.
  for (; n > 1 && *name != '\0'; --n) name += std::strlen(name) + 1;
  return name;
}
