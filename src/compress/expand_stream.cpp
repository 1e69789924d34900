#include "compress/expand_stream.hpp"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "compress/code_tables.hpp"

namespace bxa {
namespace {

// The window keeps the last 4096 output bytes as history (the farthest a distance reaches), then collects
// up to 4096 new bytes before they are written. A token that starts just before the flush point may run
// 518 bytes past it, and the word-wise match copy may overshoot the end of a match by up to 7 bytes.
constexpr uint32_t HistorySize = 4096;
constexpr uint32_t FlushPoint = HistorySize + 4096;
constexpr uint32_t WindowSize = FlushPoint + codes::MaxMatchLength + 16;

// Input arrives in blocks of this size; the spare bytes are never filled and only keep the word-wise
// refill inside the buffer.
constexpr uint32_t InputBlockSize = 2048;

// The longest token (flag 1 + length code 7 + extra 8 + distance code 8 + low bits 6) is 30 bits; the
// reader always holds the 8 bits after the current token as well, so 38 bits in hand decode any token
// without touching the input.
constexpr uint32_t MaxTokenBits = 30;
constexpr uint32_t LookaheadBits = 8;
constexpr uint32_t FastPathBits = MaxTokenBits + LookaheadBits;

constexpr uint32_t EndMarker = codes::EndOfStreamValue + codes::MinMatchLength;

struct LengthEntry {
    uint16_t base;
    uint8_t codeLength;
    uint8_t extraBits;
};

struct ExpandState {
    uint64_t bitBuffer;  // next stream bits, first at bit 0; bits above bitCount are zero or future bits
    uint32_t bitCount;
    uint32_t inputPosition;
    uint32_t inputCount;
    uint32_t outputPosition;  // window index of the next output byte
    uint32_t literalMode;
    uint32_t dictionaryBits;
    void* parameter;
    ReadCallback read;
    WriteCallback write;
    LengthEntry lengthLookup[256];      // by the 8 bits after a match flag
    uint16_t distanceLookup[256];       // index | code length << 8, by the next 8 bits
    uint16_t asciiLookup[1u << codes::MaxAsciiCodeLength];  // literal << 4 | code length, by 13 bits
    uint8_t window[WindowSize];
    uint8_t input[InputBlockSize + 8];
};

static_assert(alignof(ExpandState) <= alignof(std::max_align_t), "work areas come from operator new[]");

struct Token {
    uint32_t bitLength;
    uint32_t matchLength;  // 0 for a literal, EndMarker for the end symbol
    uint32_t distance;
    uint32_t literal;
};

void buildLookups(ExpandState& state) {
    for (uint32_t index = codes::LengthSymbolCount; index-- > 0;) {
        uint32_t length = codes::LengthCodeLengths[index];
        for (uint32_t v = codes::LengthCodes[index]; v < 256; v += 1u << length) {
            state.lengthLookup[v] = LengthEntry{codes::LengthBases[index], static_cast<uint8_t>(length),
                                                codes::LengthExtraBits[index]};
        }
    }
    for (uint32_t index = codes::DistanceSymbolCount; index-- > 0;) {
        uint32_t length = codes::DistanceCodeLengths[index];
        for (uint32_t v = codes::DistanceCodes[index]; v < 256; v += 1u << length) {
            state.distanceLookup[v] = static_cast<uint16_t>(index | (length << 8));
        }
    }
    if (state.literalMode == LiteralModeAscii) {
        constexpr uint32_t Size = 1u << codes::MaxAsciiCodeLength;
        for (uint32_t literal = 256; literal-- > 0;) {
            uint32_t length = codes::AsciiCodeLengths[literal];
            for (uint32_t v = codes::AsciiCodes[literal]; v < Size; v += 1u << length) {
                state.asciiLookup[v] = static_cast<uint16_t>(literal << 4 | length);
            }
        }
    }
}

// Decodes the token at the front of `bits`. Bits past the ones actually received may be anything; the
// caller only trusts the result when bitLength does not exceed what it holds, and since every field's
// width depends only on earlier bits, such a result used real bits alone.
template <bool Ascii>
inline Token decodeToken(const ExpandState& state, uint64_t bits) {
    Token token{};
    if ((bits & 1u) == 0) {
        if constexpr (Ascii) {
            uint32_t entry = state.asciiLookup[(bits >> 1) & ((1u << codes::MaxAsciiCodeLength) - 1u)];
            token.literal = entry >> 4;
            token.bitLength = 1 + (entry & 0xFu);
        } else {
            token.literal = static_cast<uint32_t>(bits >> 1) & 0xFFu;
            token.bitLength = 9;
        }
        return token;
    }
    const LengthEntry& lengthEntry = state.lengthLookup[(bits >> 1) & 0xFFu];
    uint32_t used = 1u + lengthEntry.codeLength;
    uint32_t value = lengthEntry.base + (static_cast<uint32_t>(bits >> used) & ((1u << lengthEntry.extraBits) - 1u));
    used += lengthEntry.extraBits;
    if (value == codes::EndOfStreamValue) {
        token.matchLength = EndMarker;
        token.bitLength = used;
        return token;
    }
    token.matchLength = value + codes::MinMatchLength;
    uint32_t distanceEntry = state.distanceLookup[(bits >> used) & 0xFFu];
    used += distanceEntry >> 8;
    uint32_t lowBits = token.matchLength == 2 ? 2u : state.dictionaryBits;
    uint32_t low = static_cast<uint32_t>(bits >> used) & ((1u << lowBits) - 1u);
    used += lowBits;
    token.distance = (((distanceEntry & 0x3Fu) << lowBits) | low) + 1u;
    token.bitLength = used;
    return token;
}

void flushBlock(ExpandState& state) {
    uint32_t size = FlushPoint - HistorySize;
    state.write(state.window + HistorySize, &size, state.parameter);
    // The bytes just written become the history; bytes a match carried past the flush point stay in
    // front of the next block.
    std::memmove(state.window, state.window + HistorySize, state.outputPosition - HistorySize);
    state.outputPosition -= HistorySize;
}

enum class SlowResult { Token, End, Truncated };

// Decodes one token when fewer than FastPathBits may be in hand. A read happens exactly when the token
// plus the 8 bits the reader keeps in hand run past the bytes received so far, which is when a byte-at-a-
// time reader would ask; an end symbol whose extra bits end on the last input byte is accepted.
template <bool Ascii>
SlowResult slowToken(ExpandState& state, Token& token) {
    for (;;) {
        while (state.bitCount <= 56 && state.inputPosition < state.inputCount) {
            state.bitBuffer |= static_cast<uint64_t>(state.input[state.inputPosition++]) << state.bitCount;
            state.bitCount += 8;
        }
        token = decodeToken<Ascii>(state, state.bitBuffer);
        if (token.bitLength + LookaheadBits <= state.bitCount) {
            state.bitBuffer >>= token.bitLength;
            state.bitCount -= token.bitLength;
            return token.matchLength == EndMarker ? SlowResult::End : SlowResult::Token;
        }
        uint32_t size = InputBlockSize;
        uint32_t count = std::min(state.read(state.input, &size, state.parameter), InputBlockSize);
        if (count == 0) {
            // The flag and length code were consumed with 8 bits still in hand, so the 16-bit end symbol
            // lies entirely within the input.
            bool endInHand = token.matchLength == EndMarker && state.bitCount >= 16;
            return endInHand ? SlowResult::End : SlowResult::Truncated;
        }
        state.inputPosition = 0;
        state.inputCount = count;
    }
}

inline void copyMatch(uint8_t* window, uint32_t position, uint32_t length, uint32_t distance) {
    uint8_t* target = window + position;
    const uint8_t* source = target - distance;
    if (distance >= 8) {
        // Each 8-byte step reads only bytes that are already final, and may overshoot into the slack.
        for (uint32_t i = 0; i < length; i += 8) std::memcpy(target + i, source + i, 8);
    } else if (distance == 1) {
        std::memset(target, source[0], length);
    } else {
        for (uint32_t i = 0; i < length; ++i) target[i] = source[i];
    }
}

template <bool Ascii>
int decodeLoop(ExpandState& state) {
    uint8_t* const window = state.window;
    for (;;) {
        if (state.outputPosition >= FlushPoint) flushBlock(state);
        uint64_t bits = state.bitBuffer;
        uint32_t bitCount = state.bitCount;
        uint32_t inputPosition = state.inputPosition;
        if (inputPosition + 8 <= state.inputCount) {
            uint64_t word;
            std::memcpy(&word, state.input + inputPosition, 8);
            bits |= word << bitCount;
            inputPosition += (63 - bitCount) >> 3;
            bitCount |= 56;
        }
        uint32_t position = state.outputPosition;
        // Decode tokens without touching the input until either the bits or the output block run short.
        while (bitCount >= FastPathBits && position < FlushPoint) {
            Token token = decodeToken<Ascii>(state, bits);
            bits >>= token.bitLength;
            bitCount -= token.bitLength;
            if (token.matchLength == 0) {
                window[position++] = static_cast<uint8_t>(token.literal);
            } else if (token.matchLength == EndMarker) {
                state.outputPosition = position;
                return ResultOk;
            } else {
                copyMatch(window, position, token.matchLength, token.distance);
                position += token.matchLength;
            }
        }
        state.bitBuffer = bits;
        state.bitCount = bitCount;
        state.inputPosition = inputPosition;
        state.outputPosition = position;
        if (bitCount >= FastPathBits || position >= FlushPoint) continue;
        if (inputPosition + 8 <= state.inputCount) continue;

        Token token{};
        SlowResult result = slowToken<Ascii>(state, token);
        if (result == SlowResult::End) return ResultOk;
        if (result == SlowResult::Truncated) return ResultTruncated;
        if (token.matchLength == 0) {
            window[state.outputPosition++] = static_cast<uint8_t>(token.literal);
        } else {
            copyMatch(window, state.outputPosition, token.matchLength, token.distance);
            state.outputPosition += token.matchLength;
        }
    }
}

}  // namespace

extern const size_t ExpandWorkSize = sizeof(ExpandState);

int ExpandStream(ReadCallback read, WriteCallback write, void* workArea, void* parameter) {
    ExpandState& state = *static_cast<ExpandState*>(workArea);
    state.read = read;
    state.write = write;
    state.parameter = parameter;

    uint32_t size = InputBlockSize;
    state.inputCount = std::min(read(state.input, &size, parameter), InputBlockSize);
    if (state.inputCount <= 4) return ResultShortInput;
    uint32_t literalMode = state.input[0];
    uint32_t dictionaryBits = state.input[1];
    if (dictionaryBits < codes::MinDictionaryBits || dictionaryBits > codes::MaxDictionaryBits) {
        return ResultBadDictionarySize;
    }
    if (literalMode != LiteralModeBinary && literalMode != LiteralModeAscii) return ResultBadLiteralMode;
    state.literalMode = literalMode;
    state.dictionaryBits = dictionaryBits;
    state.inputPosition = codes::HeaderSize;
    state.bitBuffer = 0;
    state.bitCount = 0;
    buildLookups(state);

    // References before the first output byte are not defined by the format; zeros make them repeatable.
    std::memset(state.window, 0, HistorySize);
    state.outputPosition = HistorySize;

    int result = literalMode == LiteralModeAscii ? decodeLoop<true>(state) : decodeLoop<false>(state);
    uint32_t last = state.outputPosition - HistorySize;
    write(state.window + HistorySize, &last, parameter);
    return result;
}

}  // namespace bxa
