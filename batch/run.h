// The window's batch run: the pictures of a request shrunk by its ratio (or to
// its size box) and written as JPEG files into its output folder by a ShrinkEngine on worker
// threads, with the progress window, while the window's event loop runs on.
// The run reaches no window but the one its progress window belongs to, and
// tells the rest through its signals.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "batch/engine.h"
#include "batch/request.h"
#include "batch/summary.h"

class QWidget;
class MessageBoxes;
class ProgressWindow;

namespace batch {

// How a run ended.
struct RunResult {
    int Written = 0;
    int Failed = 0;        // pictures that failed, passed over or not
    bool Stopped = false;  // ended before every picture was tried
    // The pictures not written, in list order, after a run that did not
    // finish (stopped, or pictures failed); empty after a complete run. Names
    // two pictures shared are left out: the one the run kept stands for them.
    QStringList Unwritten;

    bool Complete() const { return !Stopped && Failed == 0; }
};

class BatchRun : public QObject {
    Q_OBJECT

public:
    // The progress window opens centred over window; its questions and
    // messages are shown through messages. Reducer loads and reduces
    // a picture, on worker threads (empty: pictures::LoadReducedPicture).
    // Metadata is exiv2, set up, for the runs that keep the metadata; it
    // must outlive the run.
    BatchRun(QWidget* window, MessageBoxes& messages, PictureReducer reducer = {},
             const output::MetadataLibrary* metadata = nullptr, QObject* parent = nullptr);
    // A run still going on ends as stop() ends it, without a signal.
    ~BatchRun() override;
    BatchRun(const BatchRun&) = delete;
    BatchRun& operator=(const BatchRun&) = delete;

    // Collects the pictures (a tree walked, the outputs up to date left out,
    // as the request says), checks the plan (originals replaced, names
    // shared: asked first), makes a tree's output folders and starts the
    // work. False when the user declined, the request is empty, an output
    // folder cannot be made (said in a box) or a run is going on already.
    bool start(const RunRequest& request);
    // Ends the run now, without a word: the workers stop at their next row of
    // blocks, the files already in place stay (a prefix of the plan), no
    // temporary is left; finished() tells what was written. For the window's
    // closing. The user's 中止 does the same, then says so.
    void stop();
    bool isRunning() const { return phase_ != Phase::Idle; }
    // Brings the progress window to the front (F5 during a run).
    void raiseProgressWindow();

signals:
    void progress(const batch::RunProgress& state);
    // The run starts working (true), or stops to wait for the user or at
    // its end (false): the window shows a busy pointer while it works. False
    // whenever one of the run's message boxes is up.
    void busyChanged(bool busy);
    // Once per started run, after the progress window has closed and before
    // the message that ends the run.
    void finished(const batch::RunResult& result);

private:
    // What the run does: nothing (no run yet, or it has ended), work, or
    // wait for the answer to a failed picture's box, the work held back and
    // the clock standing still meanwhile.
    enum class Phase { Idle, Working, AwaitingAnswer };

    // Why the run ended, when it ended before its last picture: 中止 (in
    // the progress window, or as the answer to a failure), a failure no
    // later picture could get past, the window closing.
    enum class End { NotYet, AskedToStop, AtFailure, Quietly };

    Q_INVOKABLE void OnWake();
    // A picture that failed: its box opens, and the run waits for the answer.
    void OnFailure(const ItemOutcome& outcome);
    // The answer: the failed picture passed over (skip) or the run ended.
    void OnAnswer(bool skip, bool endsRun);
    void OnStopAsked();
    void Tick();
    RunProgress Progress() const;
    qint64 WorkMs() const;
    void MeasureSources();
    void TakeMeasurement();  // the sources' pixels, once the measuring thread has them
    void TearDown();
    void Finish();
    void SetBusy(bool busy);

    QPointer<QWidget> window_;
    MessageBoxes& messages_;
    PictureReducer reducer_;
    const output::MetadataLibrary* metadata_;

    std::unique_ptr<ShrinkEngine> engine_;
    QPointer<ProgressWindow> progressWindow_;
    std::vector<PlanItem> items_;
    std::vector<bool> written_;
    // The sizes each item is written at; an item is reported with its last.
    int sizeCount_ = 1;
    std::optional<ItemOutcome> sizeFailure_;  // the item's first failed size so far
    int reported_ = 0;  // items the engine has reported
    int picturesLeft_ = 0;  // items to write not yet reported
    int done_ = 0;      // of them, those the window counts as done (a failure once skipped)
    int writtenCount_ = 0;
    int failed_ = 0;
    int upToDate_ = 0;  // pictures left out, their outputs being up to date
    QString lastFile_;
    RunSummary summary_;
    Phase phase_ = Phase::Idle;
    End end_ = End::NotYet;
    bool busy_ = false;

    // The failure's box while it is open, and the picture it is about.
    QPointer<QWidget> question_;
    QString askedFile_;

    QElapsedTimer clock_;
    QTimer ticker_;
    QElapsedTimer askingClock_;  // since the open box opened
    qint64 askedMs_ = 0;     // time the failures' boxes were open, before it
    qint64 lastDoneMs_ = 0;  // work time (WorkMs) when an item was last reported
    // Pixels of the sources, up to and including each item, once measured.
    std::vector<qint64> pixelsUpTo_;
    std::thread measurer_;
    std::atomic<bool> stopMeasuring_{false};
    std::mutex measuredLock_;
    std::optional<std::vector<qint64>> measured_;  // written by the measuring thread
};

}  // namespace batch
