// winsock2.h must come before windows.h, which the header brings.
#include <winsock2.h>

#include "WineTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

const char kServiceRoot[] = "SYSTEM\\CurrentControlSet\\Services\\QDVSER";
const char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\QDVSER\\Enum";
const char kEnumRoot[] = "SYSTEM\\CurrentControlSet\\Enum\\";
const char kTestDevices[] = "SYSTEM\\CurrentControlSet\\Enum\\TUNERTEST";

void DeleteTree(const char* path) {
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, path);
}

HKEY CreateKey(const std::string& path) {
  HKEY key = nullptr;
  LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, &key, nullptr);
  EXPECT_EQ(status, ERROR_SUCCESS) << path;
  return key;
}

std::string EnvOrFail(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) ADD_FAILURE() << name << " is not set: run under run-under-wine.sh";
  return value ? value : "";
}

struct WinsockUser {
  WinsockUser() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
} winsockUser;

}  // namespace

// "表彰式ソング特集"
const std::string kCp932HyoushoSong =
    "\x95\x5C\x8F\xB2\x8E\xAE\x83\x5C\x83\x93\x83\x4F\x93\xC1\x8F\x57";

SimulatedTuner::SimulatedTuner(int n) {
  com_ = EnvOrFail("TUNERSIM_COM_" + std::to_string(n));
  port_ = std::atoi(EnvOrFail("TUNERSIM_CONTROL_" + std::to_string(n)).c_str());
}

std::string SimulatedTuner::Control(const std::string& line) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port_));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ADD_FAILURE() << "cannot reach the simulated tuner's control port " << port_;
    closesocket(s);
    return "";
  }
  const std::string request = line + "\n";
  send(s, request.data(), static_cast<int>(request.size()), 0);
  std::string answer;
  char block[4096];
  for (int got;
       answer.find('\n') == std::string::npos && (got = recv(s, block, sizeof block, 0)) > 0;) {
    answer.append(block, static_cast<size_t>(got));
  }
  closesocket(s);
  answer = answer.substr(0, answer.find('\n'));
  if (answer.rfind("ok", 0) != 0) {
    ADD_FAILURE() << "control '" << line << "' answered '" << answer << "'";
    return "";
  }
  return answer.size() > 3 ? answer.substr(3) : "";
}

std::string SimulatedTuner::Received() {
  const std::string hex = Control("received");
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(std::strtol(hex.substr(i, 2).c_str(), nullptr, 16));
  }
  return bytes;
}

std::string SimulatedTuner::Hex(const std::string& bytes) {
  std::string hex;
  char two[3];
  for (unsigned char c : bytes) {
    std::snprintf(two, sizeof two, "%02x", c);
    hex += two;
  }
  return hex;
}

DriverRegistryLayout::DriverRegistryLayout() {
  DeleteTree(kServiceRoot);
  DeleteTree(kTestDevices);
}

DriverRegistryLayout::~DriverRegistryLayout() {
  DeleteTree(kServiceRoot);
  DeleteTree(kTestDevices);
}

void DriverRegistryLayout::SetCount(int count) {
  HKEY key = CreateKey(kServiceKey);
  RegSetValueExA(key, "Count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count), sizeof count);
  RegCloseKey(key);
}

void DriverRegistryLayout::AddInstance(int index, const std::string& instancePath,
                                       const char* portName, bool withDeviceKey) {
  HKEY service = CreateKey(kServiceKey);
  const std::string name = std::to_string(index);
  RegSetValueExA(service, name.c_str(), 0, REG_SZ,
                 reinterpret_cast<const BYTE*>(instancePath.c_str()),
                 static_cast<DWORD>(instancePath.size() + 1));
  RegCloseKey(service);
  if (!withDeviceKey) return;
  HKEY device = CreateKey(kEnumRoot + instancePath + "\\Device Parameters");
  if (portName != nullptr) {
    RegSetValueExA(device, "PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(portName),
                   static_cast<DWORD>(std::strlen(portName) + 1));
  }
  RegCloseKey(device);
}

void DriverRegistryLayout::AttachSimulatedTuners(int tuners) {
  SetCount(tuners);
  for (int i = 1; i <= tuners; ++i) {
    const std::string com = SimulatedTuner(i).ComName();
    AddInstance(i - 1, "TUNERTEST\\VID_FEDC&PID_BA98\\" + std::to_string(i), com.c_str());
  }
}

std::string ReadFileText(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}
