// varnelprobe on Windows: runs the sequence of Sequence.cpp (five tests against every tuner varnel
// finds, each call printed with its result) on a worker thread with COM initialised. No
// arguments, no input.
//
// The messages are written in code page 932 (the sources are compiled with that execution
// character set); on a console with another code page, the console is switched to 932 for the
// run.
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
  if (consoleCodePage != 0 && consoleCodePage != 932) SetConsoleOutputCP(932);

  int index = 1;  // shared with the worker, which stores the index under test
  HANDLE worker = CreateThread(nullptr, 0, RunTests, &index, 0, nullptr);
  if (worker != nullptr) {
    WaitForSingleObject(worker, INFINITE);
    CloseHandle(worker);
  }

  if (consoleCodePage != 0 && consoleCodePage != 932) SetConsoleOutputCP(consoleCodePage);
  return 0;
}
