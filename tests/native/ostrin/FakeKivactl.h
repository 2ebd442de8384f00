// The stand-in for kivactl and the platform in ostrin's native unit tests: scripted results and
// pipe receives, a record of the calls, and a clock that only records the pauses asked of it.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

struct FakeReceive {
  int result = 0;
  std::string bytes;
  long reported = -1;  // the bytes-transferred count reported; -1: the size of `bytes`
};

class FakeKivactl {
 public:
  FakeKivactl();
  ~FakeKivactl();

  // Queues receives bringing `bytes` in pieces of `chunk` bytes.
  void Queue(const std::string& bytes, size_t chunk = 10);
  void QueueEmpty(int count);
  void QueueFailure(int result);

  int deviceCount = 1;
  int enumResult = 0;  // non-zero: fails without writing the count
  int initializeResult = 0;
  int uninitializeResult = 0;
  int powerResult = 0;
  int keyResult = 0;
  int statusResult = 0;
  unsigned char status = 0xC0;
  int sendResult = 0;
  // Called for every send through the pipe, after it was recorded.
  std::function<void(FakeKivactl&)> onSend;

  std::deque<FakeReceive> receives;  // once used up, every receive brings nothing
  std::vector<std::string> calls;    // "name arguments", as the stand-in DLL logs them
  std::string sent;
  int receiveCount = 0;
  int sendCount = 0;
};

extern FakeKivactl* g_kivactl;
extern std::vector<unsigned> g_pauses;
