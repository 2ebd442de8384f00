// Finding the tuner's ports: on Windows among the devices that the USB-to-serial driver lists in
// the registry, on Linux among the ttys whose USB device carries the tuner's vendor and product.
#pragma once

namespace varnel {

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

// What Linux discovery reads of the device tree (sysfs): the ttys, where each one's device sits,
// and the attributes of the directories above it.
class TtyTree {
 public:
  // Calls visit(context, name) for each tty; false when the ttys cannot be listed at all.
  virtual bool ListTtys(void (*visit)(void* context, const char* name), void* context) = 0;
  // The tty's directory in the device tree, links resolved, such as
  // "/sys/devices/.../usb1/1-1/1-1:1.0/ttyUSB0/tty/ttyUSB0". False when it has none.
  virtual bool TtyPath(const char* name, char* path, unsigned size) = 0;
  // The text of the attribute file `attribute` in the directory `dir`; false when it is absent.
  virtual bool ReadAttribute(const char* dir, const char* attribute, char* value,
                             unsigned size) = 0;

 protected:
  ~TtyTree() = default;
};

// Fills `list` (kPortListSize bytes) with "/dev/<name>" for every tty whose USB device (the first
// directory above the tty holding idVendor and idProduct) is the tuner's, compared without regard
// to case, and adds their number to *count. They are ordered by the USB device's name (bus, then
// the chain of ports), then by interface, then by tty name, numbers compared as numbers, so that
// a socket keeps its index. 0 on success; 1 when the ttys cannot be listed.
int ListUsbTunerTtys(TtyTree& tree, unsigned* count, char* list);

// The n-th name of a port list (1-based; 0 and 1 both give the first); null for a null list.
// An n beyond the last name gives the empty name that ends the list.
char* NthPortInList(unsigned n, char* list);

}  // namespace varnel
