// The serial line to one tuner, with its optional transcript file "logfile.txt".
//
// An entry point keeps one object on its stack for the length of a call: constructed with
// defaults, re-opened for the tuner's port, used for the command exchanges, closed. Results are
// the PortResult values below. After a failure, Message() holds the identifier of what failed and
// LastError() the operating system's error code.
//
// CCommPort.cpp and Exchange.cpp hold the members; they reach the serial device, the transcript
// file and the clock through the raw calls of Platform.h.
#pragma once

#include "../Platform.h"

namespace varnel {

// What a member of CCommPort returns.
enum PortResult : int {
  kPortDone = 0,
  kPortFailed = 1,      // a call to the operating system failed
  kPortAborted = 2,     // a read brought nothing while the abort flag was set
  kPortNoResponse = 3,  // the tuner stayed silent for the whole idle limit
};

// Flow-control names, in code page 932: "ハードウェア" (hardware: CTS and DSR output handshaking
// on) and "なし" (none: both off). Any other name leaves the driver's setting alone.
extern const char kFlowHardware[];
extern const char kFlowNone[];

constexpr int kTunerBaudRate = 115200;
// Replies are collected in a zero-filled buffer of this size; one byte stays free for the NUL.
constexpr unsigned kReplySize = 1024;
// A read of n bytes waits up to n times this long.
constexpr unsigned kReadMsPerByte = 5000;

class CCommPort {
 public:
  CCommPort();  // Init("COM1", 115200, "")
  CCommPort(const char* name, int baudRate, const char* flowControl);
  ~CCommPort();
  CCommPort(const CCommPort&) = delete;
  CCommPort& operator=(const CCommPort&) = delete;

  // Forgets any earlier state (without closing) and stores the settings; the texts are not
  // copied and must outlive the object's use. Opens and empties "logfile.txt" when it exists.
  void Init(const char* name, int baudRate, const char* flowControl);
  // Closes the transcript and the port; closing a closed object does nothing.
  void Close();
  // Opens the port at 115200 baud, 8N1, with the flow-control setting and 5 s per byte reads.
  int Open();
  // Close, Init, Open.
  int Reopen(const char* name, int baudRate, const char* flowControl);
  // Sets the line speed to the stored baud rate.
  int ApplyBaudRate();
  // Makes a read that brings no byte report an abort (2).
  void SetAbort();

  // Reads up to `count` bytes. 0 done (*received may be 0 after the read time-out), 1 read
  // failed, 2 nothing arrived and the abort flag is set. Each received block goes to the
  // transcript.
  int ReadBytes(char* buffer, int count, unsigned* received);
  int WriteBytes(const char* buffer, int count, unsigned* written);

  // Stores the CRC-32/MPEG-2 of data[0 .. length) big-endian in data[length .. length + 4).
  int AppendCrc32(unsigned char* data, unsigned length);

  // Transcript lines: local time to the millisecond, a blank, the text, CR LF. Always 0.
  int LogLine(const char* text);
  // Level 1 "ERROR: ", 2 "WARNING: ", any other "INFO: " before the formatted message.
  int LogLeveled(int level, const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 3, 4)))
#endif
      ;

  // Port discovery through the platform (the driver's registry entries on Windows, where
  // Windows 95/98/Me is refused; sysfs on Linux); see PortDiscovery.h.
  static int EnumPorts(unsigned* count, char* list);
  static char* NthPortName(unsigned n, char* list);

  // One reply, up to and including the first CR after "OK". *length: capacity in, bytes kept
  // out. 0 complete (or buffer full), 1 read failed, 2 aborted, 3 no response.
  int ReceiveResponse(char* buffer, unsigned* length);

  // The command exchanges. Each writes its command and collects the reply: 0, or the first
  // failure of the write or the read.
  int QueryPowerState(int* power);        // *power = 1 when the reply has "POWER:on", else 0
  int SendSetPower(int on);               // "SETPOWER on" / "SETPOWER off"
  int SendRemoteKey(unsigned short key);  // "REMOTE <key>"
  int QueryStatusText(char* text);        // "GETSTAT"; text gets the whole reply (1024 bytes)

  const char* Message() const {
    return message;
  }
  unsigned LastError() const {
    return lastError;
  }

 private:
  // Every failure leaves by this door: it records the operating system's error code and the
  // identifier, traces the identifier when `traced` is set, and returns `result`.
  int Fail(PortResult result, const char* identifier, unsigned error, bool traced);
  // Builds the device path of portName into `path` (`size` bytes); false for an empty name.
  bool DevicePath(char* path, unsigned size) const;
  // Writes `command` and collects the reply into `reply` (kReplySize bytes).
  int Exchange(const char* command, char* reply);

  char message[256];
  unsigned lastError;
  platform::Handle portHandle;  // the serial device; kNoHandle when closed
  platform::Handle logHandle;   // the transcript file; kNoHandle when there is none
  int abortFlag;
  const char* portName;
  int baudRate;
  const char* flowControl;
};

}  // namespace varnel
