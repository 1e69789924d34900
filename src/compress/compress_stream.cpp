#include "compress/compress_stream.hpp"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "compress/code_tables.hpp"
#include "compress/stream_coder.hpp"

namespace bxa {
namespace compress_detail {
namespace {

// A length-2 match costs about as much as two literals unless it is near (ShortMatchReach), and the
// look-ahead step prefers a one-longer match at the next position unless the current match is near.
constexpr uint32_t NearMatchLimit = 128;  // distance - 1 up to which a match beats a one-longer one
constexpr uint32_t DecisiveLength = 8;    // matches this long are taken without looking ahead

inline void putLiteral(Coder& coder, uint8_t literal) {
    putBits(coder.writer, coder.symbolCodes[literal], coder.symbolLengths[literal]);
}

// The length symbol (at most 16 bits) and the distance (at most 14) leave in one write.
inline void putMatch(Coder& coder, uint32_t length, uint32_t distanceMinusOne) {
    const uint32_t symbol = 256 + length - codes::MinMatchLength;
    const uint32_t lowBits = length == 2 ? 2u : coder.dictionaryBits;
    const uint32_t index = distanceMinusOne >> lowBits;
    const uint32_t codeLength = codes::DistanceCodeLengths[index];
    const uint32_t distance =
        codes::DistanceCodes[index] | ((distanceMinusOne & ((1u << lowBits) - 1u)) << codeLength);
    const uint32_t symbolLength = coder.symbolLengths[symbol];
    putBits(coder.writer, coder.symbolCodes[symbol] | distance << symbolLength,
            symbolLength + codeLength + lowBits);
}

// Codes the tokens that start below `limit` and below `stop`, beginning at `position`; returns the
// position after the last token, which a match may have carried into the look-ahead.
uint32_t codeTokens(Coder& coder, uint32_t position, uint32_t limit, uint32_t stop) {
    MatchFinder& finder = coder.finder;
    const uint8_t* window = finder.window;
    const uint32_t end = std::min(limit, stop);
    while (position < end) {
        Match match = finder.find(position);
        for (;;) {
            if (match.length == 0 || (match.length == 2 && match.distanceMinusOne >= ShortMatchReach)) {
                putLiteral(coder, window[position]);
                ++position;
                break;
            }
            if (match.length >= DecisiveLength || position + 1 >= limit) {
                putMatch(coder, match.length, match.distanceMinusOne);
                position += match.length;
                break;
            }
            // The match at the next position only matters if it is longer than this one (by two when this
            // one is near), so the search there may pass over every shorter candidate.
            const uint32_t beaten = match.distanceMinusOne <= NearMatchLimit ? match.length + 1 : match.length;
            Match next = finder.findLonger(position + 1, beaten + 1);
            if (next.length <= beaten) {
                putMatch(coder, match.length, match.distanceMinusOne);
                position += match.length;
                break;
            }
            putLiteral(coder, window[position]);
            ++position;
            // The token at the next position is the one its own search gives, so a stop there may
            // leave it to a later call.
            if (position >= stop) break;
            match = next;
        }
    }
    return position;
}

// Index start of block `block` whose first token is at window offset `position`: the first block indexes
// from its start, the second with a 4096-byte dictionary from 516 bytes past the oldest byte in reach
// (the bytes the first block coded past its limit are not candidates there), every other block the
// whole dictionary.
uint32_t indexStartFor(const Coder& coder, uint32_t block, uint32_t position) {
    if (block == 0) return position;
    if (block == 1 && coder.dictionarySize == MaxDictionarySize) return position - BlockSize + LookAhead;
    return position - coder.dictionarySize;
}

// Takes the new bytes of the cursor's block and opens it for coding.
bool loadBlock(Coder& coder, Cursor& cursor, BlockSource source, void* context) {
    const uint32_t received =
        source(coder.finder.window + cursor.blockOffset, cursor.blockStart, BlockSize, context);
    cursor.end = cursor.blockOffset + received;
    cursor.lastBlock = received < BlockSize;
    // A full block keeps its last 516 bytes uncoded so that every match found in it can run its full
    // length; they are coded with the next block.
    cursor.limit = cursor.lastBlock ? cursor.end : cursor.end - LookAhead;
    cursor.finished = false;
    return received != 0;
}

void nextBlock(Coder& coder, Cursor& cursor, BlockSource source, void* context) {
    cursor.blockOffset += BlockSize;
    if (cursor.blockOffset == WindowBytes) {
        coder.finder.slide();
        cursor.blockOffset -= SlideDistance;
        cursor.position -= SlideDistance;
    }
    cursor.blockStart += BlockSize;
    ++cursor.block;
    loadBlock(coder, cursor, source, context);
    const uint32_t indexStart = indexStartFor(coder, cursor.block, cursor.position);
    coder.finder.beginBlock(indexStart, cursor.end, indexStart);
}

}  // namespace

// ---- bit writer ---------------------------------------------------------------------------------------

void startWriter(BitWriter& writer, uint8_t* bytes, uint32_t flushAt, WriteCallback write, void* parameter) {
    writer.accumulator = 0;
    writer.pending = 0;
    writer.count = 0;
    writer.flushAt = flushAt;
    writer.bytes = bytes;
    writer.write = write;
    writer.parameter = parameter;
}

void emitChunk(BitWriter& writer) {
    uint32_t size = OutputChunkSize;
    writer.write(writer.bytes, &size, writer.parameter);
    // The write that completed the chunk may have completed a few bytes past it; they open the next one.
    std::memmove(writer.bytes, writer.bytes + OutputChunkSize, writer.count - OutputChunkSize);
    writer.count -= OutputChunkSize;
}

void spillBits(BitWriter& writer) {
    writer.bytes[writer.count] = static_cast<uint8_t>(writer.accumulator);
}

void appendBits(BitWriter& writer, const uint8_t* source, uint64_t from, uint64_t to) {
    constexpr uint32_t Piece = 56;  // a word read at any bit of a byte holds 57 bits or more
    constexpr uint64_t PieceMask = (uint64_t{1} << Piece) - 1;
    for (; from + Piece <= to; from += Piece) {
        putBits(writer, (load64(source + from / 8) >> (from % 8)) & PieceMask, Piece);
    }
    if (from < to) {
        const auto bits = static_cast<uint32_t>(to - from);
        putBits(writer, (load64(source + from / 8) >> (from % 8)) & ((uint64_t{1} << bits) - 1), bits);
    }
}

void finishStream(BitWriter& writer, uint32_t endCode, uint32_t endBits) {
    putBits(writer, endCode, endBits);
    if (writer.pending != 0) writer.bytes[writer.count++] = static_cast<uint8_t>(writer.accumulator);
    uint32_t size = writer.count;
    writer.write(writer.bytes, &size, writer.parameter);
}

// ---- coder --------------------------------------------------------------------------------------------

uint32_t dictionaryBitsFor(uint32_t dictionarySize) {
    switch (dictionarySize) {
        case 1024: return 4;
        case 2048: return 5;
        case 4096: return 6;
        default: return 0;
    }
}

int setUpCoder(TokenWriter& coder, uint32_t literalMode, uint32_t dictionarySize) {
    const uint32_t dictionaryBits = dictionaryBitsFor(dictionarySize);
    if (dictionaryBits == 0) return ResultBadDictionarySize;
    if (literalMode != LiteralModeBinary && literalMode != LiteralModeAscii) return ResultBadLiteralMode;
    coder.literalMode = literalMode;
    coder.dictionaryBits = dictionaryBits;
    coder.dictionarySize = dictionarySize;
    for (uint32_t literal = 0; literal < 256; ++literal) {
        if (literalMode == LiteralModeBinary) {
            coder.symbolCodes[literal] = literal << 1;
            coder.symbolLengths[literal] = 9;
        } else {
            coder.symbolCodes[literal] = static_cast<uint32_t>(codes::AsciiCodes[literal]) << 1;
            coder.symbolLengths[literal] = static_cast<uint8_t>(codes::AsciiCodeLengths[literal] + 1);
        }
    }
    uint32_t symbol = 256;
    for (uint32_t index = 0; index < codes::LengthSymbolCount; ++index) {
        const uint32_t codeLength = codes::LengthCodeLengths[index];
        const uint32_t extraBits = codes::LengthExtraBits[index];
        for (uint32_t extra = 0; extra < (1u << extraBits); ++extra, ++symbol) {
            coder.symbolCodes[symbol] =
                (extra << (codeLength + 1)) | (static_cast<uint32_t>(codes::LengthCodes[index]) << 1) | 1u;
            coder.symbolLengths[symbol] = static_cast<uint8_t>(codeLength + extraBits + 1);
        }
    }
    return ResultOk;
}

void putHeader(const TokenWriter& coder, BitWriter& writer) {
    writer.bytes[0] = static_cast<uint8_t>(coder.literalMode);
    writer.bytes[1] = static_cast<uint8_t>(coder.dictionaryBits);
    writer.count = codes::HeaderSize;
}

bool startAtBeginning(Coder& coder, Cursor& cursor, BlockSource source, void* context) {
    coder.finder.reset(coder.dictionarySize);
    cursor.blockStart = 0;
    cursor.block = 0;
    cursor.blockOffset = HistoryBytes;
    cursor.position = cursor.blockOffset;
    if (!loadBlock(coder, cursor, source, context)) return false;
    coder.finder.beginBlock(cursor.position, cursor.end, cursor.position);
    return true;
}

void startAt(Coder& coder, Cursor& cursor, uint64_t position, bool opensBlock, uint64_t inputSize,
             BlockSource source, void* context) {
    coder.finder.reset(coder.dictionarySize);
    // The block whose coding range holds the position: each block but the last codes up to 516 bytes
    // short of its end, and the last is the first that is not full.
    cursor.block = static_cast<uint32_t>(std::min((position + LookAhead) / BlockSize, inputSize / BlockSize));
    cursor.blockStart = uint64_t{cursor.block} * BlockSize;
    cursor.blockOffset = HistoryBytes;
    cursor.position = static_cast<uint32_t>(position + cursor.blockOffset - cursor.blockStart);
    // Window bytes before the input stay as the reset left them, like those of the first block.
    const uint64_t history = std::min<uint64_t>(cursor.blockStart, HistoryBytes);
    source(coder.finder.window + cursor.blockOffset - history, cursor.blockStart - history,
           static_cast<uint32_t>(history), context);
    loadBlock(coder, cursor, source, context);
    // Away from a block's first token the block's own index start lies below every candidate in reach.
    const uint32_t indexStart = opensBlock ? indexStartFor(coder, cursor.block, cursor.position)
                                           : cursor.position - coder.dictionarySize;
    coder.finder.beginBlock(indexStart, cursor.end,
                            std::max(indexStart, cursor.position - coder.dictionarySize + 1));
}

void codeUntil(Coder& coder, Cursor& cursor, uint64_t stop, BlockSource source, void* context) {
    if (cursor.finished || inputPosition(cursor) >= stop) return;
    for (;;) {
        const uint64_t ahead = stop - inputPosition(cursor);
        const uint32_t stopOffset =
            cursor.position + static_cast<uint32_t>(std::min<uint64_t>(ahead, UINT32_MAX - cursor.position));
        cursor.position = codeTokens(coder, cursor.position, cursor.limit, stopOffset);
        if (cursor.position < cursor.limit) return;  // stopped
        if (cursor.lastBlock) {
            cursor.finished = true;
            return;
        }
        if (cursor.position >= stopOffset) return;
        nextBlock(coder, cursor, source, context);
    }
}

}  // namespace compress_detail

using namespace compress_detail;

namespace {

struct StreamState {
    Coder coder;
    uint8_t output[OutputChunkSize + BitSlack];  // 2048 bytes to be written, plus room for a word store
};

static_assert(alignof(StreamState) <= alignof(std::max_align_t), "work areas come from operator new[]");

struct ReadContext {
    ReadCallback read;
    void* parameter;
};

// Asks each read for the bytes still missing from the block, until it is full or a read delivers nothing.
uint32_t readBlock(uint8_t* destination, uint64_t, uint32_t size, void* context) {
    const auto& reader = *static_cast<ReadContext*>(context);
    uint32_t received = 0;
    while (received < size) {
        uint32_t request = size - received;
        const uint32_t count = std::min(reader.read(destination + received, &request, reader.parameter), size - received);
        if (count == 0) break;
        received += count;
    }
    return received;
}

}  // namespace

extern const size_t CompressWorkSize = sizeof(StreamState);

int CompressStream(ReadCallback read, WriteCallback write, void* workArea, void* parameter,
                   uint32_t* literalMode, uint32_t* dictionarySize) {
    StreamState& state = *static_cast<StreamState*>(workArea);
    Coder& coder = state.coder;
    if (const int result = setUpCoder(coder, *literalMode, *dictionarySize); result != ResultOk) return result;
    startWriter(coder.writer, state.output, OutputChunkSize, write, parameter);
    putHeader(coder, coder.writer);
    ReadContext reader{read, parameter};
    Cursor cursor{};
    if (startAtBeginning(coder, cursor, readBlock, &reader)) codeUntil(coder, cursor, UINT64_MAX, readBlock, &reader);
    finishStream(coder.writer, coder.symbolCodes[EndSymbol], coder.symbolLengths[EndSymbol]);
    return ResultOk;
}

}  // namespace bxa
