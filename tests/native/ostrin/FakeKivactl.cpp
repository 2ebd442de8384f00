#include "FakeKivactl.h"

#include <cstdio>
#include <cstring>

#include "Platform.h"
#include "kivactl.h"

FakeKivactl* g_kivactl = nullptr;
std::vector<unsigned> g_pauses;

FakeKivactl::FakeKivactl() {
  g_kivactl = this;
  g_pauses.clear();
}

FakeKivactl::~FakeKivactl() {
  g_kivactl = nullptr;
}

void FakeKivactl::Queue(const std::string& bytes, size_t chunk) {
  for (size_t at = 0; at < bytes.size(); at += chunk) {
    FakeReceive piece;
    piece.bytes = bytes.substr(at, chunk);
    receives.push_back(piece);
  }
}

void FakeKivactl::QueueEmpty(int count) {
  for (int i = 0; i < count; ++i) receives.push_back(FakeReceive{});
}

void FakeKivactl::QueueFailure(int result) {
  FakeReceive failure;
  failure.result = result;
  receives.push_back(failure);
}

namespace ostrin {
void PauseMilliseconds(unsigned milliseconds) {
  g_pauses.push_back(milliseconds);
}
}  // namespace ostrin

namespace {

void Record(const char* format, int a = 0, int b = 0, int c = 0) {
  char line[96];
  std::snprintf(line, sizeof line, format, a, b, c);
  g_kivactl->calls.emplace_back(line);
}

}  // namespace

int DevCtrl_GetEnumDevice(int* count) {
  Record("DevCtrl_GetEnumDevice");
  if (g_kivactl->enumResult != 0) return g_kivactl->enumResult;
  *count = g_kivactl->deviceCount;
  return 0;
}

int DevCtrl_SetGetEnumDevice(int index) {
  Record("DevCtrl_SetGetEnumDevice %d", index);
  return 0;
}

int KivaDevCtrl_Initialize() {
  Record("KivaDevCtrl_Initialize");
  return g_kivactl->initializeResult;
}

int KivaDevCtrl_Uninitialize() {
  Record("KivaDevCtrl_Uninitialize");
  return g_kivactl->uninitializeResult;
}

int KivaDevCtrl_SetSTi7710Power(int unit, int on) {
  Record("KivaDevCtrl_SetSTi7710Power %d %d", unit, on);
  return g_kivactl->powerResult;
}

int KivaDevCtrl_SendRemoteCommand(int unit, unsigned short key) {
  Record("KivaDevCtrl_SendRemoteCommand %d 0x%04X", unit, key);
  return g_kivactl->keyResult;
}

int KivaDevCtrl_GetStatus(int unit, unsigned char* status, unsigned char* second,
                          unsigned char* third) {
  Record("KivaDevCtrl_GetStatus %d", unit);
  if (g_kivactl->statusResult != 0) return g_kivactl->statusResult;
  *status = g_kivactl->status;
  *second = 0xEE;
  *third = 0xEE;
  return 0;
}

int KivaDevCtrl_AccessFlashROM(int direction, char* buffer, int length, int fourth,
                               unsigned* transferred) {
  Record("KivaDevCtrl_AccessFlashROM %d %d %d", direction, length, fourth);
  FakeKivactl& fake = *g_kivactl;
  if (direction == 1) {
    ++fake.sendCount;
    fake.sent.append(buffer, static_cast<size_t>(length));
    *transferred = static_cast<unsigned>(length);
    if (fake.onSend) fake.onSend(fake);
    return fake.sendResult;
  }
  ++fake.receiveCount;
  if (fake.receives.empty()) {
    *transferred = 0;
    return 0;
  }
  const FakeReceive receive = fake.receives.front();
  fake.receives.pop_front();
  if (receive.result != 0) return receive.result;
  std::memcpy(buffer, receive.bytes.data(), receive.bytes.size());
  *transferred = receive.reported >= 0 ? static_cast<unsigned>(receive.reported)
                                       : static_cast<unsigned>(receive.bytes.size());
  return 0;
}
