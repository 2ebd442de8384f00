#include <gtest/gtest.h>

#include <string>

#include "TextMb.h"

using namespace varnel;  // NOLINT: the library's internals under test

// Code page 932: "ソ" is 83 5C (its trail byte is a backslash), "イ" is 83 43 (trail byte 'C').
TEST(TextMb, FindSkipsMatchesThatBeginOnATrailByte) {
  const char text[] = "\x83\x43HANNEL:1 CHANNEL:2";
  const char* found = MbFind(text, "CHANNEL:");
  ASSERT_NE(found, nullptr);
  EXPECT_STREQ(found, "CHANNEL:2");
  EXPECT_EQ(MbFind("\x83\x5C", "\\"), nullptr);
  EXPECT_EQ(MbFind("abc", "abd"), nullptr);
  EXPECT_STREQ(MbFind("abc", ""), "abc");
}

TEST(TextMb, UpperLeavesDoubleByteCharactersAlone) {
  char text[] = "vid_\x83\x61x\x83";  // 83 61 is one character; a lone lead byte ends the text
  EXPECT_STREQ(MbUpper(text), "VID_\x83\x61X\x83");
}

TEST(TextMb, NextAndPrevStepOverWholeCharacters) {
  char text[] =
      "a\x83\x5C"
      "b";
  EXPECT_EQ(MbNext(text), text + 1);
  EXPECT_EQ(MbNext(text + 1), text + 3);
  EXPECT_EQ(MbNext(text + 4), text + 4);  // never over the NUL
  char leadAtEnd[] = "\x83";
  EXPECT_EQ(MbNext(leadAtEnd), leadAtEnd + 1);
  EXPECT_EQ(MbPrev(text, text + 3), text + 1);  // back over the double-byte character
  EXPECT_EQ(MbPrev(text, text + 1), text);
  EXPECT_EQ(MbPrev(text, text), nullptr);
}
