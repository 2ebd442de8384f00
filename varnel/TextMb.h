// Text helpers that treat a double-byte character of the ANSI code page (lead byte plus trail
// byte) as one character. None of them steps over a terminating NUL.
#pragma once

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
