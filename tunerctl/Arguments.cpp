#include "Arguments.h"

#include <cctype>
#include <climits>

#include "varnel.h"

namespace tunerctl {
namespace {

struct NamedSelector {
  const char* word;
  int selector;
};

// Channel words and the library selectors they stand for; buttons 1 ... 12 are their own.
constexpr NamedSelector kChannelWords[] = {
    {"up", VARNEL_CHANNEL_UP},
    {"down", VARNEL_CHANNEL_DOWN},
    {"dtt", VARNEL_NETWORK_DTT},
    {"bs", VARNEL_NETWORK_BS},
};
constexpr int kLastButton = 12;

struct NamedCommand {
  const char* word;
  Command command;
  bool takesArgument;
};

constexpr NamedCommand kCommands[] = {
    {"count", Command::kCount, false},    {"power", Command::kPower, true},
    {"channel", Command::kChannel, true}, {"name", Command::kName, false},
    {"status", Command::kStatus, false},
};

constexpr const char* kChannelChoices = "1..12, up, down, dtt or bs";

std::string Lower(const std::string& text) {
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// A decimal number of digits only that fits an int; false for anything else.
bool ParseNumber(const std::string& text, int* value) {
  if (text.empty()) return false;
  long long number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + (c - '0');
    if (number > INT_MAX) return false;
  }
  *value = static_cast<int>(number);
  return true;
}

Invocation BadUsage(const std::string& problem) {
  Invocation invocation;
  invocation.kind = Invocation::Kind::kBadUsage;
  invocation.problem = "tunerctl: " + problem;
  return invocation;
}

bool ParseTuner(const std::string& text, Invocation* invocation) {
  int tuner = 0;
  if (!ParseNumber(text, &tuner) || tuner < 1) {
    *invocation = BadUsage("--tuner takes a number from 1 up, not '" + text + "'");
    return false;
  }
  invocation->tuner = tuner;
  return true;
}

bool ParsePower(const std::string& text, Invocation* invocation) {
  const std::string word = Lower(text);
  if (word != "on" && word != "off") {
    *invocation = BadUsage("power takes on or off, not '" + text + "'");
    return false;
  }
  invocation->on = word == "on";
  return true;
}

bool ParseChannel(const std::string& text, Invocation* invocation) {
  const std::string word = Lower(text);
  int button = 0;
  if (ParseNumber(word, &button) && button >= 1 && button <= kLastButton) {
    invocation->selector = button;
    invocation->selection = std::to_string(button);
    return true;
  }
  for (const NamedSelector& named : kChannelWords) {
    if (word == named.word) {
      invocation->selector = named.selector;
      invocation->selection = named.word;
      return true;
    }
  }
  *invocation = BadUsage(std::string("channel takes ") + kChannelChoices + ", not '" + text + "'");
  return false;
}

}  // namespace

Invocation ParseArguments(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      Invocation help;
      help.kind = Invocation::Kind::kHelp;
      return help;
    }
  }
  for (const std::string& arg : args) {
    if (arg == "--version") {
      Invocation version;
      version.kind = Invocation::Kind::kVersion;
      return version;
    }
  }

  Invocation invocation;
  invocation.kind = Invocation::Kind::kRun;
  std::vector<std::string> words;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--usb") {
      invocation.usb = true;
    } else if (arg == "--json") {
      invocation.json = true;
    } else if (arg == "--tuner") {
      if (i + 1 == args.size()) return BadUsage("--tuner needs a number");
      if (!ParseTuner(args[++i], &invocation)) return invocation;
    } else if (arg.rfind("--tuner=", 0) == 0) {
      if (!ParseTuner(arg.substr(8), &invocation)) return invocation;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return BadUsage("unknown option '" + arg + "'");
    } else {
      words.push_back(arg);
    }
  }

  if (words.empty()) return BadUsage("no command given");
  const NamedCommand* found = nullptr;
  for (const NamedCommand& named : kCommands) {
    if (Lower(words[0]) == named.word) found = &named;
  }
  if (found == nullptr) return BadUsage("unknown command '" + words[0] + "'");
  invocation.command = found->command;
  const size_t expected = found->takesArgument ? 2 : 1;
  if (words.size() < expected) {
    return BadUsage(found->command == Command::kPower
                        ? std::string("power needs on or off")
                        : std::string("channel needs ") + kChannelChoices);
  }
  if (words.size() > expected) {
    return BadUsage("unexpected argument '" + words[expected] + "' after " + found->word);
  }
  // A word the command cannot take turns the invocation into bad usage.
  if (found->command == Command::kPower) ParsePower(words[1], &invocation);
  if (found->command == Command::kChannel) ParseChannel(words[1], &invocation);
  return invocation;
}

std::vector<std::string> UsageLines() {
  return {
      "usage: tunerctl [--usb] [--tuner N] [--json] count",
      "       tunerctl [--usb] [--tuner N] [--json] power on|off",
      "       tunerctl [--usb] [--tuner N] [--json] channel 1..12|up|down|dtt|bs",
      "       tunerctl [--usb] [--tuner N] [--json] name",
      "       tunerctl [--usb] [--tuner N] [--json] status",
      "       tunerctl --help | --version",
  };
}

std::vector<std::string> HelpLines() {
  std::vector<std::string> lines = UsageLines();
  const std::vector<std::string> rest = {
      "",
      "Controls a TV tuner: a serial tuner through varnel, or a USB tuner through ostrin.",
      "",
      "Commands:",
      "  count             the number of tuners attached",
      "  power on|off      switch the tuner on or off",
      "  channel 1..12     the channel on remote-control button 1 ... 12",
      "  channel up|down   the next or the previous channel",
      "  channel dtt|bs    terrestrial or BS digital broadcasting (serial tuners)",
      "  name              the channel number and the name of the programme on air",
      "  status            whether the tuner is on and its signal locked",
      "",
      "Options:",
      "  --tuner N         the tuner to use, from 1 (default 1)",
      "  --usb             a USB tuner, through ostrin and kivactl (Windows only)",
      "  --json            one JSON object instead of a line of text",
      "  --help            this text",
      "  --version         the program's version",
      "",
      "Exit status: 0 done; 1 the tuner or its library failed; 2 bad usage.",
      "A call still waiting after 2 seconds says so on standard error, when that is a terminal:",
      "a tuner that does not answer takes 35 seconds an exchange.",
  };
  lines.insert(lines.end(), rest.begin(), rest.end());
  return lines;
}

}  // namespace tunerctl
