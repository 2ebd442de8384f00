// The platform's raw calls for the native unit tests, over the scripted line of FakeLine.
#include "FakeLine.h"

#include <cstring>

#include "CommPort/CCommPort.h"
#include "Platform.h"
#include "TextMb.h"

FakeLine* g_line = nullptr;
std::vector<std::string> g_traces;
std::vector<unsigned> g_pauses;

FakeLine::FakeLine() {
  g_line = this;
  g_traces.clear();
  g_pauses.clear();
}

FakeLine::~FakeLine() {
  g_line = nullptr;
}

void FakeLine::Send(const std::string& bytes) {
  for (char c : bytes) reads.push_back({FakeRead::kByte, c});
}

void FakeLine::Silence(int count) {
  for (int i = 0; i < count; ++i) reads.push_back({FakeRead::kEmpty, 0});
}

void FakeLine::FailRead() {
  reads.push_back({FakeRead::kFail, 0});
}

namespace varnel {
namespace platform {

const char kDevicePrefix[] = "\\\\.\\";
const char kDevicePathStart = '\\';

namespace {
constexpr Handle kLine = 3, kTranscript = 4;
constexpr unsigned kGenFailure = 31;  // ERROR_GEN_FAILURE
constexpr size_t kStampLength = sizeof "2026/03/09 07:05:04.032 " - 1;
}  // namespace

Handle OpenLine(const char*) {
  return kLine;
}
void PurgeLine(Handle, unsigned) {}
LineStep ConfigureLine(Handle, const LineSettings&) {
  return LineStep::kDone;
}
LineStep SetLineSpeed(Handle, int) {
  return LineStep::kDone;
}

bool ReadLine(Handle, char* buffer, unsigned count, unsigned* received) {
  ++g_line->readCalls;
  *received = 0;
  if (count < 1 || g_line->reads.empty()) return true;
  const FakeRead read = g_line->reads.front();
  g_line->reads.pop_front();
  switch (read.kind) {
    case FakeRead::kFail:
      return false;
    case FakeRead::kAbort:
      if (g_line->abortPort != nullptr) g_line->abortPort->SetAbort();
      return true;
    case FakeRead::kEmpty:
      return true;
    case FakeRead::kByte:
      break;
  }
  buffer[0] = read.byte;
  *received = 1;
  return true;
}

bool WriteLine(Handle, const char* buffer, unsigned count, unsigned* written) {
  if (g_line->failWrites) return false;
  const std::string command(buffer, count);
  g_line->written += command;
  *written = count;
  if (g_line->answer) g_line->Send(g_line->answer(command));
  return true;
}

void CloseLine(Handle) {}

unsigned LastError() {
  return kGenFailure;
}
unsigned BadNameError() {
  return 123;  // ERROR_INVALID_NAME
}
int CompareText(const char* a, const char* b) {
  return std::strcmp(a, b);
}

// Every port object of a test has a transcript; its lines go to FakeLine::transcript.
Handle OpenTranscript(const char*) {
  return kTranscript;
}
void WriteTranscript(Handle, const char* line, std::size_t length) {
  if (g_line == nullptr) return;
  const std::string text(line, length);
  g_line->transcript.push_back(text.substr(kStampLength, text.size() - kStampLength - 2));
}
void CloseTranscript(Handle) {}
TranscriptTime LocalTime() {
  return {2026, 3, 9, 7, 5, 4, 32};
}

void TraceOutput(const char* line) {
  g_traces.emplace_back(line);
}
void PauseMilliseconds(unsigned milliseconds) {
  g_pauses.push_back(milliseconds);
}
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
