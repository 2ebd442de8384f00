#include "Queries.h"

#include <cstring>

#include "../include/varnel.h"
#include "CommPort/CCommPort.h"
#include "DebugTrace.h"
#include "Platform.h"
#include "TextMb.h"

namespace varnel {

namespace {

const char kChannelKey[] = "CHANNEL:";
const char kProgramKey[] = "PROGRAM:";
const char kNameEndKey[] = "\r\nscreen=";
const char kBitErrorRateKey[] = "BitErrorRate=";

bool IsBlank(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// A decimal number as the scanf conversions read it: blanks skipped, an optional sign, digits.
// False when no digit follows. A magnitude too large for 32 bits saturates.
bool ScanDecimal(const char* text, bool* negative, unsigned long long* magnitude) {
  while (IsBlank(*text)) ++text;
  *negative = *text == '-';
  if (*text == '-' || *text == '+') ++text;
  if (*text < '0' || *text > '9') return false;
  *magnitude = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    *magnitude = *magnitude * 10 + static_cast<unsigned>(*text - '0');
    if (*magnitude > 0xFFFFFFFFull) *magnitude = 0x100000000ull;  // saturate, never overflow
  }
  return true;
}

// "%d": the number clamped to the range of int; `fallback` when there is none.
int ScanInt(const char* text, int fallback) {
  bool negative = false;
  unsigned long long magnitude = 0;
  if (!ScanDecimal(text, &negative, &magnitude)) return fallback;
  if (negative)
    return magnitude > 0x80000000ull ? -0x7FFFFFFF - 1 : -static_cast<long long>(magnitude);
  return magnitude > 0x7FFFFFFFull ? 0x7FFFFFFF : static_cast<int>(magnitude);
}

// "%u": a negative number is taken as its unsigned 32-bit value; `fallback` when there is none.
unsigned ScanUnsigned(const char* text, unsigned fallback) {
  bool negative = false;
  unsigned long long magnitude = 0;
  if (!ScanDecimal(text, &negative, &magnitude)) return fallback;
  if (magnitude > 0xFFFFFFFFull) return 0xFFFFFFFFu;
  const unsigned value = static_cast<unsigned>(magnitude);
  return negative ? 0u - value : value;
}

}  // namespace

bool ParseProgramReply(char* reply, char* name, int size, int* channel) {
  char* channelKey = MbFind(reply, kChannelKey);
  char* programKey = MbFind(reply, kProgramKey);
  char* nameEnd = MbFind(reply, kNameEndKey);
  if (channelKey == nullptr || programKey == nullptr || nameEnd == nullptr) return false;

  *nameEnd = '\0';  // over the CR of CR LF "screen="
  char* beforeProgram = MbPrev(reply, programKey);
  if (beforeProgram != nullptr) *beforeProgram = '\0';  // ends the text the channel is read from
  const char* programName = programKey + (sizeof kProgramKey - 1);

  *channel = 0;
  *channel = ScanInt(channelKey + (sizeof kChannelKey - 1), 0);

  const int length = static_cast<int>(std::strlen(programName));
  if (length + 1 >= size) return false;  // a name that would fill the buffer is refused too
  std::memcpy(name, programName, static_cast<size_t>(length) + 1);
  DebugTrace("Channel:%d\n", *channel);
  DebugTrace("Program:%s\n", name);
  return true;
}

bool ParseLockState(const char* reply, int* lock) {
  *lock = 0;
  const char* p = MbFind(reply, kBitErrorRateKey);
  if (p == nullptr) return false;
  while (*p != '\0' && *p != '(') p = MbNext(p);  // a lead byte before the NUL ends the scan
  if (*p != '(') return false;
  // No digits after "(": a figure that can never count as locked (traced as -1).
  const unsigned bitErrors = ScanUnsigned(p + 1, 0xFFFFFFFFu);
  DebugTrace("BER:%d\n", static_cast<int>(bitErrors));
  *lock = bitErrors < kLockedBelow ? 1 : 0;
  return true;
}

int ReadProgramName(CCommPort& port, char* name, int* size, int* channel) {
  for (int attempt = 1; attempt <= kProgramAttempts; ++attempt) {
    char reply[kReplySize] = {};
    port.QueryStatusText(reply);  // a failed exchange leaves the reply empty
    if (ParseProgramReply(reply, name, *size, channel)) return 0;
    platform::PauseMilliseconds(kRetryPauseMs);
  }
  return VARNEL_ERROR_GET_PROGRAM_NAME;
}

int ReadTunerStatus(CCommPort& port, int* power, int* lock) {
  if (lock == nullptr) return VARNEL_ERROR_GET_STATUS;
  if (power != nullptr) port.QueryPowerState(power);  // a failed exchange leaves *power alone
  char reply[kReplySize] = {};
  port.QueryStatusText(reply);
  return ParseLockState(reply, lock) ? 0 : VARNEL_ERROR_GET_STATUS;
}

}  // namespace varnel
