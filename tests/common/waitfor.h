// Waits for another thread to reach a point the test set up. It spins with a
// yield rather than sleeping, so a wait costs no more than the other side takes.
#pragma once

#include <atomic>
#include <thread>

template <class Until>
void WaitFor(const Until& until)
{
    while (!until())
        std::this_thread::yield();
}

inline void WaitFor(const std::atomic<bool>& flag)
{
    WaitFor([&flag] { return flag.load(); });
}
