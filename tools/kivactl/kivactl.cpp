// The kivactl stand-in: a development and test stand-in for the closed device-control library
// that ostrin imports, never shipped. It simulates attached USB tuners well enough for ostrin's
// integration tests and records every call made into it (see kivactl_control.h).
//
// How the pipe works here: a send (direction 1) appends its bytes to the device's command line;
// each CR ends a command, and "getstat" queues the reply. A receive (direction 0) hands out the
// next piece of the queued reply, as the chunk plan says, never more than 128 bytes: that is the
// size of the device's packets, and of the buffer ostrin receives into. On a receive the length
// and the fourth value (10 and 10 from ostrin) are logged but do not limit the packet; the
// fourth value on a send (1000) would be a time-out, and nothing here waits.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <sstream>
#include <string>

#include "../../ostrin/kivactl.h"
#include "kivactl_control.h"

namespace {

constexpr unsigned kPacketSize = 128;
constexpr int kButtons = 12;

struct RemoteKey {
  unsigned short key;
  int button;  // 1 ... 12; 0 channel up, -1 channel down
};

constexpr RemoteKey kRemoteKeys[] = {
    {0x1F38, 1}, {0x1F39, 2}, {0x1F3A, 3},  {0x1F3B, 4},  {0x1F3C, 5},  {0x1F3D, 6}, {0x1F3E, 7},
    {0x1F3F, 8}, {0x1F40, 9}, {0x1F41, 10}, {0x1F42, 11}, {0x1F43, 12}, {0x1F47, 0}, {0x1F4A, -1},
};

struct Forced {
  int result;
  int calls;  // KIVASIM_ALWAYS or the number of calls left
};

struct Device {
  int count = 1;
  int selected = 0;
  bool initialised = false;
  bool powered = true;
  bool signal = true;
  int channel = 1;  // 1 ... 12: button n tunes channel n
  int fixedStatus = -1;
  bool customReply = false;
  std::string reply;
  bool silent = false;
  std::deque<int> chunkPlan;
  std::string commandLine;
  std::string pending;  // what is left of the queued reply
  std::map<std::string, Forced> forced;
  std::string callLog;
  std::string sent;
};

// A program under test in a process of its own (tunerctl end to end) cannot call the KivaSim_
// controls; it sets the stand-in up through its environment instead, read when the DLL loads:
//   KIVASIM_SETUP     blank-separated words: count=N, status=N (the first status byte),
//                     silent, reply=HEX (the getstat reply's bytes in hexadecimal),
//                     fail=FUNCTION:RESULT (every call of FUNCTION returns RESULT)
//   KIVASIM_CALL_LOG  a file that receives the call log when the DLL unloads
// KivaSim_Reset still returns to the plain state of kivactl_control.h.
std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(std::strtol(hex.substr(i, 2).c_str(), nullptr, 16));
  }
  return bytes;
}

Device DeviceFromEnvironment() {
  Device device;
  const char* setup = std::getenv("KIVASIM_SETUP");
  std::istringstream words(setup != nullptr ? setup : "");
  std::string word;
  while (words >> word) {
    const size_t equals = word.find('=');
    const std::string key = word.substr(0, equals);
    const std::string value = equals == std::string::npos ? "" : word.substr(equals + 1);
    if (key == "count") device.count = std::atoi(value.c_str());
    if (key == "status") device.fixedStatus = std::atoi(value.c_str()) & 0xFF;
    if (key == "silent") device.silent = true;
    if (key == "reply") {
      device.customReply = true;
      device.reply = FromHex(value);
    }
    const size_t colon = value.find(':');
    if (key == "fail" && colon != std::string::npos) {
      device.forced[value.substr(0, colon)] =
          Forced{std::atoi(value.substr(colon + 1).c_str()), KIVASIM_ALWAYS};
    }
  }
  return device;
}

std::mutex g_mutex;
Device g_device = DeviceFromEnvironment();

// Writes the call log to KIVASIM_CALL_LOG when the DLL unloads (after the program's last call).
struct CallLogAtUnload {
  ~CallLogAtUnload() {
    const char* path = std::getenv("KIVASIM_CALL_LOG");
    if (path == nullptr) return;
    if (FILE* file = std::fopen(path, "wb")) {
      std::fwrite(g_device.callLog.data(), 1, g_device.callLog.size(), file);
      std::fclose(file);
    }
  }
} g_callLogAtUnload;

// Logs the call and says whether a forced result replaces it.
bool Enter(const char* function, const char* arguments, int* forcedResult) {
  g_device.callLog += function;
  if (arguments[0] != '\0') g_device.callLog += std::string(" ") + arguments;
  g_device.callLog += '\n';
  auto found = g_device.forced.find(function);
  if (found == g_device.forced.end()) return false;
  *forcedResult = found->second.result;
  if (found->second.calls != KIVASIM_ALWAYS && --found->second.calls == 0) {
    g_device.forced.erase(found);
  }
  return true;
}

std::string Arguments(const char* format, int a = 0, int b = 0, int c = 0) {
  char text[64];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

std::string CurrentReply() {
  if (g_device.customReply) return g_device.reply;
  char text[96];
  std::snprintf(text, sizeof text, "CHANNEL:%03d\r\nPROGRAM:Programme %d\r\nOK\r\n",
                g_device.channel, g_device.channel);
  return text;
}

void RunCommand(const std::string& command) {
  if (command == "getstat" && !g_device.silent) g_device.pending = CurrentReply();
}

int CopyOut(const std::string& text, char* out, int capacity) {
  if (out != nullptr && capacity > 0) {
    const size_t n = text.size() < static_cast<size_t>(capacity - 1)
                         ? text.size()
                         : static_cast<size_t>(capacity - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
  }
  return static_cast<int>(text.size());
}

}  // namespace

extern "C" {

int KIVACTL_CALL DevCtrl_GetEnumDevice(int* count) {
  std::lock_guard<std::mutex> guard(g_mutex);
  int forced = 0;
  if (Enter("DevCtrl_GetEnumDevice", "", &forced)) return forced;
  if (count == nullptr) return -1;
  *count = g_device.count;
  return 0;
}

int KIVACTL_CALL DevCtrl_SetGetEnumDevice(int index) {
  std::lock_guard<std::mutex> guard(g_mutex);
  int forced = 0;
  if (Enter("DevCtrl_SetGetEnumDevice", Arguments("%d", index).c_str(), &forced)) return forced;
  g_device.selected = index;
  return 0;
}

int KIVACTL_CALL KivaDevCtrl_Initialize() {
  std::lock_guard<std::mutex> guard(g_mutex);
  int forced = 0;
  if (Enter("KivaDevCtrl_Initialize", "", &forced)) return forced;
  if (g_device.initialised) return -1;  // busy
  if (g_device.count == 0) return -2;
  if (g_device.selected < 1 || g_device.selected > g_device.count) return -1;
  g_device.initialised = true;
  g_device.commandLine.clear();
  g_device.pending.clear();
  return 0;
}

int KIVACTL_CALL KivaDevCtrl_Uninitialize() {
  std::lock_guard<std::mutex> guard(g_mutex);
  int forced = 0;
  if (Enter("KivaDevCtrl_Uninitialize", "", &forced)) return forced;
  if (!g_device.initialised) return -1;
  g_device.initialised = false;
  return 0;
}

int KIVACTL_CALL KivaDevCtrl_SetSTi7710Power(int unit, int on) {
  std::lock_guard<std::mutex> guard(g_mutex);
  int forced = 0;
  if (Enter("KivaDevCtrl_SetSTi7710Power", Arguments("%d %d", unit, on).c_str(), &forced)) {
    return forced;
  }
  if (!g_device.initialised || unit != 0) return -1;
  g_device.powered = on != 0;
  return 0;
}

int KIVACTL_CALL KivaDevCtrl_SendRemoteCommand(int unit, unsigned short key) {
  std::lock_guard<std::mutex> guard(g_mutex);
  int forced = 0;
  if (Enter("KivaDevCtrl_SendRemoteCommand", Arguments("%d 0x%04X", unit, key).c_str(), &forced)) {
    return forced;
  }
  if (!g_device.initialised || unit != 0) return -1;
  for (const RemoteKey& entry : kRemoteKeys) {
    if (entry.key != key) continue;
    if (entry.button > 0) g_device.channel = entry.button;
    if (entry.button == 0) g_device.channel = g_device.channel % kButtons + 1;
    if (entry.button == -1) g_device.channel = (g_device.channel + kButtons - 2) % kButtons + 1;
    return 0;
  }
  return -1;  // not a key of the remote
}

int KIVACTL_CALL KivaDevCtrl_GetStatus(int unit, unsigned char* status, unsigned char* second,
                                       unsigned char* third) {
  std::lock_guard<std::mutex> guard(g_mutex);
  int forced = 0;
  if (Enter("KivaDevCtrl_GetStatus", Arguments("%d", unit).c_str(), &forced)) return forced;
  if (!g_device.initialised || unit != 0) return -1;
  if (status == nullptr || second == nullptr || third == nullptr) return -1;
  if (g_device.fixedStatus >= 0) {
    *status = static_cast<unsigned char>(g_device.fixedStatus);
  } else {
    *status = static_cast<unsigned char>((g_device.powered ? 0x80 : 0) |
                                         (g_device.powered && g_device.signal ? 0x40 : 0));
  }
  *second = static_cast<unsigned char>(g_device.channel);  // the channel, for what it is worth
  *third = 0;
  return 0;
}

int KIVACTL_CALL KivaDevCtrl_AccessFlashROM(int direction, char* buffer, int length, int fourth,
                                            unsigned* transferred) {
  std::lock_guard<std::mutex> guard(g_mutex);
  int forced = 0;
  if (Enter("KivaDevCtrl_AccessFlashROM", Arguments("%d %d %d", direction, length, fourth).c_str(),
            &forced)) {
    return forced;
  }
  if (!g_device.initialised || buffer == nullptr || transferred == nullptr || length < 0) {
    return -1;
  }
  if (direction == 1) {
    const std::string bytes(buffer, static_cast<size_t>(length));
    g_device.sent += bytes;
    for (char c : bytes) {
      if (c != '\r') {
        g_device.commandLine += c;
        continue;
      }
      RunCommand(g_device.commandLine);
      g_device.commandLine.clear();
    }
    *transferred = static_cast<unsigned>(length);
    return 0;
  }
  if (direction != 0) return -1;
  *transferred = 0;
  if (g_device.pending.empty()) return 0;
  size_t size = kPacketSize;
  if (!g_device.chunkPlan.empty()) {
    const int planned = g_device.chunkPlan.front();
    g_device.chunkPlan.pop_front();
    size = planned < 0 ? 0 : static_cast<size_t>(planned);
  }
  if (size > kPacketSize) size = kPacketSize;
  if (size > g_device.pending.size()) size = g_device.pending.size();
  std::memcpy(buffer, g_device.pending.data(), size);
  g_device.pending.erase(0, size);
  *transferred = static_cast<unsigned>(size);
  return 0;
}

void KIVASIM_CALL KivaSim_Reset(void) {
  std::lock_guard<std::mutex> guard(g_mutex);
  g_device = Device();
}

void KIVASIM_CALL KivaSim_SetDeviceCount(int count) {
  std::lock_guard<std::mutex> guard(g_mutex);
  g_device.count = count;
}

void KIVASIM_CALL KivaSim_ForceResult(const char* function, int result, int calls) {
  std::lock_guard<std::mutex> guard(g_mutex);
  if (function == nullptr) return;
  if (calls == 0) {
    g_device.forced.erase(function);
    return;
  }
  g_device.forced[function] = Forced{result, calls < 0 ? KIVASIM_ALWAYS : calls};
}

void KIVASIM_CALL KivaSim_SetStatus(int status) {
  std::lock_guard<std::mutex> guard(g_mutex);
  g_device.fixedStatus = status < 0 ? -1 : (status & 0xFF);
}

void KIVASIM_CALL KivaSim_SetReply(const char* text) {
  std::lock_guard<std::mutex> guard(g_mutex);
  g_device.customReply = text != nullptr;
  g_device.reply = text != nullptr ? text : "";
}

void KIVASIM_CALL KivaSim_SetChunking(const int* sizes, int count) {
  std::lock_guard<std::mutex> guard(g_mutex);
  g_device.chunkPlan.clear();
  for (int i = 0; sizes != nullptr && i < count; ++i) g_device.chunkPlan.push_back(sizes[i]);
}

void KIVASIM_CALL KivaSim_SetSilent(int silent) {
  std::lock_guard<std::mutex> guard(g_mutex);
  g_device.silent = silent != 0;
}

int KIVASIM_CALL KivaSim_GetCallLog(char* out, int capacity) {
  std::lock_guard<std::mutex> guard(g_mutex);
  return CopyOut(g_device.callLog, out, capacity);
}

int KIVASIM_CALL KivaSim_GetSentBytes(char* out, int capacity) {
  std::lock_guard<std::mutex> guard(g_mutex);
  return CopyOut(g_device.sent, out, capacity);
}

int KIVASIM_CALL KivaSim_IsInitialised(void) {
  std::lock_guard<std::mutex> guard(g_mutex);
  return g_device.initialised ? 1 : 0;
}

}  // extern "C"
