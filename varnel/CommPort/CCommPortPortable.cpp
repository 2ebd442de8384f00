// The members of CCommPort that need nothing of the platform.
#include <cstring>

#include "../PortDiscovery.h"
#include "CCommPort.h"

const char kFlowHardware[] = "\x83\x6E\x81\x5B\x83\x68\x83\x45\x83\x46\x83\x41";  // ハードウェア
const char kFlowNone[] = "\x82\xC8\x82\xB5";                                      // なし

CCommPort::CCommPort() {
  Init("COM1", kTunerBaudRate, "");
}

CCommPort::CCommPort(const char* name, int baud, const char* flow) {
  Init(name, baud, flow);
}

CCommPort::~CCommPort() {
  Close();
}

void CCommPort::ResetState(const char* name, int baud, const char* flow) {
  std::memset(message, 0, sizeof message);
  lastError = 0;
  portHandle = reinterpret_cast<void*>(-1);  // INVALID_HANDLE_VALUE
  logHandle = reinterpret_cast<void*>(-1);
  abortFlag = 0;
  portName = name;
  baudRate = baud;
  flowControl = flow;
}

void CCommPort::SetAbort() {
  abortFlag = 1;
}

void CCommPort::SetMessage(const char* identifier) {
  std::strncpy(message, identifier, sizeof message - 1);
  message[sizeof message - 1] = '\0';
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

char* CCommPort::NthPortName(unsigned n, char* list) {
  return NthPortInList(n, list);
}
