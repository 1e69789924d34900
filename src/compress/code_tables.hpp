// The fixed prefix codes of the compressed stream, shared by both engines. They are part of the format and
// never travel in a stream. Every code is held "as sent, first bit at bit 0", the form a least-significant-
// bit-first bit reader peeks and a bit writer ORs in.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace bxa::codes {

// A match of length L sends the length value L - 2 as (length code index, extra bits). Value 517 (index
// 15 with all eight extra bits set) is the end symbol.
inline constexpr uint32_t LengthSymbolCount = 16;
inline constexpr uint32_t EndOfStreamValue = 517;
inline constexpr uint32_t MinMatchLength = 2;
inline constexpr uint32_t MaxMatchLength = 518;  // longest length a stream can carry
// Longest match the compressor sends: it never uses the two lengths below the end symbol's value.
inline constexpr uint32_t LongestSentMatch = 516;
inline constexpr std::array<uint8_t, 16> LengthCodeLengths = {3, 2, 3, 3, 4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 7, 7};
inline constexpr std::array<uint8_t, 16> LengthExtraBits = {0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8};
inline constexpr std::array<uint16_t, 16> LengthBases = {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 14, 22, 38, 70, 134, 262};

// A distance sends (distance - 1) >> lowBits through the distance code, then the low bits plainly.
inline constexpr uint32_t DistanceSymbolCount = 64;
inline constexpr std::array<uint8_t, 64> DistanceCodeLengths = {
    2, 4, 4, 5, 5, 5, 5, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
    7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8};

// Literal code lengths of the ASCII mode (4 to 13 bits), indexed by byte value.
inline constexpr std::array<uint8_t, 256> AsciiCodeLengths = {
    11, 12, 12, 12, 12, 12, 12, 12, 12, 8,  7,  12, 12, 7,  12, 12,  // 0x00
    12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 13, 12, 12, 12, 12, 12,  // 0x10
    4,  10, 8,  12, 10, 12, 10, 8,  7,  7,  8,  9,  7,  6,  7,  8,   // 0x20
    7,  6,  7,  7,  7,  7,  8,  7,  7,  8,  8,  12, 11, 7,  9,  11,  // 0x30
    12, 6,  7,  6,  6,  5,  7,  8,  8,  6,  11, 9,  6,  7,  6,  6,   // 0x40
    7,  11, 6,  6,  6,  7,  9,  8,  9,  9,  11, 8,  11, 9,  12, 8,   // 0x50
    12, 5,  6,  6,  6,  5,  6,  6,  6,  5,  11, 7,  5,  6,  5,  5,   // 0x60
    6,  10, 5,  5,  5,  5,  8,  7,  8,  8,  10, 11, 11, 12, 12, 12,  // 0x70
    13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13,  // 0x80
    13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13,  // 0x90
    13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13,  // 0xA0
    12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12,  // 0xB0
    12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12,  // 0xC0
    12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12,  // 0xD0
    13, 12, 13, 13, 13, 12, 13, 13, 13, 12, 13, 13, 13, 13, 12, 13,  // 0xE0
    13, 13, 12, 12, 12, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13,  // 0xF0
};
inline constexpr uint32_t MaxAsciiCodeLength = 13;

// Canonical codes from code lengths (shorter codes first, equal lengths in symbol order, consecutive
// values), then every bit complemented within its length, then reversed so the first bit sent is bit 0.
template <size_t N>
constexpr std::array<uint16_t, N> sentCodes(const std::array<uint8_t, N>& lengths) {
    std::array<uint32_t, 17> lengthCount{};
    for (uint8_t length : lengths) ++lengthCount[length];
    lengthCount[0] = 0;
    std::array<uint32_t, 17> nextCode{};
    uint32_t code = 0;
    for (size_t bits = 1; bits <= 16; ++bits) {
        code = (code + lengthCount[bits - 1]) << 1;
        nextCode[bits] = code;
    }
    std::array<uint16_t, N> result{};
    for (size_t symbol = 0; symbol < N; ++symbol) {
        uint32_t length = lengths[symbol];
        uint32_t canonical = nextCode[length]++;
        uint32_t complemented = canonical ^ ((1u << length) - 1u);
        uint32_t reversed = 0;
        for (uint32_t bit = 0; bit < length; ++bit) {
            if (complemented & (1u << (length - 1 - bit))) reversed |= 1u << bit;
        }
        result[symbol] = static_cast<uint16_t>(reversed);
    }
    return result;
}

inline constexpr std::array<uint16_t, 16> LengthCodes = sentCodes(LengthCodeLengths);
inline constexpr std::array<uint16_t, 64> DistanceCodes = sentCodes(DistanceCodeLengths);
inline constexpr std::array<uint16_t, 256> AsciiCodes = sentCodes(AsciiCodeLengths);

// Length code index for a length value 0..517: the greatest index whose base does not exceed it.
constexpr uint32_t lengthIndexOf(uint32_t lengthValue) {
    uint32_t index = 0;
    while (index + 1 < LengthSymbolCount && LengthBases[index + 1] <= lengthValue) ++index;
    return index;
}

// The two header bytes: literal mode, then the number of plain low bits of a distance.
inline constexpr uint32_t HeaderSize = 2;
inline constexpr uint32_t MinDictionaryBits = 4;
inline constexpr uint32_t MaxDictionaryBits = 6;

}  // namespace bxa::codes
