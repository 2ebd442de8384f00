// The text exchange over kivactl's byte pipe: the query goes out in one send, the reply comes
// back in chunks of up to 128 bytes.
#pragma once

namespace ostrin {

constexpr unsigned kChunkSize = 128;   // the chunk buffer of one receive
constexpr unsigned kReplySize = 1024;  // a reply keeps at most kReplySize - 1 bytes
constexpr int kEmptyReadLimit = 100;   // empty reads tolerated before the first byte, plus one

// Sends "getstat" and a CR. The pipe's result is returned, although no caller needs it.
int SendStatusQuery();

// One receive into `chunk` (kChunkSize bytes, zero-filled here first). 0 with *received set to
// the number of bytes read (0 when none arrived); a failed receive returns the pipe's result and
// leaves *received unchanged. A count above the chunk's size is cut to it.
int ReadChunk(char* chunk, unsigned* received);

// Collects one reply into `out`, whose capacity *length gives. Chunks are appended while the
// total stays below kReplySize; collection ends at the first empty chunk after data, or at a
// chunk that would reach kReplySize (that chunk is dropped). Before any data, 102 empty reads in
// a row give up. On a collected reply at most *length bytes are copied and *length becomes the
// number copied; when nothing arrived or a receive failed, `out` and *length are left alone.
// Always 0.
int ReceiveReply(char* out, unsigned* length);

}  // namespace ostrin
