// tunerctl: one command line, one library call, one line of output and an exit status.
//
// The portable core decides everything; a platform file supplies the library's five functions,
// the code page 932 conversion, the two output streams and the clock (win32/, posix/).
#ifndef TUNERCTL_TUNERCTL_H
#define TUNERCTL_TUNERCTL_H

#include <string>
#include <vector>

#include "Arguments.h"
#include "WaitNotice.h"
#include "varnel.h"

namespace tunerctl {

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;    // the tuner or its library failed
constexpr int kExitBadUsage = 2;  // the command line is wrong

// The five functions of one tuner library (varnel and ostrin share their signatures).
struct TunerLibrary {
  const char* prefix = "VARNEL";  // "VARNEL" or "OSTRIN": names the functions in messages
  int(VARNEL_CALL* getCount)(int* count) = nullptr;
  int(VARNEL_CALL* setPower)(int index, int on) = nullptr;
  int(VARNEL_CALL* setChannel)(int index, int selector) = nullptr;
  int(VARNEL_CALL* getProgramName)(int index, char* name, int* size, int* channel) = nullptr;
  int(VARNEL_CALL* getStatus)(int index, int* power, int* lock) = nullptr;
};

// The serial library, linked through its header on every platform. Inline, so that the core's
// tests, which bring their own fake library, need no varnel.
inline TunerLibrary SerialLibrary() {
  TunerLibrary library;
  library.prefix = "VARNEL";
  library.getCount = VARNEL_GetCount;
  library.setPower = VARNEL_SetPower;
  library.setChannel = VARNEL_SetChannel;
  library.getProgramName = VARNEL_GetProgramName;
  library.getStatus = VARNEL_GetStatus;
  return library;
}

class Platform {
 public:
  virtual ~Platform() = default;
  // The serial library, or with `usb` the USB one. On failure `*problem` is one line saying
  // what is missing.
  virtual bool OpenLibrary(bool usb, TunerLibrary* library, std::string* problem) = 0;
  // Text from the tuner, in code page 932, as UTF-8.
  virtual std::string Cp932ToUtf8(const std::string& text) = 0;
  // One line of UTF-8 text each; the platform ends the line and shows it as its stream needs.
  virtual void WriteOut(const std::string& line) = 0;
  virtual void WriteErr(const std::string& line) = 0;
  virtual bool ErrIsTerminal() = 0;
  virtual Clock& GetClock() = 0;
};

// What a successful call wrote.
struct Reading {
  int count = 0;
  int power = -1;  // -1: not written (a status call whose power exchange failed)
  int lock = 0;
  int channel = 0;
  std::string name;  // UTF-8
};

std::string VersionLine();
std::string HumanLine(const Invocation& invocation, const Reading& reading);
std::string JsonLine(const Invocation& invocation, const Reading& reading);
std::string FailureLine(const Invocation& invocation, const TunerLibrary& library, int result,
                        const Reading& reading);
std::string StillWaitingLine(const Invocation& invocation, const TunerLibrary& library);

// The whole program; `args` without the program's own name. Returns the exit status.
int Main(const std::vector<std::string>& args, Platform& platform);

}  // namespace tunerctl

#endif  // TUNERCTL_TUNERCTL_H
