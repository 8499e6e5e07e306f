// A picture loader for runs stopped on purpose: the file whose path ends in
// Held is never done (its load waits for the stop flag, as a decoder reads
// it); every other file loads as the run loads it.
#pragma once

#include <QString>
#include <atomic>

#include "pictures/picture.h"
#include "waitfor.h"

inline auto HoldUntilStopped(const QString& held, std::atomic<bool>& inWork)
{
    return [held, &inWork](const QString& path, double ratio, const std::atomic<bool>* stop) {
        if (!path.endsWith(held))
            return pictures::LoadReducedPicture(path, ratio, stop);
        inWork = true;
        WaitFor(*stop);
        pictures::ReducedPicture stopped;
        stopped.Stopped = true;
        return stopped;
    };
}
