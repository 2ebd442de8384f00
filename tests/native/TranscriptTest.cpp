#include <gtest/gtest.h>

#include <string>

#include "CommPort/CCommPort.h"
#include "CommPort/Transcript.h"
#include "FakeLine.h"

using namespace varnel;  // NOLINT: the library's internals under test

TEST(Transcript, LineFormats) {
  const TranscriptTime t = {2026, 3, 9, 7, 5, 4, 32};
  char line[kTranscriptLineSize];
  EXPECT_EQ(FormatTranscriptLine(line, t, "", "[Resp]:"), 33u);
  EXPECT_STREQ(line, "2026/03/09 07:05:04.032 [Resp]:\r\n");
  FormatTranscriptLine(line, t, "", "\r");
  EXPECT_STREQ(line, "2026/03/09 07:05:04.032 \r\r\n");
  FormatTranscriptLine(line, t, LevelPrefix(1), "x");
  EXPECT_STREQ(line, "2026/03/09 07:05:04.032 ERROR: x\r\n");
  EXPECT_STREQ(LevelPrefix(2), "WARNING: ");
  EXPECT_STREQ(LevelPrefix(0), "INFO: ");
  EXPECT_STREQ(LevelPrefix(7), "INFO: ");
}

TEST(Transcript, OverlongTextIsCutAndTheLineStillEnds) {
  const TranscriptTime t = {2026, 12, 31, 23, 59, 59, 999};
  char line[kTranscriptLineSize + 8];
  line[kTranscriptLineSize] = 'Z';
  const std::string text(5000, 'a');
  const size_t length = FormatTranscriptLine(line, t, "WARNING: ", text.c_str());
  EXPECT_EQ(length, kTranscriptLineSize - 1);
  EXPECT_EQ(std::string(line + length - 3), "a\r\n");
  EXPECT_EQ(line[kTranscriptLineSize], 'Z');
}

TEST(Crc32, MpegTwoOverAbcIsStoredBigEndianAfterTheData) {
  FakeLine line;
  CCommPort port;
  unsigned char data[8] = {'a', 'b', 'c', 0, 0, 0, 0, 0xEE};
  EXPECT_EQ(port.AppendCrc32(data, 3), 0);
  EXPECT_EQ(data[3], 0x9B);
  EXPECT_EQ(data[4], 0x73);
  EXPECT_EQ(data[5], 0x44);
  EXPECT_EQ(data[6], 0x8C);
  EXPECT_EQ(data[7], 0xEE);
  unsigned char empty[4] = {};
  port.AppendCrc32(empty, 0);
  EXPECT_EQ(empty[0], 0xFF);  // nothing hashed: the initial value
  EXPECT_EQ(empty[3], 0xFF);
}
