// The raw calls of varnel on Linux: the tty (termios), the transcript file, the clock, the trace
// on standard error, the library lock.
#include "../Platform.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include "../TextMb.h"

namespace varnel {
namespace platform {

const char kDevicePrefix[] = "/dev/";
const char kDevicePathStart = '/';

namespace {

// A tuner that never raises CTS must not hold a write for ever.
constexpr int kWriteBoundMs = 5000;
// VTIME counts tenths of a second, up to 255.
constexpr unsigned kMaxVtime = 255;

pthread_mutex_t g_libraryLock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;

int AsFd(Handle handle) {
  return static_cast<int>(handle);
}

// Takes the file for this process alone, without waiting; false when someone else has it.
bool HoldExclusively(int fd) {
  int result;
  do {
    result = flock(fd, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

void CloseKeepingErrno(int fd) {
  const int saved = errno;
  close(fd);
  errno = saved;
}

speed_t SpeedFor(int baudRate) {
  struct SpeedCode {
    int baud;
    speed_t code;
  };
  static constexpr SpeedCode kSpeeds[] = {
      {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
      {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
      {230400, B230400}, {460800, B460800}, {921600, B921600},
  };
  for (const SpeedCode& speed : kSpeeds) {
    if (speed.baud == baudRate) return speed.code;
  }
  return B0;
}

long MillisecondsSince(const timespec& start) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (now.tv_sec - start.tv_sec) * 1000L + (now.tv_nsec - start.tv_nsec) / 1000000L;
}

}  // namespace

Handle OpenLine(const char* devicePath) {
  // Without waiting for a carrier; the line is made blocking again once it is held.
  const int fd = open(devicePath, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return kNoHandle;
  // Held against other processes: flock for every opener, TIOCEXCL for other opens of the tty
  // (root passes TIOCEXCL, not the flock).
  if (!HoldExclusively(fd)) {
    errno = EBUSY;
    CloseKeepingErrno(fd);
    return kNoHandle;
  }
  ioctl(fd, TIOCEXCL);
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    CloseKeepingErrno(fd);
    return kNoHandle;
  }
  return fd;
}

void PurgeLine(Handle line, unsigned) {
  tcflush(AsFd(line), TCIOFLUSH);  // the kernel's queues have their own sizes
}

LineStep ConfigureLine(Handle line, const LineSettings& settings) {
  const int fd = AsFd(line);
  termios state;
  if (tcgetattr(fd, &state) != 0) return LineStep::kGetState;
  cfmakeraw(&state);
  const speed_t speed = SpeedFor(settings.baudRate);
  cfsetispeed(&state, speed);
  cfsetospeed(&state, speed);
  state.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
  state.c_cflag |= CS8 | CLOCAL | CREAD;
  if (settings.handshaking == Handshaking::kOn) state.c_cflag |= CRTSCTS;
  if (settings.handshaking == Handshaking::kOff) state.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
  // A read returns as soon as one byte is there, or with none after the time-out.
  unsigned tenths = settings.readMsPerByte / 100;
  state.c_cc[VMIN] = 0;
  state.c_cc[VTIME] = static_cast<cc_t>(tenths > kMaxVtime ? kMaxVtime : tenths);
  if (tcsetattr(fd, TCSANOW, &state) != 0) return LineStep::kSetState;
  // DTR and RTS raised; a pseudo-terminal has no modem lines and refuses this.
  int lines = TIOCM_DTR | TIOCM_RTS;
  ioctl(fd, TIOCMBIS, &lines);
  return LineStep::kDone;
}

LineStep SetLineSpeed(Handle line, int baudRate) {
  termios state;
  if (tcgetattr(AsFd(line), &state) != 0) return LineStep::kGetState;
  const speed_t speed = SpeedFor(baudRate);
  if (speed == B0) {
    errno = EINVAL;
    return LineStep::kSetState;
  }
  cfsetispeed(&state, speed);
  cfsetospeed(&state, speed);
  if (tcsetattr(AsFd(line), TCSANOW, &state) != 0) return LineStep::kSetState;
  return LineStep::kDone;
}

bool ReadLine(Handle line, char* buffer, unsigned count, unsigned* received) {
  *received = 0;
  ssize_t got;
  do {
    got = read(AsFd(line), buffer, count);
  } while (got < 0 && errno == EINTR);
  if (got < 0) return false;
  *received = static_cast<unsigned>(got);
  if (got == 0 && count > 0) {
    // Nothing came: the time-out, or a line that has hung up (a tuner unplugged), whose reads
    // return at once with nothing. The latter is a failed read.
    pollfd line_state = {AsFd(line), POLLIN, 0};
    if (poll(&line_state, 1, 0) == 1 && (line_state.revents & (POLLHUP | POLLERR)) != 0) {
      errno = EIO;
      return false;
    }
  }
  return true;
}

bool WriteLine(Handle line, const char* buffer, unsigned count, unsigned* written) {
  *written = 0;
  timespec start;
  clock_gettime(CLOCK_MONOTONIC, &start);
  while (*written < count) {
    const long left = kWriteBoundMs - MillisecondsSince(start);
    if (left <= 0) {
      errno = ETIMEDOUT;
      return false;
    }
    pollfd ready = {AsFd(line), POLLOUT, 0};
    const int polled = poll(&ready, 1, static_cast<int>(left));
    if (polled < 0 && errno == EINTR) continue;
    if (polled < 0) return false;
    if (polled == 0) continue;  // the deadline is checked above
    if ((ready.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 && (ready.revents & POLLOUT) == 0) {
      errno = EIO;
      return false;
    }
    const ssize_t sent = write(AsFd(line), buffer + *written, count - *written);
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0) return false;
    *written += static_cast<unsigned>(sent);
  }
  return true;
}

void CloseLine(Handle line) {
  ioctl(AsFd(line), TIOCNXCL);
  close(AsFd(line));  // also lets go of the flock
}

unsigned LastError() {
  return static_cast<unsigned>(errno);
}

unsigned BadNameError() {
  return ENOENT;
}

int CompareText(const char* a, const char* b) {
  return strcmp(a, b);
}

Handle OpenTranscript(const char* fileName) {
  const int fd = open(fileName, O_WRONLY | O_CLOEXEC);  // only when it exists
  if (fd < 0) return kNoHandle;
  // Like a file opened for writing by one process only: another call that has it open keeps it,
  // and this one writes no transcript.
  if (!HoldExclusively(fd) || ftruncate(fd, 0) != 0) {
    close(fd);
    return kNoHandle;
  }
  return fd;
}

void WriteTranscript(Handle file, const char* line, std::size_t length) {
  ssize_t written;
  do {
    written = write(AsFd(file), line, length);
  } while (written < 0 && errno == EINTR);
}

void CloseTranscript(Handle file) {
  close(AsFd(file));
}

TranscriptTime LocalTime() {
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  tm local;
  localtime_r(&now.tv_sec, &local);
  return {local.tm_year + 1900,
          local.tm_mon + 1,
          local.tm_mday,
          local.tm_hour,
          local.tm_min,
          local.tm_sec,
          static_cast<int>(now.tv_nsec / 1000000)};
}

void TraceOutput(const char* line) {
  // Silent unless asked for, as small device libraries are on Linux.
  if (getenv("VARNEL_DEBUG") == nullptr) return;
  const int saved = errno;
  const ssize_t ignored = write(STDERR_FILENO, line, strlen(line));
  (void)ignored;
  errno = saved;
}

void PauseMilliseconds(unsigned milliseconds) {
  timespec wait = {static_cast<time_t>(milliseconds / 1000),
                   static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

bool IsLeadByte(unsigned char byte) {
  return IsCp932LeadByte(byte);  // the tuner's code page, whatever the process's locale
}

void EnterLibraryLock() {
  pthread_mutex_lock(&g_libraryLock);
}

void LeaveLibraryLock() {
  pthread_mutex_unlock(&g_libraryLock);
}

}  // namespace platform
}  // namespace varnel
