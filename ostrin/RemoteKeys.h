// The remote-control keys OSTRIN_SetChannel sends.
#pragma once

namespace ostrin {

// The key for a channel selector: 1 ... 12 give 0x1F38 ... 0x1F43, channel up 0x1F47, channel
// down 0x1F4A. False for any other selector, the network selectors -2 and -3 included.
bool RemoteKeyForSelector(int selector, unsigned short* key);

}  // namespace ostrin
