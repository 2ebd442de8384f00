// The work of OSTRIN_SetPower and OSTRIN_SetChannel, on an open connection.
#pragma once

namespace ostrin {

// Passes `on` to the tuner's power switch. 0, or -4 when kivactl refused.
int SwitchPower(int on);

// Sends the remote key for `selector`. 0; -1 without an open connection; -5 for a selector
// without a key (nothing is sent) or when kivactl refused the key.
int SendChannelKey(int selector);

}  // namespace ostrin
