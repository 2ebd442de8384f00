// The work of OSTRIN_GetProgramName and OSTRIN_GetStatus, on an open connection.
#pragma once

namespace ostrin {

constexpr unsigned char kStatusPowered = 0x80;
constexpr unsigned char kStatusLocked = 0x40;
constexpr int kProgramAttempts = 10;
constexpr unsigned kRetryPauseMs = 500;  // after every failed attempt, the last one included

// Cuts the programme name and the channel number out of the NUL-terminated `reply`. Needs
// "CHANNEL:", then "PROGRAM:" at or after it, then CR LF "OK" at or after that. The name is all
// text from after "PROGRAM:" to CR LF "OK", further lines included, cut to size - 1 bytes and
// ended by a NUL. *channel is the decimal number after "CHANNEL:" (blanks and a sign allowed, 0
// without digits, saturated at the range of int). False, with nothing written, when a key is
// missing or `size` is below 1.
bool ParseReply(const char* reply, char* name, int size, int* channel);

// Asks for the status text up to ten times until the name can be read, if the tuner is powered
// and locked. 0; -1 without an open connection; -6 for a null argument, *size below 1, a tuner
// that is off or unlocked, a failed status read, or ten attempts without a name.
int ReadProgramName(char* name, int* size, int* channel);

// Reads the power and lock bits of the status byte into *power and *lock (both 0 first). 0; -1
// without an open connection; -7 for a null argument or a failed status read.
int ReadTunerStatus(int* power, int* lock);

}  // namespace ostrin
