// varnelprobe on Windows: runs the sequence of Sequence.cpp (five tests against every tuner varnel
// finds, each call printed with its result) on a worker thread with COM initialised. No
// arguments, no input.
//
// The messages are written in code page 932 (the sources are compiled with that execution
// character set); on a console with another code page, the console is switched to 932 for the
// run and back afterwards, also when the run is interrupted (Ctrl+C, Ctrl+Break, the console
// closed): a console left in 932 would garble what its user types next.
#include <objbase.h>
#include <windows.h>

#include "Sequence.h"

namespace {

DWORD WINAPI RunTests(LPVOID sharedIndex) {
  CoInitialize(nullptr);
  probe::RunSequence(static_cast<int*>(sharedIndex));
  CoUninitialize();
  return 0;
}

// The console's own output code page while the run has switched it to 932, else 0.
volatile UINT g_consoleCodePage = 0;

void RestoreConsoleCodePage() {
  const UINT codePage = g_consoleCodePage;
  if (codePage != 0) SetConsoleOutputCP(codePage);
}

// Runs on a thread of its own when the run is interrupted; the process ends after it (FALSE
// leaves the event to the default handler, which ends the process).
BOOL WINAPI RestoreOnInterrupt(DWORD) {
  RestoreConsoleCodePage();
  return FALSE;
}

}  // namespace

namespace probe {

void Pause(unsigned milliseconds) {
  Sleep(milliseconds);
}

const char* ShownName(const char* name, char*, std::size_t) {
  return name;  // the console shows code page 932
}

}  // namespace probe

int main() {
  const UINT consoleCodePage = GetConsoleOutputCP();
  if (consoleCodePage != 0 && consoleCodePage != 932) {
    g_consoleCodePage = consoleCodePage;
    SetConsoleCtrlHandler(RestoreOnInterrupt, TRUE);
    SetConsoleOutputCP(932);
  }

  int index = 1;  // shared with the worker, which stores the index under test
  HANDLE worker = CreateThread(nullptr, 0, RunTests, &index, 0, nullptr);
  if (worker != nullptr) {
    WaitForSingleObject(worker, INFINITE);
    CloseHandle(worker);
  }

  RestoreConsoleCodePage();
  return 0;
}
