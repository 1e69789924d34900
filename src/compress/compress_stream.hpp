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

// Most threads CompressStreamParallel uses; a larger count is taken as this one.
inline constexpr unsigned MaxCompressThreads = 64;

// Bytes of work area CompressStreamParallel needs for `threadCount` threads (0 is taken as 1): exactly
// CompressWorkSize for one thread, else CompressSharedWorkSize and one part area (CompressPartWorkSize,
// just under 2 MB) per thread. Allocated and freed by the caller like CompressWorkSize.
size_t compressParallelWorkSize(unsigned threadCount);

// CompressStream on up to `threadCount` threads, with the same contract and exactly the same output: the
// same bytes, written in the same chunks (2048 bytes each, then one last chunk of 0 to 2048), for every
// input and every thread count. The result never depends on timing or on how many threads run.
//
// The input is taken in segments of up to 512 KiB per thread (the reads ask for the bytes still missing
// from the current 4096-byte block, like CompressStream's); each segment is cut into one part per thread
// (of at least 16 KiB), the parts are coded side by side, and their bits are joined where the parse of one
// part reaches a token at which the next part's parse also starts. A thread that finishes its part early
// takes over the second half of what the part with the most left has left, so the threads of a segment
// finish together however fast each goes. Where a parse does not meet the next part's within 4 KiB of its
// start (long runs of one period can do that), the earlier parse is carried on, on the calling thread,
// until it meets a later part's: slower, never different. Output of a segment is written after the
// segment is coded, so writes trail reads by up to one segment.
//
// Both callbacks are called only from the calling thread, reads and writes each in stream order. With
// `threadCount` 1 (or 0) this is CompressStream itself. Otherwise the call starts up to threadCount - 1
// std::threads once the input is long enough for two parts (the thread library allocates their state)
// and joins them before it returns; if the system refuses a thread, the call goes on with those it has.
// Nothing else is allocated. Returns what CompressStream would (parameters are checked before any thread
// starts or callback runs).
int CompressStreamParallel(ReadCallback read, WriteCallback write, void* workArea, void* parameter,
                           uint32_t* literalMode, uint32_t* dictionarySize, unsigned threadCount);

// Bytes of work area of one thread coding parts of a stream: its part's state and its 512 KiB slice of
// the segment's input (just under 2 MB).
extern const size_t CompressPartWorkSize;
// Bytes of work area of the stream itself in CompressStreamBorrowing: its parameters, its output chunk
// and the input history between segments (a few KiB).
extern const size_t CompressSharedWorkSize;

// Threads lent to one stream segment by segment, each with a part work area (CompressPartWorkSize bytes,
// allocated by the lender), so that a stream can use threads that would otherwise wait, and give them
// back as soon as its segment is coded. All three are called on the stream's calling thread only.
struct CompressHelpers {
    // Lends up to `wanted` threads that are free now, without waiting: stores one part work area per
    // thread in areas[0 ..] and returns how many.
    unsigned (*borrow)(void** areas, unsigned wanted, void* lender);
    // Takes back `count` threads of earlier borrows, with their areas.
    void (*giveBack)(void* const* areas, unsigned count, void* lender);
    void* lender;
    // The most threads the stream borrows at once (up to MaxCompressThreads - 1).
    unsigned most;
};

// CompressStreamParallel with its threads borrowed: each segment holds 512 KiB of input per thread, for
// the calling thread (in `partArea`, CompressPartWorkSize bytes) and every thread that `helpers` lends
// when the segment begins, and the lent threads go back once it is coded. The stream is CompressStream's
// whatever is lent, and however that changes from one segment to the next. `workArea` holds
// CompressSharedWorkSize bytes. Starts up to helpers.most std::threads, as they are first needed, which
// run only the parts lent to them; everything else is as for CompressStreamParallel.
int CompressStreamBorrowing(ReadCallback read, WriteCallback write, void* workArea, void* partArea,
                            void* parameter, uint32_t* literalMode, uint32_t* dictionarySize,
                            const CompressHelpers& helpers);

}  // namespace bxa
