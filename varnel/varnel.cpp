// The five entry points of varnel.
//
// Every call runs the same road: take the library lock, construct a port object, find the tuner's
// ports (the driver's registry entries on Windows, sysfs on Linux), open the chosen one, exchange
// commands, close. The lock is held until the port object has been closed, so no call finds a
// port or the transcript still held by the call before it.
#include "../include/varnel.h"
#include "CommPort/CCommPort.h"
#include "Exchange.h"
#include "Platform.h"
#include "PortDiscovery.h"
#include "Queries.h"

namespace varnel {
namespace {

// Holds the library lock (the platform's) for the life of the object.
class LibraryLock {
 public:
  LibraryLock() { platform::EnterLibraryLock(); }
  ~LibraryLock() { platform::LeaveLibraryLock(); }
  LibraryLock(const LibraryLock&) = delete;
  LibraryLock& operator=(const LibraryLock&) = delete;
};

// Finds the tuner's ports into `ports` and opens the index-th one on `port`, with the tuner's
// speed and hardware flow control. Index 0 opens the first port, like 1. False when discovery
// fails, the index is beyond the ports found (negative ones included), or the port won't open.
bool OpenTunerPort(CCommPort& port, int index, char* ports) {
  unsigned count = 0;
  if (CCommPort::EnumPorts(&count, ports) != kPortDone) return false;
  if (static_cast<unsigned>(index) > count) return false;
  const char* name = CCommPort::NthPortName(static_cast<unsigned>(index), ports);
  return port.Reopen(name, kTunerBaudRate, kFlowHardware) == kPortDone;
}

}  // namespace
}  // namespace varnel

using varnel::CCommPort;
using varnel::kPortListSize;
using varnel::LibraryLock;

extern "C" {

VARNEL_API int VARNEL_CALL VARNEL_GetCount(int* count) {
  LibraryLock lock;
  if (count == nullptr) return VARNEL_ERROR_GET_COUNT;
  CCommPort port;
  *count = 0;
  char ports[kPortListSize];
  unsigned found = 0;
  if (CCommPort::EnumPorts(&found, ports) != varnel::kPortDone) return VARNEL_ERROR_GET_COUNT;
  *count = static_cast<int>(found);
  return 0;
}

VARNEL_API int VARNEL_CALL VARNEL_SetPower(int index, int on) {
  LibraryLock lock;
  CCommPort port;
  char ports[kPortListSize];
  if (!varnel::OpenTunerPort(port, index, ports)) return VARNEL_ERROR_SET_POWER;
  port.SendSetPower(on);  // a tuner that does not answer still counts as switched
  return 0;
}

VARNEL_API int VARNEL_CALL VARNEL_SetChannel(int index, int selector) {
  LibraryLock lock;
  CCommPort port;
  char ports[kPortListSize];
  if (!varnel::OpenTunerPort(port, index, ports)) return VARNEL_ERROR_SET_CHANNEL;
  unsigned short key = 0;
  if (!varnel::RemoteKeyForSelector(selector, &key)) return VARNEL_ERROR_SET_CHANNEL;
  if (port.SendRemoteKey(key) != varnel::kPortDone) return VARNEL_ERROR_SET_CHANNEL;
  return 0;
}

VARNEL_API int VARNEL_CALL VARNEL_GetProgramName(int index, char* name, int* size, int* channel) {
  LibraryLock lock;
  CCommPort port;
  if (name == nullptr || size == nullptr || channel == nullptr) {
    return VARNEL_ERROR_GET_PROGRAM_NAME;
  }
  char ports[kPortListSize];
  if (!varnel::OpenTunerPort(port, index, ports)) return VARNEL_ERROR_GET_PROGRAM_NAME;
  return varnel::ReadProgramName(port, name, size, channel);
}

VARNEL_API int VARNEL_CALL VARNEL_GetStatus(int index, int* power, int* lock) {
  LibraryLock libraryLock;
  CCommPort port;
  char ports[kPortListSize];
  if (!varnel::OpenTunerPort(port, index, ports)) return VARNEL_ERROR_GET_STATUS;
  return varnel::ReadTunerStatus(port, power, lock);
}

}  // extern "C"
