// The file callbacks that record encoding and decoding hand to the compression engine.
#pragma once

#include <cstdint>

#include "platform/file.hpp"

namespace bxa {

// The context of both callbacks: the file the engine reads and the file it writes. The engine does not
// learn of failed reads or writes, so the callbacks note them here for the caller to check afterwards.
struct StreamPair {
    platform::File* input = nullptr;
    platform::File* output = nullptr;
    bool readFailed = false;
    bool writeFailed = false;
};

// Reads up to *size bytes from the pair's input; returns how many, 0 at the end of the file (or on a read
// error, which is also noted in the pair).
uint32_t readChunk(uint8_t* buffer, uint32_t* size, void* pair);

// Writes *size bytes to the pair's output; a failure is noted in the pair.
void writeChunk(uint8_t* buffer, uint32_t* size, void* pair);

}  // namespace bxa
