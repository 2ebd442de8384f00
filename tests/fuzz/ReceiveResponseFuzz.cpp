// CCommPort::ReceiveResponse over a scripted line built from the input.
//
// Input: two bytes of buffer capacity (little-endian, taken modulo 1101), then the bytes the
// tuner sends. 0xFE is an escape (code page 932 never uses it): FE 00 a failed read, FE 01 an
// abort, FE FE a literal FE byte, FE k otherwise (k & 7) + 1 reads that bring nothing.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <string>

#include "CommPort/CCommPort.h"
#include "FakeLine.h"
#include "FuzzCheck.h"

using namespace varnel;  // NOLINT: the library's internals under test

namespace {

constexpr unsigned char kEscape = 0xFE;

bool EndMarkAt(const std::string& kept, size_t i) {
  return kept[i] == '\r' && i >= 2 && kept[i - 2] == 'O' && kept[i - 1] == 'K';
}

void Script(FakeLine& line, const uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    if (data[i] != kEscape || i + 1 == size) {
      line.reads.push_back({FakeRead::kByte, static_cast<char>(data[i])});
      continue;
    }
    const uint8_t k = data[++i];
    if (k == 0) {
      line.reads.push_back({FakeRead::kFail, 0});
    } else if (k == 1) {
      line.reads.push_back({FakeRead::kAbort, 0});
    } else if (k == kEscape) {
      line.reads.push_back({FakeRead::kByte, static_cast<char>(kEscape)});
    } else {
      line.Silence((k & 7) + 1);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const unsigned capacity = (data[0] | (data[1] << 8)) % 1101u;
  FakeLine line;
  Script(line, data + 2, size - 2);
  const std::deque<FakeRead> script = line.reads;

  // Exactly the capacity, so that ASan sees any byte written beyond it.
  std::unique_ptr<char[]> buffer(new char[capacity]);
  CCommPort port;
  line.abortPort = &port;
  unsigned length = capacity;
  const int result = port.ReceiveResponse(buffer.get(), &length);

  FUZZ_CHECK(result >= 0 && result <= 3);
  if (capacity < 2) {
    FUZZ_CHECK(result == 0 && length == capacity && line.readCalls == 0);
    return 0;
  }

  // What the port kept: every byte of the reads taken from the script, NULs dropped.
  const size_t consumed = script.size() - line.reads.size();
  std::string kept;
  for (size_t i = 0; i < consumed; ++i) {
    if (script[i].kind == FakeRead::kByte && script[i].byte != '\0') kept += script[i].byte;
  }
  FUZZ_CHECK(kept.size() < capacity);
  FUZZ_CHECK(std::memcmp(buffer.get(), kept.data(), kept.size()) == 0);
  FUZZ_CHECK(buffer[kept.size()] == '\0');
  FUZZ_CHECK(std::strlen(buffer.get()) == kept.size());

  if (result == 0) {
    if (length == capacity) {  // buffer full: no end mark anywhere in it
      FUZZ_CHECK(kept.size() == capacity - 1);
      for (size_t i = 0; i < kept.size(); ++i) FUZZ_CHECK(!EndMarkAt(kept, i));
    } else {  // the reply ends at its first end mark
      FUZZ_CHECK(length == kept.size() && length >= 3 && EndMarkAt(kept, length - 1));
      for (size_t i = 0; i + 1 < kept.size(); ++i) FUZZ_CHECK(!EndMarkAt(kept, i));
    }
    return 0;
  }
  FUZZ_CHECK(length == capacity);
  // The read that ends a silent exchange may bring the end mark; it is not looked at.
  for (size_t i = 0; i + (result == 3 ? 1 : 0) < kept.size(); ++i) {
    FUZZ_CHECK(!EndMarkAt(kept, i));
  }
  const FakeRead::Kind last = consumed > 0 ? script[consumed - 1].kind : FakeRead::kEmpty;
  if (result == 1) {
    FUZZ_CHECK(last == FakeRead::kFail);
    FUZZ_CHECK(std::strcmp(port.Message(), "IDS_MSG_ERR_ReadComPort") == 0);
  } else if (result == 3) {
    FUZZ_CHECK(line.readCalls > 6);
    FUZZ_CHECK(std::strcmp(port.Message(), "IDS_MSG_ERR_RESPONSE") == 0);
  }
  return 0;
}
