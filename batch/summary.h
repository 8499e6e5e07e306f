// What a run did, in one line: the number of pictures written, their total
// size before and after, and the time taken. The window's completion box and
// zembrik-batch both end with it. Also how far a run is, as its progress
// window tells it.
#pragma once

#include <QSet>
#include <QString>
#include <QtGlobal>
#include <optional>

namespace batch {

struct ItemOutcome;

class RunSummary {
public:
    // Counts an item that was written; skipped and failed items add nothing.
    // The outputs of one picture at several sizes count it and its bytes once.
    void Add(const ItemOutcome& outcome);
    // Counts a picture that failed and was passed over.
    void AddFailed() { ++failed_; }
    // Counts pictures left as they were, their outputs being up to date.
    void AddUpToDate(int count) { upToDate_ += count; }

    // "16 個の画像：32.4 MB → 1.6 MB（0.9 秒）", followed by "（4990 個は最新）"
    // when outputs were up to date and "（1 個は失敗）" when pictures failed.
    QString Text(qint64 elapsedMs) const;

private:
    int images_ = 0;
    QSet<int> written_;  // the plan indices of the pictures counted
    int failed_ = 0;
    int upToDate_ = 0;
    qint64 before_ = 0;
    qint64 after_ = 0;
};

// A size as file managers write it: decimal units, one decimal ("1.6 MB").
QString SizeText(qint64 bytes);

// A duration to a tenth of a second, minutes from one minute on.
QString DurationText(qint64 ms);

// How far a run is.
struct RunProgress {
    int Done = 0;       // items done: written, or passed over (a failed picture once skipped), or up to date
    int Total = 0;      // items planned, the pictures up to date included
    int UpToDate = 0;   // pictures left as they were, their outputs being up to date
    // The file name of the picture written last; while a failure's box waits
    // for the user, of the picture it is about.
    QString LastFile;
    bool Waiting = false;  // for the answer to a failure's box; no time passes
    qint64 ElapsedMs = 0;  // the run's time, without the boxes' time
    std::optional<qint64> LeftMs;  // estimated time left, once there is a fair guess
};

// The time left, from the source pixels done by lastDoneMs (when the last
// item was dealt with) out of the pixels of the whole run, at nowMs. None
// before 2 s have passed or before any pixel is done: a guess from the first
// small picture would be wild. Pixels rather than files, so that one huge
// photo among small ones does not throw the guess.
std::optional<qint64> TimeLeftMs(qint64 nowMs, qint64 lastDoneMs, qint64 pixelsDone, qint64 pixelsTotal);

// A running clock in whole seconds: "7 秒", "1 分 7 秒", "1 時間 2 分".
QString ClockText(qint64 ms);

// A guess, rounded up to what it is worth: "約 5 秒" (in steps of 5 s), "約 3 分", "約 1 時間 10 分".
QString GuessText(qint64 ms);

}  // namespace batch
