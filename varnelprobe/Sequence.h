// The exerciser's fixed sequence, the same on every platform: count the tuners, then run the
// five tests against each one. The messages are printed in the execution character set of the
// build (code page 932 on Windows, UTF-8 on Linux).
#pragma once

#include <cstddef>

namespace probe {

// Counts the tuners and runs the five tests against each; *index holds the tuner under test.
void RunSequence(int* index);

// What the sequence asks of the platform (win32 in varnelprobe.cpp, posix/varnelprobe.cpp).
// Waits the given number of milliseconds.
void Pause(unsigned milliseconds);
// The programme name as the output shows it: the tuner's code page 932 bytes, converted where the
// output uses another encoding (into `buffer`, `size` bytes).
const char* ShownName(const char* name, char* buffer, std::size_t size);

}  // namespace probe
