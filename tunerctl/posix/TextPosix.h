// Code page 932 text as UTF-8, through the C library's iconv.
#ifndef TUNERCTL_TEXT_POSIX_H
#define TUNERCTL_TEXT_POSIX_H

#include <string>

namespace tunerctl {

// A byte that does not start a valid code page 932 character becomes U+FFFD.
std::string Cp932ToUtf8Posix(const std::string& text);

}  // namespace tunerctl

#endif  // TUNERCTL_TEXT_POSIX_H
