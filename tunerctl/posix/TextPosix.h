// Code page 932 text as UTF-8, through the C library's iconv.
#ifndef TUNERCTL_TEXT_POSIX_H
#define TUNERCTL_TEXT_POSIX_H

#include <string>

namespace tunerctl {

// A byte that does not start a valid code page 932 character becomes `replacement` (U+FFFD
// unless the caller names another). varnelprobe shows its names through this too.
std::string Cp932ToUtf8Posix(const std::string& text, const char* replacement = "\xEF\xBF\xBD");

}  // namespace tunerctl

#endif  // TUNERCTL_TEXT_POSIX_H
