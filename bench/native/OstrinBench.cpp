// The cost of one reply in ostrin's portable logic: collecting it from the pipe's chunks
// (ReceiveReply) and cutting out name and channel (ParseReply), for replies from a few bytes up
// to the 1023 a reply keeps.
//
// kivactl is a block of memory that each receive hands out in chunks of a set size.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "Pipe.h"
#include "Platform.h"
#include "Queries.h"
#include "kivactl.h"

namespace {

const char* g_bytes = nullptr;  // what the tuner sends
size_t g_size = 0;
size_t g_at = 0;
size_t g_chunk = ostrin::kChunkSize;

// A reply of exactly `length` bytes (at least 31), its programme name padded to fit.
std::string StatusReply(size_t length) {
  const std::string head = "CHANNEL:021\r\nPROGRAM:";
  const std::string tail = "\r\nOK\r\n";
  std::string name = "News";
  while (head.size() + name.size() + tail.size() < length) name += " and weather";
  name.resize(length - head.size() - tail.size());
  return head + name + tail;
}

// Replies of 8 to 1023 bytes, in chunks of 10 bytes or of the whole 128.
void BM_ReceiveReply(benchmark::State& state) {
  const std::string reply = StatusReply(std::max<size_t>(31, static_cast<size_t>(state.range(0))))
                                .substr(0, static_cast<size_t>(state.range(0)));
  g_bytes = reply.data();
  g_size = reply.size();
  g_chunk = static_cast<size_t>(state.range(1));
  char out[ostrin::kReplySize];
  for (auto _ : state) {
    g_at = 0;
    unsigned length = sizeof out;
    ostrin::ReceiveReply(out, &length);
    benchmark::DoNotOptimize(out);
    if (length != reply.size()) state.SkipWithError("reply not collected");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply.size()));
}
BENCHMARK(BM_ReceiveReply)->ArgsProduct({{8, 64, 256, 1023}, {10, 128}});

void BM_ParseReply(benchmark::State& state) {
  const std::string reply = StatusReply(static_cast<size_t>(state.range(0)));
  char name[ostrin::kReplySize];
  int channel = 0;
  for (auto _ : state) {
    const bool ok = ostrin::ParseReply(reply.c_str(), name, sizeof name, &channel);
    benchmark::DoNotOptimize(ok);
    if (!ok || channel != 21) state.SkipWithError("no programme name");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply.size()));
}
BENCHMARK(BM_ParseReply)->Arg(31)->Arg(256)->Arg(512)->Arg(1023);

}  // namespace

namespace ostrin {
void PauseMilliseconds(unsigned) {}
}  // namespace ostrin

// kivactl: the pipe over the block of memory; the other calls succeed without doing anything.
int DevCtrl_GetEnumDevice(int* count) {
  *count = 1;
  return 0;
}
int DevCtrl_SetGetEnumDevice(int) {
  return 0;
}
int KivaDevCtrl_Initialize() {
  return 0;
}
int KivaDevCtrl_Uninitialize() {
  return 0;
}
int KivaDevCtrl_SetSTi7710Power(int, int) {
  return 0;
}
int KivaDevCtrl_SendRemoteCommand(int, unsigned short) {
  return 0;
}
int KivaDevCtrl_GetStatus(int, unsigned char* status, unsigned char* second, unsigned char* third) {
  *status = 0xC0;
  *second = *third = 0;
  return 0;
}
int KivaDevCtrl_AccessFlashROM(int direction, char* buffer, int length, int,
                               unsigned* transferred) {
  if (direction == 1) {
    *transferred = static_cast<unsigned>(length);
    return 0;
  }
  const size_t count = std::min(g_chunk, g_size - g_at);
  std::memcpy(buffer, g_bytes + g_at, count);
  g_at += count;
  *transferred = static_cast<unsigned>(count);
  return 0;
}

BENCHMARK_MAIN();
