// Test-side view of the compressed stream: the code strings as published for the format (independent of
// the engine's constructed tables), a bit-at-a-time writer and token reader, and the token type the
// reference encoder produces.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "compress/code_tables.hpp"
#include "compress/engine.hpp"

namespace bxa::test {

inline const char* const LengthCodeStrings[16] = {"101",    "11",     "100",    "011",   "0101",    "0100",
                                                  "0011",   "00101",  "00100",  "00011", "00010",   "000011",
                                                  "000010", "000001", "0000001", "0000000"};

inline const char* const DistanceCodeStrings[64] = {
    "11",       "1011",     "1010",     "10011",    "10010",    "10001",    "10000",    "011111",
    "011110",   "011101",   "011100",   "011011",   "011010",   "011001",   "011000",   "010111",
    "010110",   "010101",   "010100",   "010011",   "010010",   "010001",   "0100001",  "0100000",
    "0011111",  "0011110",  "0011101",  "0011100",  "0011011",  "0011010",  "0011001",  "0011000",
    "0010111",  "0010110",  "0010101",  "0010100",  "0010011",  "0010010",  "0010001",  "0010000",
    "0001111",  "0001110",  "0001101",  "0001100",  "0001011",  "0001010",  "0001001",  "0001000",
    "00001111", "00001110", "00001101", "00001100", "00001011", "00001010", "00001001", "00001000",
    "00000111", "00000110", "00000101", "00000100", "00000011", "00000010", "00000001", "00000000"};

// The string a table code stands for (first bit sent first).
inline std::string sentString(uint32_t code, uint32_t length) {
    std::string bits;
    for (uint32_t i = 0; i < length; ++i) bits += (code >> i) & 1u ? '1' : '0';
    return bits;
}

inline std::string asciiString(uint32_t literal) {
    return sentString(codes::AsciiCodes[literal], codes::AsciiCodeLengths[literal]);
}

struct Token {
    uint32_t length = 0;  // 0 for a literal
    uint32_t distance = 0;
    uint8_t literal = 0;
    bool operator==(const Token&) const = default;
};

class BitWriter {
public:
    explicit BitWriter(uint32_t literalMode, uint32_t dictionaryBits) : literalMode_(literalMode), dictionaryBits_(dictionaryBits) {
        bytes_ = {static_cast<uint8_t>(literalMode), static_cast<uint8_t>(dictionaryBits)};
    }
    void bit(bool value) {
        if (bitCount_ % 8 == 0) bytes_.push_back(0);
        if (value) bytes_.back() = static_cast<uint8_t>(bytes_.back() | (1u << (bitCount_ % 8)));
        ++bitCount_;
    }
    void string(const std::string& bits) {
        for (char c : bits) bit(c == '1');
    }
    void plain(uint32_t value, uint32_t count) {
        for (uint32_t i = 0; i < count; ++i) bit((value >> i) & 1u);
    }
    void literal(uint8_t byte) {
        bit(false);
        if (literalMode_ == LiteralModeBinary) plain(byte, 8);
        else string(asciiString(byte));
    }
    void lengthValue(uint32_t value) {
        bit(true);
        uint32_t index = codes::lengthIndexOf(value);
        string(LengthCodeStrings[index]);
        plain(value - codes::LengthBases[index], codes::LengthExtraBits[index]);
    }
    void match(uint32_t length, uint32_t distance) {
        lengthValue(length - 2);
        uint32_t lowBits = length == 2 ? 2 : dictionaryBits_;
        string(DistanceCodeStrings[(distance - 1) >> lowBits]);
        plain((distance - 1) & ((1u << lowBits) - 1u), lowBits);
    }
    void token(const Token& t) {
        if (t.length == 0) literal(t.literal);
        else match(t.length, t.distance);
    }
    void end() { lengthValue(517); }
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    uint64_t bitCount() const { return bitCount_; }

private:
    uint32_t literalMode_;
    uint32_t dictionaryBits_;
    std::vector<uint8_t> bytes_;
    uint64_t bitCount_ = 0;
};

inline std::vector<uint8_t> encodeTokens(const std::vector<Token>& tokens, uint32_t literalMode, uint32_t dictionaryBits) {
    BitWriter writer(literalMode, dictionaryBits);
    for (const Token& t : tokens) writer.token(t);
    writer.end();
    return writer.bytes();
}

// Reads the tokens of a well-formed stream bit by bit; nullopt when it ends before the end symbol.
inline std::optional<std::vector<Token>> parseTokens(std::span<const uint8_t> stream) {
    if (stream.size() < 2) return std::nullopt;
    uint32_t literalMode = stream[0];
    uint32_t dictionaryBits = stream[1];
    uint64_t position = 16;
    const uint64_t total = stream.size() * 8ull;
    auto bit = [&](bool& value) {
        if (position >= total) return false;
        value = (stream[position / 8] >> (position % 8)) & 1u;
        ++position;
        return true;
    };
    auto plain = [&](uint32_t count, uint32_t& value) {
        value = 0;
        for (uint32_t i = 0; i < count; ++i) {
            bool b;
            if (!bit(b)) return false;
            value |= static_cast<uint32_t>(b) << i;
        }
        return true;
    };
    auto code = [&](const std::map<std::string, uint32_t>& table, uint32_t& symbol) {
        std::string bits;
        while (bits.size() < 16) {
            bool b;
            if (!bit(b)) return false;
            bits += b ? '1' : '0';
            auto found = table.find(bits);
            if (found != table.end()) {
                symbol = found->second;
                return true;
            }
        }
        return false;
    };
    std::map<std::string, uint32_t> lengths, distances, literals;
    for (uint32_t i = 0; i < 16; ++i) lengths[LengthCodeStrings[i]] = i;
    for (uint32_t i = 0; i < 64; ++i) distances[DistanceCodeStrings[i]] = i;
    for (uint32_t i = 0; i < 256; ++i) literals[asciiString(i)] = i;

    std::vector<Token> tokens;
    for (;;) {
        bool flag;
        if (!bit(flag)) return std::nullopt;
        if (!flag) {
            uint32_t value;
            bool ok = literalMode == LiteralModeBinary ? plain(8, value) : code(literals, value);
            if (!ok) return std::nullopt;
            tokens.push_back(Token{0, 0, static_cast<uint8_t>(value)});
            continue;
        }
        uint32_t index, extra, distanceIndex, low;
        if (!code(lengths, index) || !plain(codes::LengthExtraBits[index], extra)) return std::nullopt;
        uint32_t value = codes::LengthBases[index] + extra;
        if (value == 517) return tokens;
        uint32_t length = value + 2;
        uint32_t lowBits = length == 2 ? 2 : dictionaryBits;
        if (!code(distances, distanceIndex) || !plain(lowBits, low)) return std::nullopt;
        tokens.push_back(Token{length, ((distanceIndex << lowBits) | low) + 1, 0});
    }
}

}  // namespace bxa::test
