// Work on numbered items on several threads, finished in order on the calling thread: what lets records
// be encoded and decoded side by side while everything a user sees (messages, files put in place, the
// archive's bytes) comes in record order, exactly as with one thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>

namespace bxa::platform {

// The number of threads the machine runs at once for this process (at least 1): on Linux the processors
// it may run on, so that `taskset` or a container's limit is respected.
unsigned machineThreads();

// Runs work(i) for i = 0 .. count - 1 on up to `threads` threads, and finish(i) on the calling thread, in
// order of i, each as soon as work(i) has returned. At most `window` items are begun beyond the one
// being finished, so the results waiting to be finished stay bounded. A free thread begins the item of
// the window with the largest cost(i) (the first of equal ones; without `cost`, the first), so that a
// large item starts while small ones can still run beside it. When finish(i) returns false, no further
// item is begun; items already begun run to their end but are not finished. With one thread (or one
// item) everything runs on the calling thread: work(0), finish(0), work(1), ...
// work(i) must not throw; it may run concurrently with finish(j < i) and with other work. The order in
// which items are begun depends on timing; the order of the finishes never does.
// Returns false when a finish returned false.
bool runInOrder(size_t count, unsigned threads, size_t window, const std::function<void(size_t)>& work,
                const std::function<bool(size_t)>& finish,
                const std::function<uint64_t(size_t)>& cost = nullptr);

// How many items a run over records on `threads` threads may begin beyond the one being finished: enough
// that the other threads keep working through a run of small records while one works on a large one, and
// few enough that the files the waiting items hold open stay far below a process's limit.
size_t recordWindow(unsigned threads);

// A share of the run's threads: the threads working on items each hold one, and an item that can use
// more (one large stream) takes what is free without waiting, so the run never uses more threads than
// it was given.
class ThreadBudget {
public:
    explicit ThreadBudget(unsigned threads) : free_(threads) {}
    ThreadBudget(const ThreadBudget&) = delete;
    ThreadBudget& operator=(const ThreadBudget&) = delete;

    // Waits for one thread and takes it.
    void takeOne();
    // Takes up to `wanted` threads that are free now; returns how many were taken.
    unsigned takeFree(unsigned wanted);
    void give(unsigned count);

private:
    std::mutex mutex_;
    std::condition_variable freed_;
    unsigned free_;
};

}  // namespace bxa::platform
