// Port discovery on Windows: the driver's entries under HKEY_LOCAL_MACHINE, read through
// RegistryKey for the portable ListTunerPorts.
#include <windows.h>

#include "../Platform.h"
#include "../PortDiscovery.h"
#include "RegistryKey.h"

namespace varnel {
namespace platform {
namespace {

const char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\QDVSER\\Enum";
constexpr DWORD kWindows9xPlatform = 1;  // VER_PLATFORM_WIN32_WINDOWS

// The driver's service key stays open for the whole discovery; each device key only for its
// one query.
class WindowsDriverRegistry : public DriverRegistry {
 public:
  WindowsDriverRegistry() : service_(HKEY_LOCAL_MACHINE, kServiceKey, KEY_QUERY_VALUE) {}

  long QueryCount(int* count) override { return service_.QueryInt("Count", count); }

  long QueryInstancePath(const char* valueName, char* path, unsigned* size) override {
    return service_.QueryString(valueName, path, size);
  }

  long QueryPortName(const char* deviceKey, char* name, unsigned* size) override {
    RegistryKey device(HKEY_LOCAL_MACHINE, deviceKey, KEY_QUERY_VALUE);
    return device.QueryString("PortName", name, size);
  }

 private:
  RegistryKey service_;
};

bool IsWindows9x() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;  // 148
  GetVersionExA(&version);
  return version.dwPlatformId == kWindows9xPlatform;
}

}  // namespace

int FindTunerPorts(unsigned* count, char* list) {
  if (IsWindows9x()) return 1;
  WindowsDriverRegistry registry;
  return ListTunerPorts(registry, count, list);
}

}  // namespace platform
}  // namespace varnel
