// The pipe exchange: the query, one receive, and collecting a reply from its chunks.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "FakeKivactl.h"
#include "Pipe.h"

namespace {

using ostrin::kReplySize;

// A reply buffer as the caller has it, with guard bytes behind the capacity it declares.
struct Reply {
  char bytes[kReplySize + 16];
  unsigned length = kReplySize;
  Reply() { std::memset(bytes, '#', sizeof bytes); }
  std::string Delivered() const { return std::string(bytes, length); }
  bool Untouched(size_t from) const {
    for (size_t i = from; i < sizeof bytes; ++i)
      if (bytes[i] != '#') return false;
    return true;
  }
};

TEST(Pipe, QueryIsGetstatAndCr) {
  FakeKivactl kivactl;
  kivactl.sendResult = -9;
  EXPECT_EQ(ostrin::SendStatusQuery(), -9);
  EXPECT_EQ(kivactl.sent, "getstat\r");
  EXPECT_EQ(kivactl.calls.front(), "KivaDevCtrl_AccessFlashROM 1 8 1000");
}

TEST(Pipe, ReadChunkZeroFillsAndReportsWhatArrived) {
  FakeKivactl kivactl;
  kivactl.Queue("abc");
  char chunk[ostrin::kChunkSize];
  std::memset(chunk, 'X', sizeof chunk);
  unsigned received = 77;
  EXPECT_EQ(ostrin::ReadChunk(chunk, &received), 0);
  EXPECT_EQ(received, 3u);
  EXPECT_EQ(std::string(chunk, 4), std::string("abc\0", 4));
  EXPECT_EQ(chunk[ostrin::kChunkSize - 1], '\0');
  EXPECT_EQ(kivactl.calls.front(), "KivaDevCtrl_AccessFlashROM 0 10 10");

  EXPECT_EQ(ostrin::ReadChunk(chunk, &received), 0);  // nothing more
  EXPECT_EQ(received, 0u);

  kivactl.QueueFailure(-4);
  received = 77;
  EXPECT_EQ(ostrin::ReadChunk(chunk, &received), -4);
  EXPECT_EQ(received, 77u);
}

TEST(Pipe, ReadChunkCutsAnOverlongCountToTheChunk) {
  FakeKivactl kivactl;
  FakeReceive full;
  full.bytes = std::string(ostrin::kChunkSize, 'f');
  full.reported = 200;
  kivactl.receives.push_back(full);
  Reply reply;
  EXPECT_EQ(ostrin::ReceiveReply(reply.bytes, &reply.length), 0);
  EXPECT_EQ(reply.Delivered(), full.bytes);
}

TEST(Pipe, ChunksAreAssembledUntilTheFirstEmptyOne) {
  FakeKivactl kivactl;
  kivactl.Queue("CHANNEL:021\r\nPROGRAM:News\r\nOK", 4);
  kivactl.QueueEmpty(1);
  kivactl.Queue("later");
  Reply reply;
  EXPECT_EQ(ostrin::ReceiveReply(reply.bytes, &reply.length), 0);
  EXPECT_EQ(reply.Delivered(), "CHANNEL:021\r\nPROGRAM:News\r\nOK");
  EXPECT_TRUE(reply.Untouched(reply.length));
  EXPECT_EQ(kivactl.receives.size(), 1u);  // "later" is left for the next reply
}

TEST(Pipe, AnEmptyChunkMidReplyEndsItEarly) {
  FakeKivactl kivactl;
  kivactl.Queue("CHANNEL:0");
  kivactl.QueueEmpty(1);
  kivactl.Queue("21\r\n");
  Reply reply;
  ostrin::ReceiveReply(reply.bytes, &reply.length);
  EXPECT_EQ(reply.Delivered(), "CHANNEL:0");
}

TEST(Pipe, UpTo101EmptyReadsAreToleratedBeforeTheFirstByte) {
  FakeKivactl kivactl;
  kivactl.QueueEmpty(101);
  kivactl.Queue("late");
  Reply reply;
  ostrin::ReceiveReply(reply.bytes, &reply.length);
  EXPECT_EQ(reply.Delivered(), "late");
  EXPECT_EQ(kivactl.receiveCount, 103);  // 101 empty, "late", the empty one that ends it
}

TEST(Pipe, The102ndEmptyReadGivesUpAndDeliversNothing) {
  FakeKivactl kivactl;
  kivactl.QueueEmpty(102);
  kivactl.Queue("too late");
  Reply reply;
  EXPECT_EQ(ostrin::ReceiveReply(reply.bytes, &reply.length), 0);
  EXPECT_EQ(kivactl.receiveCount, 102);
  EXPECT_EQ(reply.length, kReplySize);
  EXPECT_TRUE(reply.Untouched(0));
}

TEST(Pipe, AFailedReceiveDropsWhatArrived) {
  FakeKivactl kivactl;
  kivactl.Queue("CHANNEL:1\r\n");
  kivactl.QueueFailure(3);
  Reply reply;
  EXPECT_EQ(ostrin::ReceiveReply(reply.bytes, &reply.length), 0);
  EXPECT_EQ(reply.length, kReplySize);
  EXPECT_TRUE(reply.Untouched(0));
}

TEST(Pipe, AChunkThatWouldReach1024IsDropped) {
  struct Case {
    size_t last;
    size_t delivered;
  };
  for (const Case c : {Case{23, 1023}, Case{24, 1000}, Case{128, 1000}}) {
    FakeKivactl kivactl;
    kivactl.Queue(std::string(1000, 'a'), 100);
    kivactl.Queue(std::string(c.last, 'b'), 128);
    kivactl.Queue("c");  // after the dropped chunk (or after 1023 bytes) nothing more is read
    Reply reply;
    ostrin::ReceiveReply(reply.bytes, &reply.length);
    EXPECT_EQ(reply.length, c.delivered) << c.last;
    EXPECT_EQ(reply.Delivered(), std::string(1000, 'a') + std::string(c.delivered - 1000, 'b'));
    EXPECT_TRUE(reply.Untouched(reply.length));
  }
}

TEST(Pipe, RepliesOfEveryLengthUpTo1023AreDeliveredWhole) {
  for (size_t n = 1; n < kReplySize; ++n) {
    FakeKivactl kivactl;
    std::string text;
    for (size_t i = 0; i < n; ++i) text += static_cast<char>('A' + i % 26);
    kivactl.Queue(text, 1 + n % 128);
    Reply reply;
    ostrin::ReceiveReply(reply.bytes, &reply.length);
    ASSERT_EQ(reply.Delivered(), text) << n;
    ASSERT_TRUE(reply.Untouched(n)) << n;
  }
}

TEST(Pipe, NeverCopiesMoreThanTheCapacity) {
  FakeKivactl kivactl;
  kivactl.Queue(std::string(40, 'x'));
  Reply reply;
  reply.length = 16;
  ostrin::ReceiveReply(reply.bytes, &reply.length);
  EXPECT_EQ(reply.length, 16u);
  EXPECT_EQ(reply.Delivered(), std::string(16, 'x'));
  EXPECT_TRUE(reply.Untouched(16));
}

}  // namespace
