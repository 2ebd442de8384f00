// Text helpers that treat a double-byte character of the ANSI code page (lead byte plus trail
// byte) as one character. None of them steps over a terminating NUL. Which bytes lead is the
// platform's answer (Platform.h): the process's ANSI code page on Windows, code page 932 on Linux.
#pragma once

namespace varnel {

// True when `byte` begins a double-byte character of code page 932 (Shift-JIS): 81-9F, E0-FC.
bool IsCp932LeadByte(unsigned char byte);

// Upper-cases the single-byte letters a-z of `text` in place; double-byte characters are left
// alone. Returns `text`.
char* MbUpper(char* text);

// First occurrence of `key` in `text` that begins on a character boundary, or null.
const char* MbFind(const char* text, const char* key);
char* MbFind(char* text, const char* key);

// The character after the one at `p` (p itself when *p is NUL).
const char* MbNext(const char* p);

// The start of the character before `p` in the text that begins at `start`; null when p is at or
// before start.
char* MbPrev(char* start, char* p);

}  // namespace varnel
