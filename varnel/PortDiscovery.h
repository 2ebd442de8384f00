// Finding the tuner's COM ports among the devices that the USB-to-serial driver lists in the
// registry.
#pragma once

// A port list: each name ended by a NUL, in the driver's order, then one more NUL.
constexpr unsigned kPortListSize = 1024;
// Instance paths and port names are read into buffers of this size.
constexpr unsigned kRegistryTextSize = 261;

// What discovery reads of the driver's registry entries. Each query returns the operating
// system's status, 0 on success; a string query gets the buffer's capacity in *size and, on
// success, the number of bytes stored.
class DriverRegistry {
 public:
  // "Count" of the driver's service key.
  virtual long QueryCount(int* count) = 0;
  // The instance path stored under the decimal `valueName` of the service key.
  virtual long QueryInstancePath(const char* valueName, char* path, unsigned* size) = 0;
  // "PortName" of the key `deviceKey` (relative to the machine root).
  virtual long QueryPortName(const char* deviceKey, char* name, unsigned* size) = 0;

 protected:
  ~DriverRegistry() = default;
};

// Fills `list` (kPortListSize bytes) with the names of the tuner's ports and *count with their
// number. 0 on success; 1 when "Count" cannot be read. An instance that cannot be read, is not
// the tuner's, has no port name or an empty one, or whose name no longer fits in the list is
// skipped.
int ListTunerPorts(DriverRegistry& registry, unsigned* count, char* list);

// The n-th name of a port list (1-based; 0 and 1 both give the first); null for a null list.
// An n beyond the last name gives the empty name that ends the list.
char* NthPortInList(unsigned n, char* list);
