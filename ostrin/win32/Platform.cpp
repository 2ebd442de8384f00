// The platform services of ostrin on Windows: the pause, the library lock and the DLL's
// attach/detach.
#include "../Platform.h"

#include <windows.h>

namespace ostrin {

namespace {
CRITICAL_SECTION g_libraryLock;
}  // namespace

void PauseMilliseconds(unsigned milliseconds) {
  Sleep(milliseconds);
}

void EnterLibraryLock() {
  EnterCriticalSection(&g_libraryLock);
}

void LeaveLibraryLock() {
  LeaveCriticalSection(&g_libraryLock);
}

}  // namespace ostrin

// The library lock lives from process attach to process detach.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) InitializeCriticalSection(&ostrin::g_libraryLock);
  if (reason == DLL_PROCESS_DETACH) DeleteCriticalSection(&ostrin::g_libraryLock);
  return TRUE;
}
