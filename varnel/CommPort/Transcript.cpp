#include "Transcript.h"

#include <cstdio>
#include <cstring>

namespace varnel {

const char* LevelPrefix(int level) {
  switch (level) {
    case 1:
      return "ERROR: ";
    case 2:
      return "WARNING: ";
    default:
      return "INFO: ";
  }
}

size_t FormatTranscriptLine(char* line, const TranscriptTime& t, const char* prefix,
                            const char* text) {
  static const char kLineEnd[] = "\r\n";
  const size_t room = kTranscriptLineSize - (sizeof kLineEnd - 1);  // text stops before CR LF
  int used = std::snprintf(line, room, "%04d/%02d/%02d %02d:%02d:%02d.%03d %s%s", t.year, t.month,
                           t.day, t.hour, t.minute, t.second, t.milliseconds, prefix, text);
  size_t length = used < 0 ? 0 : static_cast<size_t>(used);
  if (length >= room) length = room - 1;  // snprintf cut it there
  std::memcpy(line + length, kLineEnd, sizeof kLineEnd);
  return length + sizeof kLineEnd - 1;
}

}  // namespace varnel
