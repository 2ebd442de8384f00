#include "PortDiscovery.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "DebugTrace.h"
#include "TextMb.h"

namespace varnel {

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

// Appends `name` and counts it; a name that no longer fits is traced and left out.
void AddPortName(char* list, unsigned* end, unsigned* count, const char* name) {
  if (AppendPortName(list, end, name)) {
    ++*count;
  } else {
    DebugTrace("Port list full: %s\n", name);
  }
}

// The tuner's USB identity as its USB device lists it (hexadecimal, compared without case).
const char kTunerVendor[] = "fedc";
const char kTunerProduct[] = "ba98";
const char kTtyDevicePrefix[] = "/dev/";
constexpr unsigned kTreePathSize = 384;
constexpr unsigned kTtyNameSize = 64;
// Tuner ttys kept in one discovery (16 KB of stack); a list of 1024 bytes holds about as many
// names of the usual length.
constexpr unsigned kMaxUsbTtys = 32;

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The attribute's text, its end trimmed (TrimEnd), without the blanks before it equals
// `expected`, case aside.
bool SameId(const char* text, const char* expected) {
  while (*text == ' ' || *text == '\t') ++text;
  for (; *expected != '\0'; ++text, ++expected) {
    if (AsciiLower(*text) != AsciiLower(*expected)) return false;
  }
  return *text == '\0';
}

// Drops the line end (and blanks) sysfs puts after an attribute's value.
void TrimEnd(char* text) {
  size_t length = std::strlen(text);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' ||
                        text[length - 1] == ' ' || text[length - 1] == '\t')) {
    text[--length] = '\0';
  }
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Orders names the way "1-1.2" < "1-1.10" and "1-2:1.0" < "1-2:1.1": runs of digits compare as
// numbers, other characters as bytes.
int CompareNatural(const char* a, const char* b) {
  while (*a != '\0' && *b != '\0') {
    if (IsDigit(*a) && IsDigit(*b)) {
      while (*a == '0' && IsDigit(a[1])) ++a;
      while (*b == '0' && IsDigit(b[1])) ++b;
      size_t lengthA = 0, lengthB = 0;
      while (IsDigit(a[lengthA])) ++lengthA;
      while (IsDigit(b[lengthB])) ++lengthB;
      if (lengthA != lengthB) return lengthA < lengthB ? -1 : 1;
      const int digits = std::strncmp(a, b, lengthA);
      if (digits != 0) return digits;
      a += lengthA;
      b += lengthB;
      continue;
    }
    if (*a != *b) return static_cast<unsigned char>(*a) < static_cast<unsigned char>(*b) ? -1 : 1;
    ++a;
    ++b;
  }
  return (*a == '\0' ? 0 : 1) - (*b == '\0' ? 0 : 1);
}

const char* LastComponent(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash != nullptr ? slash + 1 : path;
}

struct UsbTty {
  char device[kTreePathSize];    // the USB device's directory
  char interface[kTtyNameSize];  // the directory below it on the way to the tty
  char name[kTtyNameSize];
};

int CompareUsbTtys(const UsbTty& a, const UsbTty& b) {
  int order = CompareNatural(LastComponent(a.device), LastComponent(b.device));
  if (order == 0) order = CompareNatural(a.device, b.device);
  if (order == 0) order = CompareNatural(a.interface, b.interface);
  if (order == 0) order = CompareNatural(a.name, b.name);
  return order;
}

struct TtyScan {
  TtyTree* tree;
  UsbTty found[kMaxUsbTtys];
  unsigned count;
};

// Walks up from the tty's directory to the first one that holds idVendor and idProduct, and keeps
// the tty when that device is the tuner.
void ExamineTty(void* context, const char* name) {
  TtyScan& scan = *static_cast<TtyScan*>(context);
  if (name[0] == '.' || std::strlen(name) >= kTtyNameSize) return;
  char path[kTreePathSize];
  if (!scan.tree->TtyPath(name, path, sizeof path)) return;
  size_t end = std::strlen(path);
  for (;;) {
    size_t slash = end;
    while (slash > 0 && path[slash - 1] != '/') --slash;
    if (slash <= 1) return;  // the root: no USB device above this tty
    --slash;                 // path[slash] is the '/' before the last component
    char dir[kTreePathSize];
    std::memcpy(dir, path, slash);
    dir[slash] = '\0';
    char vendor[32], product[32];
    if (scan.tree->ReadAttribute(dir, "idVendor", vendor, sizeof vendor) &&
        scan.tree->ReadAttribute(dir, "idProduct", product, sizeof product)) {
      TrimEnd(vendor);
      TrimEnd(product);
      DebugTrace("%s: USB %s:%s\n", name, vendor, product);
      if (!SameId(vendor, kTunerVendor) || !SameId(product, kTunerProduct)) return;
      if (scan.count == kMaxUsbTtys) {
        DebugTrace("Too many ports: %s\n", name);
        return;
      }
      UsbTty& tty = scan.found[scan.count++];
      std::snprintf(tty.device, sizeof tty.device, "%s", dir);
      const char* child = path + slash + 1;
      const char* childEnd = std::strchr(child, '/');
      const int length =
          static_cast<int>(childEnd != nullptr ? childEnd - child : std::strlen(child));
      std::snprintf(tty.interface, sizeof tty.interface, "%.*s", length, child);
      std::snprintf(tty.name, sizeof tty.name, "%s", name);
      return;
    }
    end = slash;
  }
}

}  // namespace

int ListUsbTunerTtys(TtyTree& tree, unsigned* count, char* list) {
  TtyScan scan;
  scan.tree = &tree;
  scan.count = 0;
  if (!tree.ListTtys(ExamineTty, &scan)) {
    DebugTrace("COM not found!\n");
    return 1;
  }
  // Insertion sort: a handful of ports.
  for (unsigned i = 1; i < scan.count; ++i) {
    for (unsigned j = i; j > 0 && CompareUsbTtys(scan.found[j], scan.found[j - 1]) < 0; --j) {
      std::swap(scan.found[j], scan.found[j - 1]);
    }
  }
  DebugTrace("Count:%u\n", scan.count);
  list[0] = '\0';
  unsigned end = 0;
  for (unsigned i = 0; i < scan.count; ++i) {
    char portName[sizeof kTtyDevicePrefix + kTtyNameSize];
    std::snprintf(portName, sizeof portName, "%s%s", kTtyDevicePrefix, scan.found[i].name);
    DebugTrace("Port Name:%s\n", portName);
    AddPortName(list, &end, count, portName);
  }
  return 0;
}

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
    AddPortName(list, &end, count, portName);
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

}  // namespace varnel
