// The stand-in for the platform's raw calls (Platform.h) in the native unit tests: a scripted
// byte source behind the line's reads, a record of what was written, traced and put in the
// transcript, a fixed clock and pauses that are only counted. Everything else is the library's own
// code.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace varnel {
class CCommPort;
}

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
  // The text of each transcript line, without its time stamp and final CR LF.
  std::vector<std::string> transcript;
  // The port whose abort flag a scripted abort sets.
  varnel::CCommPort* abortPort = nullptr;
};

// The line the CCommPort objects of a test use, and what the platform saw.
extern FakeLine* g_line;
extern std::vector<std::string> g_traces;
extern std::vector<unsigned> g_pauses;
