// ExpandStream: turns one compressed stream back into the bytes that were compressed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "compress/engine.hpp"

namespace bxa {

// Bytes of work area ExpandStream needs. Callers allocate it (new uint8_t[ExpandWorkSize] or malloc: the
// engine relies on max_align_t alignment) and free it after the call; its content on entry does not
// matter, and one area serves one stream at a time.
extern const size_t ExpandWorkSize;

// Expands one stream pulled through `read` (asked for 2048 bytes each time) and pushes the output through
// `write` in blocks of exactly 4096 bytes followed by one last write of 0 to 4096 bytes. `parameter` is
// handed back to both callbacks untouched.
//
// Returns, checked in this order before any output:
//   ResultShortInput        the first read delivered 4 bytes or fewer;
//   ResultBadDictionarySize header byte 1 is not 4, 5 or 6;
//   ResultBadLiteralMode    header byte 0 is not 0 or 1;
// and then
//   ResultOk                the end symbol was reached (also when it ends on the very last input bit);
//   ResultTruncated         the input ended before the end symbol; everything decoded before the token
//                           that ran out of input has still been written.
// With the first three results `write` is never called. Hostile input cannot make the engine touch memory
// outside the work area and the callbacks' buffers: every bit pattern decodes to some symbol, and a
// back-reference reaching before the first output byte reads zeros.
int ExpandStream(ReadCallback read, WriteCallback write, void* workArea, void* parameter);

}  // namespace bxa
