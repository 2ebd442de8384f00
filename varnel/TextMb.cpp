#include "TextMb.h"

#include <cstring>

#include "Platform.h"

namespace varnel {

namespace {

struct ByteRange {
  unsigned char first, last;
};
constexpr ByteRange kCp932LeadBytes[] = {{0x81, 0x9F}, {0xE0, 0xFC}};

}  // namespace

bool IsCp932LeadByte(unsigned char byte) {
  for (const ByteRange& range : kCp932LeadBytes) {
    if (byte >= range.first && byte <= range.last) return true;
  }
  return false;
}

const char* MbNext(const char* p) {
  if (*p == '\0') return p;
  if (platform::IsLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0') return p + 2;
  return p + 1;
}

char* MbUpper(char* text) {
  for (char* p = text; *p != '\0'; p = const_cast<char*>(MbNext(p))) {
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
  }
  return text;
}

const char* MbFind(const char* text, const char* key) {
  const size_t keyLength = std::strlen(key);
  for (const char* p = text;; p = MbNext(p)) {
    if (std::strncmp(p, key, keyLength) == 0) return p;
    if (*p == '\0') return nullptr;
  }
}

char* MbFind(char* text, const char* key) {
  return const_cast<char*>(MbFind(static_cast<const char*>(text), key));
}

char* MbPrev(char* start, char* p) {
  if (p <= start) return nullptr;
  // Character boundaries are only known from the start of the text: walk forward to p. A NUL
  // written into the text earlier counts as one character here.
  char* previous = start;
  for (char* q = start; q < p;
       q += (platform::IsLeadByte(static_cast<unsigned char>(*q)) && q[1] != '\0') ? 2 : 1) {
    previous = q;
  }
  return previous;
}

}  // namespace varnel
