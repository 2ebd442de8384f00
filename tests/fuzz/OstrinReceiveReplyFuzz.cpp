// ostrin's ReceiveReply over a scripted pipe built from the input.
//
// Input: two bytes of output capacity (little-endian, taken modulo 1101), then the receives,
// each introduced by a control byte c:
//   FF      a failed receive;
//   FE n    n receives that bring nothing;
//   FD n r  n % 129 bytes that follow, reported as 128 + r bytes transferred;
//   other   c % 129 bytes that follow (0: a receive that brings nothing).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "FakeKivactl.h"
#include "FuzzCheck.h"
#include "Pipe.h"

namespace {

// More receives than one reply can take: 1023 one-byte chunks, then the empty one; or the empty
// ones before the first byte.
constexpr size_t kScriptLimit = ostrin::kReplySize + ostrin::kEmptyReadLimit + 2;

// Decodes the receives.
std::vector<FakeReceive> Script(const uint8_t* data, size_t size) {
  std::vector<FakeReceive> receives;
  size_t i = 0;
  auto next = [&]() -> unsigned { return i < size ? data[i++] : 0u; };
  while (i < size && receives.size() < kScriptLimit) {
    const unsigned c = next();
    FakeReceive receive;
    if (c == 0xFF) {
      receive.result = -1;
    } else if (c == 0xFE) {
      const unsigned n = next();
      for (unsigned k = 0; k < n; ++k) receives.push_back(FakeReceive{});
      continue;
    } else {
      size_t length = c;
      if (c == 0xFD) {
        length = next();
        receive.reported = 128 + static_cast<long>(next());
      }
      length = std::min<size_t>(length % 129, size - i);
      receive.bytes.assign(reinterpret_cast<const char*>(data + i), length);
      i += length;
    }
    receives.push_back(receive);
  }
  return receives;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const unsigned capacity = (data[0] | (data[1] << 8)) % 1101u;
  FakeKivactl kivactl;
  const std::vector<FakeReceive> script = Script(data + 2, size - 2);
  kivactl.receives.assign(script.begin(), script.end());

  std::unique_ptr<char[]> out(new char[capacity]);  // exactly sized for ASan
  std::memset(out.get(), '#', capacity);
  unsigned length = capacity;
  FUZZ_CHECK(ostrin::ReceiveReply(out.get(), &length) == 0);

  // What the receives taken from the script brought, and where each chunk ended.
  const size_t taken = script.size() - kivactl.receives.size();
  FUZZ_CHECK(static_cast<size_t>(kivactl.receiveCount) <= taken + ostrin::kEmptyReadLimit + 2);
  std::string stream;
  std::vector<size_t> chunkEnds = {0};
  bool failed = false;
  for (size_t k = 0; k < taken; ++k) {
    const FakeReceive& receive = script[k];
    if (receive.result != 0) {
      failed = true;
      continue;
    }
    const size_t reported =
        receive.reported < 0 ? receive.bytes.size() : static_cast<size_t>(receive.reported);
    std::string chunk = receive.bytes;
    chunk.resize(std::min(reported, size_t{ostrin::kChunkSize}), '\0');  // zero-filled
    stream += chunk;
    if (!chunk.empty()) chunkEnds.push_back(stream.size());
  }

  if (failed || stream.empty()) {  // a failed receive, or nothing at all: nothing touched
    if (failed) FUZZ_CHECK(script[taken - 1].result != 0);  // and it was the last receive
    FUZZ_CHECK(length == capacity);
    for (unsigned k = 0; k < capacity; ++k) FUZZ_CHECK(out[k] == '#');
    return 0;
  }
  // A reply: its first bytes, the rest of the buffer untouched.
  FUZZ_CHECK(length <= capacity && length < ostrin::kReplySize);
  FUZZ_CHECK(std::memcmp(out.get(), stream.data(), length) == 0);
  for (unsigned k = length; k < capacity; ++k) FUZZ_CHECK(out[k] == '#');
  if (length < capacity) {
    // Uncut: everything up to the empty chunk, or all but a last chunk that would reach
    // kReplySize.
    const bool whole = length == stream.size();
    const bool lastDropped = stream.size() >= ostrin::kReplySize && chunkEnds.size() >= 2 &&
                             length == chunkEnds[chunkEnds.size() - 2];
    FUZZ_CHECK(whole || lastDropped);
  }
  return 0;
}
