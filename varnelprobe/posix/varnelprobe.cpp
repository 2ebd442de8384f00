// varnelprobe on Linux: runs the sequence of Sequence.cpp (five tests against every tuner varnel
// finds, each call printed with its result). No arguments, no input.
//
// The messages are UTF-8, the terminal's encoding; the programme name, which comes back as the
// tuner's code page 932 bytes, is converted as tunerctl converts it (iconv).
#include <errno.h>
#include <time.h>

#include <cstdio>

#include "../Sequence.h"
#include "TextPosix.h"

namespace probe {

void Pause(unsigned milliseconds) {
  timespec wait = {static_cast<time_t>(milliseconds / 1000),
                   static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

const char* ShownName(const char* name, char* buffer, std::size_t size) {
  // A byte that is not code page 932 is shown as "?".
  std::snprintf(buffer, size, "%s", tunerctl::Cp932ToUtf8Posix(name, "?").c_str());
  return buffer;
}

}  // namespace probe

int main() {
  int index = 1;
  probe::RunSequence(&index);
  return 0;
}
