#include "Queries.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "../include/ostrin.h"
#include "Device.h"
#include "Pipe.h"
#include "Platform.h"
#include "kivactl.h"

namespace ostrin {
namespace {

constexpr char kChannelKey[] = "CHANNEL:";
constexpr char kProgramKey[] = "PROGRAM:";
constexpr char kNameEndKey[] = "\r\nOK";

// The decimal number at the start of `text`, as atoi reads it, but saturated instead of
// overflowing.
int DecimalAt(const char* text) {
  const long value = std::strtol(text, nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

// The first status byte, or false when kivactl cannot read it.
bool ReadStatusByte(unsigned char* status) {
  unsigned char second = 0;
  unsigned char third = 0;
  return KivaDevCtrl_GetStatus(0, status, &second, &third) == 0;
}

}  // namespace

bool ParseReply(const char* reply, char* name, int size, int* channel) {
  if (size < 1) return false;
  const char* channelKey = std::strstr(reply, kChannelKey);
  if (channelKey == nullptr) return false;
  const char* programKey = std::strstr(channelKey, kProgramKey);
  if (programKey == nullptr) return false;
  const char* nameEnd = std::strstr(programKey, kNameEndKey);
  if (nameEnd == nullptr) return false;

  const char* nameStart = programKey + sizeof kProgramKey - 1;
  int length = static_cast<int>(nameEnd - nameStart);
  if (length > size - 1) length = size - 1;
  std::memcpy(name, nameStart, static_cast<size_t>(length));
  name[length] = '\0';
  *channel = DecimalAt(channelKey + sizeof kChannelKey - 1);
  return true;
}

int ReadProgramName(char* name, int* size, int* channel) {
  if (name == nullptr || size == nullptr || channel == nullptr || *size < 1) {
    return OSTRIN_ERROR_GET_PROGRAM_NAME;
  }
  if (!deviceOpen) return OSTRIN_ERROR_DEVICE;
  unsigned char status = 0;
  if (!ReadStatusByte(&status)) return OSTRIN_ERROR_GET_PROGRAM_NAME;
  if ((status & kStatusPowered) == 0 || (status & kStatusLocked) == 0) {
    return OSTRIN_ERROR_GET_PROGRAM_NAME;  // only a powered tuner with a locked signal is asked
  }
  for (int attempt = 1; attempt <= kProgramAttempts; ++attempt) {
    SendStatusQuery();  // a failed send is followed by a read all the same
    char reply[kReplySize] = {};
    unsigned length = sizeof reply;
    ReceiveReply(reply, &length);
    if (ParseReply(reply, name, *size, channel)) return 0;
    PauseMilliseconds(kRetryPauseMs);
  }
  return OSTRIN_ERROR_GET_PROGRAM_NAME;
}

int ReadTunerStatus(int* power, int* lock) {
  if (power == nullptr || lock == nullptr) return OSTRIN_ERROR_GET_STATUS;
  if (!deviceOpen) return OSTRIN_ERROR_DEVICE;
  *lock = 0;
  *power = 0;
  unsigned char status = 0;
  if (!ReadStatusByte(&status)) return OSTRIN_ERROR_GET_STATUS;
  *power = (status & kStatusPowered) != 0 ? 1 : 0;
  *lock = (status & kStatusLocked) != 0 ? 1 : 0;
  return 0;
}

}  // namespace ostrin
