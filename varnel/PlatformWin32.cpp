// The platform services of the portable logic, on Windows.
#include "Platform.h"

#include <windows.h>

bool IsLeadByte(unsigned char value) {
  return IsDBCSLeadByte(value) != FALSE;
}

void TraceOutput(const char* line) {
  OutputDebugStringA(line);
}

void PauseMilliseconds(unsigned milliseconds) {
  Sleep(milliseconds);
}
