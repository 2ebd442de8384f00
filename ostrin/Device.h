// The connection to one tuner through kivactl, opened and closed inside every entry point.
#pragma once

namespace ostrin {

// Tuner indexes 1 ... kDeviceSlots can be opened; any other index is refused before kivactl is
// asked anything.
constexpr int kDeviceSlots = 4;

// Result of OpenDevice when a connection is already open (no entry point passes it on).
constexpr int kAlreadyOpen = -3;

// 1 while kivactl has a device initialised by this library; 0 between calls.
extern int deviceOpen;

// Opens tuner `index`: 0; -1 for an index outside 1 ... 4, a negative device count or a failed
// initialise; -2 when no device is attached or initialise reported -2; -3 when a connection is
// already open. The index is not compared with the device count: kivactl decides.
int OpenDevice(int index);

// Closes the open connection, if any: 0, or -1 when the index is outside 1 ... 4 (nothing is
// touched then) or kivactl failed to close (deviceOpen is cleared all the same).
int CloseDevice(int index);

// Closes the open connection whatever the index: 0, or -1 when kivactl failed to close.
int CloseConnection();

// The road of every entry point but GetCount, inside the library lock: open tuner `index`, do
// `work` (which returns the entry point's result), close. A failed open returns its -1 or -2
// and does no work. A connection found already open is closed instead of opening another, and
// the call returns 0 without doing its work. deviceOpen is clear afterwards in every case.
template <typename Work>
int RunOnDevice(int index, Work work) {
  if (deviceOpen) {
    CloseConnection();
    return 0;
  }
  const int opened = OpenDevice(index);
  if (opened != 0) return opened;
  const int result = work();
  CloseDevice(index);  // a failed close is not reported
  return result;
}

// OSTRIN_GetCount: writes the device count to *count (0 first). 0, or -8 when count is null or
// kivactl cannot count.
int CountDevices(int* count);

}  // namespace ostrin
