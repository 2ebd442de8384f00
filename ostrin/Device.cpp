#include "Device.h"

#include "../include/ostrin.h"
#include "kivactl.h"

namespace ostrin {

int deviceOpen = 0;

namespace {

bool InRange(int index) {
  return index >= 1 && index <= kDeviceSlots;
}

}  // namespace

int OpenDevice(int index) {
  if (!InRange(index)) return OSTRIN_ERROR_DEVICE;
  if (deviceOpen) return kAlreadyOpen;
  int count = 0;
  DevCtrl_GetEnumDevice(&count);  // a failure leaves the count at 0
  if (count == 0) return OSTRIN_ERROR_NO_DEVICE;
  if (count < 0) return OSTRIN_ERROR_DEVICE;
  DevCtrl_SetGetEnumDevice(index);
  const int initialized = KivaDevCtrl_Initialize();
  if (initialized == OSTRIN_ERROR_NO_DEVICE) return OSTRIN_ERROR_NO_DEVICE;
  if (initialized != 0) return OSTRIN_ERROR_DEVICE;
  deviceOpen = 1;
  return 0;
}

int CloseDevice(int index) {
  if (!InRange(index)) return OSTRIN_ERROR_DEVICE;
  return CloseConnection();
}

int CloseConnection() {
  if (!deviceOpen) return 0;
  const int closed = KivaDevCtrl_Uninitialize();
  deviceOpen = 0;
  return closed == 0 ? 0 : OSTRIN_ERROR_DEVICE;
}

int CountDevices(int* count) {
  if (count == nullptr) return OSTRIN_ERROR_GET_COUNT;
  *count = 0;
  if (DevCtrl_GetEnumDevice(count) != 0) return OSTRIN_ERROR_GET_COUNT;
  return 0;
}

}  // namespace ostrin
