#include "DebugTrace.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "Platform.h"

namespace varnel {

void DebugTrace(const char* format, ...) {
  char line[1024];
  static const char kPrefix[] = "unknown: ";
  std::memcpy(line, kPrefix, sizeof kPrefix);
  const size_t used = sizeof kPrefix - 1;
  va_list args;
  va_start(args, format);
  std::vsnprintf(line + used, sizeof line - used, format, args);  // cuts, always terminates
  va_end(args);
  platform::TraceOutput(line);
}

}  // namespace varnel
