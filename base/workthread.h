// A thread for work that may run Qt's image readers (the run's workers, the
// measuring of sizes, the viewers' loading).
#pragma once

#include <functional>
#include <thread>

namespace base {

// Starts work on a thread of its own; the caller joins the std::thread
// returned as any other. On Windows the work runs on a thread that never
// ends, which the std::thread returned waits for: there (MinGW's build of
// Qt 6.4) a thread on which Qt's image readers have run crashes as it ends,
// a QThread too. Throws std::system_error as std::thread does when no
// thread can be had.
std::thread StartWorkThread(std::function<void()> work);

}  // namespace base
