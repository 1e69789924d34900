// The file callbacks that record encoding and decoding hand to the compression engine, and the one routine
// that runs an engine between two files.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "compress/compress_stream.hpp"
#include "platform/file.hpp"

namespace bxa {

// The context of both callbacks: the stretch of the file the engine reads (read at explicit offsets, so
// that several records of one archive may be read at once) and the file it writes. The engine does not
// learn of failed reads or writes, so the callbacks note them here for the caller to check afterwards.
struct StreamPair {
    platform::File* input = nullptr;
    int64_t inputOffset = 0;
    int64_t inputRemaining = std::numeric_limits<int64_t>::max();
    platform::File* output = nullptr;
    bool readFailed = false;
    bool writeFailed = false;
    // Reads go through this buffer in large blocks; the engine asks for 2 or 4 KiB at a time.
    std::vector<uint8_t> buffer;
    size_t bufferStart = 0;
    size_t bufferEnd = 0;
};

// Reads up to *size bytes of the pair's input stretch; returns how many, 0 at its end (or on a read error,
// which is also noted in the pair).
uint32_t readChunk(uint8_t* buffer, uint32_t* size, void* pair);

// Writes *size bytes to the pair's output; a failure is noted in the pair.
void writeChunk(uint8_t* buffer, uint32_t* size, void* pair);

enum class EngineOutcome {
    Done,          // the whole input went through the engine and every write succeeded
    NotAStream,    // the expander rejected the input (its result code was not ResultOk)
    ReadFailed,
    WriteFailed,
    NoWorkArea,    // the work area could not be allocated
};

// Every record is compressed with the largest dictionary: a match may reach 4096 bytes back.
inline constexpr uint32_t RecordDictionarySize = 4096;

// Expands the `length` bytes at `offset` of `input` to the current position of `output`.
EngineOutcome expandBetween(platform::File& input, int64_t offset, int64_t length, platform::File& output);

// The threads a stream is compressed on: `threads` of its own, or, with `helpers` set, the calling
// thread (its part work area in `partArea`, CompressPartWorkSize bytes) and those the helpers lend it
// segment by segment. The stream is the same either way.
struct CompressThreads {
    unsigned threads = 1;
    const CompressHelpers* helpers = nullptr;
    void* partArea = nullptr;
};

// Compresses `input` from its start to its end to the current position of `output`, with the literal mode
// of `method` (2: ASCII-coded literals; else binary) and a 4096-byte dictionary, on the threads `on` gives.
EngineOutcome compressBetween(platform::File& input, int32_t method, platform::File& output,
                              const CompressThreads& on = {});

}  // namespace bxa
