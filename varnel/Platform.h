// What the portable logic asks of the operating system: raw calls only, nothing that decides.
// win32/Platform.cpp and posix/Platform.cpp are the real ones; the native tests and benchmarks
// bring their own doubles of these and reuse the rest of the library.
#pragma once

#include <cstddef>
#include <cstdint>

#include "CommPort/Transcript.h"

namespace varnel {
namespace platform {

// A serial line or a file: a Windows handle or a file descriptor. kNoHandle when none is open.
using Handle = std::intptr_t;
constexpr Handle kNoHandle = -1;

// Port names are turned into device paths by putting kDevicePrefix before them, unless they
// begin with kDevicePathStart already ("\\.\" and '\' on Windows, "/dev/" and '/' on Linux).
extern const char kDevicePrefix[];
extern const char kDevicePathStart;

// How the line's output handshaking is set: as the driver had it, on, or off.
enum class Handshaking { kAsIs, kOn, kOff };

struct LineSettings {
  int baudRate;
  Handshaking handshaking;
  unsigned readMsPerByte;  // a read of n bytes waits up to n times this long
};

// The step of ConfigureLine or SetLineSpeed that failed.
enum class LineStep { kDone, kGetTimeouts, kSetTimeouts, kGetState, kSetState };

// Opens an existing serial device for reading and writing, held against other processes where the
// platform can. kNoHandle on failure (LastError() tells why).
Handle OpenLine(const char* devicePath);
// Sets the driver's input and output queue sizes, where it has them, and discards pending data
// in both directions; failures are ignored.
void PurgeLine(Handle line, unsigned queueSize);
// Applies speed, 8N1, handshaking, DTR and RTS raised, and the read time-out.
LineStep ConfigureLine(Handle line, const LineSettings& settings);
LineStep SetLineSpeed(Handle line, int baudRate);
// Reads up to `count` bytes, waiting as configured; *received may be 0. False on failure.
bool ReadLine(Handle line, char* buffer, unsigned count, unsigned* received);
bool WriteLine(Handle line, const char* buffer, unsigned count, unsigned* written);
void CloseLine(Handle line);

// The error code of the call that failed last, and the one for a name no device can have.
unsigned LastError();
unsigned BadNameError();
// The platform's comparison of two texts (0 when equal).
int CompareText(const char* a, const char* b);

// The transcript: an existing file opened for writing and emptied; one write per line.
Handle OpenTranscript(const char* fileName);
void WriteTranscript(Handle file, const char* line, std::size_t length);
void CloseTranscript(Handle file);
// The local date and time, to the millisecond.
TranscriptTime LocalTime();

// One line to the debugger trace.
void TraceOutput(const char* line);
// Waits the given number of milliseconds.
void PauseMilliseconds(unsigned milliseconds);
// True when `byte` begins a double-byte character in the text's code page.
bool IsLeadByte(unsigned char byte);

// The process-wide library lock, re-entrant for its holder.
void EnterLibraryLock();
void LeaveLibraryLock();

// Fills `list` (kPortListSize bytes) with the tuner's port names and adds their number to
// *count (0 on entry). 0 on success, 1 when the platform's device listing cannot be read.
int FindTunerPorts(unsigned* count, char* list);

}  // namespace platform
}  // namespace varnel
