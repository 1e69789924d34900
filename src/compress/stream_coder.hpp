// The compressor's coder: bit writer, token choice and the walk over 4096-byte blocks, shared by the
// single-threaded and the threaded entry points. Internal to the compression engine; it lives in the work
// area and allocates nothing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "compress/code_tables.hpp"
#include "compress/engine.hpp"
#include "compress/match_finder.hpp"

namespace bxa::compress_detail {

inline constexpr uint32_t OutputChunkSize = 2048;
inline constexpr uint32_t SymbolCount = 256 + codes::EndOfStreamValue + 1;  // literals, then length values 0..517
inline constexpr uint32_t EndSymbol = SymbolCount - 1;
// The costliest token per input byte is an ASCII literal: the flag and a code of up to 13 bits.
inline constexpr uint32_t MaxBitsPerInputByte = 1 + codes::MaxAsciiCodeLength;
// Every write stores a whole word at the first incomplete byte, and the bit copier reads a word from any
// byte of a buffer; buffers of bits keep this much slack.
inline constexpr uint32_t BitSlack = 16;

// Bits accumulate first at bit 0; every write stores the accumulator as one 64-bit word at the first
// incomplete byte and keeps only the bits of that byte, so no branch depends on how many bytes the bits
// completed. In a streaming writer (`flushAt` is OutputChunkSize) every 2048 complete bytes go to the write
// callback, during the write that completes them; a buffer writer (`flushAt` above anything it can hold)
// only fills its buffer, which the caller sized for the worst case.
struct BitWriter {
    uint64_t accumulator;  // bits of the incomplete byte, first at bit 0
    uint32_t pending;      // number of those bits (0-7 between writes)
    uint32_t count;        // complete bytes in `bytes`
    uint32_t flushAt;
    uint8_t* bytes;
    WriteCallback write;
    void* parameter;

    uint64_t bitCount() const { return uint64_t{count} * 8 + pending; }
};

void startWriter(BitWriter& writer, uint8_t* bytes, uint32_t flushAt, WriteCallback write, void* parameter);
void emitChunk(BitWriter& writer);

// Writes up to 56 bits of value, first bit at bit 0 (the accumulator keeps at most 7 more).
inline void putBits(BitWriter& writer, uint64_t value, uint32_t bits) {
    const uint64_t accumulator = writer.accumulator | value << writer.pending;
    const uint32_t pending = writer.pending + bits;
    std::memcpy(writer.bytes + writer.count, &accumulator, sizeof(accumulator));
    const uint32_t complete = pending / 8;
    writer.count += complete;
    writer.accumulator = accumulator >> (8 * complete);
    writer.pending = pending % 8;
    if (writer.count >= writer.flushAt) emitChunk(writer);
}

// Stores the partly filled byte (if any) after the complete ones without counting it.
void spillBits(BitWriter& writer);
// Appends bits [from, to) of `source` (first bit at bit 0 of byte 0), which has BitSlack readable bytes
// past its last bit.
void appendBits(BitWriter& writer, const uint8_t* source, uint64_t from, uint64_t to);
// Writes the end symbol, counts the partly filled byte and writes everything left: the last chunk.
void finishStream(BitWriter& writer, uint32_t endCode, uint32_t endBits);

// Where the coding of one stream (or of one part of it) stands.
struct Cursor {
    uint64_t blockStart;   // input position of the current block's first new byte: 4096 * block index
    uint32_t block;        // index of the current block
    uint32_t blockOffset;  // window offset of the current block's first new byte
    uint32_t position;     // window offset of the next token
    uint32_t limit;        // tokens start below this window offset in the current block
    uint32_t end;          // window offset just past the block's new bytes
    bool lastBlock;
    bool finished;  // the last block has been coded to its end
};

// Stores the input bytes from position `from` on at `destination`, at most `size` of them, and returns how
// many it stored; fewer than asked for only at the end of the input. A block that receives fewer than
// BlockSize new bytes is the last.
using BlockSource = uint32_t (*)(uint8_t* destination, uint64_t from, uint32_t size, void* context);

// The parameters of a stream and its token codes, with a writer for its bits.
struct TokenWriter {
    BitWriter writer;
    uint32_t literalMode;
    uint32_t dictionaryBits;
    uint32_t dictionarySize;
    uint32_t symbolCodes[SymbolCount];  // flag, code and extra bits of a token's first part, as sent
    uint8_t symbolLengths[SymbolCount];
};

// A token writer with the match search that picks the tokens.
struct Coder : TokenWriter {
    MatchFinder finder;
};

// Dictionary bits for a dictionary size, 0 for a size the format does not have.
uint32_t dictionaryBitsFor(uint32_t dictionarySize);
// Checks the parameters like CompressStream (dictionary size first) and fills the symbol table.
int setUpCoder(TokenWriter& coder, uint32_t literalMode, uint32_t dictionarySize);
// Puts the two header bytes into an empty writer.
void putHeader(const TokenWriter& coder, BitWriter& writer);

// Starts the stream at input position 0: asks `source` for the first block. False when it delivers
// nothing (the stream is then the header and the end symbol).
bool startAtBeginning(Coder& coder, Cursor& cursor, BlockSource source, void* context);
// Starts at input position `position` (below the end of the input, and at least SecondBlockReach unless
// `opensBlock`), taking
// the window of its block from `source` (which must deliver every byte from MaxDictionarySize + 516
// before the block on). `opensBlock` says the position is where the parse from the beginning starts its
// block, so that block's own index rule applies; otherwise the tokens from `position` on are those of
// the parse from the beginning wherever that parse starts a token at `position`. `inputSize` is the
// input's length, or any number past the bytes that the coding until its stop will see.
void startAt(Coder& coder, Cursor& cursor, uint64_t position, bool opensBlock, uint64_t inputSize,
             BlockSource source, void* context);
// Codes tokens until the next token starts at input position `stop` or later, or the input is coded
// to its end (cursor.finished). Blocks are taken from `source` as the coding crosses into them.
void codeUntil(Coder& coder, Cursor& cursor, uint64_t stop, BlockSource source, void* context);

// Window offset o holds input position blockStart - blockOffset + o.
inline uint64_t inputPosition(const Cursor& cursor) {
    return cursor.blockStart + cursor.position - cursor.blockOffset;
}

// From this input position on, a token depends only on its position and the input. Before it, with a
// 4096-byte dictionary, the second block's index start (3580 below that block's first token, which the
// first block's last match may have carried up to 4095) can hide candidates that a match may otherwise
// reach 4095 bytes back to.
inline constexpr uint64_t SecondBlockReach = (BlockSize - 1) - (BlockSize - LookAhead) + (MaxDictionarySize - 1);

}  // namespace bxa::compress_detail
