// The shrink engine behind the window's run and zembrik-batch: the images of a
// plan are loaded, reduced and encoded into temporary files on worker threads,
// and the thread that owns the run puts the finished files in place (renames
// them) strictly in one order, so what is on disk after any stop is a prefix
// of it, as a run on one thread would leave it. That order is the plan's,
// except that an item whose source another item's output replaces comes just
// before that item: every picture is read as it was before the run. The bytes
// written do not depend on the number of threads. Before a worker decodes a
// picture it reserves the memory the picture's header says it will need from
// the run's budget, waiting while the pictures in work hold too much;
// reservations are granted in the order the pictures are taken (that order,
// but among the run's last 16 the markedly larger files first, so that none
// is left to the end), and a picture larger than the whole budget runs alone. Each file's data is on disk before it is put in place, and the
// folders written to are synced once the run is over.
#pragma once

#include <QSize>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "batch/samefile.h"
#include "jpeg/jpeg.h"
#include "output/outputsettings.h"
#include "pictures/picture.h"

namespace output {
class MetadataLibrary;
}

namespace batch {

struct PlanItem {
    PlanItem() = default;
    PlanItem(QString source, QString output, bool skip = false)
        : Source(std::move(source)), Output(std::move(output)), Skip(skip)
    {
    }

    QString Source;      // the picture to read
    QString Output;      // the JPEG file to write
    bool Skip = false;   // neither read nor written, but counted as done
    // With several sizes (the settings' MoreBoxes), the file of each size
    // after the first, in their order.
    std::vector<QString> MoreOutputs;
};

struct Plan {
    std::vector<PlanItem> Items;  // in list order
    double Ratio = 1.0;           // 0.5 halves width and height
    // The size box (in place of the ratio), the quality, and what is kept of
    // the source; the suffix is in the items' outputs already.
    output::Settings Output;
    // How the output folder compares names (the check before writing tells),
    // for the order in which files are read and replaced.
    NameCase Names = NameCase::Sensitive;
};

// The output of a source: OutputFolder, the separator, the base name, the
// suffix, ".jpg".
QString OutputPathFor(const QString& outputFolder, const QString& fileName, const QString& suffix = {});

// What became of one item's output; reported in the order the files are put
// in place, an item's sizes one after another in their order.
struct ItemOutcome {
    int Index = -1;  // in the plan
    QString Source;
    QString Output;
    int Size = 0;  // which of the run's sizes (output::AllBoxes), 0 with one size
    bool Skipped = false;
    QSize SourceSize;  // the upright picture's size (empty when it did not load)
    QSize TargetSize;  // the size written
    qint64 SourceBytes = 0;  // the source file's size when it was read
    qint64 OutputBytes = 0;  // the file put in place
    // The picture could not be loaded or reduced, or what the plan keeps of
    // the source (its metadata, its date) could not be read or written;
    // nothing was written.
    std::optional<pictures::PictureError> LoadError;
    // Encoding, writing or putting the file in place.
    jpeg::JpegResult SaveResult = jpeg::JpegResult::Ok;
    // Of the metadata the plan keeps, what was too large for the JPEG.
    QStringList MetadataLeftOut;
    // No later item can be written either (the output folder is gone or
    // cannot be written, no worker thread could start): the run ends here
    // whatever the policy.
    bool EndsRun = false;

    bool Ok() const { return !LoadError && SaveResult == jpeg::JpegResult::Ok; }
};

enum class FailurePolicy {
    StopAtFirstFailure,  // the first failure ends the run
    GoOn,                // zembrik-batch: every item is tried
    // The window: a failure holds back every item after it (they are worked
    // on, not put in place) until Resume() skips it or Stop() ends the run.
    PauseAtFailure,
};

// Loads a picture reduced by a ratio (pictures::LoadReducedPicture's
// contract); given the plan's ratio even when its size box is in force.
using PictureReducer =
    std::function<pictures::ReducedPicture(const QString& path, double ratio, const std::atomic<bool>* stop)>;

enum class WorkStep { MemoryReserved, RowEncoded, ItemFinished };

struct EngineOptions {
    int Threads = 0;  // workers; 0 or less: one per core
    FailurePolicy Policy = FailurePolicy::StopAtFirstFailure;
    // Held whole, then encoded; for tests, in a run of one size. Empty: each
    // picture is shrunk straight into its file (pictures::ShrinkPicture, or
    // with several sizes pictures::ShrinkPictureToSizes).
    PictureReducer Reducer;
    // exiv2, set up; needed when the plan keeps the metadata (without it
    // each item fails as an unexpected error). Not owned.
    const output::MetadataLibrary* Metadata = nullptr;
    // The memory the pictures in work may hold at once, in bytes; 0 or less:
    // DefaultMemoryBudget().
    qint64 MemoryBudget = 0;
    // Called on a worker once an item's memory is reserved, after each row
    // of 16-pixel blocks it encodes and once an item's file is finished
    // (before the owner can see it). For tests.
    std::function<void(int index, WorkStep step)> Observer;
    // Every picture's bands coded on a thread of its own while the worker
    // decodes the next, not only a large picture's while a core is spare.
    // For tests.
    bool CodeBandsAside = false;
    // Starts a thread running Work, or throws std::system_error when the
    // system gives no more threads (as std::thread does). Empty: std::thread.
    // For tests.
    std::function<std::thread(std::function<void()> work)> StartThread;
};

// One worker per core.
int DefaultThreadCount();

// Half the physical memory the system reports; no bound (the largest value)
// where it reports none.
qint64 DefaultMemoryBudget();

class ShrinkEngine {
public:
    explicit ShrinkEngine(Plan plan, EngineOptions options = {});
    // Stops, waits for the workers and removes every temporary file.
    ~ShrinkEngine();
    ShrinkEngine(const ShrinkEngine&) = delete;
    ShrinkEngine& operator=(const ShrinkEngine&) = delete;

    // Starts the workers. Wake is called on any thread whenever Collect may
    // have something new or Finished may have become true, until the engine
    // is destroyed; it must not block. After a Stop it does nothing, and
    // Finished is true. Fewer threads than asked for may start (the system
    // has no more to give); when none does, the first item fails with the
    // out-of-memory message and ends the run.
    void Start(std::function<void()> wake = {});

    // The calls below are for the thread that owns the run (the one that
    // called Start), except Stop.

    // Puts in place every item finished next in the engine's order (see
    // above) and says what became of each. Under StopAtFirstFailure the first failure is the last
    // item reported: nothing after it is written, and no new work starts; so
    // is, under any policy, a failure that ends the run (EndsRun). Under
    // PauseAtFailure another failure is the last item reported until Resume.
    std::vector<ItemOutcome> Collect();
    // Under PauseAtFailure, once Collect has reported a failure: the items
    // after it are put in place again (Wake is called).
    void Resume();
    // Blocks until Collect has something to report or the run is over.
    void Wait();
    // Every item reported, or the run ended early and its workers are gone
    // (then no temporary file is left).
    bool Finished();
    // Any thread: workers stop at their next row of blocks (or the decoder's
    // next check), nothing more is put in place, and the run ends.
    void Stop();

private:
    struct State;
    std::unique_ptr<State> d_;
};

}  // namespace batch
