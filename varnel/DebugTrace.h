#pragma once

namespace varnel {

// Sends "unknown: " followed by the printf-style message to the debugger output. The line is cut
// to 1024 bytes; no line end is added.
void DebugTrace(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace varnel
