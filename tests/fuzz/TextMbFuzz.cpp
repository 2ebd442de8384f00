// The multibyte text helpers on arbitrary bytes, in code page 932 (the lead-byte table the Linux
// library uses too).
//
// Input: one byte giving the key's length (modulo 32), the key, then the text.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "Platform.h"
#include "TextMb.h"

using namespace varnel;  // NOLINT: the library's internals under test

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t keyLength = std::min<size_t>(data[0] % 32, size - 1);
  const std::string key(reinterpret_cast<const char*>(data + 1), keyLength);
  const size_t textLength = size - 1 - keyLength;
  // The text in a buffer of exactly its length plus the NUL, so that ASan sees any step beyond.
  std::unique_ptr<char[]> text(new char[textLength + 1]);
  std::memcpy(text.get(), data + 1 + keyLength, textLength);
  text[textLength] = '\0';
  const size_t length = std::strlen(text.get());
  char* const start = text.get();

  // Character boundaries, walked with MbNext: one byte, or a lead byte and the byte after it
  // unless that is the NUL. The walk ends on the NUL and stays there.
  std::vector<char*> boundaries;
  char* p = start;
  while (*p != '\0') {
    boundaries.push_back(p);
    char* next = const_cast<char*>(MbNext(p));
    const bool pair = IsCp932LeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0';
    FUZZ_CHECK(next == p + (pair ? 2 : 1));
    p = next;
  }
  FUZZ_CHECK(p == start + length && MbNext(p) == p);

  // MbPrev goes back to the boundary before; nothing before the start.
  FUZZ_CHECK(MbPrev(start, start) == nullptr);
  for (size_t i = 1; i < boundaries.size(); ++i) {
    FUZZ_CHECK(MbPrev(start, boundaries[i]) == boundaries[i - 1]);
  }
  if (!boundaries.empty()) FUZZ_CHECK(MbPrev(start, p) == boundaries.back());

  // MbFind: the first boundary where the key (up to its NUL) begins.
  const char* keyText = key.c_str();
  const size_t keyBytes = std::strlen(keyText);
  const char* found = MbFind(static_cast<const char*>(start), keyText);
  const char* expected = nullptr;
  for (char* b : boundaries) {
    if (std::strncmp(b, keyText, keyBytes) == 0) {
      expected = b;
      break;
    }
  }
  if (expected == nullptr && keyBytes == 0) expected = p;  // the empty key matches at the NUL
  FUZZ_CHECK(found == expected);

  // MbUpper: a-z upper-cased at character starts only; trail bytes and everything else as it was.
  const std::string before(start, length);
  FUZZ_CHECK(MbUpper(start) == start);
  FUZZ_CHECK(std::strlen(start) == length);
  size_t next = 0;
  for (size_t i = 0; i < length; ++i) {
    const bool atStart = next < boundaries.size() && boundaries[next] == start + i;
    if (atStart) ++next;
    const char c = before[i];
    const bool letter = c >= 'a' && c <= 'z';
    FUZZ_CHECK(start[i] == (atStart && letter ? static_cast<char>(c - 'a' + 'A') : c));
  }
  return 0;
}
