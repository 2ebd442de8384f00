// One VARNEL_SetChannel, and the bytes of a GETSTAT reply, beside a raw termios program making the
// same system calls: the same sysfs listing, the same opens, locks, line settings, one write and
// one read per reply byte, the same close.
//
//   linux_exchange_bench MASTER_FD [ROUNDS]
//
// Runs under umockdev-wrapper (bench/run-linux-bench.sh): MASTER_FD is the master side of the
// pseudo-terminal behind the mocked /dev/ttyUSB0, answered here by a thread that replies "OK" CR
// to a command and a status text of the asked length to GETSTAT. Prints medians and ratios.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "varnel.h"

namespace {

std::atomic<int> g_replyLength{64};
std::atomic<bool> g_stop{false};

// A GETSTAT reply of exactly `length` bytes, ending in "OK" CR.
std::string StatusReply(size_t length) {
  std::string text = "POWER:on\r\nBitErrorRate=2.0E-05 (12)\r\n";
  while (text.size() + 3 < length) text += "x";
  text.resize(length - 3);
  return text + "OK\r";
}

void Answer(int master) {
  std::string line;
  while (!g_stop) {
    char buffer[256];
    const ssize_t got = read(master, buffer, sizeof buffer);
    if (got <= 0) {  // EIO while no one has the line open
      if (got < 0 && errno != EIO && errno != EAGAIN && errno != EINTR) return;
      usleep(200);
      continue;
    }
    for (ssize_t i = 0; i < got; ++i) {
      if (buffer[i] != '\r') {
        line += buffer[i];
        continue;
      }
      const std::string reply = line == "GETSTAT" ? StatusReply(g_replyLength) : "OK\r";
      line.clear();
      for (size_t sent = 0; sent < reply.size();) {
        const ssize_t n = write(master, reply.data() + sent, reply.size() - sent);
        if (n > 0) sent += static_cast<size_t>(n);
      }
    }
  }
}

// ---- the raw program --------------------------------------------------------------------------

bool ReadText(const char* dir, const char* name, char* value, size_t size) {
  char path[PATH_MAX + 32];
  snprintf(path, sizeof path, "%s/%s", dir, name);
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const ssize_t got = read(fd, value, size - 1);
  close(fd);
  if (got < 0) return false;
  value[got] = '\0';
  return true;
}

// The tty whose USB device is the tuner's, by the same listing the library makes.
bool RawFindTuner(char* device, size_t size) {
  DIR* ttys = opendir("/sys/class/tty");
  if (ttys == nullptr) return false;
  bool found = false;
  while (const dirent* entry = readdir(ttys)) {
    if (entry->d_name[0] == '.') continue;
    char link[PATH_MAX], path[PATH_MAX];
    snprintf(link, sizeof link, "/sys/class/tty/%s", entry->d_name);
    if (realpath(link, path) == nullptr) continue;
    for (char* slash = strrchr(path, '/'); slash != nullptr && slash != path;
         slash = strrchr(path, '/')) {
      *slash = '\0';
      char vendor[32], product[32];
      if (ReadText(path, "idVendor", vendor, sizeof vendor) &&
          ReadText(path, "idProduct", product, sizeof product)) {
        if (strncasecmp(vendor, "fedc", 4) == 0 && strncasecmp(product, "ba98", 4) == 0 && !found) {
          snprintf(device, size, "/dev/%s", entry->d_name);
          found = true;
        }
        break;
      }
    }
  }
  closedir(ttys);
  return found;
}

int RawOpen(const char* device) {
  for (int i = 0; i < 2; ++i) {  // the library looks for logfile.txt twice a call
    const int log = open("logfile.txt", O_WRONLY | O_CLOEXEC);
    if (log >= 0) close(log);
  }
  const int fd = open(device, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  flock(fd, LOCK_EX | LOCK_NB);
  ioctl(fd, TIOCEXCL);
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  tcflush(fd, TCIOFLUSH);
  termios state;
  tcgetattr(fd, &state);
  cfmakeraw(&state);
  cfsetispeed(&state, B115200);
  cfsetospeed(&state, B115200);
  state.c_cflag |= CS8 | CLOCAL | CREAD | CRTSCTS;
  state.c_cc[VMIN] = 0;
  state.c_cc[VTIME] = 50;
  tcsetattr(fd, TCSANOW, &state);
  int lines = TIOCM_DTR | TIOCM_RTS;
  ioctl(fd, TIOCMBIS, &lines);
  return fd;
}

// Writes the command, reads the reply a byte at a time up to "OK" CR.
int RawExchange(const char* command) {
  char device[PATH_MAX];
  if (!RawFindTuner(device, sizeof device)) return -1;
  const int fd = RawOpen(device);
  if (fd < 0) return -1;
  pollfd ready = {fd, POLLOUT, 0};
  poll(&ready, 1, 5000);
  const ssize_t written = write(fd, command, strlen(command));
  char reply[1024] = {};
  size_t at = 0;
  while (written > 0 && at + 1 < sizeof reply) {
    if (read(fd, reply + at, 1) != 1) break;
    if (reply[at] == '\r' && at >= 2 && reply[at - 2] == 'O' && reply[at - 1] == 'K') break;
    ++at;
  }
  ioctl(fd, TIOCNXCL);
  close(fd);
  return static_cast<int>(at);
}

// ---- measuring --------------------------------------------------------------------------------

double Now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

template <typename Call>
double Time(Call call) {
  const double start = Now();
  call();
  return Now() - start;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

struct Pair {
  std::vector<double> library, raw;
};

// Rounds alternate which side goes first.
template <typename Library, typename Raw>
Pair Measure(int rounds, Library library, Raw raw) {
  Pair times;
  for (int i = 0; i < rounds; ++i) {
    if (i % 2 == 0) {
      times.library.push_back(Time(library));
      times.raw.push_back(Time(raw));
    } else {
      times.raw.push_back(Time(raw));
      times.library.push_back(Time(library));
    }
  }
  return times;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: linux_exchange_bench MASTER_FD [ROUNDS]\n");
    return 2;
  }
  const int master = atoi(argv[1]);
  const int rounds = argc > 2 ? atoi(argv[2]) : 200;
  std::thread answering(Answer, master);

  int lock = 0;
  bool failed = false;
  // Warm-up, and a check that both sides talk to the tuner.
  failed |= VARNEL_SetChannel(1, 1) != 0 || RawExchange("REMOTE 8\r") < 2;

  const Pair channel = Measure(
      rounds, [&] { failed |= VARNEL_SetChannel(1, 1) != 0; },
      [&] { failed |= RawExchange("REMOTE 8\r") != 2; });
  const int shortLength = 64, longLength = 1023;
  g_replyLength = shortLength;
  const Pair shortReply = Measure(
      rounds, [&] { failed |= VARNEL_GetStatus(1, nullptr, &lock) != 0; },
      [&] { failed |= RawExchange("GETSTAT\r") != shortLength - 1; });
  g_replyLength = longLength;
  const Pair longReply = Measure(
      rounds, [&] { failed |= VARNEL_GetStatus(1, nullptr, &lock) != 0; },
      [&] { failed |= RawExchange("GETSTAT\r") != longLength - 1; });
  g_stop = true;
  answering.detach();  // blocked in its read; the process ends here

  const double setLibrary = Median(channel.library), setRaw = Median(channel.raw);
  const double bytes = longLength - shortLength;
  const double perByteLibrary = (Median(longReply.library) - Median(shortReply.library)) / bytes;
  const double perByteRaw = (Median(longReply.raw) - Median(shortReply.raw)) / bytes;
  printf("rounds: %d (medians)\n", rounds);
  printf("SetChannel:        varnel %8.1f us   raw %8.1f us   ratio %.3f\n", setLibrary, setRaw,
         setLibrary / setRaw);
  printf("GETSTAT %4d B:    varnel %8.1f us   raw %8.1f us\n", shortLength,
         Median(shortReply.library), Median(shortReply.raw));
  printf("GETSTAT %4d B:    varnel %8.1f us   raw %8.1f us\n", longLength,
         Median(longReply.library), Median(longReply.raw));
  printf("per received byte: varnel %8.3f us   raw %8.3f us   ratio %.3f\n", perByteLibrary,
         perByteRaw, perByteLibrary / perByteRaw);
  if (failed) printf("FAILED: a call did not get its answer\n");
  fflush(stdout);
  _exit(failed ? 1 : 0);
}
