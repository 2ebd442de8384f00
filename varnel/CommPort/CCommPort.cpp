// The members of CCommPort that talk to Windows: the serial handle, the transcript file, the clock.
#include "CCommPort.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "../DebugTrace.h"
#include "Transcript.h"

namespace {

const char kLogFileName[] = "logfile.txt";
const char kDevicePrefix[] = "\\\\.\\";  // the four characters \\.\ before a COM name
constexpr DWORD kQueueSize = 4096;
constexpr DWORD kReadMsPerByte = 5000;
// A tuner that never raises CTS/DSR must not hold a write for ever: when the driver has no
// write time-out at all, a write gives up after this long.
constexpr DWORD kWriteBoundMs = 5000;

HANDLE AsHandle(void* handle) {
  return static_cast<HANDLE>(handle);
}

void CloseIfOpen(void*& handle) {
  if (AsHandle(handle) == INVALID_HANDLE_VALUE) return;
  CloseHandle(AsHandle(handle));
  handle = INVALID_HANDLE_VALUE;
}

TranscriptTime LocalTimeNow() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

void WriteTranscript(void* logHandle, const char* prefix, const char* text) {
  if (AsHandle(logHandle) == INVALID_HANDLE_VALUE) return;
  char line[kTranscriptLineSize];
  const size_t length = FormatTranscriptLine(line, LocalTimeNow(), prefix, text);
  DWORD written = 0;
  WriteFile(AsHandle(logHandle), line, static_cast<DWORD>(length), &written, nullptr);
}

}  // namespace

void CCommPort::Init(const char* name, int baud, const char* flow) {
  ResetState(name, baud, flow);
  // The transcript is kept only when someone created the file; it then holds this object's
  // latest lines only.
  logHandle = CreateFileA(kLogFileName, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                          TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void CCommPort::Close() {
  CloseIfOpen(logHandle);
  CloseIfOpen(portHandle);
}

int CCommPort::Fail(const char* identifier, bool trace) {
  lastError = GetLastError();
  SetMessage(identifier);
  if (trace) DebugTrace("%s", message);
  return 1;
}

int CCommPort::Open() {
  char devicePath[sizeof kDevicePrefix + 261];
  const char* name = portName != nullptr ? portName : "";
  if (name[0] == '\0') {  // no device has an empty name
    SetLastError(ERROR_INVALID_NAME);
    return Fail("IDS_MSG_ERR_OPEN_PORT", true);
  }
  if (name[0] == '\\') {
    std::snprintf(devicePath, sizeof devicePath, "%s", name);
  } else {
    std::snprintf(devicePath, sizeof devicePath, "%s%s", kDevicePrefix, name);
  }
  portHandle = CreateFileA(devicePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (AsHandle(portHandle) == INVALID_HANDLE_VALUE) return Fail("IDS_MSG_ERR_OPEN_PORT", true);
  HANDLE port = AsHandle(portHandle);
  SetupComm(port, kQueueSize, kQueueSize);
  PurgeComm(port, PURGE_TXCLEAR | PURGE_RXCLEAR);

  COMMTIMEOUTS timeouts;
  if (!GetCommTimeouts(port, &timeouts)) return Fail("IDS_MSG_ERR_GetCommTimeouts", true);
  timeouts.ReadIntervalTimeout = 0;
  timeouts.ReadTotalTimeoutMultiplier = kReadMsPerByte;
  timeouts.ReadTotalTimeoutConstant = 0;
  if (timeouts.WriteTotalTimeoutMultiplier == 0 && timeouts.WriteTotalTimeoutConstant == 0) {
    timeouts.WriteTotalTimeoutConstant = kWriteBoundMs;
  }
  if (!SetCommTimeouts(port, &timeouts)) return Fail("IDS_MSG_ERR_SetCommTimeouts", true);

  DCB line;
  std::memset(&line, 0, sizeof line);
  line.DCBlength = sizeof line;
  if (!GetCommState(port, &line)) return Fail("IDS_MSG_ERR_GetCommState", true);
  line.BaudRate = kTunerBaudRate;  // the tuner's speed, whatever baudRate holds
  line.ByteSize = 8;
  line.Parity = NOPARITY;
  line.StopBits = ONESTOPBIT;
  if (flowControl == nullptr || lstrcmpA(flowControl, kFlowHardware) == 0) {
    line.fOutxCtsFlow = TRUE;
    line.fOutxDsrFlow = TRUE;
  } else if (lstrcmpA(flowControl, kFlowNone) == 0) {
    line.fOutxCtsFlow = FALSE;
    line.fOutxDsrFlow = FALSE;
  }
  line.fDtrControl = DTR_CONTROL_ENABLE;
  line.fRtsControl = RTS_CONTROL_ENABLE;
  if (!SetCommState(port, &line)) return Fail("IDS_MSG_ERR_SetCommState", true);
  return 0;
}

int CCommPort::Reopen(const char* name, int baud, const char* flow) {
  Close();
  Init(name, baud, flow);
  return Open();
}

int CCommPort::ApplyBaudRate() {
  DCB line;
  std::memset(&line, 0, sizeof line);
  line.DCBlength = sizeof line;
  if (!GetCommState(AsHandle(portHandle), &line)) return Fail("IDS_MSG_ERR_GetCommState", false);
  line.BaudRate = static_cast<DWORD>(baudRate);
  if (!SetCommState(AsHandle(portHandle), &line)) return Fail("IDS_MSG_ERR_SetCommState", false);
  return 0;
}

int CCommPort::ReadBytes(char* buffer, int count, unsigned* received) {
  DWORD got = 0;
  if (!ReadFile(AsHandle(portHandle), buffer, static_cast<DWORD>(count), &got, nullptr)) {
    return Fail("IDS_MSG_ERR_ReadComPort", false);
  }
  *received = got;
  if (got == 0) return abortFlag != 0 ? 2 : 0;
  // One transcript line per block: the bytes up to the first NUL, "NULL" for a leading NUL.
  char text[kTranscriptLineSize];
  const size_t kept = got < sizeof text - 1 ? got : sizeof text - 1;
  std::memcpy(text, buffer, kept);
  text[kept] = '\0';
  LogLine(text[0] == '\0' ? "NULL\r\n" : text);
  return 0;
}

int CCommPort::WriteBytes(const char* buffer, int count, unsigned* written) {
  DWORD sent = 0;
  if (!WriteFile(AsHandle(portHandle), buffer, static_cast<DWORD>(count), &sent, nullptr)) {
    return Fail("IDS_MSG_ERR_WriteComPort", false);
  }
  *written = sent;
  return 0;
}

int CCommPort::LogLine(const char* text) {
  WriteTranscript(logHandle, "", text);
  return 0;
}

int CCommPort::LogLeveled(int level, const char* format, ...) {
  if (AsHandle(logHandle) == INVALID_HANDLE_VALUE) return 0;
  char text[kTranscriptLineSize];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  WriteTranscript(logHandle, LevelPrefix(level), text);
  return 0;
}
