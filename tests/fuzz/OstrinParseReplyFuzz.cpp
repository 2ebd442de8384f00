// ostrin's ParseReply on arbitrary replies and name-buffer sizes.
//
// Input: two bytes of name-buffer size (little-endian, signed), then the reply (at most 1023
// bytes are kept, as the pipe keeps them).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "FuzzCheck.h"
#include "Pipe.h"
#include "Queries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int nameSize = static_cast<int16_t>(data[0] | (data[1] << 8));
  const size_t replyLength = std::min(size - 2, size_t{ostrin::kReplySize - 1});
  std::unique_ptr<char[]> reply(new char[replyLength + 1]);  // exactly sized for ASan
  std::memcpy(reply.get(), data + 2, replyLength);
  reply[replyLength] = '\0';
  const std::string text(reply.get());

  const size_t nameBytes =
      nameSize < 0 ? 0 : std::min(static_cast<size_t>(nameSize), size_t{ostrin::kReplySize});
  std::unique_ptr<char[]> name(new char[nameBytes]);
  std::memset(name.get(), '#', nameBytes);
  int channel = 12345;
  const bool parsed = ostrin::ParseReply(reply.get(), name.get(), nameSize, &channel);
  FUZZ_CHECK(std::memcmp(reply.get(), data + 2, replyLength) == 0);  // read only

  // The three keys in order: CHANNEL:, then PROGRAM: at or after it, then CR LF OK after that.
  const size_t channelKey = text.find("CHANNEL:");
  const size_t programKey =
      channelKey == std::string::npos ? std::string::npos : text.find("PROGRAM:", channelKey);
  const size_t nameEnd =
      programKey == std::string::npos ? std::string::npos : text.find("\r\nOK", programKey);
  FUZZ_CHECK(parsed == (nameSize >= 1 && nameEnd != std::string::npos));
  if (!parsed) {
    FUZZ_CHECK(channel == 12345);
    for (size_t i = 0; i < nameBytes; ++i) FUZZ_CHECK(name[i] == '#');
    return 0;
  }
  // The name: the text between the keys, cut to size - 1 bytes, NUL-terminated in the buffer.
  const size_t nameStart = programKey + 8;
  const size_t length = std::min(nameEnd - nameStart, static_cast<size_t>(nameSize - 1));
  FUZZ_CHECK(name[length] == '\0');
  FUZZ_CHECK(std::memcmp(name.get(), text.data() + nameStart, length) == 0);
  for (size_t i = length + 1; i < nameBytes; ++i) FUZZ_CHECK(name[i] == '#');
  // A channel without digits is 0; one of them makes it non-zero only with a digit after the key.
  if (channel != 0) {
    FUZZ_CHECK(text.find_first_of("123456789", channelKey + 8) != std::string::npos);
  }
  return 0;
}
