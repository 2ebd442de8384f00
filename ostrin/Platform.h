// The one service the portable logic of ostrin asks of the platform. PlatformWin32.cpp is the
// real one; the native test build brings its own.
#pragma once

namespace ostrin {

// Waits the given number of milliseconds.
void PauseMilliseconds(unsigned milliseconds);

}  // namespace ostrin
