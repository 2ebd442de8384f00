#include "Control.h"

#include "../include/ostrin.h"
#include "Device.h"
#include "RemoteKeys.h"
#include "kivactl.h"

namespace ostrin {

int SwitchPower(int on) {
  if (KivaDevCtrl_SetSTi7710Power(0, on) != 0) return OSTRIN_ERROR_SET_POWER;
  return 0;
}

int SendChannelKey(int selector) {
  if (!deviceOpen) return OSTRIN_ERROR_DEVICE;
  unsigned short key = 0;
  if (!RemoteKeyForSelector(selector, &key)) return OSTRIN_ERROR_SET_CHANNEL;
  if (KivaDevCtrl_SendRemoteCommand(0, key) != 0) return OSTRIN_ERROR_SET_CHANNEL;
  return 0;
}

}  // namespace ostrin
