// CompressStream: writes one compressed stream for the whole input pulled through a read callback.
#pragma once

#include <cstddef>
#include <cstdint>

#include "compress/engine.hpp"

namespace bxa {

// Bytes of work area CompressStream needs. Callers allocate it (new uint8_t[CompressWorkSize] or malloc:
// the engine relies on max_align_t alignment) and free it after the call; its content on entry does not
// matter, and one area serves one stream at a time. The work area is all the memory the engine uses,
// whatever the input size.
extern const size_t CompressWorkSize;

// Compresses everything `read` delivers until it returns 0 (a read is asked for the bytes still missing
// from the current 4096-byte block) and writes the stream through `write` in chunks of exactly 2048 bytes
// followed by one last chunk of 0 to 2048 bytes; the first chunk starts with the two header bytes.
// *literalMode is LiteralModeBinary or LiteralModeAscii, *dictionarySize 1024, 2048 or 4096 (the farthest
// back a match may reach, plus one). The stream produced is fully determined by the input bytes and the
// two parameters, not by how the reads split the input.
//
// Returns ResultBadDictionarySize (checked first) or ResultBadLiteralMode without calling either callback
// when a parameter is out of range, else ResultOk. Read failures count as the end of input; write failures
// are not seen.
int CompressStream(ReadCallback read, WriteCallback write, void* workArea, void* parameter,
                   uint32_t* literalMode, uint32_t* dictionarySize);

}  // namespace bxa
