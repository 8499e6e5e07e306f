// Threads for work that may use Qt's image readers.
#include "base/workthread.h"

#if defined(_WIN32)
#include <condition_variable>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#endif

namespace base {

#if defined(_WIN32)
namespace {

// Threads that never end: each job gets a thread of its own (an idle one,
// or a new one), so jobs that wait for each other never wait for a thread.
class ThreadsThatStay {
public:
    void Run(std::function<void()> job)
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
        if (idle_ > 0) {
            --idle_;
            wake_.notify_one();
            return;
        }
        try {
            std::thread([this] { Serve(); }).detach();
        } catch (...) {
            jobs_.pop_back();
            throw;  // std::system_error, as std::thread gives it
        }
    }

private:
    void Serve()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return !jobs_.empty(); });
            std::function<void()> job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            job();
            job = nullptr;
            lock.lock();
            ++idle_;
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    int idle_ = 0;
};

}  // namespace
#endif

std::thread StartWorkThread(std::function<void()> work)
{
#if defined(_WIN32)
    // The one process-wide set of such threads, never destroyed: its threads
    // outlive every run and end only with the process, which ends them
    // without their thread-exit code.
    static ThreadsThatStay* const threads = new ThreadsThatStay;
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    threads->Run([work = std::move(work), done]() mutable {
        work();
        done->set_value();
    });
    return std::thread([finished = std::move(finished)] { finished.wait(); });
#else
    return std::thread(std::move(work));
#endif
}

}  // namespace base
