// Reads of many documents on every core, with their results, progress and
// cancel in list order as if read one after another.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "engine/change.h"

namespace qv::engine {

// One worker per core, at least one.
inline std::size_t CoreCount() {
    unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n;
}

struct ParallelOptions {
    std::size_t workers = 0;  // 0: one per core
    // Items that must not run beside an earlier one (true at their index):
    // they run on the calling thread at their turn, after every earlier item.
    std::vector<bool> afterEarlier;
};

// Which paths name a file listed before them (the same name, a link, another
// hard link). Two reads of one file at once would each see the times the
// other moved and put back the wrong ones, so those wait their turn.
inline std::vector<bool> LaterNamesOfEarlierFiles(const std::vector<std::string>& paths) {
    std::vector<bool> later(paths.size(), false);
    if (paths.size() < 2 || CoreCount() < 2)
        return later;
    const std::vector<std::size_t> first = FirstOfEachFile(paths);
    for (std::size_t i = 0; i < paths.size(); ++i)
        later[i] = first[i] != i;
    return later;
}

// Runs work(i) for every i below count on a pool of workers (the calling
// thread one of them) and hands each result to deliver(i, result) on the
// calling thread, in index order.
// before(i) is asked on the calling thread, in order, before i's result is
// awaited; false ends the run there: no item is begun after that, those
// under way are finished and dropped, and the function returns false.
// Workers run at most a few items ahead of the one delivered, so a late
// cancel wastes little. A single item, or a single worker, runs on the
// calling thread. An exception from work(i) is thrown from here when i's
// turn comes, after the workers have stopped.
//
// work must be safe to call on several threads at once; before and deliver
// are only ever called on the calling thread.
template <typename Work, typename Before, typename Deliver>
bool ForEachOrdered(std::size_t count, Work&& work, Before&& before, Deliver&& deliver,
                    const ParallelOptions& options = {}) {
    using R = std::decay_t<std::invoke_result_t<Work&, std::size_t>>;
    std::size_t workers = options.workers == 0 ? CoreCount() : options.workers;
    workers = std::min(workers, count);
    if (workers <= 1) {
        for (std::size_t i = 0; i < count; ++i) {
            if (!before(i))
                return false;
            deliver(i, work(i));
        }
        return true;
    }

    auto runsHere = [&](std::size_t i) { return i < options.afterEarlier.size() && options.afterEarlier[i]; };
    struct Slot {
        std::optional<R> result;
        std::exception_ptr error;
        bool done = false;
    };
    struct Shared {
        std::mutex mutex;
        std::condition_variable workAvailable;  // for the workers
        std::condition_variable itemDone;       // for the calling thread
        std::vector<Slot> slots;
        std::size_t next = 0;       // the next item a worker takes
        std::size_t delivered = 0;  // items handed over so far
        bool stop = false;
    } shared;
    shared.slots.resize(count);
    const std::size_t ahead = workers * 4;

    // Takes the next item under the lock, runs it without, and files its
    // result under the lock again.
    auto runOne = [&](std::unique_lock<std::mutex>& lock) {
        const std::size_t i = shared.next++;
        lock.unlock();
        std::optional<R> result;
        std::exception_ptr error;
        if (!runsHere(i)) {
            try {
                result.emplace(work(i));
            } catch (...) {
                error = std::current_exception();
            }
        }
        lock.lock();
        Slot& slot = shared.slots[i];
        slot.result = std::move(result);
        slot.error = error;
        slot.done = true;
        return i;
    };
    auto mayTake = [&] { return !shared.stop && shared.next < count && shared.next < shared.delivered + ahead; };
    auto loop = [&] {
        std::unique_lock<std::mutex> lock(shared.mutex);
        for (;;) {
            shared.workAvailable.wait(lock, [&] { return shared.stop || shared.next >= count || mayTake(); });
            if (!mayTake())
                return;
            // Only the calling thread waits for results, and only for one.
            if (runOne(lock) == shared.delivered)
                shared.itemDone.notify_one();
        }
    };

    // Stops and joins the workers however the calling thread leaves.
    struct Pool {
        Shared& shared;
        std::vector<std::thread> threads;
        void stop() {
            {
                std::lock_guard<std::mutex> lock(shared.mutex);
                shared.stop = true;
            }
            shared.workAvailable.notify_all();
            for (std::thread& t : threads)
                t.join();
            threads.clear();
        }
        ~Pool() { stop(); }
    } pool{shared, {}};
    // A run cancelled before its first item reads nothing at all.
    if (!before(0))
        return false;
    pool.threads.reserve(workers - 1);
    for (std::size_t w = 1; w < workers; ++w)
        pool.threads.emplace_back(loop);

    for (std::size_t i = 0; i < count; ++i) {
        Slot taken;
        {
            std::unique_lock<std::mutex> lock(shared.mutex);
            // Asked under the lock: once it says stop, no worker takes
            // another item, not even in the moment before the flag is set.
            if (i > 0 && !before(i)) {
                shared.stop = true;
                lock.unlock();
                pool.stop();
                return false;
            }
            // Rather than sleep until its next result is in, the calling
            // thread works on the next item itself: fewer threads put to
            // sleep and woken, and one worker fewer to start.
            while (!shared.slots[i].done) {
                if (mayTake())
                    runOne(lock);
                else
                    shared.itemDone.wait(lock);
            }
            taken = std::move(shared.slots[i]);
            shared.slots[i] = Slot{};
            shared.delivered = i + 1;
        }
        shared.workAvailable.notify_all();
        if (taken.error) {
            pool.stop();
            std::rethrow_exception(taken.error);
        }
        if (runsHere(i))
            taken.result.emplace(work(i));
        deliver(i, std::move(*taken.result));
    }
    return true;
}

}  // namespace qv::engine
