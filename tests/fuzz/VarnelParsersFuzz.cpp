// varnel's readings of the status text: ParseProgramReply and ParseLockState.
//
// Input: two bytes of name-buffer size (little-endian, signed), then the reply (at most 1023
// bytes are kept, as the port keeps them).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "CommPort/CCommPort.h"
#include "FakeLine.h"
#include "FuzzCheck.h"
#include "Queries.h"

using namespace varnel;  // NOLINT: the library's internals under test

namespace {

constexpr char kFill = '#';

bool Contains(const std::string& text, const char* key) {
  return text.find(key) != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  FakeLine line;  // collects the traces, cleared for every input
  const int nameSize = static_cast<int16_t>(data[0] | (data[1] << 8));
  const size_t replyLength = std::min(size - 2, size_t{kReplySize - 1});

  // The reply in a buffer of exactly its length plus the NUL, so that ASan sees any read beyond.
  std::unique_ptr<char[]> reply(new char[replyLength + 1]);
  std::memcpy(reply.get(), data + 2, replyLength);
  reply[replyLength] = '\0';
  const std::string text(reply.get());  // as the parsers see it: up to the first NUL

  // A name can never be longer than the reply, so a size above kReplySize needs no more bytes.
  const size_t nameBytes =
      nameSize < 0 ? 0 : std::min(static_cast<size_t>(nameSize), size_t{kReplySize});
  std::unique_ptr<char[]> name(new char[nameBytes]);
  std::memset(name.get(), kFill, nameBytes);

  int lock = 7;
  const bool locked = ParseLockState(reply.get(), &lock);
  FUZZ_CHECK(lock == 0 || lock == 1);
  if (!locked) FUZZ_CHECK(lock == 0);
  if (locked) {
    const size_t key = text.find("BitErrorRate=");
    FUZZ_CHECK(key != std::string::npos && text.find('(', key) != std::string::npos);
  }
  if (lock == 1) {
    const size_t open = text.find('(', text.find("BitErrorRate="));
    FUZZ_CHECK(text.find_first_of("0123456789", open) != std::string::npos);
  }
  FUZZ_CHECK(std::strcmp(reply.get(), text.c_str()) == 0);  // const: left alone

  int channel = -99;
  const bool parsed = ParseProgramReply(reply.get(), name.get(), nameSize, &channel);
  // The reply is cut only by NULs written into it, at most two of them.
  int cuts = 0;
  for (size_t i = 0; i < replyLength; ++i) {
    if (reply[i] == static_cast<char>(data[2 + i])) continue;
    FUZZ_CHECK(reply[i] == '\0');
    ++cuts;
  }
  FUZZ_CHECK(cuts <= 2);
  FUZZ_CHECK(reply[replyLength] == '\0');

  const bool keys =
      Contains(text, "CHANNEL:") && Contains(text, "PROGRAM:") && Contains(text, "\r\nscreen=");
  if (!keys) FUZZ_CHECK(!parsed && channel == -99 && cuts == 0);
  if (parsed) {
    const size_t length = std::strlen(name.get());
    FUZZ_CHECK(static_cast<int>(length) + 1 < nameSize);
    // The name is text that followed "PROGRAM:" in the reply.
    FUZZ_CHECK(Contains(text, ("PROGRAM:" + std::string(name.get(), length)).c_str()));
  } else {
    for (size_t i = 0; i < nameBytes; ++i) FUZZ_CHECK(name[i] == kFill);
  }
  return 0;
}
