// The few services the portable logic asks of the platform. PlatformWin32.cpp is the real one;
// the native test build brings its own.
#pragma once

// True when `byte` begins a double-byte character in the process's ANSI code page.
bool IsLeadByte(unsigned char byte);

// Sends one line to the debugger output.
void TraceOutput(const char* line);

// Waits the given number of milliseconds.
void PauseMilliseconds(unsigned milliseconds);
