// The cost of one reply in varnel's portable logic: framing it byte by byte off the line
// (ReceiveResponse) and reading the status text (ParseProgramReply, ParseLockState), for replies
// from a few bytes up to the 1023 a reply buffer keeps.
//
// The serial line is a block of memory that hands out one byte per read; there is no transcript
// file, as on a machine without "logfile.txt".
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "CommPort/CCommPort.h"
#include "Platform.h"
#include "Queries.h"
#include "TextMb.h"

using namespace varnel;  // NOLINT: the library's internals under measure

namespace {

const char* g_bytes = nullptr;  // what the tuner sends
size_t g_size = 0;
size_t g_at = 0;

void Line(const std::string& reply) {
  g_bytes = reply.data();
  g_size = reply.size();
  g_at = 0;
}

// "ニュース" in code page 932.
const std::string kNews = "\x83\x6A\x83\x85\x81\x5B\x83\x58";

// A status reply of exactly `length` bytes (at least 75), its programme name padded to fit.
std::string StatusReply(size_t length) {
  const std::string head = "POWER:on\r\nCHANNEL:011\r\nPROGRAM:";
  const std::string tail = "\r\nscreen=1\r\nBitErrorRate=1.0E-05 (999)\r\nOK\r";
  std::string name = "N";
  while (head.size() + name.size() + tail.size() + kNews.size() + 1 <= length) name += kNews + " ";
  name.resize(length - head.size() - tail.size(), 'x');
  return head + name + tail;
}

// Any reply of `length` bytes (at least 3): status lines, then "OK" CR.
std::string FramedReply(size_t length) {
  std::string text;
  while (text.size() + 3 < length) text += "BitErrorRate=1.0E-05 (999)\r\n";
  text.resize(length - 3);
  return text + "OK\r";
}

void BM_ReceiveResponse(benchmark::State& state) {
  const std::string reply = FramedReply(static_cast<size_t>(state.range(0)));
  Line(reply);
  CCommPort port;
  char buffer[kReplySize];
  for (auto _ : state) {
    g_at = 0;
    unsigned length = kReplySize;
    const int result = port.ReceiveResponse(buffer, &length);
    benchmark::DoNotOptimize(result);
    if (result != 0 || length != reply.size()) state.SkipWithError("reply not framed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply.size()));
}
BENCHMARK(BM_ReceiveResponse)->Arg(3)->Arg(16)->Arg(64)->Arg(256)->Arg(1023);

// The reply is cut in place, so every round starts from a fresh copy (part of the cost).
void BM_ParseProgramReply(benchmark::State& state) {
  const std::string reply = StatusReply(static_cast<size_t>(state.range(0)));
  char work[kReplySize];
  char name[kReplySize];
  int channel = 0;
  for (auto _ : state) {
    std::memcpy(work, reply.c_str(), reply.size() + 1);
    const bool ok = ParseProgramReply(work, name, sizeof name, &channel);
    benchmark::DoNotOptimize(ok);
    if (!ok || channel != 11) state.SkipWithError("no programme name");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply.size()));
}
BENCHMARK(BM_ParseProgramReply)->Arg(75)->Arg(256)->Arg(512)->Arg(1023);

void BM_ParseLockState(benchmark::State& state) {
  const std::string reply = StatusReply(static_cast<size_t>(state.range(0)));
  int lock = 0;
  for (auto _ : state) {
    const bool ok = ParseLockState(reply.c_str(), &lock);
    benchmark::DoNotOptimize(ok);
    if (!ok || lock != 1) state.SkipWithError("no lock state");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply.size()));
}
BENCHMARK(BM_ParseLockState)->Arg(75)->Arg(256)->Arg(512)->Arg(1023);

}  // namespace

// The platform's raw calls: the line over the block of memory, code page 932, no transcript, no
// debugger output, no waiting.
namespace varnel {
namespace platform {

const char kDevicePrefix[] = "\\\\.\\";
const char kDevicePathStart = '\\';

Handle OpenLine(const char*) {
  return 3;
}
void PurgeLine(Handle, unsigned) {}
LineStep ConfigureLine(Handle, const LineSettings&) {
  return LineStep::kDone;
}
LineStep SetLineSpeed(Handle, int) {
  return LineStep::kDone;
}
bool ReadLine(Handle, char* buffer, unsigned count, unsigned* received) {
  *received = 0;
  if (count < 1 || g_at >= g_size) return true;
  buffer[0] = g_bytes[g_at++];
  *received = 1;
  return true;
}
bool WriteLine(Handle, const char*, unsigned count, unsigned* written) {
  *written = count;
  return true;
}
void CloseLine(Handle) {}
unsigned LastError() {
  return 0;
}
unsigned BadNameError() {
  return 0;
}
int CompareText(const char* a, const char* b) {
  return std::strcmp(a, b);
}
Handle OpenTranscript(const char*) {
  return kNoHandle;
}
void WriteTranscript(Handle, const char*, std::size_t) {}
void CloseTranscript(Handle) {}
TranscriptTime LocalTime() {
  return {};
}
void TraceOutput(const char*) {}
void PauseMilliseconds(unsigned) {}
bool IsLeadByte(unsigned char byte) {
  return IsCp932LeadByte(byte);
}
void EnterLibraryLock() {}
void LeaveLibraryLock() {}
int FindTunerPorts(unsigned*, char*) {
  return 1;
}

}  // namespace platform
}  // namespace varnel

BENCHMARK_MAIN();
