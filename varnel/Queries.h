// The two queries built on the tuner's status text (the reply to GETSTAT).
#pragma once

namespace varnel {

class CCommPort;

constexpr int kProgramAttempts = 10;
constexpr unsigned kRetryPauseMs = 500;  // after every failed attempt, the last one included
constexpr unsigned kLockedBelow = 1000;  // bit-error figures below this mean signal locked

// Cuts the programme name and the channel number out of `reply` (NUL-terminated; it is cut in
// place). Needs "CHANNEL:", "PROGRAM:" and CR LF "screen=" anywhere in the reply; the name is the
// text after "PROGRAM:" up to CR LF "screen=". The name is copied to `name` only when its length
// plus its NUL is less than `size`. *channel is written whenever the three keys are found.
bool ParseProgramReply(char* reply, char* name, int size, int* channel);

// Reads the bit-error figure, the number in parentheses after "BitErrorRate=", and sets *lock to
// 1 when it is below 1000, else 0. False (and *lock 0) when the key or the "(" is missing.
bool ParseLockState(const char* reply, int* lock);

// Asks for the status text up to ten times until the programme name can be read. 0 or -6.
int ReadProgramName(CCommPort& port, char* name, int* size, int* channel);

// Reads the power state (unless `power` is null) and the lock state. 0 or -7.
int ReadTunerStatus(CCommPort& port, int* power, int* lock);

}  // namespace varnel
