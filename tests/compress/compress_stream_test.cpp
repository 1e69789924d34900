// Encoder behaviour: the worked streams, parameter checks, the exact token choices (checked against a
// plain reference search over many inputs), chunked output, read requests, and round trips.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "compress/compress_buffer.hpp"
#include "compress/compress_stream.hpp"
#include "compress/expand_buffer.hpp"
#include "compress/match_finder.hpp"
#include "compress/stream_coder.hpp"
#include "reference_encoder.hpp"
#include "test_inputs.hpp"
#include "stream_bits.hpp"

namespace bxa {
namespace {

using test::Token;
using namespace test::inputs;

std::vector<uint8_t> compressed(const std::vector<uint8_t>& input, uint32_t mode, uint32_t dictionarySize) {
    std::vector<uint8_t> stream;
    EXPECT_EQ(compressBuffer(input, mode, dictionarySize, stream), ResultOk);
    return stream;
}

uint32_t bitsFor(uint32_t dictionarySize) { return dictionarySize == 1024 ? 4 : dictionarySize == 2048 ? 5 : 6; }

// ---- tests --------------------------------------------------------------------------------------------

TEST(CompressStream, WorkedExamples) {
    EXPECT_EQ(compressed({}, LiteralModeBinary, 4096), (std::vector<uint8_t>{0x00, 0x06, 0x01, 0xFF}));
    EXPECT_EQ(compressed(bytesOf("A"), LiteralModeBinary, 4096),
              (std::vector<uint8_t>{0x00, 0x06, 0x82, 0x02, 0xFE, 0x01}));
    EXPECT_EQ(compressed(bytesOf("A"), LiteralModeAscii, 4096), (std::vector<uint8_t>{0x01, 0x06, 0xE2, 0x80, 0x7F}));
    EXPECT_EQ(compressed(bytesOf("AAAAA"), LiteralModeBinary, 4096),
              (std::vector<uint8_t>{0x00, 0x06, 0x82, 0x04, 0xFD, 0x20, 0xE0, 0x1F}));
}

TEST(CompressStream, BadParametersCallNothing) {
    auto noRead = [](uint8_t*, uint32_t*, void*) -> uint32_t {
        ADD_FAILURE() << "read called";
        return 0;
    };
    auto noWrite = [](uint8_t*, uint32_t*, void*) { ADD_FAILURE() << "write called"; };
    auto work = std::make_unique<uint8_t[]>(CompressWorkSize);
    struct Case {
        uint32_t mode, size;
        int result;
    };
    for (Case c : {Case{2, 8192, ResultBadDictionarySize}, Case{0, 0, ResultBadDictionarySize},
                   Case{1, 4095, ResultBadDictionarySize}, Case{2, 4096, ResultBadLiteralMode},
                   Case{7, 1024, ResultBadLiteralMode}}) {
        EXPECT_EQ(CompressStream(noRead, noWrite, work.get(), nullptr, &c.mode, &c.size), c.result);
    }
}

// The engine's stream must be exactly the reference's tokens, coded.
void expectSameAsReference(const std::vector<uint8_t>& input, uint32_t dictionarySize, const std::string& label) {
    std::vector<Token> expected = test::referenceTokens(input, dictionarySize);
    for (uint32_t mode : {LiteralModeBinary, LiteralModeAscii}) {
        std::vector<uint8_t> stream = compressed(input, mode, dictionarySize);
        if (stream != test::encodeTokens(expected, mode, bitsFor(dictionarySize))) {
            auto actual = test::parseTokens(stream);
            ASSERT_TRUE(actual.has_value()) << label;
            size_t i = 0;
            size_t position = 0;
            while (i < expected.size() && i < actual->size() && expected[i] == (*actual)[i]) {
                position += std::max<size_t>(1, expected[i].length);
                ++i;
            }
            FAIL() << label << " dictionary " << dictionarySize << " mode " << mode << ": token " << i
                   << " at input position " << position << " differs (expected length "
                   << (i < expected.size() ? expected[i].length : 999) << " distance "
                   << (i < expected.size() ? expected[i].distance : 0) << ", got length "
                   << (i < actual->size() ? (*actual)[i].length : 999) << " distance "
                   << (i < actual->size() ? (*actual)[i].distance : 0) << ")";
        }
    }
}

TEST(CompressStream, TokensMatchReferenceAroundBlockBoundaries) {
    const size_t sizes[] = {1, 2, 3, 17, 3579, 3580, 3581, 4095, 4096, 4097, 4612, 7676, 8192, 8193, 8708, 12288};
    uint32_t seed = 1;
    for (size_t size : sizes) {
        for (uint32_t dictionarySize : {1024u, 2048u, 4096u}) {
            ++seed;
            expectSameAsReference(textLike(size, seed), dictionarySize, "text " + std::to_string(size));
            expectSameAsReference(randomBytes(size, seed, size % 2 ? 4 : 256), dictionarySize,
                                  "random " + std::to_string(size));
        }
    }
}

TEST(CompressStream, TokensMatchReferenceOnRepetitiveInputs) {
    uint32_t seed = 100;
    for (size_t size : {600, 5000, 9000, 13000}) {
        for (uint32_t dictionarySize : {1024u, 2048u, 4096u}) {
            ++seed;
            expectSameAsReference(runs(size, seed), dictionarySize, "runs " + std::to_string(size));
            expectSameAsReference(records(size, seed), dictionarySize, "records " + std::to_string(size));
            expectSameAsReference(vertexRecords(size + 7000, seed), dictionarySize, "vertices " + std::to_string(size));
            std::vector<uint8_t> same(size, 0x41);
            expectSameAsReference(same, dictionarySize, "one value " + std::to_string(size));
            // Text whose repeats are far apart: matches near the farthest reach of each dictionary.
            std::vector<uint8_t> periodic = textLike(dictionarySize - 3 + seed % 5, seed);
            while (periodic.size() < size) periodic.insert(periodic.end(), periodic.begin(), periodic.begin() + 900);
            expectSameAsReference(periodic, dictionarySize, "periodic " + std::to_string(size));
        }
    }
}

// Inputs that push the chained search to its edges: many candidates of equal length (the nearest must win
// below 516 bytes, the farthest at 516), repeats whose period is near the longest match or near the
// dictionary size, full-length matches that stop and start again across blocks, and byte pairs that share
// a two-byte hash.
TEST(CompressStream, TokensMatchReferenceOnPeriodicInputs) {
    uint32_t seed = 300;
    for (size_t period : {2u, 3u, 7u, 64u, 514u, 515u, 516u, 517u, 518u, 1000u, 1021u, 2047u, 4093u, 4095u}) {
        for (uint32_t dictionarySize : {1024u, 2048u, 4096u}) {
            ++seed;
            expectSameAsReference(periodic(14000, period, seed), dictionarySize, "period " + std::to_string(period));
            expectSameAsReference(periodic(14000, period, seed, 600), dictionarySize,
                                  "period with changes " + std::to_string(period));
        }
    }
}

TEST(CompressStream, TokensMatchReferenceWhenManyCandidatesTie) {
    uint32_t seed = 400;
    for (uint32_t dictionarySize : {1024u, 2048u, 4096u}) {
        ++seed;
        std::mt19937 rng(seed);
        // Records that differ in one byte out of two values: every record start has many candidates of
        // the same length, some of them reaching 516 bytes.
        std::vector<uint8_t> tied;
        std::vector<uint8_t> record = randomBytes(40, seed, 256);
        while (tied.size() < 20000) {
            record[17] = static_cast<uint8_t>(rng() % 2);
            if (rng() % 50 == 0) record[3] = static_cast<uint8_t>(rng());
            tied.insert(tied.end(), record.begin(), record.end());
        }
        expectSameAsReference(tied, dictionarySize, "tied records");
        // Long runs that stop and start again, so that full-length matches resume in later blocks.
        std::vector<uint8_t> broken;
        appendBrokenRuns(broken, 30000, rng);
        expectSameAsReference(broken, dictionarySize, "broken runs");
        // Bytes 0, 4, 5, 8, 10: pairs such as (0, 4) and (5, 0) share the two-byte hash 4a + 5b.
        static const uint8_t colliding[] = {0, 4, 5, 8, 10};
        std::vector<uint8_t> hashed(12000);
        for (auto& b : hashed) b = colliding[rng() % 5];
        expectSameAsReference(hashed, dictionarySize, "colliding pairs");
        // Long repeats of text with small edits: matches of every length from 2 to 516 at many distances.
        std::vector<uint8_t> edited = textLike(3000, seed);
        appendEditedRepeats(edited, 25000, rng);
        expectSameAsReference(edited, dictionarySize, "edited repeats");
    }
}

// The search reads its 4-byte chains four candidates to a link. A string with copies of itself that agree
// on fewer and fewer bytes, the longest (or the nearest of two equally long, or the farthest of several
// full-length ones) put at every depth of the chain, among shorter ones.
TEST(CompressStream, TokensMatchReferenceWithTheBestCandidateAtEveryChainDepth) {
    uint32_t seed = 500;
    const std::vector<uint8_t> noise = randomBytes(4000, 499, 256);
    for (size_t depth = 0; depth < 14; ++depth) {
        ++seed;
        const std::vector<uint8_t> target = randomBytes(600, seed, 256);
        // A copy agreeing on `length` bytes, then a separator from the noise.
        auto variant = [&](std::vector<uint8_t>& out, size_t length) {
            out.insert(out.end(), target.begin(), target.begin() + static_cast<long>(std::min<size_t>(length, 600)));
            if (length < 600) out.push_back(static_cast<uint8_t>(target[length] ^ 0x5A));
            const size_t from = (out.size() * 7) % 3900;
            out.insert(out.end(), noise.begin() + static_cast<long>(from),
                       noise.begin() + static_cast<long>(from + 5 + out.size() % 23));
        };
        struct Case {
            const char* name;
            std::vector<size_t> lengths;  // oldest copy first; the searched string follows them all
        };
        std::vector<Case> cases;
        for (size_t longest : {6u, 12u, 40u}) {
            Case unique{"longest", {longest}};
            Case tied{"two longest", {longest}};
            for (size_t i = 0; i < depth; ++i) {
                unique.lengths.push_back(4 + i % (longest - 4));
                tied.lengths.push_back(i == depth / 2 ? longest : 4 + i % (longest - 4));
            }
            cases.push_back(unique);
            cases.push_back(tied);
        }
        Case full{"full length", {600, 600}};
        for (size_t i = 0; i < depth; ++i) full.lengths.push_back(i % 3 == 0 ? 600 : 100 + 37 * i);
        cases.push_back(full);
        for (const Case& c : cases) {
            std::vector<uint8_t> input(noise.begin(), noise.begin() + 30);
            for (size_t length : c.lengths) variant(input, length);
            input.insert(input.end(), target.begin(), target.end());
            expectSameAsReference(input, 4096, std::string(c.name) + " at depth " + std::to_string(depth));
        }
    }
}

// Two-byte matches come from the newest position per hash of two bytes; with many pairs about, other
// pairs take the slot of the one searched for, and its nearest occurrence lies below theirs. The last
// input runs past two window moves, after which slots left from before the move must point where their
// positions went.
TEST(CompressStream, TokensMatchReferenceWhenManyPairsShareSlots) {
    uint32_t seed = 600;
    for (uint32_t alphabet : {24u, 48u, 96u}) {
        for (uint32_t dictionarySize : {1024u, 4096u}) {
            ++seed;
            expectSameAsReference(randomBytes(20000, seed, alphabet), dictionarySize,
                                  "alphabet " + std::to_string(alphabet));
        }
    }
    expectSameAsReference(randomBytes(2 * compress_detail::SlideDistance + 3000, 610, 160), 1024,
                          "alphabet 160 across moves");
}

// The window moves on by SlideDistance input bytes at a time, keeping the last HistoryBytes. Inputs past
// two moves, with matches across them: edited repeats of text, records on which the search takes its wide
// way, runs whose full-length matches need the farthest candidate, repeats at the farthest distance, and
// text and records in turns, so that the search changes its way and its lazy chains catch up.
TEST(CompressStream, TokensMatchReferenceAcrossWindowMoves) {
    constexpr size_t Size = 2 * compress_detail::SlideDistance + 3000;
    uint32_t seed = 700;
    for (uint32_t dictionarySize : {1024u, 4096u}) {
        ++seed;
        std::mt19937 rng(seed);
        std::vector<uint8_t> edited = textLike(3000, seed);
        appendEditedRepeats(edited, Size, rng);
        expectSameAsReference(edited, dictionarySize, "edited repeats");
        expectSameAsReference(vertexRecords(Size, seed), dictionarySize, "vertex records");
        std::vector<uint8_t> broken;
        appendBrokenRuns(broken, Size, rng);
        expectSameAsReference(broken, dictionarySize, "broken runs");
        expectSameAsReference(periodic(Size, dictionarySize - 3, seed, 700), dictionarySize, "farthest repeats");
        std::vector<uint8_t> turns;
        for (uint32_t turn = 0; turns.size() < Size; ++turn) {
            const std::vector<uint8_t> part = turn % 2 ? vertexRecords(6000, seed + turn) : textLike(6000, seed + turn);
            turns.insert(turns.end(), part.begin(), part.end());
        }
        expectSameAsReference(turns, dictionarySize, "text and records in turns");
        // Long stretches of one kind: a lazy chain left unused for a whole move is emptied by it, and
        // records (wide way) and runs (farthest full-length candidates) fill it again afterwards.
        std::vector<uint8_t> stretches = textLike(compress_detail::SlideDistance + 5000, seed);
        const std::vector<uint8_t> fields = vertexRecords(compress_detail::SlideDistance / 2, seed + 1);
        stretches.insert(stretches.end(), fields.begin(), fields.end());
        appendBrokenRuns(stretches, stretches.size() + compress_detail::SlideDistance + 5000, rng);
        const std::vector<uint8_t> more = vertexRecords(8000, seed + 2);
        stretches.insert(stretches.end(), more.begin(), more.end());
        expectSameAsReference(stretches, dictionarySize, "long stretches of text, records and runs");
    }
}

// The search takes the way that has lately cost less, trying the other now and then, and more rarely the
// longer it stays the worse. Records take the wide way; when a long stretch of them turns to table rows,
// the search must return to the narrow way within a few periods (the wide way costs two links a position
// more there), not stay wide until a try of the narrow way that its cost on the records put far off.
TEST(CompressStream, SearchChangesWaySoonWhenTheDataChangesAndOnlyThen) {
    std::vector<uint8_t> input = vertexRecords(512 * 1024, 31);
    const uint64_t rowsStart = input.size();
    const std::vector<uint8_t> rows = tableRows(256 * 1024, 32);
    input.insert(input.end(), rows.begin(), rows.end());
    const uint64_t noiseStart = input.size();
    const std::vector<uint8_t> noise = randomBytes(256 * 1024, 33);
    input.insert(input.end(), noise.begin(), noise.end());
    const compress_detail::BlockSource source = [](uint8_t* destination, uint64_t from, uint32_t size, void* context) {
        const auto& bytes = *static_cast<const std::vector<uint8_t>*>(context);
        const uint64_t left = bytes.size() - std::min<uint64_t>(from, bytes.size());
        const auto count = static_cast<uint32_t>(std::min<uint64_t>(size, left));
        if (count != 0) std::memcpy(destination, bytes.data() + from, count);
        return count;
    };
    auto coder = std::make_unique<compress_detail::Coder>();
    ASSERT_EQ(compress_detail::setUpCoder(*coder, LiteralModeBinary, 4096), ResultOk);
    std::vector<uint8_t> bits(input.size() * compress_detail::MaxBitsPerInputByte / 8 + compress_detail::BitSlack);
    compress_detail::startWriter(coder->writer, bits.data(), UINT32_MAX, nullptr, nullptr);
    compress_detail::Cursor cursor{};
    ASSERT_TRUE(compress_detail::startAtBeginning(*coder, cursor, source, &input));
    compress_detail::codeUntil(*coder, cursor, rowsStart, source, &input);
    EXPECT_TRUE(coder->finder.wide);
    // Checkpoints every 4 KiB from 16 KiB into the rows: only those that fall in a try of the wide way may
    // find it in use.
    uint32_t checkpoints = 0;
    uint32_t wide = 0;
    for (uint64_t stop = rowsStart + 16 * 1024; stop < noiseStart; stop += 4096, ++checkpoints) {
        compress_detail::codeUntil(*coder, cursor, stop, source, &input);
        wide += coder->finder.wide;
    }
    EXPECT_LE(wide, checkpoints / 8) << "of " << checkpoints << " checkpoints";

    // Then random bytes: a period costs a handful of visits there, which vary by more than a quarter
    // from period to period without any change of data; they must not bring tries of the wide way
    // beyond its schedule.
    checkpoints = 0;
    wide = 0;
    for (uint64_t stop = noiseStart + 1024; stop < input.size(); stop += 1024, ++checkpoints) {
        compress_detail::codeUntil(*coder, cursor, stop, source, &input);
        wide += coder->finder.wide;
    }
    EXPECT_LE(wide, checkpoints / 16) << "of " << checkpoints << " checkpoints";
}

TEST(CompressStream, RunsUseTwoLiteralsThenDistanceTwoUntilTheFarthestFullMatchWins) {
    auto tokens = test::parseTokens(compressed(std::vector<uint8_t>(1000, 'r'), LiteralModeBinary, 4096));
    ASSERT_TRUE(tokens.has_value());
    ASSERT_GE(tokens->size(), 3u);
    EXPECT_EQ((*tokens)[0], (Token{0, 0, 'r'}));
    EXPECT_EQ((*tokens)[1], (Token{0, 0, 'r'}));
    for (size_t i = 2; i < tokens->size(); ++i) EXPECT_EQ((*tokens)[i].distance, 2u) << i;

    tokens = test::parseTokens(compressed(std::vector<uint8_t>(3000, 'r'), LiteralModeBinary, 4096));
    ASSERT_TRUE(tokens.has_value());
    ASSERT_GE(tokens->size(), 4u);
    EXPECT_EQ((*tokens)[2], (Token{516, 2, 0}));
    EXPECT_EQ((*tokens)[3], (Token{516, 518, 0}));
}

TEST(CompressStream, LookAheadPrefersNearMatchOverOneLongerNextMatch) {
    auto build = [](size_t filler) {
        std::string text = "bcdeZ" "abcY";
        for (size_t i = 0; i < filler; ++i) text += static_cast<char>(0x80 + i);
        text += "abcdeW";
        return bytesOf(text);
    };
    // Match "abc" at distance 129 (distance - 1 = 128) beats "bcde" one position later.
    auto near = test::parseTokens(compressed(build(125), LiteralModeBinary, 4096));
    ASSERT_TRUE(near.has_value());
    // "bcdeZ" as literals, then 'a', "bc" (length 2 at distance 6) and 'Y', then the filler.
    ASSERT_GE(near->size(), 134u);
    EXPECT_EQ((*near)[133], (Token{3, 129, 0}));
    // One byte farther: a literal, then the longer match.
    auto far = test::parseTokens(compressed(build(126), LiteralModeBinary, 4096));
    ASSERT_TRUE(far.has_value());
    ASSERT_GE(far->size(), 136u);
    EXPECT_EQ((*far)[134], (Token{0, 0, 'a'}));
    EXPECT_EQ((*far)[135], (Token{4, 136, 0}));
}

TEST(CompressStream, ShortMatchesOnlyWithin256Bytes) {
    // With filler free of 'x' and 'y' the only candidate is the first "xy".
    for (size_t gap : {90, 95}) {
        std::vector<uint8_t> text = bytesOf("xy");
        for (size_t i = 0; i < gap; ++i) text.push_back(static_cast<uint8_t>(0x80 + i));
        text.push_back('x');
        text.push_back('y');
        auto tokens = test::parseTokens(compressed(text, LiteralModeBinary, 4096));
        ASSERT_TRUE(tokens.has_value());
        EXPECT_EQ(tokens->back(), (Token{2, static_cast<uint32_t>(gap + 2), 0}));
    }
    std::vector<uint8_t> text = bytesOf("xy");
    std::vector<uint8_t> filler = randomBytes(300, 5, 256);
    for (auto& b : filler) b = static_cast<uint8_t>(b | 0x80);  // no 'x' or 'y' in the filler
    for (size_t start : {250u, 253u, 254u, 255u}) {
        std::vector<uint8_t> input = text;
        input.insert(input.end(), filler.begin(), filler.begin() + static_cast<long>(start));
        input.insert(input.end(), {'x', 'y'});
        expectSameAsReference(input, 4096, "short match gap " + std::to_string(start));
        auto tokens = test::parseTokens(compressed(input, LiteralModeBinary, 4096));
        ASSERT_TRUE(tokens.has_value());
        // distance - 1 = start + 1: a match up to 255, a literal from 256 on.
        if (start + 1 <= 255) EXPECT_EQ(tokens->back().length, 2u) << start;
        else EXPECT_EQ(tokens->back(), (Token{0, 0, 'y'})) << start;
    }
}

TEST(CompressStream, SecondBlockDoesNotReachInputCodedPastTheFirstLimit) {
    // The first block ends with a match that carries coding 120 bytes past its limit (3580); the second
    // block then must not use the first 120 input bytes, although they are within 4095 bytes.
    std::vector<uint8_t> input = randomBytes(6000, 77, 256);
    std::copy(input.begin() + 3000, input.begin() + 3200, input.begin() + 3500);
    std::copy(input.begin() + 10, input.begin() + 60, input.begin() + 3710);
    std::vector<Token> withRule = test::referenceTokens(input, 4096);
    std::vector<Token> withoutRule = test::referenceTokens(input, 4096, test::ReferenceOptions{false});
    ASSERT_NE(withRule, withoutRule) << "the input does not exercise the rule";
    expectSameAsReference(input, 4096, "second block");
}

TEST(CompressStream, ChunksReadsAndSplitInputDoNotChangeTheStream) {
    std::vector<uint8_t> input = textLike(30000, 9);
    std::vector<uint8_t> whole = compressed(input, LiteralModeAscii, 2048);
    for (uint32_t step : {4096u, 1000u, 1u}) {
        struct Context {
            const std::vector<uint8_t>* input;
            size_t position = 0;
            uint32_t step;
            std::vector<uint32_t> requests;
            std::vector<uint32_t> delivered;
            std::vector<uint32_t> writes;
            std::vector<uint8_t> output;
        } context{&input, 0, step, {}, {}, {}, {}};
        auto read = [](uint8_t* buffer, uint32_t* size, void* parameter) -> uint32_t {
            auto* c = static_cast<Context*>(parameter);
            c->requests.push_back(*size);
            size_t count = std::min<size_t>({*size, c->step, c->input->size() - c->position});
            std::memcpy(buffer, c->input->data() + c->position, count);
            c->position += count;
            c->delivered.push_back(static_cast<uint32_t>(count));
            return static_cast<uint32_t>(count);
        };
        auto write = [](uint8_t* buffer, uint32_t* size, void* parameter) {
            auto* c = static_cast<Context*>(parameter);
            c->writes.push_back(*size);
            c->output.insert(c->output.end(), buffer, buffer + *size);
        };
        auto work = std::make_unique<uint8_t[]>(CompressWorkSize);
        std::memset(work.get(), 0x5A, CompressWorkSize);
        uint32_t mode = LiteralModeAscii;
        uint32_t size = 2048;
        ASSERT_EQ(CompressStream(read, write, work.get(), &context, &mode, &size), ResultOk);
        EXPECT_EQ(context.output, whole) << step;
        ASSERT_GE(context.writes.size(), 2u);
        for (size_t i = 0; i + 1 < context.writes.size(); ++i) EXPECT_EQ(context.writes[i], 2048u);
        EXPECT_LE(context.writes.back(), 2048u);
        // Each read asks for what the current 4096-byte block still lacks.
        uint32_t missing = 4096;
        for (size_t i = 0; i < context.requests.size(); ++i) {
            EXPECT_EQ(context.requests[i], missing);
            missing -= context.delivered[i];
            if (missing == 0) missing = 4096;
        }
        EXPECT_EQ(context.delivered.back(), 0u);
    }
}

TEST(CompressStream, StreamOfExactChunkMultipleEndsWithEmptyWrite) {
    // Search an input whose stream is exactly two chunks with the end symbol's last bit (a one) on the
    // last bit of the last byte: then the last write is empty.
    for (uint32_t seed = 1; seed < 200; ++seed) {
        for (size_t size = 3610; size < 3650; ++size) {
            std::vector<uint8_t> input = randomBytes(size, seed, 256);
            std::vector<uint8_t> stream = compressed(input, LiteralModeBinary, 1024);
            if (stream.size() != 4096 || (stream.back() & 0x80) == 0) continue;
            std::vector<uint32_t> writes;
            auto read = [](uint8_t* buffer, uint32_t* request, void* parameter) -> uint32_t {
                auto* in = static_cast<std::vector<uint8_t>*>(static_cast<void**>(parameter)[0]);
                auto* taken = static_cast<size_t*>(static_cast<void**>(parameter)[1]);
                size_t count = std::min<size_t>(*request, in->size() - *taken);
                std::memcpy(buffer, in->data() + *taken, count);
                *taken += count;
                return static_cast<uint32_t>(count);
            };
            auto write = [](uint8_t*, uint32_t* count, void* parameter) {
                static_cast<std::vector<uint32_t>*>(static_cast<void**>(parameter)[2])->push_back(*count);
            };
            size_t taken = 0;
            void* parameter[3] = {&input, &taken, &writes};
            auto work = std::make_unique<uint8_t[]>(CompressWorkSize);
            uint32_t mode = LiteralModeBinary;
            uint32_t dictionary = 1024;
            ASSERT_EQ(CompressStream(read, write, work.get(), parameter, &mode, &dictionary), ResultOk);
            EXPECT_EQ(writes, (std::vector<uint32_t>{2048, 2048, 0}));
            return;
        }
    }
    FAIL() << "no input found whose stream ends exactly on a chunk boundary";
}

TEST(CompressStream, RoundTripsInEveryModeAndDictionarySize) {
    std::vector<std::vector<uint8_t>> inputs = {{}, bytesOf("x"), textLike(50000, 4), randomBytes(20000, 8),
                                                runs(30000, 2), records(40000, 6)};
    for (const auto& input : inputs) {
        for (uint32_t mode : {LiteralModeBinary, LiteralModeAscii}) {
            for (uint32_t dictionarySize : {1024u, 2048u, 4096u}) {
                std::vector<uint8_t> stream = compressed(input, mode, dictionarySize);
                auto tokens = test::parseTokens(stream);
                ASSERT_TRUE(tokens.has_value());
                for (const Token& t : *tokens) {
                    ASSERT_LE(t.length, 516u);
                    ASSERT_LE(t.distance, dictionarySize - 1);
                }
                std::vector<uint8_t> output;
                if (input.empty()) {
                    // Four bytes: too short for the expander's first-read check.
                    EXPECT_EQ(expandBuffer(stream, output), ResultShortInput);
                    continue;
                }
                ASSERT_EQ(expandBuffer(stream, output), ResultOk);
                EXPECT_EQ(output, input) << "mode " << mode << " dictionary " << dictionarySize;
            }
        }
    }
}

}  // namespace
}  // namespace bxa
