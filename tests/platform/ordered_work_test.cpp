// Items worked on side by side and finished in order: the finishes' order, the window that bounds how far
// work runs ahead, a stop at a failed finish, and large items begun first.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include "platform/ordered_work.hpp"

namespace bxa::platform {
namespace {

// What a run did: the items in the order they were begun and finished, and how far ahead of the last
// finish an item was begun.
struct Trace {
    std::mutex mutex;
    std::vector<size_t> begun;
    std::vector<size_t> finished;
    std::vector<int> worked;
    size_t farthestAhead = 0;
    bool finishSawWork = true;
};

bool runTraced(Trace& trace, size_t count, unsigned threads, size_t window, size_t failAt,
               const std::function<uint64_t(size_t)>& cost = nullptr) {
    trace.worked.assign(count, 0);
    return runInOrder(
        count, threads, window,
        [&](size_t i) {
            {
                std::lock_guard<std::mutex> lock(trace.mutex);
                trace.begun.push_back(i);
                const size_t ahead = i + 1 - trace.finished.size();
                trace.farthestAhead = std::max(trace.farthestAhead, ahead);
            }
            trace.worked[i] += 1;
        },
        [&](size_t i) {
            std::lock_guard<std::mutex> lock(trace.mutex);
            trace.finishSawWork = trace.finishSawWork && trace.worked[i] == 1;
            trace.finished.push_back(i);
            return i != failAt;
        },
        cost);
}

TEST(OrderedWork, FinishesEveryItemInOrderAfterItsWorkWithinTheWindow) {
    for (unsigned threads : {1u, 2u, 3u, 8u}) {
        for (size_t window : {size_t{1}, size_t{4}, size_t{64}}) {
            Trace trace;
            ASSERT_TRUE(runTraced(trace, 200, threads, window, SIZE_MAX));
            std::vector<size_t> inOrder(200);
            for (size_t i = 0; i < inOrder.size(); ++i) inOrder[i] = i;
            EXPECT_EQ(trace.finished, inOrder) << threads << " threads, window " << window;
            EXPECT_TRUE(trace.finishSawWork);
            EXPECT_TRUE(std::all_of(trace.worked.begin(), trace.worked.end(), [](int n) { return n == 1; }));
            // Item i is begun only while fewer than `window` items lie between the last finish and it.
            EXPECT_LE(trace.farthestAhead, threads == 1 ? size_t{1} : window);
        }
    }
}

TEST(OrderedWork, AFailedFinishEndsTheRunAndNothingAfterItIsFinished) {
    for (unsigned threads : {1u, 2u, 8u}) {
        Trace trace;
        EXPECT_FALSE(runTraced(trace, 100, threads, 8, 40));
        ASSERT_EQ(trace.finished.size(), 41u) << threads << " threads";
        EXPECT_EQ(trace.finished.back(), 40u);
        // Nothing was begun past the window of the failed item.
        for (size_t i : trace.begun) EXPECT_LT(i, 40u + 8u);
    }
}

TEST(OrderedWork, AFreeThreadBeginsTheCostliestItemOfTheWindow) {
    Trace trace;
    ASSERT_TRUE(runTraced(trace, 30, 2, 16, SIZE_MAX, [](size_t i) { return i == 12 ? 1000 : 1; }));
    // Two threads begin at once: one of them takes item 12, the other item 0.
    const auto first = std::find(trace.begun.begin(), trace.begun.end(), 12u);
    EXPECT_LT(first - trace.begun.begin(), 2);
    EXPECT_EQ(trace.finished.size(), 30u);
    EXPECT_TRUE(std::is_sorted(trace.finished.begin(), trace.finished.end()));
}

TEST(OrderedWork, TheRecordWindowGrowsWithTheThreadsButStaysBounded) {
    EXPECT_GE(recordWindow(2), 8u);
    EXPECT_LT(recordWindow(4), recordWindow(8));
    EXPECT_LE(recordWindow(1024), 1024u + 64u);
    EXPECT_GE(recordWindow(0), 1u);
}

}  // namespace
}  // namespace bxa::platform
