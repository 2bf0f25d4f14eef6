// Helper threads: the threads a stage starts beside the calling one, joined on every path.
//
// A stage makes room for the most helpers it may want, then starts them one by one. A thread
// the system cannot give, or no room for it, is no failure: start says so, and the stage does
// that share of the work on the threads it has (slower, not wrong). Room is taken before the
// first start, so that starting a thread never grows the list: a growth that failed would
// destroy threads still running. Every thread is joined by join or, at the latest, when the
// helpers go out of scope.
#pragma once

#include <cstddef>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "common/allocation.h"

class HelperThreads {
   public:
    HelperThreads() = default;
    HelperThreads(const HelperThreads&) = delete;
    HelperThreads& operator=(const HelperThreads&) = delete;
    ~HelperThreads() {
        join();
    }

    // Makes room for count threads in all; none when the memory is not there.
    void make_room(int count) {
        if (count > 0)
            (void)allocates_or_fails([&] { threads_.reserve(static_cast<std::size_t>(count)); });
    }

    // Starts a thread that runs work(). Gives false, starting nothing, when there is no room
    // left or the system gives no more threads.
    template <class Work>
    bool start(Work&& work) {
        if (threads_.size() == threads_.capacity()) return false;
        try {
            threads_.emplace_back(std::forward<Work>(work));
        } catch (const std::system_error&) {
            return false;
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }

    // The threads started and not yet joined.
    int count() const {
        return static_cast<int>(threads_.size());
    }

    // Waits for every thread started; the room stays for more.
    void join() {
        for (std::jthread& thread : threads_)
            thread.join();
        threads_.clear();
    }

   private:
    std::vector<std::jthread> threads_;
};
