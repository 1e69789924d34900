#include "platform/ordered_work.hpp"

#include <algorithm>
#include <new>
#include <thread>
#include <vector>

#include "platform/cpu_quota.hpp"

#if defined(__linux__)
#include <sched.h>
#endif

namespace bxa::platform {

unsigned machineThreads() {
    unsigned processors = 0;
#if defined(__linux__)
    // The processors this process may run on (taskset, a container's set), not all of the machine's.
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0) processors = static_cast<unsigned>(CPU_COUNT(&allowed));
#endif
    if (processors == 0) processors = std::max(1u, std::thread::hardware_concurrency());
    // A container may instead be given a share of the processors' time. Its files are read once, not
    // for every stream an embedder codes (a few dozen microseconds, as much as coding a small record).
    static const unsigned quota = quotaProcessors();
    return quota != 0 ? std::min(processors, quota) : processors;
}

namespace {

// Works on and finishes the items from `from` on, one after the other on the calling thread.
bool runAlone(size_t from, size_t count, const OrderedSteps& steps) {
    for (size_t i = from; i < count; ++i) {
        steps.work(i, true);
        if (steps.finish(i, true) != Finish::Next) return false;
    }
    return true;
}

}  // namespace

bool runInOrder(size_t count, unsigned threads, size_t window, const OrderedSteps& steps) {
    if (threads <= 1 || count <= 1) return runAlone(0, count, steps);
    window = std::max<size_t>(window, 1);
    std::vector<uint64_t> costs(steps.cost ? count : 0);
    for (size_t i = 0; i < costs.size(); ++i) costs[i] = steps.cost(i);
    std::mutex mutex;
    // Each side is woken only by what it waits for: the calling thread by the end of the item it is to
    // finish next, the workers by room in the window or the end of the run. A wake-up for nothing costs
    // a switch of processor, which on a machine with few cores takes it from a worker.
    std::condition_variable itemDone;
    std::condition_variable roomMade;
    size_t awaited = 0;  // the item the calling thread finishes next
    std::vector<bool> begun(count, false);
    std::vector<bool> done(count, false);
    size_t first = 0;     // the first item not begun
    size_t finished = 0;  // items finished so far
    bool stop = false;

    // The item to begin next, under the lock: the costliest not begun in the window.
    auto pick = [&] {
        const size_t end = std::min(count, finished + window);
        size_t chosen = first;
        for (size_t i = first + 1; i < end && !costs.empty(); ++i) {
            if (!begun[i] && costs[i] > costs[chosen]) chosen = i;
        }
        begun[chosen] = true;
        while (first < count && begun[first]) ++first;
        return chosen;
    };
    auto worker = [&] {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            roomMade.wait(lock, [&] { return stop || first == count || first < finished + window; });
            if (stop || first == count) return;
            const size_t item = pick();
            lock.unlock();
            steps.work(item, false);
            lock.lock();
            done[item] = true;
            if (item == awaited) itemDone.notify_one();
        }
    };
    // More workers than items in the window would only wait. A thread the system refuses is done without.
    std::vector<std::thread> pool;
    const size_t workers = std::min({static_cast<size_t>(threads), count, window});
    pool.reserve(workers);
    for (size_t t = 0; t < workers; ++t) {
        try {
            pool.emplace_back(worker);
        } catch (...) {  // std::system_error, or no memory for the thread's state
            break;
        }
    }
    if (pool.empty()) return runAlone(0, count, steps);
    auto endPool = [&] {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stop = true;
        }
        roomMade.notify_all();
        for (std::thread& thread : pool) thread.join();
    };

    for (size_t i = 0; i < count; ++i) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            awaited = i;
            itemDone.wait(lock, [&] { return done[i]; });
        }
        const Finish outcome = steps.finish(i, false);
        if (outcome == Finish::Stop) {
            endPool();
            return false;
        }
        if (outcome == Finish::Again) {
            endPool();
            for (size_t j = i; j < count; ++j) {
                if (begun[j]) steps.abandon(j);
            }
            return runAlone(i, count, steps);
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            finished = i + 1;
        }
        roomMade.notify_one();
    }
    endPool();
    return true;
}

size_t recordWindow(unsigned threads) {
    constexpr size_t PerThread = 16;
    constexpr size_t MostAhead = 64;
    // A waiting record holds a few files open (its source or output, a directory, a part file).
    constexpr size_t MostWaiting = 192;
    const size_t count = std::max(1u, threads);
    return std::min({PerThread * count, count + MostAhead, MostWaiting});
}

void ThreadBudget::takeOne() {
    std::unique_lock<std::mutex> lock(mutex_);
    freed_.wait(lock, [&] { return free_ > 0; });
    --free_;
}

unsigned ThreadBudget::takeFree(unsigned wanted) {
    std::lock_guard<std::mutex> lock(mutex_);
    const unsigned taken = std::min(wanted, free_);
    free_ -= taken;
    return taken;
}

void ThreadBudget::give(unsigned count) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        free_ += count;
    }
    freed_.notify_all();
}

uint8_t* ThreadBudget::takeBlock() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!freeBlocks_.empty()) {
        uint8_t* block = freeBlocks_.back();
        freeBlocks_.pop_back();
        return block;
    }
    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[blockSize_]);
    if (!block) return nullptr;
    blocks_.push_back(std::move(block));
    return blocks_.back().get();
}

void ThreadBudget::giveBlock(uint8_t* block) {
    std::lock_guard<std::mutex> lock(mutex_);
    freeBlocks_.push_back(block);
}

}  // namespace bxa::platform
