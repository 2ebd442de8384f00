// The platform service of ostrin's portable logic, on Windows.
#include "Platform.h"

#include <windows.h>

namespace ostrin {

void PauseMilliseconds(unsigned milliseconds) {
  Sleep(milliseconds);
}

}  // namespace ostrin
