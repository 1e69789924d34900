// Work on numbered items on several threads, finished in order on the calling thread: what lets records
// be encoded and decoded side by side while everything a user sees (messages, files put in place, the
// archive's bytes) comes in record order, exactly as with one thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace bxa::platform {

// The number of threads the machine runs at once for this process (at least 1): on Linux the processors
// it may run on, and no more than its control group's CPU quota grants (read once per process), so that
// `taskset` or a container's limit is respected.
unsigned machineThreads();

// What finishing an item tells the run.
enum class Finish {
    Next,   // the item is finished: go on
    Stop,   // the item failed, and said so: begin nothing more
    Again,  // the item failed while other items were worked on beside it, which may be why (they take disk
            // space too): nothing was said, and the item is to be worked on again alone
};

// The steps of a run over numbered items. `alone` is true when no other item is worked on at the same
// time, as in a run on one thread.
struct OrderedSteps {
    std::function<void(size_t item, bool alone)> work;
    // Returns Again only when `alone` is false.
    std::function<Finish(size_t item, bool alone)> finish;
    // Drops what work(item) left (it will run again): for the items begun beyond one that runs again.
    std::function<void(size_t item)> abandon;
    // Optional: how much work an item takes, in any unit.
    std::function<uint64_t(size_t item)> cost;
};

// Runs work(i) for i = 0 .. count - 1 on up to `threads` threads, and finish(i) on the calling thread, in
// order of i, each as soon as work(i) has returned. At most `window` items are begun beyond the one being
// finished, so the results waiting to be finished stay bounded: a caller may keep the state of the items in
// flight in window + 1 slots, item i in slot i % (window + 1), whatever `count` is. A free thread begins the
// item of the window with the largest cost (the first of equal ones; without `cost`, the first), so that a
// large item starts while small ones can still run beside it. When a finish returns Stop, no further item is
// begun; items already begun run to their end but are not finished. When it returns Again, no further item is
// begun either; once the items begun have run to their end, it and those begun beyond it are abandoned, and
// the run goes on from it on the calling thread alone: work(i, true), finish(i, true), work(i + 1, true), ...
// So a failure that only the other items' share of a resource caused (a disk filling up) ends the run as it
// would end on one thread. With one thread (or one item) everything runs that way from the start, and so does
// a run for which the system refuses every thread. work must not throw; it may run concurrently with finish
// of earlier items and with other work. The order in which items are begun depends on timing; the order of
// the finishes never does.
// Returns false when a finish returned Stop.
bool runInOrder(size_t count, unsigned threads, size_t window, const OrderedSteps& steps);

// How many items a run over records on `threads` threads may begin beyond the one being finished: enough
// that the other threads keep working through a run of small records while one works on a large one, and
// few enough that the files the waiting items hold open stay far below a process's limit.
size_t recordWindow(unsigned threads);

// A share of the run's threads: the threads working on items each hold one, and an item that can use
// more (one large stream) takes what is free without waiting, so the run never uses more threads than
// it was given. Each thread held may also hold one block of `blockSize` bytes (the work area of what it
// does for a large stream); blocks given back are kept for the next taker, so the run allocates no more
// of them than it holds threads.
class ThreadBudget {
public:
    explicit ThreadBudget(unsigned threads, size_t blockSize = 0) : free_(threads), blockSize_(blockSize) {
        blocks_.reserve(threads);
        freeBlocks_.reserve(threads);
    }
    ThreadBudget(const ThreadBudget&) = delete;
    ThreadBudget& operator=(const ThreadBudget&) = delete;

    // Waits for one thread and takes it.
    void takeOne();
    // Takes up to `wanted` threads that are free now; returns how many were taken.
    unsigned takeFree(unsigned wanted);
    void give(unsigned count);

    // A block for a thread the caller holds: one given back earlier, else a new one; null when there is
    // no memory for it.
    uint8_t* takeBlock();
    void giveBlock(uint8_t* block);

private:
    std::mutex mutex_;
    std::condition_variable freed_;
    unsigned free_;
    size_t blockSize_;
    std::vector<std::unique_ptr<uint8_t[]>> blocks_;  // every block allocated
    std::vector<uint8_t*> freeBlocks_;
};

}  // namespace bxa::platform
