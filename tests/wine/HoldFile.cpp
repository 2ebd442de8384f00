// Holds a file or port open, unshared, on behalf of a test: another process that has it in use.
//
//   hold_file.exe PATH EVENT
//
// Opens PATH for reading and writing with no sharing, then signals the event "EVENT-ready" and
// keeps the handle until "EVENT-release" is signalled (at most a minute). Exit code 0 when PATH
// was held, 1 when it could not be opened.
#include <windows.h>

#include <string>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  HANDLE held = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (held == INVALID_HANDLE_VALUE) return 1;
  const std::string event = argv[2];
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, (event + "-ready").c_str());
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, (event + "-release").c_str());
  SetEvent(ready);
  WaitForSingleObject(release, 60000);
  CloseHandle(held);
  CloseHandle(ready);
  CloseHandle(release);
  return 0;
}
