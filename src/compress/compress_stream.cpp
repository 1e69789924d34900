#include "compress/compress_stream.hpp"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>

#include "compress/code_tables.hpp"
#include "compress/match_finder.hpp"

namespace bxa {
namespace {

using compress_detail::BlockSize;
using compress_detail::LookAhead;
using compress_detail::MatchFinder;
using compress_detail::Match;

constexpr uint32_t OutputChunkSize = 2048;
constexpr uint32_t SymbolCount = 256 + codes::EndOfStreamValue + 1;  // literals, then length values 0..517
constexpr uint32_t EndSymbol = SymbolCount - 1;

// A length-2 match costs about as much as a literal unless it is near, and the look-ahead step prefers a
// one-longer match at the next position unless the current match is near.
constexpr uint32_t FarthestShortMatch = 255;  // largest distance - 1 for a length-2 match
constexpr uint32_t NearMatchLimit = 128;      // distance - 1 up to which a match beats a one-longer one
constexpr uint32_t DecisiveLength = 8;        // matches this long are taken without looking ahead

struct CompressState {
    uint64_t bitAccumulator;  // pending bits, first at bit 0
    uint32_t accumulatedBits;
    uint32_t outputCount;  // complete bytes in `output`
    uint32_t literalMode;
    uint32_t dictionaryBits;
    uint32_t dictionarySize;
    void* parameter;
    ReadCallback read;
    WriteCallback write;
    uint32_t symbolCodes[SymbolCount];  // flag, code and extra bits of a token's first part, as sent
    uint8_t symbolLengths[SymbolCount];
    MatchFinder finder;
    uint8_t output[OutputChunkSize + 16];  // 2048 bytes to be written, plus room for a word store
};

static_assert(alignof(CompressState) <= alignof(std::max_align_t), "work areas come from operator new[]");

// ---- bit writer ---------------------------------------------------------------------------------------

void emitChunk(CompressState& state) {
    uint32_t size = OutputChunkSize;
    state.write(state.output, &size, state.parameter);
    // A word store may have run a few bytes past the chunk; they open the next one.
    std::memmove(state.output, state.output + OutputChunkSize, state.outputCount - OutputChunkSize);
    state.outputCount -= OutputChunkSize;
}

inline void putBits(CompressState& state, uint32_t value, uint32_t count) {
    state.bitAccumulator |= static_cast<uint64_t>(value) << state.accumulatedBits;
    state.accumulatedBits += count;
    if (state.accumulatedBits >= 32) {
        uint32_t word = static_cast<uint32_t>(state.bitAccumulator);
        std::memcpy(state.output + state.outputCount, &word, 4);
        state.outputCount += 4;
        state.bitAccumulator >>= 32;
        state.accumulatedBits -= 32;
        if (state.outputCount >= OutputChunkSize) emitChunk(state);
    }
}

// Moves every complete pending byte into the output buffer, so that each full chunk is written before the
// next read, in the order a byte-at-a-time writer would produce.
void settleBytes(CompressState& state) {
    while (state.accumulatedBits >= 8) {
        state.output[state.outputCount++] = static_cast<uint8_t>(state.bitAccumulator);
        state.bitAccumulator >>= 8;
        state.accumulatedBits -= 8;
        if (state.outputCount >= OutputChunkSize) emitChunk(state);
    }
}

// ---- tokens -------------------------------------------------------------------------------------------

void buildSymbolTable(CompressState& state) {
    for (uint32_t literal = 0; literal < 256; ++literal) {
        if (state.literalMode == LiteralModeBinary) {
            state.symbolCodes[literal] = literal << 1;
            state.symbolLengths[literal] = 9;
        } else {
            state.symbolCodes[literal] = static_cast<uint32_t>(codes::AsciiCodes[literal]) << 1;
            state.symbolLengths[literal] = static_cast<uint8_t>(codes::AsciiCodeLengths[literal] + 1);
        }
    }
    uint32_t symbol = 256;
    for (uint32_t index = 0; index < codes::LengthSymbolCount; ++index) {
        uint32_t codeLength = codes::LengthCodeLengths[index];
        uint32_t extraBits = codes::LengthExtraBits[index];
        for (uint32_t extra = 0; extra < (1u << extraBits); ++extra, ++symbol) {
            state.symbolCodes[symbol] =
                (extra << (codeLength + 1)) | (static_cast<uint32_t>(codes::LengthCodes[index]) << 1) | 1u;
            state.symbolLengths[symbol] = static_cast<uint8_t>(codeLength + extraBits + 1);
        }
    }
}

inline void putLiteral(CompressState& state, uint8_t literal) {
    putBits(state, state.symbolCodes[literal], state.symbolLengths[literal]);
}

inline void putMatch(CompressState& state, uint32_t length, uint32_t distanceMinusOne) {
    uint32_t symbol = 256 + length - codes::MinMatchLength;
    putBits(state, state.symbolCodes[symbol], state.symbolLengths[symbol]);
    uint32_t lowBits = length == 2 ? 2u : state.dictionaryBits;
    uint32_t index = distanceMinusOne >> lowBits;
    uint32_t codeLength = codes::DistanceCodeLengths[index];
    uint32_t value = codes::DistanceCodes[index] | ((distanceMinusOne & ((1u << lowBits) - 1u)) << codeLength);
    putBits(state, value, codeLength + lowBits);
}

// Codes the tokens that start below `limit`, beginning at `position`; returns the position after the last
// token, which a match may have carried into the look-ahead.
uint32_t codeTokens(CompressState& state, uint32_t position, uint32_t limit) {
    MatchFinder& finder = state.finder;
    const uint8_t* window = finder.window;
    while (position < limit) {
        Match match = finder.find(position);
        for (;;) {
            if (match.length == 0 || (match.length == 2 && match.distanceMinusOne > FarthestShortMatch)) {
                putLiteral(state, window[position]);
                ++position;
                break;
            }
            if (match.length >= DecisiveLength || position + 1 >= limit) {
                putMatch(state, match.length, match.distanceMinusOne);
                position += match.length;
                break;
            }
            // The match at the next position only matters if it is longer than this one (by two when this
            // one is near), so the search there may pass over every shorter candidate.
            const uint32_t beaten = match.distanceMinusOne <= NearMatchLimit ? match.length + 1 : match.length;
            Match next = finder.find(position + 1, beaten + 1);
            if (next.length <= beaten) {
                putMatch(state, match.length, match.distanceMinusOne);
                position += match.length;
                break;
            }
            putLiteral(state, window[position]);
            ++position;
            match = next;
        }
    }
    return position;
}

}  // namespace

extern const size_t CompressWorkSize = sizeof(CompressState);

int CompressStream(ReadCallback read, WriteCallback write, void* workArea, void* parameter,
                   uint32_t* literalMode, uint32_t* dictionarySize) {
    CompressState& state = *static_cast<CompressState*>(workArea);
    uint32_t dictionaryBits = 0;
    switch (*dictionarySize) {
        case 1024: dictionaryBits = 4; break;
        case 2048: dictionaryBits = 5; break;
        case 4096: dictionaryBits = 6; break;
        default: return ResultBadDictionarySize;
    }
    if (*literalMode != LiteralModeBinary && *literalMode != LiteralModeAscii) return ResultBadLiteralMode;
    state.read = read;
    state.write = write;
    state.parameter = parameter;
    state.literalMode = *literalMode;
    state.dictionaryBits = dictionaryBits;
    state.dictionarySize = *dictionarySize;
    buildSymbolTable(state);
    state.output[0] = static_cast<uint8_t>(state.literalMode);
    state.output[1] = static_cast<uint8_t>(dictionaryBits);
    state.outputCount = codes::HeaderSize;
    state.bitAccumulator = 0;
    state.accumulatedBits = 0;

    MatchFinder& finder = state.finder;
    finder.reset(state.dictionarySize);
    const uint32_t inputStart = LookAhead + state.dictionarySize;
    uint32_t position = inputStart;
    for (uint32_t block = 0;; ++block) {
        uint32_t received = 0;
        while (received < BlockSize) {
            uint32_t size = BlockSize - received;
            uint32_t count = std::min(read(finder.window + inputStart + received, &size, parameter),
                                      BlockSize - received);
            if (count == 0) break;
            received += count;
        }
        if (block == 0 && received == 0) break;
        const bool lastBlock = received < BlockSize;
        const uint32_t end = inputStart + received;
        // A full block keeps its last 516 bytes uncoded so that every match found in it can run its full
        // length; they are coded with the next block.
        const uint32_t limit = lastBlock ? end : end - LookAhead;
        uint32_t indexStart = position - state.dictionarySize;
        if (block == 0) {
            indexStart = position;
        } else if (block == 1 && state.dictionarySize == 4096) {
            indexStart = position - BlockSize + LookAhead;
        }
        finder.beginBlock(indexStart, end, block == 0);
        position = codeTokens(state, position, limit);
        if (lastBlock) break;
        settleBytes(state);
        finder.slide();
        position -= BlockSize;
    }

    putBits(state, state.symbolCodes[EndSymbol], state.symbolLengths[EndSymbol]);
    settleBytes(state);
    if (state.accumulatedBits != 0) state.output[state.outputCount++] = static_cast<uint8_t>(state.bitAccumulator);
    uint32_t size = state.outputCount;
    write(state.output, &size, parameter);
    return ResultOk;
}

}  // namespace bxa
