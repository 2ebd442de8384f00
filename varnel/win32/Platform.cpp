// The raw calls of varnel on Windows: the serial handle, the transcript file, the clock, the
// debugger output, the library lock and the DLL's attach/detach.
#include "../Platform.h"

#include <windows.h>

namespace varnel {
namespace platform {

const char kDevicePrefix[] = "\\\\.\\";  // the four characters \\.\ before a COM name
const char kDevicePathStart = '\\';

namespace {

// A tuner that never raises CTS/DSR must not hold a write for ever: when the driver has no
// write time-out at all, a write gives up after this long.
constexpr DWORD kWriteBoundMs = 5000;

CRITICAL_SECTION g_libraryLock;

HANDLE AsHandle(Handle handle) {
  return reinterpret_cast<HANDLE>(handle);
}

Handle FromHandle(HANDLE handle) {
  return reinterpret_cast<Handle>(handle);  // INVALID_HANDLE_VALUE is kNoHandle
}

}  // namespace

Handle OpenLine(const char* devicePath) {
  return FromHandle(CreateFileA(devicePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void PurgeLine(Handle line, unsigned queueSize) {
  SetupComm(AsHandle(line), queueSize, queueSize);
  PurgeComm(AsHandle(line), PURGE_TXCLEAR | PURGE_RXCLEAR);
}

LineStep ConfigureLine(Handle line, const LineSettings& settings) {
  HANDLE port = AsHandle(line);
  COMMTIMEOUTS timeouts;
  if (!GetCommTimeouts(port, &timeouts)) return LineStep::kGetTimeouts;
  timeouts.ReadIntervalTimeout = 0;
  timeouts.ReadTotalTimeoutMultiplier = settings.readMsPerByte;
  timeouts.ReadTotalTimeoutConstant = 0;
  if (timeouts.WriteTotalTimeoutMultiplier == 0 && timeouts.WriteTotalTimeoutConstant == 0) {
    timeouts.WriteTotalTimeoutConstant = kWriteBoundMs;
  }
  if (!SetCommTimeouts(port, &timeouts)) return LineStep::kSetTimeouts;

  DCB state;
  ZeroMemory(&state, sizeof state);
  state.DCBlength = sizeof state;
  if (!GetCommState(port, &state)) return LineStep::kGetState;
  state.BaudRate = static_cast<DWORD>(settings.baudRate);
  state.ByteSize = 8;
  state.Parity = NOPARITY;
  state.StopBits = ONESTOPBIT;
  if (settings.handshaking != Handshaking::kAsIs) {
    const BOOL on = settings.handshaking == Handshaking::kOn ? TRUE : FALSE;
    state.fOutxCtsFlow = on;
    state.fOutxDsrFlow = on;
  }
  state.fDtrControl = DTR_CONTROL_ENABLE;
  state.fRtsControl = RTS_CONTROL_ENABLE;
  if (!SetCommState(port, &state)) return LineStep::kSetState;
  return LineStep::kDone;
}

LineStep SetLineSpeed(Handle line, int baudRate) {
  DCB state;
  ZeroMemory(&state, sizeof state);
  state.DCBlength = sizeof state;
  if (!GetCommState(AsHandle(line), &state)) return LineStep::kGetState;
  state.BaudRate = static_cast<DWORD>(baudRate);
  if (!SetCommState(AsHandle(line), &state)) return LineStep::kSetState;
  return LineStep::kDone;
}

bool ReadLine(Handle line, char* buffer, unsigned count, unsigned* received) {
  DWORD got = 0;
  const BOOL done = ReadFile(AsHandle(line), buffer, count, &got, nullptr);
  *received = got;
  return done != FALSE;
}

bool WriteLine(Handle line, const char* buffer, unsigned count, unsigned* written) {
  DWORD sent = 0;
  const BOOL done = WriteFile(AsHandle(line), buffer, count, &sent, nullptr);
  *written = sent;
  return done != FALSE;
}

void CloseLine(Handle line) {
  CloseHandle(AsHandle(line));
}

unsigned LastError() {
  return GetLastError();
}

unsigned BadNameError() {
  return ERROR_INVALID_NAME;
}

int CompareText(const char* a, const char* b) {
  return lstrcmpA(a, b);
}

Handle OpenTranscript(const char* fileName) {
  return FromHandle(CreateFileA(fileName, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void WriteTranscript(Handle file, const char* line, std::size_t length) {
  DWORD written = 0;
  WriteFile(AsHandle(file), line, static_cast<DWORD>(length), &written, nullptr);
}

void CloseTranscript(Handle file) {
  CloseHandle(AsHandle(file));
}

TranscriptTime LocalTime() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

void TraceOutput(const char* line) {
  OutputDebugStringA(line);
}

void PauseMilliseconds(unsigned milliseconds) {
  Sleep(milliseconds);
}

bool IsLeadByte(unsigned char byte) {
  return IsDBCSLeadByte(byte) != FALSE;
}

void EnterLibraryLock() {
  EnterCriticalSection(&g_libraryLock);
}

void LeaveLibraryLock() {
  LeaveCriticalSection(&g_libraryLock);
}

}  // namespace platform
}  // namespace varnel

// The library lock lives from process attach to process detach.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) InitializeCriticalSection(&varnel::platform::g_libraryLock);
  if (reason == DLL_PROCESS_DETACH) DeleteCriticalSection(&varnel::platform::g_libraryLock);
  return TRUE;
}
