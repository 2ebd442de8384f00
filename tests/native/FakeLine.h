// The stand-in for the serial line and the platform in the native unit tests: a scripted byte
// source for CCommPort::ReadBytes, a record of what was written and traced, and a clock that only
// counts the pauses asked of it.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

struct FakeRead {
  enum Kind { kByte, kEmpty, kFail, kAbort } kind;
  char byte;
};

class FakeLine {
 public:
  FakeLine();
  ~FakeLine();

  // Scripts the results of the next one-byte reads; once the script is used up, every read
  // brings nothing (a silent tuner).
  void Send(const std::string& bytes);
  void Silence(int reads);
  void FailRead();

  // Called for every command written; what it returns is sent as the tuner's answer.
  std::function<std::string(const std::string& command)> answer;
  bool failWrites = false;

  std::deque<FakeRead> reads;
  int readCalls = 0;
  std::string written;
  std::vector<std::string> transcript;
};

// The line the CCommPort objects of a test use, and what the platform saw.
extern FakeLine* g_line;
extern std::vector<std::string> g_traces;
extern std::vector<unsigned> g_pauses;
