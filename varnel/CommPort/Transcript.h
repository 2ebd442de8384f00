// Lines of the transcript file: "YYYY/MM/DD hh:mm:ss.mmm <prefix><text>\r\n".
#pragma once

#include <cstddef>

namespace varnel {

constexpr size_t kTranscriptLineSize = 1024;

struct TranscriptTime {
  int year, month, day, hour, minute, second, milliseconds;
};

// The prefix of a levelled line: 1 "ERROR: ", 2 "WARNING: ", any other "INFO: ".
const char* LevelPrefix(int level);

// Builds one line in `line` (kTranscriptLineSize bytes) and returns its length without the NUL.
// A text too long for the line is cut; the line always ends in CR LF.
size_t FormatTranscriptLine(char* line, const TranscriptTime& time, const char* prefix,
                            const char* text);

}  // namespace varnel
