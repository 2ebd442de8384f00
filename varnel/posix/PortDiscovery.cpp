// Port discovery on Linux: the ttys of /sys/class/tty and the USB devices above them, read
// directly from sysfs for the portable ListUsbTunerTtys.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "../Platform.h"
#include "../PortDiscovery.h"

namespace varnel {
namespace platform {
namespace {

const char kTtyClass[] = "/sys/class/tty";

class SysfsTree : public TtyTree {
 public:
  bool ListTtys(void (*visit)(void* context, const char* name), void* context) override {
    DIR* ttys = opendir(kTtyClass);
    if (ttys == nullptr) return false;
    while (const dirent* entry = readdir(ttys)) visit(context, entry->d_name);
    closedir(ttys);
    return true;
  }

  bool TtyPath(const char* name, char* path, unsigned size) override {
    char link[PATH_MAX];
    snprintf(link, sizeof link, "%s/%s", kTtyClass, name);
    char resolved[PATH_MAX];
    if (realpath(link, resolved) == nullptr || strlen(resolved) >= size) return false;
    memcpy(path, resolved, strlen(resolved) + 1);
    return true;
  }

  bool ReadAttribute(const char* dir, const char* attribute, char* value, unsigned size) override {
    char file[PATH_MAX];
    snprintf(file, sizeof file, "%s/%s", dir, attribute);
    const int fd = open(file, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const ssize_t got = read(fd, value, size - 1);
    close(fd);
    if (got < 0) return false;
    value[got] = '\0';
    return true;
  }
};

}  // namespace

int FindTunerPorts(unsigned* count, char* list) {
  SysfsTree tree;
  return ListUsbTunerTtys(tree, count, list);
}

}  // namespace platform
}  // namespace varnel
