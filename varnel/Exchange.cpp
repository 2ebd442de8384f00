// The command exchanges of CCommPort: write one command, collect one reply byte by byte.
#include "Exchange.h"

#include <cstdio>
#include <cstring>

#include "CommPort/CCommPort.h"

namespace varnel {

namespace {

struct SelectorKey {
  int selector;
  unsigned short key;
};

constexpr SelectorKey kNetworkAndStepKeys[] = {
    {0, 23},   // channel up
    {-1, 26},  // channel down
    {-2, 5},   // terrestrial digital
    {-3, 2},   // BS digital
};
constexpr int kFirstButton = 1, kLastButton = 12;
constexpr unsigned short kButtonKeyOffset = 7;  // button n is key n + 7

bool EndsWithOkMark(const char* buffer, unsigned position) {
  return buffer[position] == '\r' && position >= 2 && buffer[position - 2] == 'O' &&
         buffer[position - 1] == 'K';
}

}  // namespace

bool RemoteKeyForSelector(int selector, unsigned short* key) {
  if (selector >= kFirstButton && selector <= kLastButton) {
    *key = static_cast<unsigned short>(selector + kButtonKeyOffset);
    return true;
  }
  for (const SelectorKey& entry : kNetworkAndStepKeys) {
    if (entry.selector == selector) {
      *key = entry.key;
      return true;
    }
  }
  return false;
}

int CCommPort::ReceiveResponse(char* buffer, unsigned* length) {
  LogLine("[Resp]:");
  const unsigned capacity = *length;
  std::memset(buffer, 0, capacity);
  unsigned position = 0;
  int idleReads = 0;
  int nulReads = 0;
  while (position + 1 < capacity) {  // one byte stays free for the NUL
    unsigned received = 0;
    const int result = ReadBytes(buffer + position, 1, &received);
    if (result != kPortDone) return result;  // read failed, or aborted
    // Tested after the read, before its byte is looked at. No call failed: lastError stays.
    if (idleReads >= kIdleReadLimit) {
      return Fail(kPortNoResponse, "IDS_MSG_ERR_RESPONSE", lastError, false);
    }
    if (received == 0) {
      ++idleReads;
      continue;
    }
    if (EndsWithOkMark(buffer, position)) {
      buffer[position + 1] = '\0';
      *length = position + 1;
      return kPortDone;
    }
    // A NUL byte is dropped: the next byte overwrites it, and the idle count stays as it was,
    // up to kNulReadLimit of them.
    if (buffer[position] == '\0') {
      if (++nulReads > kNulReadLimit) ++idleReads;
      continue;
    }
    idleReads = 0;
    ++position;
  }
  return kPortDone;  // buffer full without the end mark
}

int CCommPort::Exchange(const char* command, char* reply) {
  unsigned written = 0;  // a short write is not a failure; only a failed write call is
  int result = WriteBytes(command, static_cast<int>(std::strlen(command)), &written);
  if (result != kPortDone) return result;
  unsigned length = kReplySize;
  return ReceiveResponse(reply, &length);
}

int CCommPort::QueryPowerState(int* power) {
  if (power == nullptr) return kPortFailed;
  char command[16];
  std::snprintf(command, sizeof command, "%s\r", "GETSTAT");
  char reply[kReplySize];
  const int result = Exchange(command, reply);
  if (result != kPortDone) return result;
  *power = 0;
  if (std::strstr(reply, "POWER:on") != nullptr) *power = 1;  // byte-wise search
  return kPortDone;
}

int CCommPort::SendSetPower(int on) {
  char command[16];
  std::snprintf(command, sizeof command, "SETPOWER %s", on != 0 ? "on\r" : "off\r");
  char reply[kReplySize];
  return Exchange(command, reply);
}

int CCommPort::SendRemoteKey(unsigned short key) {
  char command[16];
  std::snprintf(command, sizeof command, "REMOTE %d\r", key);
  char reply[kReplySize];
  return Exchange(command, reply);
}

int CCommPort::QueryStatusText(char* text) {
  char reply[kReplySize];
  const int result = Exchange("GETSTAT\r", reply);
  // A failed exchange leaves nothing to find in the text.
  if (result != kPortDone) {
    std::memset(text, 0, kReplySize);
    return result;
  }
  std::memcpy(text, reply, kReplySize);
  return kPortDone;
}

}  // namespace varnel
