// What ostrin asks of the platform: a pause and the library lock. win32/Platform.cpp is the real
// one; the native test build brings its own pause.
#pragma once

namespace ostrin {

// Waits the given number of milliseconds.
void PauseMilliseconds(unsigned milliseconds);

// The process-wide library lock, re-entrant for its holder.
void EnterLibraryLock();
void LeaveLibraryLock();

}  // namespace ostrin
