// Decoder behaviour: code tables against the published bit strings, the worked streams, result codes and
// their order, truncation, and the exact read/write pattern the callbacks see.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "compress/code_tables.hpp"
#include "compress/expand_buffer.hpp"
#include "compress/expand_stream.hpp"
#include "stream_bits.hpp"

namespace bxa {
namespace {

using test::BitWriter;

// Records every callback call; reads after the first deliver at most `readStep` bytes each (the first one
// decides ResultShortInput, so it delivers what it can).
struct Recorder {
    std::vector<uint8_t> input;
    size_t inputPosition = 0;
    uint32_t readStep = 2048;
    std::vector<uint32_t> readRequests;
    std::vector<uint32_t> writeSizes;
    std::vector<uint8_t> output;
    std::string calls;  // 'r' and 'w' in call order

    static uint32_t read(uint8_t* buffer, uint32_t* size, void* parameter) {
        auto* self = static_cast<Recorder*>(parameter);
        self->readRequests.push_back(*size);
        self->calls += 'r';
        size_t step = self->readRequests.size() == 1 ? *size : self->readStep;
        size_t count = std::min<size_t>({*size, step, self->input.size() - self->inputPosition});
        if (count != 0) std::memcpy(buffer, self->input.data() + self->inputPosition, count);
        self->inputPosition += count;
        return static_cast<uint32_t>(count);
    }
    static void write(uint8_t* buffer, uint32_t* size, void* parameter) {
        auto* self = static_cast<Recorder*>(parameter);
        self->writeSizes.push_back(*size);
        self->calls += 'w';
        self->output.insert(self->output.end(), buffer, buffer + *size);
    }
    int expand() {
        auto work = std::make_unique<uint8_t[]>(ExpandWorkSize);
        std::memset(work.get(), 0xA5, ExpandWorkSize);  // content on entry must not matter
        return ExpandStream(read, write, work.get(), this);
    }
};

std::vector<uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

TEST(CodeTables, MatchPublishedBitStrings) {
    for (uint32_t i = 0; i < 16; ++i) {
        EXPECT_EQ(test::sentString(codes::LengthCodes[i], codes::LengthCodeLengths[i]), test::LengthCodeStrings[i]) << i;
    }
    for (uint32_t i = 0; i < 64; ++i) {
        EXPECT_EQ(test::sentString(codes::DistanceCodes[i], codes::DistanceCodeLengths[i]), test::DistanceCodeStrings[i]) << i;
    }
    EXPECT_EQ(test::asciiString(0x20), "1111");
    EXPECT_EQ(test::asciiString('a'), "11100");
    EXPECT_EQ(test::asciiString('e'), "11011");
    EXPECT_EQ(test::asciiString('A'), "100011");
    EXPECT_EQ(test::asciiString(0x0A), "0100011");
    EXPECT_EQ(test::asciiString(0x0D), "0100010");
    EXPECT_EQ(test::asciiString('0'), "0011101");
    EXPECT_EQ(test::asciiString(0x00), "00001001001");
    EXPECT_EQ(test::asciiString(0x7F), "000001011100");
    EXPECT_EQ(test::asciiString(0xFF), "0000000000000");
}

TEST(CodeTables, AreCompletePrefixCodes) {
    auto kraftSum = [](const auto& lengths) {
        uint64_t sum = 0;
        for (uint8_t length : lengths) sum += 1ull << (16 - length);
        return sum;
    };
    EXPECT_EQ(kraftSum(codes::LengthCodeLengths), 1ull << 16);
    EXPECT_EQ(kraftSum(codes::DistanceCodeLengths), 1ull << 16);
    EXPECT_EQ(kraftSum(codes::AsciiCodeLengths), 1ull << 16);
}

TEST(ExpandStream, WorkedExamples) {
    std::vector<uint8_t> out;
    EXPECT_EQ(expandBuffer(std::vector<uint8_t>{0x00, 0x06, 0x82, 0x02, 0xFE, 0x01}, out), ResultOk);
    EXPECT_EQ(out, bytesOf("A"));
    EXPECT_EQ(expandBuffer(std::vector<uint8_t>{0x01, 0x06, 0xE2, 0x80, 0x7F}, out), ResultOk);
    EXPECT_EQ(out, bytesOf("A"));
    EXPECT_EQ(expandBuffer(std::vector<uint8_t>{0x00, 0x06, 0x82, 0x04, 0xFD, 0x20, 0xE0, 0x1F}, out), ResultOk);
    EXPECT_EQ(out, bytesOf("AAAAA"));
    // The compressor's stream for empty input is too short for the reader's first-read check.
    EXPECT_EQ(expandBuffer(std::vector<uint8_t>{0x00, 0x06, 0x01, 0xFF}, out), ResultShortInput);
}

TEST(ExpandStream, HeaderFaultsInOrderAndWithoutOutput) {
    struct Case {
        std::vector<uint8_t> input;
        int result;
    };
    const Case cases[] = {
        {{0x07, 0x09, 0x00, 0x00}, ResultShortInput},  // short wins over a bad header
        {{}, ResultShortInput},
        {{0x02, 0x07, 0x00, 0x00, 0x00}, ResultBadDictionarySize},  // dictionary byte before mode byte
        {{0x00, 0x03, 0x00, 0x00, 0x00}, ResultBadDictionarySize},
        {{0x01, 0x07, 0x00, 0x00, 0x00}, ResultBadDictionarySize},
        {{0x02, 0x06, 0x00, 0x00, 0x00}, ResultBadLiteralMode},
        {{0xFF, 0x04, 0x00, 0x00, 0x00}, ResultBadLiteralMode},
    };
    for (const Case& c : cases) {
        Recorder recorder;
        recorder.input = c.input;
        EXPECT_EQ(recorder.expand(), c.result);
        EXPECT_TRUE(recorder.writeSizes.empty());
        EXPECT_EQ(recorder.calls, "r");
    }
}

TEST(ExpandStream, EndSymbolOnLastInputBitIsAccepted) {
    // Eight binary literals and the end symbol fill exactly 88 bits: no padding byte follows.
    BitWriter writer(LiteralModeBinary, 6);
    for (char c : std::string("ABCDEFGH")) writer.literal(static_cast<uint8_t>(c));
    writer.end();
    ASSERT_EQ(writer.bitCount(), 88u);
    std::vector<uint8_t> out;
    EXPECT_EQ(expandBuffer(writer.bytes(), out), ResultOk);
    EXPECT_EQ(out, bytesOf("ABCDEFGH"));

    // One byte less: the literals still decode, the end symbol does not.
    std::vector<uint8_t> cut(writer.bytes().begin(), writer.bytes().end() - 1);
    EXPECT_EQ(expandBuffer(cut, out), ResultTruncated);
    EXPECT_EQ(out, bytesOf("ABCDEFGH"));
}

TEST(ExpandStream, TruncationWritesEverythingBeforeTheCutToken) {
    BitWriter writer(LiteralModeAscii, 4);
    std::string text = "truncated streams keep their decoded prefix, truncated streams";
    for (char c : text) writer.literal(static_cast<uint8_t>(c));
    writer.match(40, 40);
    writer.end();
    std::vector<uint8_t> full;
    ASSERT_EQ(expandBuffer(writer.bytes(), full), ResultOk);
    ASSERT_EQ(full.size(), text.size() + 40);
    // The reader keeps one byte in hand beyond each token, so a token survives a cut only if a whole byte
    // of the stream follows its last bit.
    for (size_t cut = 5; cut < writer.bytes().size(); ++cut) {
        std::vector<uint8_t> in(writer.bytes().begin(), writer.bytes().begin() + static_cast<long>(cut));
        std::vector<uint8_t> out;
        ASSERT_EQ(expandBuffer(in, out), ResultTruncated) << cut;
        ASSERT_TRUE(std::equal(out.begin(), out.end(), full.begin())) << cut;
        size_t availableBits = (cut - 2) * 8;
        size_t expectedLiterals = 0;
        uint64_t used = 0;
        for (char c : text) {
            uint64_t next = used + 1 + test::asciiString(static_cast<uint8_t>(c)).size();
            if (next + 8 > availableBits) break;
            used = next;
            ++expectedLiterals;
        }
        if (expectedLiterals == text.size()) {
            // The match: flag, length value 38 (index 12, 6 + 5 bits), distance index 2 (4 bits), 4 low bits.
            uint64_t next = used + 1 + 6 + 5 + 4 + 4;
            ASSERT_EQ(out.size(), next + 8 <= availableBits ? full.size() : text.size()) << cut;
        } else {
            ASSERT_EQ(out.size(), expectedLiterals) << cut;
        }
    }
}

TEST(ExpandStream, ReadsAndWritesInFixedBlocks) {
    // 1 literal and matches of distance 1 make exactly 8192 bytes: two full writes and an empty last one.
    BitWriter writer(LiteralModeBinary, 6);
    writer.literal('z');
    uint32_t produced = 1;
    while (produced < 8192) {
        uint32_t length = std::min(518u, 8192 - produced);
        if (length == 1) length = 2;
        writer.match(length, 1);
        produced += length;
    }
    writer.end();
    ASSERT_EQ(produced, 8192u);
    for (uint32_t step : {2048u, 1000u, 1u}) {
        Recorder recorder;
        recorder.input = writer.bytes();
        recorder.readStep = step;
        EXPECT_EQ(recorder.expand(), ResultOk);
        EXPECT_EQ(recorder.writeSizes, (std::vector<uint32_t>{4096, 4096, 0}));
        EXPECT_EQ(recorder.output, std::vector<uint8_t>(8192, 'z'));
        EXPECT_TRUE(std::all_of(recorder.readRequests.begin(), recorder.readRequests.end(),
                                [](uint32_t r) { return r == 2048; }));
        // Every byte is asked for exactly when needed: no read after the end of the input was seen.
        EXPECT_EQ(recorder.inputPosition, recorder.input.size());
    }
}

TEST(ExpandStream, ReadsInterleaveWithWritesAsTheStreamIsConsumed) {
    // Incompressible literals: 2 header bytes + 9 bits per byte, so input runs out long before output.
    BitWriter writer(LiteralModeBinary, 5);
    uint32_t seed = 7;
    std::vector<uint8_t> data(20000);
    for (auto& b : data) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<uint8_t>(seed >> 16);
        writer.literal(b);
    }
    writer.end();
    Recorder recorder;
    recorder.input = writer.bytes();
    ASSERT_EQ(recorder.expand(), ResultOk);
    EXPECT_EQ(recorder.output, data);
    // A read is issued exactly when the next token plus the one byte the reader keeps in hand run past
    // the bytes received; a write follows the token that completes 4096 bytes.
    const uint64_t totalBits = (recorder.input.size() - 2) * 8;
    uint64_t bitsIn = std::min<uint64_t>((2048 - 2) * 8, totalBits);
    uint64_t bitsUsed = 0;
    uint32_t pending = 0;
    std::string expected = "r";
    for (size_t i = 0; i <= data.size(); ++i) {
        bool end = i == data.size();
        uint64_t need = bitsUsed + (end ? 16 : 9) + 8;
        bool exhausted = false;
        while (need > bitsIn && !exhausted) {
            expected += 'r';
            exhausted = bitsIn == totalBits;
            bitsIn = std::min<uint64_t>(bitsIn + 2048 * 8, totalBits);
        }
        if (end) break;
        ASSERT_FALSE(exhausted);
        bitsUsed += 9;
        if (++pending == 4096) {
            expected += 'w';
            pending = 0;
        }
    }
    expected += 'w';
    EXPECT_EQ(recorder.calls, expected);
}

TEST(ExpandStream, LongestMatchAtTheFlushPointFitsTheWindow) {
    // 4095 literal bytes put the output at the last window byte before a flush; a 518-byte match follows.
    BitWriter writer(LiteralModeBinary, 6);
    std::vector<uint8_t> expected;
    for (uint32_t i = 0; i < 4095; ++i) {
        expected.push_back(static_cast<uint8_t>(i * 7 + i / 256));
        writer.literal(expected.back());
    }
    writer.match(518, 1000);
    for (uint32_t i = 0; i < 518; ++i) expected.push_back(expected[expected.size() - 1000]);
    writer.match(518, 4096);
    for (uint32_t i = 0; i < 518; ++i) expected.push_back(expected[expected.size() - 4096]);
    writer.end();
    std::vector<uint8_t> out;
    ASSERT_EQ(expandBuffer(writer.bytes(), out), ResultOk);
    EXPECT_EQ(out, expected);
}

TEST(ExpandStream, MatchRules) {
    BitWriter writer(LiteralModeAscii, 4);
    writer.literal(0xFF);  // thirteen zero bits
    writer.match(10, 1);   // repeats the previous byte
    writer.literal('q');
    // Length 2 always uses 2 low distance bits: distance 5 is index 1 with low bits 00.
    writer.match(2, 5);
    // References before the first output byte read zeros.
    writer.match(4, 200);
    writer.end();
    std::vector<uint8_t> expected(11, 0xFF);
    expected.push_back('q');
    expected.push_back(0xFF);
    expected.push_back(0xFF);
    expected.insert(expected.end(), {0, 0, 0, 0});
    std::vector<uint8_t> out;
    ASSERT_EQ(expandBuffer(writer.bytes(), out), ResultOk);
    EXPECT_EQ(out, expected);
}

TEST(ExpandStream, HistoryStartsAsZerosWhateverTheWorkArea) {
    BitWriter writer(LiteralModeBinary, 6);
    writer.match(300, 4096);
    writer.end();
    std::vector<uint8_t> out;
    ASSERT_EQ(expandBuffer(writer.bytes(), out), ResultOk);
    EXPECT_EQ(out, std::vector<uint8_t>(300, 0));
}

TEST(ExpandStream, LongestLengthValueIsAMatchNotTheEnd) {
    BitWriter writer(LiteralModeBinary, 5);
    writer.literal('x');
    writer.lengthValue(516);  // match length 518
    writer.string(test::DistanceCodeStrings[0]);
    writer.plain(0, 5);
    writer.literal('y');
    writer.end();
    std::vector<uint8_t> expected(519, 'x');
    expected.push_back('y');
    std::vector<uint8_t> out;
    ASSERT_EQ(expandBuffer(writer.bytes(), out), ResultOk);
    EXPECT_EQ(out, expected);
}

}  // namespace
}  // namespace bxa
