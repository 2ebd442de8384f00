// tunerctl on Linux and other POSIX systems: the serial library linked in, text already UTF-8
// after conversion, lines ended by LF. USB tuners have no library here.
#include <unistd.h>

#include <string>
#include <vector>

#include "TextPosix.h"
#include "TunerCtl.h"
#include "varnel.h"

namespace {

void WriteLine(int fd, const std::string& line) {
  const std::string text = line + "\n";
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = write(fd, text.data() + written, text.size() - written);
    if (n <= 0) return;
    written += static_cast<size_t>(n);
  }
}

class PosixPlatform : public tunerctl::Platform {
 public:
  bool OpenLibrary(bool usb, tunerctl::TunerLibrary* library, std::string* problem) override {
    if (usb) {
      *problem = "--usb: USB tuners are controlled on Windows only";
      return false;
    }
    *library = tunerctl::SerialLibrary();
    return true;
  }
  std::string Cp932ToUtf8(const std::string& text) override {
    return tunerctl::Cp932ToUtf8Posix(text);
  }
  void WriteOut(const std::string& line) override { WriteLine(STDOUT_FILENO, line); }
  void WriteErr(const std::string& line) override { WriteLine(STDERR_FILENO, line); }
  bool ErrIsTerminal() override { return isatty(STDERR_FILENO) == 1; }
  tunerctl::Clock& GetClock() override { return clock_; }

 private:
  tunerctl::SteadyClock clock_;
};

}  // namespace

int main(int argc, char** argv) {
  PosixPlatform platform;
  return tunerctl::Main(std::vector<std::string>(argv + 1, argv + argc), platform);
}
