// tunerctl's command line: what the user asked for, or why it cannot be done.
#ifndef TUNERCTL_ARGUMENTS_H
#define TUNERCTL_ARGUMENTS_H

#include <string>
#include <vector>

namespace tunerctl {

enum class Command { kCount, kPower, kChannel, kName, kStatus };

struct Invocation {
  enum class Kind { kRun, kHelp, kVersion, kBadUsage };
  Kind kind = Kind::kBadUsage;
  std::string problem;  // kBadUsage: one line saying what is wrong

  bool usb = false;
  bool json = false;
  int tuner = 1;
  Command command = Command::kCount;
  bool on = false;   // power
  int selector = 0;  // channel: the library's selector (1 ... 12, 0 up, -1 down, -2 dtt, -3 bs)
  std::string selection;  // channel: as the user named it, normalised ("11", "up", "dtt" ...)
};

// `args` without the program's own name. Options may stand anywhere; --help and --version win
// over everything else.
Invocation ParseArguments(const std::vector<std::string>& args);

// The synopsis shown after a usage error, and the whole --help text, one line each.
std::vector<std::string> UsageLines();
std::vector<std::string> HelpLines();

}  // namespace tunerctl

#endif  // TUNERCTL_ARGUMENTS_H
