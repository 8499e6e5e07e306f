// The shrink engine. Workers take items in plan order, at most a window of
// items ahead of the next one to put in place (which bounds the finished
// files waiting for their turn), and hand each back as a finished temporary
// file or a failure. The owner renames them in order. Every item has its own encoder,
// so workers share nothing but the queue.
#include "batch/engine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QThread>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <limits>
#include <mutex>
#include <system_error>
#include <thread>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif

#include "shell/basmain.h"
#include "shell/picturefile.h"

namespace basBatch {

QString OutputPathFor(const QString& outputFolder, const QString& fileName, const QString& suffix)
{
    QString extension;
    QString baseName;
    basMain::SplitFileName(fileName, extension, baseName);
    return basMain::JoinPath(outputFolder, baseName + suffix + QStringLiteral(".jpg"));
}

int DefaultThreadCount()
{
    return std::max(1, QThread::idealThreadCount());
}

namespace {

constexpr int kNone = std::numeric_limits<int>::max();

// The frame header could say up to 65,535, but libjpeg (and with it nearly
// every program) opens no picture with a longer side than this.
constexpr int kMaxJpegSide = 65500;

// Whether the folder an output goes to is gone or cannot be written: then no
// later item can be written either.
bool FolderUnusable(const QString& output)
{
#if defined(Q_OS_UNIX)
    const std::filesystem::path path = basMain::ToFsPath(output);
    if (path.empty())
        return false;  // the name itself is at fault
    const std::filesystem::path folder = path.parent_path();
    return ::access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) != 0;
#else
    const QFileInfo folder(QFileInfo(output).path());
    return !folder.isDir() || !folder.isWritable();
#endif
}

basMain::PictureError NoMemory(const QString& source) noexcept
{
    try {
        return basMain::PictureFileError(basMain::PictureErrorNumber::OutOfMemory,
                                         QCoreApplication::translate("basBatch", "メモリが足りません。"), source);
    } catch (const std::bad_alloc&) {
        // No room even to name the file, or to translate: the bare text needs none.
        return {basMain::PictureErrorNumber::OutOfMemory, QStringLiteral("メモリが足りません。")};
    }
}

struct Slot {
    bool Ready = false;
    bool Abandoned = false;  // stopped before it was done; never reported
    ItemOutcome Outcome;
    ModuleJPEG::PendingJpeg File;
};

struct Worker {
    std::thread Thread;
    // Raised to end the current item early: read by the decoder and after
    // every row of blocks by the encoder.
    std::atomic<bool> Abandon{false};
    int Current = -1;
};

}  // namespace

struct ShrinkEngine::State {
    Plan plan;
    EngineOptions options;
    std::function<void()> wake;

    std::mutex mutex;
    std::condition_variable workCv;   // workers wait for room in the window
    std::condition_variable ownerCv;  // the owner waits for finished items
    std::vector<Slot> results;
    std::vector<std::unique_ptr<Worker>> workers;
    int window = 1;
    // For each item, the last earlier item that writes the file it reads, or
    // -1: it is read only once that file is in place, as a run on one thread
    // would read it.
    std::vector<int> readsOutputOf;
    int nextToTake = 0;
    int nextToReport = 0;
    int firstFailure = kNone;  // under StopAtFirstFailure: no work beyond it
    int active = 0;
    bool started = false;
    bool stopped = false;  // Stop: nothing more is reported
    bool ended = false;    // the first failure was reported
    bool paused = false;   // under PauseAtFailure: a failure was reported, Resume not yet called
    bool joined = false;

    int Count() const { return static_cast<int>(plan.Items.size()); }

    void Wake() const
    {
        if (wake)
            wake();
    }

    // With the lock held.
    bool MayTake() const
    {
        return !stopped && !ended && nextToTake < Count() && nextToTake < firstFailure;
    }

    // With the lock held.
    bool NextReady() const
    {
        return !stopped && !ended && !paused && nextToReport < Count() &&
               results[static_cast<std::size_t>(nextToReport)].Ready;
    }

    // With the lock held: whether a failure of this outcome ends the run.
    bool Ends(const ItemOutcome& outcome) const
    {
        return !outcome.Ok() && (options.Policy == FailurePolicy::StopAtFirstFailure || outcome.EndsRun);
    }

    // With the lock held: abandons every item after Index.
    void AbandonAfter(int index)
    {
        for (const auto& w : workers)
            if (w->Current > index)
                w->Abandon.store(true);
    }

    void Process(int index, Worker& worker, Slot& slot);
    void Work(Worker& worker);
    void JoinAndClear();
};

void ShrinkEngine::State::Process(int index, Worker& worker, Slot& slot)
{
    const PlanItem& item = plan.Items[static_cast<std::size_t>(index)];
    if (item.Skip) {
        slot.Outcome.Skipped = true;
        return;
    }

    std::error_code sizeError;
    const std::uintmax_t sourceBytes = std::filesystem::file_size(basMain::ToFsPath(item.Source), sizeError);
    slot.Outcome.SourceBytes = sizeError ? 0 : static_cast<qint64>(sourceBytes);
    basMain::ReducedPicture reduced = options.Reducer ? options.Reducer(item.Source, plan.Ratio, &worker.Abandon)
                                                      : basMain::LoadReducedPicture(item.Source, plan.Ratio, &worker.Abandon);
    if (reduced.Stopped || worker.Abandon.load()) {
        slot.Abandoned = true;
        return;
    }
    slot.Outcome.SourceSize = reduced.SourceSize;
    if (reduced.Error) {
        slot.Outcome.LoadError = std::move(reduced.Error);
        return;
    }

    const QImage image = std::move(reduced.Image);
    // Every reducer gives opaque RGB32, the layout the encoder reads directly.
    Q_ASSERT(image.isNull() || image.format() == QImage::Format_RGB32);
    slot.Outcome.TargetSize = image.size();
    if (image.width() > kMaxJpegSide || image.height() > kMaxJpegSide) {
        slot.Outcome.SaveResult = ModuleJPEG::JpegResult::PictureTooLarge;
        return;
    }
    ModuleJPEG::PixelRows rows;
    if (!image.isNull()) {
        rows.first = reinterpret_cast<const std::uint32_t*>(image.constBits());
        rows.stride = image.bytesPerLine() / 4;
        rows.width = image.width();
        rows.height = image.height();
    }
    const ModuleJPEG::YieldHook yield = [&] {
        if (options.Observer)
            options.Observer(index, WorkStep::RowEncoded);
        return worker.Abandon.load() ? ModuleJPEG::YieldAction::Abort : ModuleJPEG::YieldAction::Continue;
    };
    slot.Outcome.SaveResult = slot.File.Encode(basMain::ToFsPath(item.Output), rows, yield);
    // Counted here, so the owner's thread (the window's) need not ask the disk.
    slot.Outcome.OutputBytes = static_cast<qint64>(slot.File.Size());
    if (worker.Abandon.load()) {
        slot.File.Discard();
        slot.Abandoned = true;
    } else if (slot.Outcome.SaveResult != ModuleJPEG::JpegResult::Ok) {
        slot.Outcome.EndsRun = FolderUnusable(item.Output);
    }
}

void ShrinkEngine::State::Work(Worker& worker)
{
    for (;;) {
        int index = 0;
        {
            std::unique_lock lock(mutex);
            workCv.wait(lock, [&] {
                return !MayTake() || (nextToTake < nextToReport + window &&
                                      readsOutputOf[static_cast<std::size_t>(nextToTake)] < nextToReport);
            });
            if (!MayTake())
                break;
            index = nextToTake++;
            worker.Current = index;
            worker.Abandon.store(false);
        }
        Slot slot;
        slot.Outcome.Index = index;
        slot.Outcome.Source = plan.Items[static_cast<std::size_t>(index)].Source;
        slot.Outcome.Output = plan.Items[static_cast<std::size_t>(index)].Output;
        try {
            Process(index, worker, slot);
        } catch (const std::bad_alloc&) {
            slot.Outcome.LoadError = NoMemory(slot.Outcome.Source);
        }
        if (options.Observer)
            options.Observer(index, WorkStep::ItemFinished);
        {
            const std::lock_guard lock(mutex);
            worker.Current = -1;
            if (!slot.Abandoned && Ends(slot.Outcome) && index < firstFailure) {
                firstFailure = index;
                AbandonAfter(index);
                workCv.notify_all();
            }
            slot.Ready = true;
            results[static_cast<std::size_t>(index)] = std::move(slot);
        }
        ownerCv.notify_all();
        Wake();
    }
    {
        const std::lock_guard lock(mutex);
        --active;
    }
    ownerCv.notify_all();
    Wake();
}

void ShrinkEngine::State::JoinAndClear()
{
    for (const auto& w : workers)
        if (w->Thread.joinable())
            w->Thread.join();
    // Finished files that were never put in place go with their slots.
    results.clear();
    const std::lock_guard lock(mutex);
    joined = true;
}

ShrinkEngine::ShrinkEngine(Plan plan, EngineOptions options) : d_(std::make_unique<State>())
{
    d_->plan = std::move(plan);
    d_->options = std::move(options);
    d_->results.resize(d_->plan.Items.size());
    d_->readsOutputOf.assign(d_->plan.Items.size(), -1);
    QHash<QString, int> writer;
    const auto key = [](const QString& path) { return QDir::cleanPath(QFileInfo(path).absoluteFilePath()); };
    for (int i = 0; i < d_->Count(); ++i) {
        const PlanItem& item = d_->plan.Items[static_cast<std::size_t>(i)];
        if (item.Skip)
            continue;
        d_->readsOutputOf[static_cast<std::size_t>(i)] = writer.value(key(item.Source), -1);
        writer.insert(key(item.Output), i);
    }
}

ShrinkEngine::~ShrinkEngine()
{
    Stop();
    d_->JoinAndClear();
}

void ShrinkEngine::Start(std::function<void()> wake)
{
    State& d = *d_;
    // Stop may come from any thread meanwhile: it must see no workers or all
    // of them, and the wake set with them. The workers wait on this lock
    // before they look at anything.
    std::unique_lock lock(d.mutex);
    if (d.started || d.joined || d.stopped)
        return;
    d.started = true;
    d.wake = std::move(wake);
    const int threads = std::clamp(d.options.Threads > 0 ? d.options.Threads : DefaultThreadCount(), 1,
                                   std::max(1, d.Count()));
    d.workers.reserve(static_cast<std::size_t>(threads));  // nothing below may throw once a thread runs
    const auto start = d.options.StartThread ? d.options.StartThread
                                             : [](std::function<void()> work) { return std::thread(std::move(work)); };
    for (int i = 0; i < threads; ++i) {
        try {
            auto worker = std::make_unique<Worker>();
            worker->Thread = start([&d, w = worker.get()] { d.Work(*w); });
            d.workers.push_back(std::move(worker));
        } catch (const std::system_error&) {
            break;  // the system gives no more: the run goes on with those it gave
        } catch (const std::bad_alloc&) {
            break;
        }
    }
    d.active = static_cast<int>(d.workers.size());
    // Workers may run this far ahead of the next item to put in place, so a
    // slow picture does not idle the others. An item waiting for its turn is
    // a finished file, not pixels in memory; the bound limits the files held
    // and the work a failure or a stop throws away.
    d.window = d.active + 16;
    if (d.active > 0)
        return;
    // Not one thread: the first item to do fails as out of memory, the
    // skipped ones before it done as ever.
    for (int i = 0; i < d.Count(); ++i) {
        Slot& slot = d.results[static_cast<std::size_t>(i)];
        const PlanItem& item = d.plan.Items[static_cast<std::size_t>(i)];
        slot = Slot();
        slot.Ready = true;
        slot.Outcome.Index = i;
        slot.Outcome.Source = item.Source;
        slot.Outcome.Output = item.Output;
        slot.Outcome.Skipped = item.Skip;
        if (item.Skip)
            continue;
        slot.Outcome.LoadError = NoMemory(item.Source);
        slot.Outcome.EndsRun = true;
        break;
    }
    lock.unlock();
    d.Wake();
}

std::vector<ItemOutcome> ShrinkEngine::Collect()
{
    State& d = *d_;
    std::vector<ItemOutcome> outcomes;
    std::unique_lock lock(d.mutex);
    while (d.NextReady()) {
        Slot slot = std::move(d.results[static_cast<std::size_t>(d.nextToReport)]);
        lock.unlock();
        if (slot.Outcome.Ok() && slot.File.Pending()) {
            slot.Outcome.SaveResult = slot.File.Commit();
            if (!slot.Outcome.Ok()) {
                slot.Outcome.OutputBytes = 0;
                slot.Outcome.EndsRun = FolderUnusable(slot.Outcome.Output);
            }
        }
        lock.lock();
        ++d.nextToReport;
        if (d.Ends(slot.Outcome)) {
            d.ended = true;
            d.AbandonAfter(-1);
        }
        if (!slot.Outcome.Ok() && d.options.Policy == FailurePolicy::PauseAtFailure)
            d.paused = true;
        outcomes.push_back(std::move(slot.Outcome));
        d.workCv.notify_all();
    }
    return outcomes;
}

void ShrinkEngine::Resume()
{
    State& d = *d_;
    {
        const std::lock_guard lock(d.mutex);
        if (!d.paused)
            return;
        d.paused = false;
    }
    d.ownerCv.notify_all();
    d.Wake();
}

void ShrinkEngine::Wait()
{
    State& d = *d_;
    std::unique_lock lock(d.mutex);
    d.ownerCv.wait(lock, [&] { return d.NextReady() || d.active == 0; });
}

bool ShrinkEngine::Finished()
{
    State& d = *d_;
    {
        const std::lock_guard lock(d.mutex);
        if (d.joined)
            return true;
        if (d.active > 0 || !(d.stopped || d.ended || d.nextToReport == d.Count()))
            return false;
        if (!d.started && !d.stopped && d.nextToReport < d.Count())
            return false;  // not started
    }
    d.JoinAndClear();
    return true;
}

void ShrinkEngine::Stop()
{
    State& d = *d_;
    bool started = false;
    {
        const std::lock_guard lock(d.mutex);
        if (d.stopped || d.joined)
            return;
        d.stopped = true;
        // Start has set the wake then, and never sets it again.
        started = d.started;
        d.AbandonAfter(-1);
    }
    d.workCv.notify_all();
    d.ownerCv.notify_all();
    if (started)
        d.Wake();
}

}  // namespace basBatch
