#include "Pipe.h"

#include <cstring>

#include "kivactl.h"

namespace ostrin {
namespace {

constexpr int kSend = 1;
constexpr int kReceive = 0;
constexpr char kStatusQuery[] = "getstat\r";
constexpr int kQueryLength = sizeof kStatusQuery - 1;  // without the NUL
constexpr int kSendFourth = 1000;
constexpr int kReceiveLength = 10;
constexpr int kReceiveFourth = 10;

}  // namespace

int SendStatusQuery() {
  char query[sizeof kStatusQuery];
  std::memcpy(query, kStatusQuery, sizeof query);
  unsigned sent = 0;
  return KivaDevCtrl_AccessFlashROM(kSend, query, kQueryLength, kSendFourth, &sent);
}

int ReadChunk(char* chunk, unsigned* received) {
  std::memset(chunk, 0, kChunkSize);
  unsigned transferred = 0;
  const int result =
      KivaDevCtrl_AccessFlashROM(kReceive, chunk, kReceiveLength, kReceiveFourth, &transferred);
  if (result != 0) return result;
  *received = transferred < kChunkSize ? transferred : kChunkSize;
  return 0;
}

int ReceiveReply(char* out, unsigned* length) {
  char reply[kReplySize] = {};
  unsigned total = 0;
  int emptyReads = 0;
  for (;;) {
    char chunk[kChunkSize];
    unsigned received = 0;
    if (ReadChunk(chunk, &received) != 0) return 0;
    if (received > 0 && total + received < kReplySize) {
      std::memcpy(reply + total, chunk, received);
      total += received;
      continue;
    }
    if (total > 0) {
      if (total < *length) *length = total;
      std::memcpy(out, reply, *length);
      return 0;
    }
    if (emptyReads > kEmptyReadLimit) return 0;
    ++emptyReads;
  }
}

}  // namespace ostrin
