// One command exchange through varnel, timed side by side with the smallest raw Windows-API
// program that does the same: open the port, configure it, write the command, read the reply one
// byte at a time until "OK" CR, close. The simulated tuner on the port answers at once.
//
//   exchange_bench.exe [rounds]     (under run-under-wine.sh with one tuner)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "varnel.h"

namespace {

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct RawTiming {
  double total = 0, receive = 0;
  unsigned bytes = 0;
  bool ok = false;
};

// The floor: what any program on this platform must do for one exchange.
RawTiming RawExchange(const char* device, const char* command) {
  RawTiming timing;
  const double start = Now();
  HANDLE port = CreateFileA(device, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (port == INVALID_HANDLE_VALUE) return timing;
  SetupComm(port, 4096, 4096);
  PurgeComm(port, PURGE_TXCLEAR | PURGE_RXCLEAR);
  COMMTIMEOUTS timeouts;
  GetCommTimeouts(port, &timeouts);
  timeouts.ReadIntervalTimeout = 0;
  timeouts.ReadTotalTimeoutMultiplier = 5000;
  timeouts.ReadTotalTimeoutConstant = 0;
  SetCommTimeouts(port, &timeouts);
  DCB line = {};
  line.DCBlength = sizeof line;
  GetCommState(port, &line);
  line.BaudRate = 115200;
  line.ByteSize = 8;
  line.Parity = NOPARITY;
  line.StopBits = ONESTOPBIT;
  line.fOutxCtsFlow = TRUE;
  line.fOutxDsrFlow = TRUE;
  line.fDtrControl = DTR_CONTROL_ENABLE;
  line.fRtsControl = RTS_CONTROL_ENABLE;
  SetCommState(port, &line);
  DWORD written = 0;
  WriteFile(port, command, static_cast<DWORD>(std::strlen(command)), &written, nullptr);
  const double receiveStart = Now();
  char reply[1024] = {};
  unsigned n = 0;
  while (n + 1 < sizeof reply) {
    DWORD got = 0;
    if (!ReadFile(port, reply + n, 1, &got, nullptr) || got == 0) break;
    if (reply[n] == '\r' && n >= 2 && reply[n - 2] == 'O' && reply[n - 1] == 'K') {
      timing.ok = true;
      ++n;
      break;
    }
    ++n;
  }
  timing.receive = Now() - receiveStart;
  timing.bytes = n;
  CloseHandle(port);
  timing.total = Now() - start;
  return timing;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 50;
  const char* com = std::getenv("TUNERSIM_COM_1");
  if (com == nullptr) {
    std::printf("TUNERSIM_COM_1 is not set: run under run-under-wine.sh --tuners 1\n");
    return 2;
  }
  char device[32];
  std::snprintf(device, sizeof device, "\\\\.\\%s", com);

  std::vector<double> varnelKey, rawKey, varnelStatus, rawStatus, rawPerByte, discovery;
  unsigned statusBytes = 0;
  int failures = 0;
  for (int i = 0; i < rounds; ++i) {  // interleaved, so both see the same machine
    double start = Now();
    if (VARNEL_SetChannel(1, 1) != 0) ++failures;
    varnelKey.push_back(Now() - start);

    int count = 0;
    start = Now();
    if (VARNEL_GetCount(&count) != 0) ++failures;
    discovery.push_back(Now() - start);

    RawTiming raw = RawExchange(device, "REMOTE 8\r");
    if (!raw.ok) ++failures;
    rawKey.push_back(raw.total);

    int lock = 0;
    start = Now();
    if (VARNEL_GetStatus(1, nullptr, &lock) != 0) ++failures;
    varnelStatus.push_back(Now() - start);

    raw = RawExchange(device, "GETSTAT\r");
    if (!raw.ok) ++failures;
    rawStatus.push_back(raw.total);
    rawPerByte.push_back(raw.receive / raw.bytes);
    statusBytes = raw.bytes;
  }

  const double lineTimeUs = 1e6 * 10.0 / 115200.0;  // start bit, 8 data bits, stop bit
  std::printf("rounds: %d, failed exchanges: %d\n", rounds, failures);
  std::printf("%-34s %10s %10s %7s\n", "exchange (median of rounds)", "varnel", "raw API", "ratio");
  std::printf("%-34s %8.2f ms %8.2f ms %7.2f\n", "SetChannel: REMOTE 8, 3-byte reply",
              1e3 * Median(varnelKey), 1e3 * Median(rawKey), Median(varnelKey) / Median(rawKey));
  std::printf("%-34s %8.2f ms %8.2f ms %7.2f\n", "GetStatus: GETSTAT, reply",
              1e3 * Median(varnelStatus), 1e3 * Median(rawStatus),
              Median(varnelStatus) / Median(rawStatus));
  std::printf("%-34s %8.2f ms  (every call finds the port in the registry first)\n",
              "GetCount: port discovery alone", 1e3 * Median(discovery));
  std::printf("%-34s %8.2f ms %8.2f ms %7.2f\n", "SetChannel less discovery",
              1e3 * (Median(varnelKey) - Median(discovery)), 1e3 * Median(rawKey),
              (Median(varnelKey) - Median(discovery)) / Median(rawKey));
  std::printf("GETSTAT reply: %u bytes; raw receive cost %.1f us a byte (line time %.1f us)\n",
              statusBytes, 1e6 * Median(rawPerByte), lineTimeUs);
  std::printf("varnel beyond the raw call and discovery: %.2f us a reply byte\n",
              1e6 * (Median(varnelStatus) - Median(discovery) - Median(rawStatus)) / statusBytes);
  return failures == 0 ? 0 : 1;
}
