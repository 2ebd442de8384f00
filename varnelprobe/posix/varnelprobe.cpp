// varnelprobe on Linux: runs the sequence of Sequence.cpp (five tests against every tuner varnel
// finds, each call printed with its result). No arguments, no input.
//
// The messages are UTF-8, the terminal's encoding; the programme name, which comes back as the
// tuner's code page 932 bytes, is converted with iconv.
#include <errno.h>
#include <iconv.h>
#include <time.h>

#include <cstring>

#include "../Sequence.h"

namespace probe {

void Pause(unsigned milliseconds) {
  timespec wait = {static_cast<time_t>(milliseconds / 1000),
                   static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

const char* ShownName(const char* name, char* buffer, std::size_t size) {
  iconv_t convert = iconv_open("UTF-8", "CP932");
  if (convert == reinterpret_cast<iconv_t>(-1)) return name;
  char* in = const_cast<char*>(name);
  std::size_t inLeft = std::strlen(name);
  char* out = buffer;
  std::size_t outLeft = size - 1;
  // A byte that is not code page 932 is shown as "?" and the conversion goes on after it.
  while (inLeft > 0 &&
         iconv(convert, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1)) {
    if (errno == E2BIG || outLeft == 0) break;
    *out++ = '?';
    --outLeft;
    ++in;
    --inLeft;
  }
  *out = '\0';
  iconv_close(convert);
  return buffer;
}

}  // namespace probe

int main() {
  int index = 1;
  probe::RunSequence(&index);
  return 0;
}
