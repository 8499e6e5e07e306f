// Threads for work that may use Qt's image readers.
#include "base/workthread.h"

#if defined(_WIN32)
#include <QThread>
#include <memory>
#endif

namespace base {

std::thread StartWorkThread(std::function<void()> work)
{
#if defined(_WIN32)
    return std::thread([work = std::move(work)]() mutable {
        const std::unique_ptr<QThread> thread(QThread::create(work));
        // As much stack as a thread MinGW starts: decoders keep large frames there.
        thread->setStackSize(8u << 20);
        thread->start();
        if (!thread->isRunning() && !thread->isFinished()) {
            work();  // no QThread to be had: here, rather than not at all
            return;
        }
        thread->wait();
    });
#else
    return std::thread(std::move(work));
#endif
}

}  // namespace base
