#include "TunerCtl.h"

#include <cstdio>

namespace tunerctl {
namespace {

// Large enough for any name: a tuner's whole reply is at most 1023 bytes.
constexpr int kNameCapacity = 1024;

const char* FunctionName(Command command) {
  switch (command) {
    case Command::kCount:
      return "GetCount";
    case Command::kPower:
      return "SetPower";
    case Command::kChannel:
      return "SetChannel";
    case Command::kName:
      return "GetProgramName";
    case Command::kStatus:
      return "GetStatus";
  }
  return "";
}

std::string Function(const TunerLibrary& library, Command command) {
  return std::string(library.prefix) + "_" + FunctionName(command);
}

std::string TunerPrefix(const Invocation& invocation) {
  return "tuner " + std::to_string(invocation.tuner) + ": ";
}

bool IsButton(const Invocation& invocation) {
  return invocation.selector >= 1;
}
bool IsNetwork(const Invocation& invocation) {
  return invocation.selector <= -2;
}

// A name can hold line breaks (a USB tuner's name runs to the end of its reply): the human line
// stays one line.
std::string OneLine(const std::string& text) {
  std::string line = text;
  for (char& c : line) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  return line;
}

std::string JsonString(const std::string& text) {
  std::string json = "\"";
  for (char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      json += '\\';
      json += c;
    } else if (c == '\n') {
      json += "\\n";
    } else if (c == '\r') {
      json += "\\r";
    } else if (c == '\t') {
      json += "\\t";
    } else if (byte < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      json += escape;
    } else {
      json += c;
    }
  }
  return json + "\"";
}

const char* JsonBool(int value) {
  return value != 0 ? "true" : "false";
}

// The one library call of the command; fills `reading` with what it wrote.
int CallLibrary(const TunerLibrary& library, const Invocation& invocation, Reading* reading) {
  const int tuner = invocation.tuner;
  switch (invocation.command) {
    case Command::kCount:
      return library.getCount(&reading->count);
    case Command::kPower:
      return library.setPower(tuner, invocation.on ? 1 : 0);
    case Command::kChannel:
      return library.setChannel(tuner, invocation.selector);
    case Command::kName: {
      char name[kNameCapacity] = {};
      int size = kNameCapacity;
      const int result = library.getProgramName(tuner, name, &size, &reading->channel);
      reading->name.assign(name);
      return result;
    }
    case Command::kStatus:
      return library.getStatus(tuner, &reading->power, &reading->lock);
  }
  return -1;
}

}  // namespace

std::string VersionLine() {
  return std::string("tunerctl ") + TUNERCTL_VERSION;
}

std::string HumanLine(const Invocation& invocation, const Reading& reading) {
  const std::string tuner = TunerPrefix(invocation);
  switch (invocation.command) {
    case Command::kCount:
      return "tuners: " + std::to_string(reading.count);
    case Command::kPower:
      return tuner + (invocation.on ? "power on" : "power off");
    case Command::kChannel:
      if (IsButton(invocation)) return tuner + "channel " + invocation.selection + " selected";
      if (IsNetwork(invocation)) return tuner + "network " + invocation.selection + " selected";
      return tuner + "channel " + invocation.selection;
    case Command::kName:
      return tuner + "channel " + std::to_string(reading.channel) +
             (reading.name.empty() ? "" : " " + OneLine(reading.name));
    case Command::kStatus:
      return tuner + "power " +
             (reading.power < 0    ? "unknown"
              : reading.power != 0 ? "on"
                                   : "off") +
             ", signal " + (reading.lock != 0 ? "locked" : "not locked");
  }
  return "";
}

std::string JsonLine(const Invocation& invocation, const Reading& reading) {
  const std::string tuner = "{\"tuner\":" + std::to_string(invocation.tuner);
  switch (invocation.command) {
    case Command::kCount:
      return "{\"tuners\":" + std::to_string(reading.count) + "}";
    case Command::kPower:
      return tuner + ",\"power\":" + JsonBool(invocation.on) + "}";
    case Command::kChannel:
      if (IsButton(invocation)) return tuner + ",\"channel\":" + invocation.selection + "}";
      if (IsNetwork(invocation)) return tuner + ",\"network\":\"" + invocation.selection + "\"}";
      return tuner + ",\"channel\":\"" + invocation.selection + "\"}";
    case Command::kName:
      return tuner + ",\"channel\":" + std::to_string(reading.channel) +
             ",\"name\":" + JsonString(reading.name) + "}";
    case Command::kStatus:
      return tuner + ",\"power\":" + (reading.power < 0 ? "null" : JsonBool(reading.power)) +
             ",\"locked\":" + JsonBool(reading.lock) + "}";
  }
  return "";
}

std::string FailureLine(const Invocation& invocation, const TunerLibrary& library, int result,
                        const Reading& reading) {
  std::string line = "tunerctl: ";
  if (invocation.command != Command::kCount) line += TunerPrefix(invocation);
  line += Function(library, invocation.command) + " failed with " + std::to_string(result);
  const bool usb = std::string(library.prefix) == "OSTRIN";
  if (usb && result == -2) {
    line += " (no USB tuner attached)";
  } else if (usb && result == -5 && IsNetwork(invocation)) {
    line += " (a USB tuner has no network keys)";
  } else if (usb && result == -1) {
    line += " (no such tuner, or it could not be opened)";
  } else if (!usb && invocation.command == Command::kStatus && reading.power == 0) {
    // varnel read the power state, then found no signal figure: an unpowered tuner has none
    line += " (the tuner reports power off)";
  }
  return line;
}

// Short enough for one line of an 80-column terminal.
std::string StillWaitingLine(const Invocation& invocation, const TunerLibrary& library) {
  std::string line = "tunerctl: ";
  if (invocation.command != Command::kCount) line += TunerPrefix(invocation);
  return line + "still waiting for " + Function(library, invocation.command) + "...";
}

int Main(const std::vector<std::string>& args, Platform& platform) {
  const Invocation invocation = ParseArguments(args);
  switch (invocation.kind) {
    case Invocation::Kind::kHelp:
      for (const std::string& line : HelpLines()) platform.WriteOut(line);
      return kExitOk;
    case Invocation::Kind::kVersion:
      platform.WriteOut(VersionLine());
      return kExitOk;
    case Invocation::Kind::kBadUsage:
      platform.WriteErr(invocation.problem);
      for (const std::string& line : UsageLines()) platform.WriteErr(line);
      return kExitBadUsage;
    case Invocation::Kind::kRun:
      break;
  }

  TunerLibrary library;
  std::string problem;
  if (!platform.OpenLibrary(invocation.usb, &library, &problem)) {
    platform.WriteErr("tunerctl: " + problem);
    return kExitFailed;
  }

  Reading reading;
  WaitNotice notice(platform.GetClock(), platform.ErrIsTerminal(),
                    [&] { platform.WriteErr(StillWaitingLine(invocation, library)); });
  const int result = notice.Run([&] { return CallLibrary(library, invocation, &reading); });
  if (result != 0) {
    platform.WriteErr(FailureLine(invocation, library, result, reading));
    return kExitFailed;
  }

  reading.name = platform.Cp932ToUtf8(reading.name);
  platform.WriteOut(invocation.json ? JsonLine(invocation, reading)
                                    : HumanLine(invocation, reading));
  return kExitOk;
}

}  // namespace tunerctl
