// ListTunerPorts over a driver registry laid out by the input.
//
// Input: text lines. The first is the service key's "Count" (a decimal number; anything else:
// no Count value). Each further line is the instance stored under the next value name,
// "[flags:]instance path[=port name]", without "=" the device has no port name. Flags:
//   x   no value for this instance      k   no PortName          e   PortName access denied
//   z   the strings are stored without their NUL
//   iN  the instance path cut or padded with '0' to N bytes;  pN  the same for the port name
//   *N  the line stands for N instances; a '#' in path or name becomes the repetition's number.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FakeLine.h"
#include "FuzzCheck.h"
#include "PortDiscovery.h"

using namespace varnel;  // NOLINT: the library's internals under test

namespace {

constexpr long kNotFound = 2, kAccessDenied = 5, kMoreData = 234;
constexpr unsigned char kUnwritten = 0x55;
const char kTunerHardwareId[] = "VID_FEDC&PID_BA98";
const std::string kEnumRoot = "SYSTEM\\CurrentControlSet\\Enum\\";
const std::string kDeviceParameters = "\\Device Parameters";

struct Stored {
  std::string text;
  bool withoutNul = false;
  long failure = 0;
};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The text as discovery reads it back: at most 260 bytes, up to the first NUL.
std::string AsRead(const std::string& stored) {
  std::string text = stored.substr(0, kRegistryTextSize - 1);
  return text.substr(0, text.find('\0'));
}

// Copies a stored string as the registry does: the NUL too unless it was stored without it;
// "more data" when it does not fit.
long Read(const Stored& value, char* out, unsigned* size) {
  if (value.failure != 0) return value.failure;
  const size_t bytes = value.text.size() + (value.withoutNul ? 0 : 1);
  if (bytes > *size) {
    *size = static_cast<unsigned>(bytes);
    return kMoreData;
  }
  std::memcpy(out, value.text.c_str(), bytes);
  *size = static_cast<unsigned>(bytes);
  return 0;
}

class LaidOutRegistry : public DriverRegistry {
 public:
  bool hasCount = false;
  int count = 0;
  std::map<std::string, Stored> instances;  // value name -> instance path
  std::map<std::string, Stored> portNames;  // device key, lower case -> PortName

  int nextValue = 0;         // value names are asked for in order
  std::string instanceRead;  // the last instance path as discovery read it
  bool instanceOk = false;
  std::vector<bool> portAsked;
  std::vector<std::string> served;  // port names handed out, as discovery reads them

  long QueryCount(int* value) override {
    if (!hasCount) return kNotFound;
    *value = count;
    return 0;
  }
  long QueryInstancePath(const char* valueName, char* path, unsigned* size) override {
    FUZZ_CHECK(valueName == std::to_string(nextValue));
    FUZZ_CHECK(*size == kRegistryTextSize);
    ++nextValue;
    portAsked.push_back(false);
    instanceOk = false;
    auto it = instances.find(valueName);
    if (it == instances.end()) return kNotFound;
    const long status = Read(it->second, path, size);
    instanceOk = status == 0;
    instanceRead = AsRead(it->second.text);
    return status;
  }
  long QueryPortName(const char* deviceKey, char* name, unsigned* size) override {
    // Only for an instance just read, under the key built from its path.
    FUZZ_CHECK(instanceOk && !portAsked.empty() && !portAsked.back());
    FUZZ_CHECK(deviceKey == kEnumRoot + instanceRead + kDeviceParameters);
    FUZZ_CHECK(*size == kRegistryTextSize);
    portAsked.back() = true;
    auto it = portNames.find(Lower(deviceKey));  // registry keys ignore case
    if (it == portNames.end()) return kNotFound;
    const long status = Read(it->second, name, size);
    if (status == 0) served.push_back(AsRead(it->second.text));
    return status;
  }
};

std::string Substitute(std::string text, int number) {
  const std::string digits = std::to_string(number);
  for (size_t at = text.find('#'); at != std::string::npos; at = text.find('#', at)) {
    text.replace(at, 1, digits);
    at += digits.size();
  }
  return text;
}

// The number after flags[at], at most `limit`; -1 when there is none.
int NumberAfter(const std::string& flags, size_t at, int limit) {
  const char* start = flags.c_str() + at + 1;
  if (!std::isdigit(static_cast<unsigned char>(*start))) return -1;
  return static_cast<int>(std::min<long>(std::strtol(start, nullptr, 10), limit));
}

void LayOut(LaidOutRegistry& registry, const std::string& input) {
  std::vector<std::string> lines;
  for (size_t start = 0;;) {
    const size_t end = input.find('\n', start);
    lines.push_back(input.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  const char* countText = lines[0].c_str();
  char* countEnd = nullptr;
  const long count = std::strtol(countText, &countEnd, 10);
  registry.hasCount = countEnd != countText;
  registry.count = static_cast<int>(std::clamp(count, -10L, 300L));

  int value = 0;
  for (size_t l = 1; l < lines.size() && value < 300; ++l) {
    const std::string& line = lines[l];
    const size_t colon = line.find(':');
    const std::string flags = colon == std::string::npos ? "" : line.substr(0, colon);
    const std::string entry = colon == std::string::npos ? line : line.substr(colon + 1);
    const size_t equals = entry.find('=');
    const std::string path = entry.substr(0, equals);
    const bool hasPort = equals != std::string::npos;
    const std::string port = hasPort ? entry.substr(equals + 1) : "";
    int repeats = 1, pathLength = -1, portLength = -1;
    for (size_t f = 0; f < flags.size(); ++f) {
      if (flags[f] == '*') repeats = std::max(NumberAfter(flags, f, 300), 0);
      if (flags[f] == 'i') pathLength = NumberAfter(flags, f, 400);
      if (flags[f] == 'p') portLength = NumberAfter(flags, f, 400);
    }
    auto has = [&flags](char flag) { return flags.find(flag) != std::string::npos; };
    for (int r = 0; r < repeats && value < 300; ++r, ++value) {
      Stored instance{Substitute(path, r), has('z'), 0};
      if (pathLength >= 0) instance.text.resize(static_cast<size_t>(pathLength), '0');
      if (!has('x')) registry.instances[std::to_string(value)] = instance;
      if (!hasPort || has('k')) continue;
      Stored name{Substitute(port, r), has('z'), has('e') ? kAccessDenied : 0};
      if (portLength >= 0) name.text.resize(static_cast<size_t>(portLength), '0');
      registry.portNames[Lower(kEnumRoot + instance.text + kDeviceParameters)] = name;
    }
  }
}

bool IsAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FakeLine line;  // collects the traces, cleared for every input
  LaidOutRegistry registry;
  LayOut(registry, std::string(reinterpret_cast<const char*>(data), size));

  // Exactly kPortListSize bytes, so that ASan sees any byte written past the list.
  std::unique_ptr<unsigned char[]> bytes(new unsigned char[kPortListSize]);
  std::memset(bytes.get(), kUnwritten, kPortListSize);
  char* list = reinterpret_cast<char*>(bytes.get());
  unsigned count = 0;
  const int result = ListTunerPorts(registry, &count, list);

  if (!registry.hasCount) {
    FUZZ_CHECK(result == 1 && count == 0 && registry.nextValue == 0);
    for (unsigned i = 0; i < kPortListSize; ++i) FUZZ_CHECK(bytes[i] == kUnwritten);
    return 0;
  }
  FUZZ_CHECK(result == 0);
  FUZZ_CHECK(registry.nextValue == std::max(registry.count, 0));

  // Well formed: `count` names, each NUL-terminated, then the empty name, all inside the list;
  // nothing written after the closing NUL.
  std::vector<std::string> names;
  size_t offset = 0;
  for (;;) {
    const void* nul = std::memchr(list + offset, '\0', kPortListSize - offset);
    FUZZ_CHECK(nul != nullptr);
    const size_t length = static_cast<const char*>(nul) - (list + offset);
    if (length == 0) break;
    names.emplace_back(list + offset, length);
    offset += length + 1;
  }
  FUZZ_CHECK(names.size() == count);
  for (size_t i = offset + 1; i < kPortListSize; ++i) FUZZ_CHECK(bytes[i] == kUnwritten);
  for (unsigned n = 1; n <= count; ++n) FUZZ_CHECK(NthPortInList(n, list) == names[n - 1]);
  FUZZ_CHECK(*NthPortInList(count + 1, list) == '\0');

  // The names: those the registry handed out, in its order, each one that still fits.
  std::vector<std::string> expected;
  size_t end = 0;
  for (const std::string& name : registry.served) {
    if (name.empty() || end + name.size() + 2 > kPortListSize) continue;
    expected.push_back(name);
    end += name.size() + 1;
  }
  FUZZ_CHECK(names == expected);

  // Every readable ASCII instance path with the tuner's hardware identification, in any case,
  // had its port name asked for.
  for (int i = 0; i < registry.count; ++i) {
    auto it = registry.instances.find(std::to_string(i));
    if (it == registry.instances.end()) continue;
    const Stored& instance = it->second;
    if (instance.text.size() + (instance.withoutNul ? 0 : 1) > kRegistryTextSize) continue;
    const std::string path = AsRead(instance.text);
    std::string upper = path;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (IsAscii(path) && upper.find(kTunerHardwareId) != std::string::npos) {
      FUZZ_CHECK(registry.portAsked[static_cast<size_t>(i)]);
    }
  }
  return 0;
}
