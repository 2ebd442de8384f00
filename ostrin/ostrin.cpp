// The five entry points of ostrin and the library's attach/detach.
//
// Every call but GetCount runs the same road inside the library lock: open a connection to the
// tuner through kivactl, do the call's work on it, close the connection (RunOnDevice). Nothing
// stays open between calls.
#include <windows.h>

#include "../include/ostrin.h"
#include "Control.h"
#include "Device.h"
#include "Queries.h"

namespace {

CRITICAL_SECTION g_libraryLock;

// Holds the library lock for the life of the object.
class LibraryLock {
 public:
  LibraryLock() { EnterCriticalSection(&g_libraryLock); }
  ~LibraryLock() { LeaveCriticalSection(&g_libraryLock); }
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

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) InitializeCriticalSection(&g_libraryLock);
  if (reason == DLL_PROCESS_DETACH) DeleteCriticalSection(&g_libraryLock);
  return TRUE;
}
