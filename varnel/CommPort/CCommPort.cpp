// The serial port object: settings, opening, reads and writes, the transcript. The operating
// system is reached only through the raw calls of Platform.h.
#include "CCommPort.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "../DebugTrace.h"
#include "../Platform.h"
#include "../PortDiscovery.h"
#include "Transcript.h"

namespace varnel {

const char kFlowHardware[] = "\x83\x6E\x81\x5B\x83\x68\x83\x45\x83\x46\x83\x41";  // ハードウェア
const char kFlowNone[] = "\x82\xC8\x82\xB5";                                      // なし

namespace {

const char kLogFileName[] = "logfile.txt";
constexpr unsigned kQueueSize = 4096;
// Port names are at most 260 characters (the registry's limit on Windows).
constexpr unsigned kPortNameSize = 261;

void WriteLogLine(platform::Handle log, const char* prefix, const char* text) {
  char line[kTranscriptLineSize];
  const size_t length = FormatTranscriptLine(line, platform::LocalTime(), prefix, text);
  platform::WriteTranscript(log, line, length);
}

// The handshaking a flow-control name asks for: on for the hardware name (or none given), off
// for "none", as the driver had it for any other name.
platform::Handshaking HandshakingFor(const char* flowControl) {
  if (flowControl == nullptr || platform::CompareText(flowControl, kFlowHardware) == 0) {
    return platform::Handshaking::kOn;
  }
  if (platform::CompareText(flowControl, kFlowNone) == 0) return platform::Handshaking::kOff;
  return platform::Handshaking::kAsIs;
}

const char* LineStepIdentifier(platform::LineStep step) {
  switch (step) {
    case platform::LineStep::kGetTimeouts:
      return "IDS_MSG_ERR_GetCommTimeouts";
    case platform::LineStep::kSetTimeouts:
      return "IDS_MSG_ERR_SetCommTimeouts";
    case platform::LineStep::kGetState:
      return "IDS_MSG_ERR_GetCommState";
    case platform::LineStep::kSetState:
    case platform::LineStep::kDone:
      break;
  }
  return "IDS_MSG_ERR_SetCommState";
}

}  // namespace

CCommPort::CCommPort() {
  Init("COM1", kTunerBaudRate, "");
}

CCommPort::CCommPort(const char* name, int baud, const char* flow) {
  Init(name, baud, flow);
}

CCommPort::~CCommPort() {
  Close();
}

void CCommPort::Init(const char* name, int baud, const char* flow) {
  std::memset(message, 0, sizeof message);
  lastError = 0;
  portHandle = platform::kNoHandle;
  abortFlag = 0;
  portName = name;
  baudRate = baud;
  flowControl = flow;
  // The transcript is kept only when someone created the file; it then holds this object's
  // latest lines only.
  logHandle = platform::OpenTranscript(kLogFileName);
}

void CCommPort::Close() {
  if (logHandle != platform::kNoHandle) {
    platform::CloseTranscript(logHandle);
    logHandle = platform::kNoHandle;
  }
  if (portHandle != platform::kNoHandle) {
    platform::CloseLine(portHandle);
    portHandle = platform::kNoHandle;
  }
}

int CCommPort::Fail(PortResult result, const char* identifier, unsigned error, bool traced) {
  lastError = error;
  std::strncpy(message, identifier, sizeof message - 1);
  message[sizeof message - 1] = '\0';
  if (traced) DebugTrace("%s", message);
  return result;
}

bool CCommPort::DevicePath(char* path, unsigned size) const {
  const char* name = portName != nullptr ? portName : "";
  if (name[0] == '\0') return false;  // no device has an empty name
  const char* prefix = name[0] == platform::kDevicePathStart ? "" : platform::kDevicePrefix;
  std::snprintf(path, size, "%s%s", prefix, name);
  return true;
}

int CCommPort::Open() {
  char path[sizeof "\\\\.\\" + kPortNameSize];
  if (!DevicePath(path, sizeof path)) {
    return Fail(kPortFailed, "IDS_MSG_ERR_OPEN_PORT", platform::BadNameError(), true);
  }
  portHandle = platform::OpenLine(path);
  if (portHandle == platform::kNoHandle) {
    return Fail(kPortFailed, "IDS_MSG_ERR_OPEN_PORT", platform::LastError(), true);
  }
  platform::PurgeLine(portHandle, kQueueSize);
  // Always the tuner's speed, whatever baudRate holds.
  const platform::LineSettings settings = {kTunerBaudRate, HandshakingFor(flowControl),
                                           kReadMsPerByte};
  const platform::LineStep step = platform::ConfigureLine(portHandle, settings);
  if (step != platform::LineStep::kDone) {
    return Fail(kPortFailed, LineStepIdentifier(step), platform::LastError(), true);
  }
  return kPortDone;
}

int CCommPort::Reopen(const char* name, int baud, const char* flow) {
  Close();
  Init(name, baud, flow);
  return Open();
}

int CCommPort::ApplyBaudRate() {
  const platform::LineStep step = platform::SetLineSpeed(portHandle, baudRate);
  if (step != platform::LineStep::kDone) {
    return Fail(kPortFailed, LineStepIdentifier(step), platform::LastError(), false);
  }
  return kPortDone;
}

void CCommPort::SetAbort() {
  abortFlag = 1;
}

int CCommPort::ReadBytes(char* buffer, int count, unsigned* received) {
  unsigned got = 0;
  if (!platform::ReadLine(portHandle, buffer, static_cast<unsigned>(count), &got)) {
    return Fail(kPortFailed, "IDS_MSG_ERR_ReadComPort", platform::LastError(), false);
  }
  *received = got;
  if (got == 0) return abortFlag != 0 ? kPortAborted : kPortDone;
  // One transcript line per block: the bytes up to the first NUL, "NULL" for a leading NUL.
  char text[kTranscriptLineSize];
  const size_t kept = got < sizeof text - 1 ? got : sizeof text - 1;
  std::memcpy(text, buffer, kept);
  text[kept] = '\0';
  LogLine(text[0] == '\0' ? "NULL\r\n" : text);
  return kPortDone;
}

int CCommPort::WriteBytes(const char* buffer, int count, unsigned* written) {
  unsigned sent = 0;
  if (!platform::WriteLine(portHandle, buffer, static_cast<unsigned>(count), &sent)) {
    return Fail(kPortFailed, "IDS_MSG_ERR_WriteComPort", platform::LastError(), false);
  }
  *written = sent;
  return kPortDone;
}

int CCommPort::LogLine(const char* text) {
  if (logHandle != platform::kNoHandle) WriteLogLine(logHandle, "", text);
  return 0;
}

int CCommPort::LogLeveled(int level, const char* format, ...) {
  if (logHandle == platform::kNoHandle) return 0;
  char text[kTranscriptLineSize];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  WriteLogLine(logHandle, LevelPrefix(level), text);
  return 0;
}

// CRC-32/MPEG-2: polynomial 0x04C11DB7, initial value 0xFFFFFFFF, most significant bit first,
// no reflection, no final exclusive-or.
int CCommPort::AppendCrc32(unsigned char* data, unsigned length) {
  unsigned long crc = 0xFFFFFFFFul;
  for (unsigned i = 0; i < length; ++i) {
    crc ^= static_cast<unsigned long>(data[i]) << 24;
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 0x80000000ul) ? ((crc << 1) ^ 0x04C11DB7ul) : (crc << 1);
      crc &= 0xFFFFFFFFul;
    }
  }
  data[length] = static_cast<unsigned char>(crc >> 24);
  data[length + 1] = static_cast<unsigned char>(crc >> 16);
  data[length + 2] = static_cast<unsigned char>(crc >> 8);
  data[length + 3] = static_cast<unsigned char>(crc);
  return 0;
}

int CCommPort::EnumPorts(unsigned* count, char* list) {
  if (count == nullptr || list == nullptr) return kPortFailed;
  *count = 0;
  return platform::FindTunerPorts(count, list) == 0 ? kPortDone : kPortFailed;
}

char* CCommPort::NthPortName(unsigned n, char* list) {
  return NthPortInList(n, list);
}

}  // namespace varnel
