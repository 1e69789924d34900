// The threaded compressor: the same stream as one thread for every input and thread count, the same
// write chunks and read requests, callbacks only on the calling thread, and the work-area bound; and the
// same stream however many threads are lent to it from segment to segment.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "compress/buffer_callbacks.hpp"
#include "compress/compress_buffer.hpp"
#include "compress/compress_stream.hpp"
#include "compress/expand_buffer.hpp"
#include "test_inputs.hpp"

namespace bxa {
namespace {

using namespace test::inputs;

// Input of one segment per thread count: PartBytes (512 KiB) per thread.
constexpr size_t PartBytes = 512 * 1024;
constexpr unsigned ThreadCounts[] = {1, 2, 3, 8};

struct Recorded {
    std::vector<uint8_t> stream;
    std::vector<uint32_t> writes;
    std::vector<uint32_t> requests;
    std::vector<uint32_t> delivered;
    bool otherThread = false;
};

// Runs the threaded compressor with callbacks that deliver at most `step` bytes per read and record
// every call.
Recorded compressRecorded(const std::vector<uint8_t>& input, uint32_t mode, uint32_t dictionarySize,
                          unsigned threads, uint32_t step = 4096) {
    struct Context {
        const std::vector<uint8_t>* input;
        size_t position;
        uint32_t step;
        std::thread::id caller;
        Recorded result;
    } context{&input, 0, step, std::this_thread::get_id(), {}};
    auto read = [](uint8_t* buffer, uint32_t* size, void* parameter) -> uint32_t {
        auto* c = static_cast<Context*>(parameter);
        if (std::this_thread::get_id() != c->caller) c->result.otherThread = true;
        c->result.requests.push_back(*size);
        const size_t count = std::min<size_t>({*size, c->step, c->input->size() - c->position});
        if (count != 0) std::memcpy(buffer, c->input->data() + c->position, count);
        c->position += count;
        c->result.delivered.push_back(static_cast<uint32_t>(count));
        return static_cast<uint32_t>(count);
    };
    auto write = [](uint8_t* buffer, uint32_t* size, void* parameter) {
        auto* c = static_cast<Context*>(parameter);
        if (std::this_thread::get_id() != c->caller) c->result.otherThread = true;
        c->result.writes.push_back(*size);
        c->result.stream.insert(c->result.stream.end(), buffer, buffer + *size);
    };
    auto work = std::make_unique_for_overwrite<uint8_t[]>(compressParallelWorkSize(threads));
    std::memset(work.get(), 0xA5, compressParallelWorkSize(threads));
    EXPECT_EQ(CompressStreamParallel(read, write, work.get(), &context, &mode, &dictionarySize, threads), ResultOk);
    return context.result;
}

std::vector<uint8_t> singleThreaded(const std::vector<uint8_t>& input, uint32_t mode, uint32_t dictionarySize) {
    std::vector<uint8_t> stream;
    EXPECT_EQ(compressBuffer(input, mode, dictionarySize, stream), ResultOk);
    return stream;
}

// Every thread count gives CompressStream's bytes; each stream is also checked to expand back.
void expectSameAsOneThread(const std::vector<uint8_t>& input, const std::string& label,
                           std::initializer_list<uint32_t> modes = {LiteralModeBinary, LiteralModeAscii},
                           std::initializer_list<uint32_t> dictionaries = {1024u, 2048u, 4096u}) {
    for (uint32_t mode : modes) {
        for (uint32_t dictionarySize : dictionaries) {
            const std::vector<uint8_t> expected = singleThreaded(input, mode, dictionarySize);
            for (unsigned threads : ThreadCounts) {
                std::vector<uint8_t> stream;
                ASSERT_EQ(compressBuffer(input, mode, dictionarySize, stream, threads), ResultOk);
                ASSERT_EQ(stream.size(), expected.size()) << label << " mode " << mode << " dictionary "
                                                          << dictionarySize << " threads " << threads;
                ASSERT_TRUE(stream == expected) << label << " mode " << mode << " dictionary " << dictionarySize
                                                << " threads " << threads << ": first difference at byte "
                                                << (std::mismatch(stream.begin(), stream.end(), expected.begin()).first -
                                                    stream.begin());
            }
            if (input.size() > 1) {
                std::vector<uint8_t> output;
                ASSERT_EQ(expandBuffer(expected, output), ResultOk) << label;
                ASSERT_TRUE(output == input) << label;
            }
        }
    }
}

TEST(CompressStreamParallel, SmallAndBlockEdgeInputsGiveTheSingleThreadedStream) {
    expectSameAsOneThread({}, "empty");
    expectSameAsOneThread({0x41}, "one byte");
    for (size_t size : {3579u, 3580u, 3581u, 4095u, 4096u, 4097u, 4611u, 8192u, 65535u, 131071u, 131072u, 131073u}) {
        expectSameAsOneThread(textLike(size, static_cast<uint32_t>(size)), "text " + std::to_string(size));
    }
}

TEST(CompressStreamParallel, CorporaGiveTheSingleThreadedStream) {
    // Several parts per thread count, and more than one segment for two threads.
    const size_t size = 2 * PartBytes + 12345;
    expectSameAsOneThread(textLike(size, 1), "text");
    expectSameAsOneThread(randomBytes(size, 2), "random");
    expectSameAsOneThread(randomBytes(size, 3, 4), "four-letter random");
    expectSameAsOneThread(vertexRecords(size, 4), "vertex records");
    expectSameAsOneThread(records(size, 5), "records");
    expectSameAsOneThread(periodic(size, 4093, 6, 600), "periodic with changes");
}

TEST(CompressStreamParallel, PartsThatNeverMeetAreCodedAgain) {
    // In a run of one value every token is 516 bytes long, so parses that start at different places
    // keep their offset until the run ends: the parts are met only after the run, or coded again.
    expectSameAsOneThread(std::vector<uint8_t>(3 * PartBytes, 0x61), "one run", {LiteralModeBinary});
    expectSameAsOneThread(periodic(3 * PartBytes, 516, 7), "period 516", {LiteralModeBinary}, {4096u});
    expectSameAsOneThread(periodic(3 * PartBytes, 7, 8), "period 7", {LiteralModeAscii}, {1024u});
    std::vector<uint8_t> mixed = runs(3 * PartBytes, 9);
    std::vector<uint8_t> longRun(200000, 0x00);
    mixed.insert(mixed.begin() + static_cast<long>(PartBytes / 2), longRun.begin(), longRun.end());
    expectSameAsOneThread(mixed, "runs with a long one", {LiteralModeBinary}, {2048u});
}

TEST(CompressStreamParallel, PartsTakenOverGiveTheSingleThreadedStream) {
    // Fast and slow halves of a segment: the thread of the fast one finishes early and takes over the rest
    // of the slow one, at a point that depends on timing; a long run between them keeps parses from meeting,
    // so the parse carried on through it must meet parts taken over too. Several runs cut at several points.
    std::vector<uint8_t> input = std::vector<uint8_t>(PartBytes, 0x41);
    const std::vector<uint8_t> slow = randomBytes(PartBytes, 31);
    input.insert(input.end(), slow.begin(), slow.end());
    const std::vector<uint8_t> longRun(300000, 0x00);
    input.insert(input.begin() + static_cast<long>(PartBytes + PartBytes / 4), longRun.begin(), longRun.end());
    const std::vector<uint8_t> text = textLike(PartBytes, 32);
    input.insert(input.end(), text.begin(), text.end());
    const std::vector<uint8_t> expected = singleThreaded(input, LiteralModeBinary, 4096);
    for (int round = 0; round < 3; ++round) {
        for (unsigned threads : {2u, 3u, 8u}) {
            std::vector<uint8_t> stream;
            ASSERT_EQ(compressBuffer(input, LiteralModeBinary, 4096, stream, threads), ResultOk);
            ASSERT_TRUE(stream == expected) << threads << " threads, round " << round;
        }
    }
}

TEST(CompressStreamParallel, SegmentMultiplesGiveTheSingleThreadedStream) {
    // Input that ends exactly at, or just around, the end of a segment of two or three threads, with and
    // without the held-back look-ahead.
    for (size_t segments : {1u, 2u}) {
        for (unsigned threads : {2u, 3u}) {
            for (long delta : {-517L, -1L, 0L, 1L}) {
                const size_t size = static_cast<size_t>(static_cast<long>(segments * threads * PartBytes) + delta);
                std::vector<uint8_t> input = textLike(size, static_cast<uint32_t>(size));
                const std::vector<uint8_t> expected = singleThreaded(input, LiteralModeBinary, 4096);
                std::vector<uint8_t> stream;
                ASSERT_EQ(compressBuffer(input, LiteralModeBinary, 4096, stream, threads), ResultOk);
                ASSERT_TRUE(stream == expected) << size << " bytes, " << threads << " threads";
            }
        }
    }
}

TEST(CompressStreamParallel, WritesReadsAndThreadsOfTheCallbacks) {
    const std::vector<uint8_t> input = textLike(5 * PartBytes / 2, 11);
    const std::vector<uint8_t> expected = singleThreaded(input, LiteralModeAscii, 2048);
    for (unsigned threads : {2u, 8u}) {
        for (uint32_t step : {4096u, 1000u}) {
            const Recorded recorded = compressRecorded(input, LiteralModeAscii, 2048, threads, step);
            EXPECT_FALSE(recorded.otherThread);
            EXPECT_TRUE(recorded.stream == expected) << threads << " threads, reads of " << step;
            ASSERT_GE(recorded.writes.size(), 2u);
            for (size_t i = 0; i + 1 < recorded.writes.size(); ++i) ASSERT_EQ(recorded.writes[i], 2048u) << i;
            EXPECT_LE(recorded.writes.back(), 2048u);
            // Each read asks for what the current 4096-byte block still lacks.
            uint32_t missing = 4096;
            for (size_t i = 0; i < recorded.requests.size(); ++i) {
                ASSERT_EQ(recorded.requests[i], missing) << i;
                missing -= recorded.delivered[i];
                if (missing == 0) missing = 4096;
            }
            EXPECT_EQ(recorded.delivered.back(), 0u);
        }
    }
}

// Lends a changing number of threads, none at times, from segment to segment, and keeps count of what
// is lent, where from, and what comes back.
struct ChangingLender {
    std::vector<std::unique_ptr<uint8_t[]>> areas;
    std::vector<void*> free;
    std::mt19937 rng;
    std::thread::id caller = std::this_thread::get_id();
    unsigned out = 0;
    unsigned mostOut = 0;
    unsigned borrows = 0;
    bool otherThread = false;
    std::vector<unsigned> script;  // when set, the counts lent in turn, instead of random ones

    ChangingLender(unsigned count, uint32_t seed) : rng(seed) {
        for (unsigned i = 0; i < count; ++i) {
            areas.push_back(std::make_unique_for_overwrite<uint8_t[]>(CompressPartWorkSize));
            std::memset(areas.back().get(), 0x5A, CompressPartWorkSize);
            free.push_back(areas.back().get());
        }
    }
    static unsigned borrow(void** lent, unsigned wanted, void* self) {
        auto& lender = *static_cast<ChangingLender*>(self);
        lender.otherThread |= std::this_thread::get_id() != lender.caller;
        const unsigned offered = lender.script.empty() ? static_cast<unsigned>(lender.rng() % 4)
                                                       : lender.script[lender.borrows % lender.script.size()];
        const auto count = std::min<unsigned>({wanted, static_cast<unsigned>(lender.free.size()), offered});
        ++lender.borrows;
        for (unsigned i = 0; i < count; ++i) {
            lent[i] = lender.free.back();
            lender.free.pop_back();
        }
        lender.out += count;
        lender.mostOut = std::max(lender.mostOut, lender.out);
        return count;
    }
    static void giveBack(void* const* lent, unsigned count, void* self) {
        auto& lender = *static_cast<ChangingLender*>(self);
        lender.otherThread |= std::this_thread::get_id() != lender.caller;
        lender.free.insert(lender.free.end(), lent, lent + count);
        lender.out -= count;
    }
};

std::vector<uint8_t> compressBorrowing(const std::vector<uint8_t>& input, uint32_t mode, uint32_t dictionarySize,
                                       ChangingLender& lender, unsigned most) {
    std::vector<uint8_t> stream;
    buffer_callbacks::BufferPair pair{input, 0, &stream};
    auto shared = std::make_unique_for_overwrite<uint8_t[]>(CompressSharedWorkSize);
    auto own = std::make_unique_for_overwrite<uint8_t[]>(CompressPartWorkSize);
    const CompressHelpers helpers{ChangingLender::borrow, ChangingLender::giveBack, &lender, most};
    EXPECT_EQ(CompressStreamBorrowing(buffer_callbacks::readFromSpan, buffer_callbacks::appendToVector, shared.get(),
                                      own.get(), &pair, &mode, &dictionarySize, helpers),
              ResultOk);
    return stream;
}

// However many threads are lent for each segment, the stream is the single-threaded one, and every area
// lent comes back.
TEST(CompressStreamBorrowing, ChangingHelpersGiveTheSingleThreadedStream) {
    const size_t size = 3 * PartBytes + 4321;
    const std::pair<std::string, std::vector<uint8_t>> inputs[] = {
        {"text", textLike(size, 21)},          {"records", records(size, 22)},
        {"runs", runs(size, 23)},              {"one run", std::vector<uint8_t>(size, 0x62)},
        {"short", textLike(PartBytes / 3, 24)}, {"empty", {}},
        {"segment", textLike(4 * PartBytes, 25)}};
    uint32_t mode = LiteralModeBinary;
    for (const auto& [name, input] : inputs) {
        mode = mode == LiteralModeBinary ? LiteralModeAscii : LiteralModeBinary;
        {
            const std::vector<uint8_t> expected = singleThreaded(input, mode, 4096);
            for (unsigned most : {0u, 1u, 3u}) {
                ChangingLender lender(3, static_cast<uint32_t>(most * 7 + mode + input.size()));
                EXPECT_TRUE(compressBorrowing(input, mode, 4096, lender, most) == expected)
                    << name << " mode " << mode << " most " << most;
                EXPECT_EQ(lender.out, 0u) << name;
                EXPECT_EQ(lender.free.size(), 3u) << name;
                EXPECT_LE(lender.mostOut, most) << name;
                EXPECT_FALSE(lender.otherThread) << name;
                if (most == 0) {
                    EXPECT_EQ(lender.borrows, 0u) << name;
                }
            }
        }
    }
}

// Threads first lent after some segments have been coded join at the next segment, and the stream stays
// the same.
TEST(CompressStreamBorrowing, HelpersFirstLentLaterJoinTheNextSegment) {
    const std::vector<uint8_t> input = textLike(8 * PartBytes + 999, 41);
    const std::vector<uint8_t> expected = singleThreaded(input, LiteralModeAscii, 4096);
    for (const std::vector<unsigned>& script : {std::vector<unsigned>{0, 0, 1, 0, 3, 2, 3, 0}, {0, 3}}) {
        ChangingLender lender(3, 0);
        lender.script = script;
        EXPECT_TRUE(compressBorrowing(input, LiteralModeAscii, 4096, lender, 3) == expected) << script.size();
        EXPECT_EQ(lender.out, 0u);
    }
}

TEST(CompressStreamParallel, BadParametersCallNothing) {
    auto noRead = [](uint8_t*, uint32_t*, void*) -> uint32_t {
        ADD_FAILURE() << "read called";
        return 0;
    };
    auto noWrite = [](uint8_t*, uint32_t*, void*) { ADD_FAILURE() << "write called"; };
    auto work = std::make_unique_for_overwrite<uint8_t[]>(compressParallelWorkSize(4));
    uint32_t mode = 2;
    uint32_t size = 8192;
    EXPECT_EQ(CompressStreamParallel(noRead, noWrite, work.get(), nullptr, &mode, &size, 4), ResultBadDictionarySize);
    size = 4096;
    EXPECT_EQ(CompressStreamParallel(noRead, noWrite, work.get(), nullptr, &mode, &size, 4), ResultBadLiteralMode);
}

TEST(CompressStreamParallel, WorkAreaStaysWithinItsBound) {
    EXPECT_EQ(compressParallelWorkSize(0), CompressWorkSize);
    EXPECT_EQ(compressParallelWorkSize(1), CompressWorkSize);
    for (unsigned threads = 2; threads <= MaxCompressThreads; ++threads) {
        EXPECT_LT(compressParallelWorkSize(threads), (16u << 20) + threads * (2u << 20)) << threads;
    }
    EXPECT_EQ(compressParallelWorkSize(MaxCompressThreads + 1), compressParallelWorkSize(MaxCompressThreads));
}

// Each thread's share of the work area (its part, its slice of the segment and of the stream's own
// state) stays within 2 MB, and so does the single-threaded area.
TEST(CompressStreamParallel, WorkAreaPerThreadStaysWithinTwoMegabytes) {
    EXPECT_LE(CompressWorkSize, 2'000'000u);
    for (unsigned threads = 2; threads <= MaxCompressThreads; ++threads) {
        EXPECT_LE(compressParallelWorkSize(threads), threads * size_t{2'000'000}) << threads;
    }
}

}  // namespace
}  // namespace bxa
