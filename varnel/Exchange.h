// The tuner's text protocol: a command is ASCII text ended by CR; the reply is text that ends at
// the first CR whose two preceding bytes are "OK".
#pragma once

namespace varnel {

// A reply is given up when a read comes while this many reads in a row brought no byte.
constexpr int kIdleReadLimit = 6;
// NUL bytes dropped from one reply before further NULs count as empty reads: a line that sends
// nothing but NULs (a break on the line, say) would otherwise keep the read going for ever.
// Four times a whole reply (1024 bytes), so that no reply with NULs between its characters comes
// near it.
constexpr int kNulReadLimit = 4096;

// The remote-control key for a channel selector: 1 ... 12 give keys 8 ... 19, channel up 23,
// channel down 26, terrestrial network 5, BS network 2. False for any other selector.
bool RemoteKeyForSelector(int selector, unsigned short* key);

}  // namespace varnel
