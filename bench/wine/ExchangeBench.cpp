// Three varnel calls, each timed side by side with its floor: the same platform calls, in the same
// order, made straight from this program with nothing between them but what they need. A call of
// the library takes the library lock, probes for the transcript file, asks the system's version,
// finds the tuner's port in the driver's registry entries (tracing what it finds to the debugger),
// probes for the transcript again, opens and configures the port, writes the command, reads the
// reply one byte at a time up to "OK" CR, and closes the port. The floor does exactly that and no
// more, so the ratio shows what the library costs beyond the platform work it cannot avoid. The
// simulated tuner answers at once, so the figures are dominated by the platform calls.
//
//   exchange_bench.exe [rounds]   time the calls: medians of interleaved rounds (default 1000)
//   exchange_bench.exe --calls    make each call and its floor once, between marker traces, for
//                                 a comparison of their platform calls (run-wine-bench.sh --calls)
//
// Run under run-under-wine.sh with one simulated tuner and the driver's entries for it.
#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "varnel.h"

namespace {

// What the floor knows of the driver's registry entries and the port's settings.
const char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\QDVSER\\Enum";
const char kEnumRoot[] = "SYSTEM\\CurrentControlSet\\Enum\\";
const char kDeviceParameters[] = "\\Device Parameters";
const char kTunerHardwareId[] = "VID_FEDC&PID_BA98";
const char kLogFileName[] = "logfile.txt";
const char kFlowHardware[] = "\x83\x6E\x81\x5B\x83\x68\x83\x45\x83\x46\x83\x41";  // ハードウェア
constexpr unsigned kTextSize = 261;
constexpr unsigned kReplySize = 1024;

CRITICAL_SECTION g_floorLock;  // the floor's counterpart of the library lock

void Trace(const char* format, ...) {
  static const char kPrefix[] = "unknown: ";
  char line[1024];
  std::memcpy(line, kPrefix, sizeof kPrefix);
  const size_t used = sizeof kPrefix - 1;
  va_list args;
  va_start(args, format);
  std::vsnprintf(line + used, sizeof line - used, format, args);
  va_end(args);
  OutputDebugStringA(line);
}

// Steps over one character of the ANSI code page.
const char* NextChar(const char* p) {
  return IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != '\0' ? p + 2 : p + 1;
}

// Multibyte-aware search, as the tuner's texts need.
const char* FindText(const char* text, const char* key) {
  const size_t length = std::strlen(key);
  for (const char* p = text; *p != '\0'; p = NextChar(p)) {
    if (std::strncmp(p, key, length) == 0) return p;
  }
  return nullptr;
}

// Upper-cases the instance path in place, multibyte-aware, and looks for the tuner's hardware
// identification in it.
bool IsTunerInstance(char* path) {
  for (char* p = path; *p != '\0'; p = const_cast<char*>(NextChar(p))) {
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
  }
  return FindText(path, kTunerHardwareId) != nullptr;
}

HANDLE OpenTranscript() {
  return CreateFileA(kLogFileName, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                     TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void CloseIfOpen(HANDLE& handle) {
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  handle = INVALID_HANDLE_VALUE;
}

// Discovery: the version query, then the driver's instances and their port names, traced. The
// first tuner port found goes to `port`; the number of them is returned, -1 when "Count" is
// unreadable.
int DiscoverPorts(char* port) {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExA(&version);
  if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) return -1;
  HKEY service = nullptr;
  RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServiceKey, 0, KEY_QUERY_VALUE, &service);
  int instances = 0;
  DWORD size = sizeof instances;
  if (service == nullptr ||
      RegQueryValueExA(service, "Count", nullptr, nullptr, reinterpret_cast<BYTE*>(&instances),
                       &size) != ERROR_SUCCESS) {
    Trace("COM not found!\n");
    if (service != nullptr) RegCloseKey(service);
    return -1;
  }
  Trace("Count:%d\n", instances);
  int found = 0;
  for (int i = 0; i < instances; ++i) {
    char valueName[16];
    std::snprintf(valueName, sizeof valueName, "%d", i);
    char path[kTextSize];
    size = kTextSize;
    if (RegQueryValueExA(service, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(path),
                         &size) != ERROR_SUCCESS) {
      Trace("Error\n");
      continue;
    }
    path[size < kTextSize ? size : kTextSize - 1] = '\0';
    Trace("%d:%s\n", i, path);
    char upper[kTextSize];
    std::memcpy(upper, path, sizeof upper);
    if (!IsTunerInstance(upper)) continue;
    Trace("%s found!!\n", kTunerHardwareId);
    char deviceKey[sizeof kEnumRoot + kTextSize + sizeof kDeviceParameters];
    std::snprintf(deviceKey, sizeof deviceKey, "%s%s%s", kEnumRoot, path, kDeviceParameters);
    HKEY device = nullptr;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, deviceKey, 0, KEY_QUERY_VALUE, &device);
    char name[kTextSize];
    size = kTextSize;
    const LONG status = RegQueryValueExA(device, "PortName", nullptr, nullptr,
                                         reinterpret_cast<BYTE*>(name), &size);
    if (device != nullptr) RegCloseKey(device);
    if (status != ERROR_SUCCESS) {
      Trace("Error2\n");
      continue;
    }
    name[size < kTextSize ? size : kTextSize - 1] = '\0';
    Trace("Port Name:%s\n", name);
    if (found++ == 0) std::snprintf(port, kTextSize, "%s", name);
  }
  RegCloseKey(service);
  return found;
}

// Opens the port as the tuner needs it: 115200 baud 8N1, CTS/DSR handshaking, DTR and RTS up,
// 5 s a byte for reads, and a bound on writes when the driver has none.
HANDLE OpenPort(const char* name, const char* flowControl) {
  char path[4 + kTextSize];
  std::snprintf(path, sizeof path, "\\\\.\\%s", name);
  HANDLE port = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (port == INVALID_HANDLE_VALUE) return port;
  SetupComm(port, 4096, 4096);
  PurgeComm(port, PURGE_TXCLEAR | PURGE_RXCLEAR);
  COMMTIMEOUTS timeouts;
  GetCommTimeouts(port, &timeouts);
  timeouts.ReadIntervalTimeout = 0;
  timeouts.ReadTotalTimeoutMultiplier = 5000;
  timeouts.ReadTotalTimeoutConstant = 0;
  if (timeouts.WriteTotalTimeoutMultiplier == 0 && timeouts.WriteTotalTimeoutConstant == 0) {
    timeouts.WriteTotalTimeoutConstant = 5000;
  }
  SetCommTimeouts(port, &timeouts);
  DCB line = {};
  line.DCBlength = sizeof line;
  GetCommState(port, &line);
  line.BaudRate = 115200;
  line.ByteSize = 8;
  line.Parity = NOPARITY;
  line.StopBits = ONESTOPBIT;
  if (lstrcmpA(flowControl, kFlowHardware) == 0) {
    line.fOutxCtsFlow = TRUE;
    line.fOutxDsrFlow = TRUE;
  }
  line.fDtrControl = DTR_CONTROL_ENABLE;
  line.fRtsControl = RTS_CONTROL_ENABLE;
  SetCommState(port, &line);
  return port;
}

// Writes the command and reads the reply one byte at a time up to "OK" CR. Its length, 0 when
// it did not come.
unsigned Exchange(HANDLE port, const char* command, char* reply) {
  DWORD written = 0;
  WriteFile(port, command, static_cast<DWORD>(std::strlen(command)), &written, nullptr);
  std::memset(reply, 0, kReplySize);
  unsigned n = 0;
  int idle = 0;
  while (n + 1 < kReplySize && idle < 7) {
    DWORD got = 0;
    if (!ReadFile(port, reply + n, 1, &got, nullptr)) return 0;
    if (got == 0 || reply[n] == '\0') {
      ++idle;
      continue;
    }
    idle = 0;
    if (reply[n] == '\r' && n >= 2 && reply[n - 2] == 'O' && reply[n - 1] == 'K') return n + 1;
    ++n;
  }
  return 0;
}

// One call's platform work around the exchange `command`: lock, transcript probe, discovery,
// transcript probe, open and configure, exchange, `use` of the reply, close. False when the reply
// did not come or `use` found nothing.
bool FloorCall(const char* command, bool (*use)(const char* reply)) {
  EnterCriticalSection(&g_floorLock);
  HANDLE transcript = OpenTranscript();
  HANDLE port = INVALID_HANDLE_VALUE;
  char name[kTextSize];
  bool ok = DiscoverPorts(name) >= 1;
  if (ok) {
    CloseIfOpen(transcript);
    transcript = OpenTranscript();
    port = OpenPort(name, kFlowHardware);
    char reply[kReplySize];
    ok = port != INVALID_HANDLE_VALUE && Exchange(port, command, reply) != 0 && use(reply);
  }
  CloseIfOpen(transcript);
  CloseIfOpen(port);
  LeaveCriticalSection(&g_floorLock);
  return ok;
}

bool IgnoreReply(const char*) {
  return true;
}

// The figure in parentheses after "BitErrorRate=", traced.
bool TraceBitErrors(const char* reply) {
  const char* p = FindText(reply, "BitErrorRate=");
  if (p == nullptr) return false;
  while (*p != '\0' && *p != '(') p = NextChar(p);
  if (*p != '(') return false;
  Trace("BER:%d\n", static_cast<int>(std::strtoul(p + 1, nullptr, 10)));
  return true;
}

bool FloorSetChannel() {
  return FloorCall("REMOTE 8\r", IgnoreReply);
}

// GetStatus without the power query: one GETSTAT.
bool FloorGetStatus() {
  return FloorCall("GETSTAT\r", TraceBitErrors);
}

// GetCount: lock, transcript probe, discovery.
bool FloorGetCount() {
  EnterCriticalSection(&g_floorLock);
  HANDLE transcript = OpenTranscript();
  char name[kTextSize];
  const int count = DiscoverPorts(name);
  CloseIfOpen(transcript);
  LeaveCriticalSection(&g_floorLock);
  return count == 1;
}

bool VarnelSetChannel() {
  return VARNEL_SetChannel(1, 1) == 0;  // button 1: REMOTE 8
}

bool VarnelGetStatus() {
  int lock = 0;
  return VARNEL_GetStatus(1, nullptr, &lock) == 0;
}

bool VarnelGetCount() {
  int count = 0;
  return VARNEL_GetCount(&count) == 0 && count == 1;
}

struct Measured {
  const char* name;
  bool (*library)();
  bool (*floor)();
  std::vector<double> libraryTimes, floorTimes, ratios;
};

double Now() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / frequency;
}

// The value below which the fraction `q` of the values lie, interpolated between neighbours.
double Quantile(std::vector<double> values, double q) {
  std::sort(values.begin(), values.end());
  const double position = q * static_cast<double>(values.size() - 1);
  const size_t below = static_cast<size_t>(position);
  if (below + 1 >= values.size()) return values.back();
  const double fraction = position - static_cast<double>(below);
  return values[below] + fraction * (values[below + 1] - values[below]);
}

double Median(const std::vector<double>& values) {
  return Quantile(values, 0.5);
}

double Timed(bool (*call)(), int* failures) {
  const double start = Now();
  if (!call()) ++*failures;
  return Now() - start;
}

// Each call and its floor once, between marker traces that the comparison splits on.
int MarkedCalls(Measured* calls, size_t count) {
  int failures = 0;
  for (size_t i = 0; i < count; ++i) {
    calls[i].library();  // a first call sets up what later calls find ready, on both sides
    calls[i].floor();
  }
  for (size_t i = 0; i < count; ++i) {
    char marker[64];
    std::snprintf(marker, sizeof marker, "bench: varnel %s", calls[i].name);
    OutputDebugStringA(marker);
    if (!calls[i].library()) ++failures;
    std::snprintf(marker, sizeof marker, "bench: floor %s", calls[i].name);
    OutputDebugStringA(marker);
    if (!calls[i].floor()) ++failures;
  }
  OutputDebugStringA("bench: end");
  std::printf("failed calls: %d\n", failures);
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  InitializeCriticalSection(&g_floorLock);
  Measured calls[] = {
      {"SetChannel", VarnelSetChannel, FloorSetChannel, {}, {}, {}},
      {"GetStatus", VarnelGetStatus, FloorGetStatus, {}, {}, {}},
      {"GetCount", VarnelGetCount, FloorGetCount, {}, {}, {}},
  };
  if (argc > 1 && std::strcmp(argv[1], "--calls") == 0) {
    return MarkedCalls(calls, sizeof calls / sizeof calls[0]);
  }
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 1000;
  if (rounds < 1) {
    std::printf("usage: exchange_bench.exe [rounds | --calls]\n");
    return 2;
  }

  int failures = 0;
  for (Measured& m : calls) {  // warm-up, not counted
    Timed(m.library, &failures);
    Timed(m.floor, &failures);
  }
  for (int round = 0; round < rounds; ++round) {
    for (Measured& m : calls) {
      // Interleaved, the first of the pair alternating, so both see the same machine.
      double library, floor;
      if (round % 2 == 0) {
        library = Timed(m.library, &failures);
        floor = Timed(m.floor, &failures);
      } else {
        floor = Timed(m.floor, &failures);
        library = Timed(m.library, &failures);
      }
      m.libraryTimes.push_back(library);
      m.floorTimes.push_back(floor);
      m.ratios.push_back(library / floor);
    }
  }

  std::printf("%d-bit build, %d rounds, failed calls: %d\n", static_cast<int>(8 * sizeof(void*)),
              rounds, failures);
  std::printf("%-12s %11s %11s %7s %14s %15s\n", "call", "varnel", "floor", "ratio", "paired ratio",
              "its quartiles");
  for (const Measured& m : calls) {
    const double library = Median(m.libraryTimes), floor = Median(m.floorTimes);
    std::printf("%-12s %8.1f us %8.1f us %7.3f %14.3f %7.3f-%.3f\n", m.name, 1e6 * library,
                1e6 * floor, library / floor, Median(m.ratios), Quantile(m.ratios, 0.25),
                Quantile(m.ratios, 0.75));
  }
  std::printf(
      "ratio: median time of varnel over median time of the floor; paired ratio: median of\n"
      "the rounds' own ratios, with its quartiles. SetChannel sends REMOTE 8 (3-byte reply),\n"
      "GetStatus one GETSTAT (no power query), GetCount only discovers. Times include the\n"
      "simulator's answer.\n");
  return failures == 0 ? 0 : 1;
}
