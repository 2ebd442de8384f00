// CCommPort's platform members, and the platform services, for the native unit tests.
#include "FakeLine.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "CommPort/CCommPort.h"
#include "Platform.h"

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

// Code page 932.
bool IsLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

void TraceOutput(const char* line) {
  g_traces.emplace_back(line);
}

void PauseMilliseconds(unsigned milliseconds) {
  g_pauses.push_back(milliseconds);
}

void CCommPort::Init(const char* name, int baud, const char* flow) {
  ResetState(name, baud, flow);
}

void CCommPort::Close() {}
int CCommPort::Open() {
  return 0;
}
int CCommPort::Reopen(const char* name, int baud, const char* flow) {
  Init(name, baud, flow);
  return Open();
}
int CCommPort::ApplyBaudRate() {
  return 0;
}

int CCommPort::Fail(const char* identifier, bool) {
  lastError = 31;  // ERROR_GEN_FAILURE
  SetMessage(identifier);
  return 1;
}

int CCommPort::ReadBytes(char* buffer, int count, unsigned* received) {
  ++g_line->readCalls;
  *received = 0;
  if (count < 1 || g_line->reads.empty()) return abortFlag ? 2 : 0;
  const FakeRead read = g_line->reads.front();
  g_line->reads.pop_front();
  switch (read.kind) {
    case FakeRead::kFail:
      return Fail("IDS_MSG_ERR_ReadComPort", false);
    case FakeRead::kAbort:
      SetAbort();
      return 2;
    case FakeRead::kEmpty:
      return abortFlag ? 2 : 0;
    case FakeRead::kByte:
      break;
  }
  buffer[0] = read.byte;
  *received = 1;
  LogLine(read.byte == '\0' ? "NULL\r\n" : std::string(1, read.byte).c_str());
  return 0;
}

int CCommPort::WriteBytes(const char* buffer, int count, unsigned* written) {
  if (g_line->failWrites) return Fail("IDS_MSG_ERR_WriteComPort", false);
  const std::string command(buffer, static_cast<size_t>(count));
  g_line->written += command;
  *written = static_cast<unsigned>(count);
  if (g_line->answer) g_line->Send(g_line->answer(command));
  return 0;
}

int CCommPort::LogLine(const char* text) {
  g_line->transcript.emplace_back(text);
  return 0;
}

int CCommPort::LogLeveled(int, const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return LogLine(text);
}

int CCommPort::EnumPorts(unsigned*, char*) {
  return 1;
}
