#include "TextPosix.h"

#include <iconv.h>

#include <cerrno>

namespace tunerctl {

std::string Cp932ToUtf8Posix(const std::string& text, const char* replacement) {
  iconv_t converter = iconv_open("UTF-8", "CP932");
  if (converter == reinterpret_cast<iconv_t>(-1)) return text;
  std::string utf8;
  std::string in = text;
  char* inNext = &in[0];
  size_t inLeft = in.size();
  char out[256];
  while (inLeft > 0) {
    char* outNext = out;
    size_t outLeft = sizeof out;
    const size_t done = iconv(converter, &inNext, &inLeft, &outNext, &outLeft);
    utf8.append(out, static_cast<size_t>(outNext - out));
    if (done == static_cast<size_t>(-1) && errno != E2BIG) {
      // EILSEQ or a lead byte at the very end (EINVAL): replace one byte and go on.
      utf8 += replacement;
      ++inNext;
      --inLeft;
      iconv(converter, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(converter);
  return utf8;
}

}  // namespace tunerctl
