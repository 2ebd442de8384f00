// The five entry points of ostrin.
//
// Every call but GetCount runs the same road inside the library lock: open a connection to the
// tuner through kivactl, do the call's work on it, close the connection (RunOnDevice). Nothing
// stays open between calls.
#include "../include/ostrin.h"
#include "Control.h"
#include "Device.h"
#include "Platform.h"
#include "Queries.h"

namespace {

// Holds the library lock (the platform's) for the life of the object.
class LibraryLock {
 public:
  LibraryLock() { ostrin::EnterLibraryLock(); }
  ~LibraryLock() { ostrin::LeaveLibraryLock(); }
  LibraryLock(const LibraryLock&) = delete;
  LibraryLock& operator=(const LibraryLock&) = delete;
};

}  // namespace

extern "C" {

int OSTRIN_CALL OSTRIN_GetCount(int* count) {
  LibraryLock lock;
  return ostrin::CountDevices(count);
}

int OSTRIN_CALL OSTRIN_SetPower(int index, int on) {
  LibraryLock lock;
  return ostrin::RunOnDevice(index, [on] { return ostrin::SwitchPower(on); });
}

int OSTRIN_CALL OSTRIN_SetChannel(int index, int selector) {
  LibraryLock lock;
  return ostrin::RunOnDevice(index, [selector] { return ostrin::SendChannelKey(selector); });
}

int OSTRIN_CALL OSTRIN_GetProgramName(int index, char* name, int* size, int* channel) {
  LibraryLock lock;
  return ostrin::RunOnDevice(index, [=] { return ostrin::ReadProgramName(name, size, channel); });
}

int OSTRIN_CALL OSTRIN_GetStatus(int index, int* power, int* lock) {
  LibraryLock libraryLock;
  return ostrin::RunOnDevice(index, [=] { return ostrin::ReadTunerStatus(power, lock); });
}

}  // extern "C"
