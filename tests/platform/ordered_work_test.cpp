// Items worked on side by side and finished in order: the finishes' order, the window that bounds how far
// work runs ahead, a stop at a failed finish, an item done again alone, and large items begun first; and
// the thread budget that lends a large item the threads left free.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/ordered_work.hpp"

namespace bxa::platform {
namespace {

// What a run did: the items in the order they were begun and finished, how far ahead of the last finish
// an item was begun, and which finishes saw their item worked on alone.
struct Trace {
    std::mutex mutex;
    std::vector<size_t> begun;
    std::vector<size_t> finished;
    std::vector<size_t> abandoned;
    std::vector<int> worked;      // times each item was worked on since it was last abandoned
    std::vector<char> aloneWork;  // the last work on each item was alone (not bits: items are set side by side)
    size_t farthestAhead = 0;
    bool finishSawItsWork = true;
    bool aloneMatched = true;  // every finish was told what its work was told
};

// Runs `count` items; finish(i, alone) gives `outcome(i, alone)`, Next by default.
bool runTraced(Trace& trace, size_t count, unsigned threads, size_t window,
               const std::function<Finish(size_t, bool)>& outcome = nullptr,
               const std::function<uint64_t(size_t)>& cost = nullptr) {
    trace.worked.assign(count, 0);
    trace.aloneWork.assign(count, 0);
    OrderedSteps steps;
    steps.work = [&](size_t i, bool alone) {
        {
            std::lock_guard<std::mutex> lock(trace.mutex);
            trace.begun.push_back(i);
            trace.farthestAhead = std::max(trace.farthestAhead, i + 1 - trace.finished.size());
        }
        trace.worked[i] += 1;
        trace.aloneWork[i] = alone ? 1 : 0;
    };
    steps.finish = [&](size_t i, bool alone) {
        std::lock_guard<std::mutex> lock(trace.mutex);
        trace.finishSawItsWork = trace.finishSawItsWork && trace.worked[i] == 1;
        trace.aloneMatched = trace.aloneMatched && (trace.aloneWork[i] != 0) == alone;
        const Finish result = outcome ? outcome(i, alone) : Finish::Next;
        if (result != Finish::Again) trace.finished.push_back(i);
        return result;
    };
    steps.abandon = [&](size_t i) {
        trace.abandoned.push_back(i);
        trace.worked[i] = 0;
    };
    steps.cost = cost;
    return runInOrder(count, threads, window, steps);
}

std::vector<size_t> upTo(size_t count) {
    std::vector<size_t> items(count);
    for (size_t i = 0; i < count; ++i) items[i] = i;
    return items;
}

TEST(OrderedWork, FinishesEveryItemInOrderAfterItsWorkWithinTheWindow) {
    for (unsigned threads : {1u, 2u, 3u, 8u}) {
        for (size_t window : {size_t{1}, size_t{4}, size_t{64}}) {
            Trace trace;
            ASSERT_TRUE(runTraced(trace, 200, threads, window));
            EXPECT_EQ(trace.finished, upTo(200)) << threads << " threads, window " << window;
            EXPECT_TRUE(trace.finishSawItsWork);
            EXPECT_TRUE(trace.aloneMatched);
            EXPECT_TRUE(trace.abandoned.empty());
            // Item i is begun only while fewer than `window` items lie between the last finish and it.
            EXPECT_LE(trace.farthestAhead, threads == 1 ? size_t{1} : window);
            // One thread works on every item alone, several on none.
            const bool anyAlone =
                std::any_of(trace.aloneWork.begin(), trace.aloneWork.end(), [](char a) { return a != 0; });
            EXPECT_EQ(anyAlone, threads == 1);
        }
    }
}

// Work and finishes of uneven length, so that workers wait for room in the window and the finishing
// thread waits for items finished out of order: a wake-up lost on either side would hang the run.
TEST(OrderedWork, WorkersAndTheFinisherWaitForEachOtherWithoutLosingAWakeUp) {
    auto spin = [](size_t rounds) {
        volatile size_t sink = 0;
        for (size_t r = 0; r < rounds; ++r) sink = sink + r;
    };
    for (unsigned threads : {2u, 3u, 8u}) {
        for (size_t window : {size_t{1}, size_t{2}, size_t{5}}) {
            std::vector<size_t> finished;
            OrderedSteps steps;
            steps.work = [&](size_t i, bool) { spin((i * 7919) % 13 * 2000); };
            steps.finish = [&](size_t i, bool) {
                spin(i % 3 == 0 ? 20000 : 0);
                finished.push_back(i);
                return Finish::Next;
            };
            steps.cost = [](size_t i) { return uint64_t{i % 4}; };
            ASSERT_TRUE(runInOrder(300, threads, window, steps));
            EXPECT_EQ(finished, upTo(300)) << threads << " threads, window " << window;
        }
    }
}

TEST(OrderedWork, AStopEndsTheRunAndNothingAfterItIsFinished) {
    for (unsigned threads : {1u, 2u, 8u}) {
        Trace trace;
        EXPECT_FALSE(runTraced(trace, 100, threads, 8,
                               [](size_t i, bool) { return i == 40 ? Finish::Stop : Finish::Next; }));
        EXPECT_EQ(trace.finished, upTo(41)) << threads << " threads";
        // Nothing was begun past the window of the failed item.
        for (size_t i : trace.begun) EXPECT_LT(i, 40u + 8u);
    }
}

TEST(OrderedWork, AnItemToDoAgainRunsAloneAndSoDoesEverythingAfterIt) {
    for (unsigned threads : {2u, 8u}) {
        Trace trace;
        // Item 40 fails while others run; alone it succeeds.
        ASSERT_TRUE(runTraced(trace, 100, threads, 8, [](size_t i, bool alone) {
            return i == 40 && !alone ? Finish::Again : Finish::Next;
        }));
        EXPECT_EQ(trace.finished, upTo(100)) << threads << " threads";
        EXPECT_TRUE(trace.finishSawItsWork);
        EXPECT_TRUE(trace.aloneMatched);
        // Item 40 and whatever was begun beyond it were dropped, and everything from 40 on was done alone.
        ASSERT_FALSE(trace.abandoned.empty());
        EXPECT_EQ(*std::min_element(trace.abandoned.begin(), trace.abandoned.end()), 40u);
        for (size_t i = 40; i < 100; ++i) EXPECT_NE(trace.aloneWork[i], 0) << i;
    }
    // Alone it fails again: the run ends there, as on one thread.
    Trace trace;
    EXPECT_FALSE(runTraced(trace, 100, 4, 8, [](size_t i, bool alone) {
        return i != 40 ? Finish::Next : alone ? Finish::Stop : Finish::Again;
    }));
    EXPECT_EQ(trace.finished, upTo(41));
}

TEST(OrderedWork, AFreeThreadBeginsTheCostliestItemOfTheWindow) {
    Trace trace;
    ASSERT_TRUE(runTraced(trace, 30, 2, 16, nullptr, [](size_t i) { return i == 12 ? 1000 : 1; }));
    // Two threads begin at once: one of them takes item 12, the other item 0.
    const auto first = std::find(trace.begun.begin(), trace.begun.end(), 12u);
    EXPECT_LT(first - trace.begun.begin(), 2);
    EXPECT_EQ(trace.finished, upTo(30));
}

TEST(OrderedWork, TheRecordWindowGrowsWithTheThreadsButStaysBounded) {
    EXPECT_GE(recordWindow(2), 8u);
    EXPECT_LT(recordWindow(4), recordWindow(8));
    EXPECT_LE(recordWindow(64), 64u + 64u);
    // However many threads a caller asks for, the files held open by waiting records stay bounded.
    EXPECT_EQ(recordWindow(100000), recordWindow(1000));
    EXPECT_LE(recordWindow(1000), 256u);
    EXPECT_GE(recordWindow(0), 1u);
}

// The budget's threads and the blocks they hold: what is free is taken without waiting, and a block given
// back is the next one taken, so no more blocks are made than are held at once.
TEST(ThreadBudget, LendsWhatIsFreeAndKeepsTheBlocksGivenBack) {
    ThreadBudget budget(3, 64);
    budget.takeOne();
    EXPECT_EQ(budget.takeFree(5), 2u);
    EXPECT_EQ(budget.takeFree(1), 0u);
    budget.give(2);
    EXPECT_EQ(budget.takeFree(1), 1u);
    budget.give(1);
    uint8_t* first = budget.takeBlock();
    uint8_t* second = budget.takeBlock();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    first[63] = 1;  // a block is blockSize bytes
    budget.giveBlock(first);
    EXPECT_EQ(budget.takeBlock(), first);
    budget.giveBlock(second);
    budget.giveBlock(first);
    const uint8_t* again[2] = {budget.takeBlock(), budget.takeBlock()};
    EXPECT_TRUE((again[0] == first && again[1] == second) || (again[0] == second && again[1] == first));
}

}  // namespace
}  // namespace bxa::platform
