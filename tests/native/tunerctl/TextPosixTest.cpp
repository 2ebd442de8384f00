#include <gtest/gtest.h>

#include "TextPosix.h"

namespace {

TEST(Cp932ToUtf8Posix, ConvertsAndReplacesWhatIsNotCodePage932) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"News 7", "News 7"},
      // Second bytes 0x5C are part of their characters, not backslashes.
      {"\x95\x5c\x8f\xb2\x8e\xae\x83\x5c\x83\x93\x83\x4f", "表彰式ソング"},
      {"\xb1\xc6\xd2", "ｱﾆﾒ"},  // half-width katakana
      {"A\x80Z", "A\xEF\xBF\xBDZ"},
      {"ab\x95", "ab\xEF\xBF\xBD"},  // a lead byte at the very end
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.second);
    EXPECT_EQ(tunerctl::Cp932ToUtf8Posix(c.first), c.second);
  }
  EXPECT_EQ(tunerctl::Cp932ToUtf8Posix("A\x80Z\x95", "?"), "A?Z?");  // varnelprobe's choice
}

TEST(Cp932ToUtf8Posix, LongNameCrossesTheConversionBuffer) {
  std::string cp932, utf8;
  for (int i = 0; i < 300; ++i) {
    cp932 += "\x95\x5c";
    utf8 += "表";
  }
  EXPECT_EQ(tunerctl::Cp932ToUtf8Posix(cp932), utf8);
}

}  // namespace
