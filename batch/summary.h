// What a run did, in one line: the number of pictures written, their total
// size before and after, and the time taken. The window's completion box and
// zembrik-batch both end with it.
#pragma once

#include <QString>
#include <QtGlobal>

namespace basBatch {

struct ItemOutcome;

class RunSummary {
public:
    // Counts an item that was written; skipped and failed items add nothing.
    void Add(const ItemOutcome& outcome);

    // "16 個の画像：32.4 MB → 1.6 MB（0.9 秒）"
    QString Text(qint64 elapsedMs) const;

private:
    int images_ = 0;
    qint64 before_ = 0;
    qint64 after_ = 0;
};

// A size as file managers write it: decimal units, one decimal ("1.6 MB").
QString SizeText(qint64 bytes);

// A duration to a tenth of a second, minutes from one minute on.
QString DurationText(qint64 ms);

}  // namespace basBatch
