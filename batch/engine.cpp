// The shrink engine's workers and the collection of what they did. The items
// are put in place in the order runorder.h works out; workers take them in
// that order, except that among the last items of the run the markedly
// larger files are taken first (a large progressive JPEG taken last would
// keep one core busy long after the others ran out of work; earlier, the
// items after it keep them busy). They take at most a window of items ahead
// of the next one to put in place (which bounds the finished files waiting
// for their turn), code each one's rows into its file (bandcoder.h) and hand
// it back as a finished temporary file or a failure. The owner renames them
// in order. Every item has its own encoder, so workers share nothing but the
// queue and the memory budget.
#include "batch/engine.h"

#include "base/workthread.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QThread>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <limits>
#include <mutex>
#include <numeric>
#include <set>
#include <system_error>
#include <thread>
#include <utility>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "base/paths.h"
#include "files/pathfacts.h"
#include "files/pendingjpeg.h"
#include "batch/bandcoder.h"
#include "batch/runorder.h"
#include "output/metadatawriter.h"
#include "pictures/picturefile.h"

namespace batch {

QString OutputPathFor(const QString& outputFolder, const QString& fileName, const QString& suffix)
{
    QString extension;
    QString baseName;
    base::SplitFileName(fileName, extension, baseName);
    return base::JoinPath(outputFolder, baseName + suffix + QStringLiteral(".jpg"));
}

int DefaultThreadCount()
{
    return std::max(1, QThread::idealThreadCount());
}

qint64 DefaultMemoryBudget()
{
    qint64 physical = 0;
#if defined(_WIN32)
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (GlobalMemoryStatusEx(&status))
        physical = static_cast<qint64>(status.ullTotalPhys);
#elif defined(_SC_PHYS_PAGES)
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0)
        physical = static_cast<qint64>(pages) * pageSize;
#endif
    return physical > 0 ? physical / 2 : std::numeric_limits<qint64>::max();
}

namespace {

constexpr int kNone = std::numeric_limits<int>::max();

// Whether the folder an output goes to is gone or cannot be written: then no
// later item can be written either.
bool FolderUnusable(const QString& output)
{
#if defined(Q_OS_UNIX)
    const std::filesystem::path path = base::ToFsPath(output);
    if (path.empty())
        return false;  // the name itself is at fault
    const std::filesystem::path folder = path.parent_path();
    return ::access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) != 0;
#else
    const QFileInfo folder(QFileInfo(output).path());
    return !folder.isDir() || !folder.isWritable();
#endif
}

pictures::PictureError NoMemory(const QString& source) noexcept
{
    try {
        return pictures::PictureFileError(pictures::PictureErrorNumber::OutOfMemory,
                                         QCoreApplication::translate("batch", "メモリが足りません。"), source);
    } catch (const std::bad_alloc&) {
        // No room even to name the file, or to translate: the bare text needs none.
        return {pictures::PictureErrorNumber::OutOfMemory, QStringLiteral("メモリが足りません。")};
    }
}

// One size of an item: what became of it and its file.
struct SizeFile {
    ItemOutcome Outcome;
    files::PendingJpeg File;
};

struct Slot {
    bool Ready = false;
    bool Abandoned = false;  // stopped before it was done; never reported
    std::vector<SizeFile> Sizes;  // one per size of the run, in its order
};

// The file of an item's size.
const QString& OutputOf(const PlanItem& item, std::size_t size)
{
    return size == 0 ? item.Output : item.MoreOutputs.at(size - 1);
}

// The highest quality from 1 to ceiling that fits, by a binary search that
// takes the sizes to grow with the quality: the one above it does not fit
// (or is past the ceiling). 0 when not even 1 fits.
int HighestFitting(int ceiling, const std::function<bool(int quality)>& fits)
{
    int low = 0;  // fits, or nothing does
    int high = ceiling + 1;  // does not fit
    while (high - low > 1) {
        const int middle = (low + high) / 2;
        (fits(middle) ? low : high) = middle;
    }
    return low;
}

struct Worker {
    std::thread Thread;
    // Raised to end the current item early: read by the decoder and after
    // every row of blocks by the encoder.
    std::atomic<bool> Abandon{false};
    int Current = -1;
};

}  // namespace

struct ShrinkEngine::State {
    Plan plan;  // its items in the order they are put in place
    std::vector<int> planIndex;  // of each item
    std::vector<pictures::SizeRule> sizes;  // one per output of an item
    EngineOptions options;
    std::function<void()> wake;

    std::mutex mutex;
    std::condition_variable workCv;   // workers wait for room in the window
    std::condition_variable ownerCv;  // the owner waits for finished items
    std::vector<Slot> results;
    std::vector<std::unique_ptr<Worker>> workers;
    int window = 1;
    // For each item, the last earlier item that writes the file it reads, or
    // -1 (as it is wherever the order put the reader first): it is read only
    // once that file is in place, as a run on one thread would read it.
    std::vector<int> readsOutputOf;
    // The order items are taken in: the item at each turn and the turn of
    // each item, the plan's order up to the last group. The turns from
    // ordered on are the last group's, ordered by the first worker to reach
    // them (ordering, meanwhile).
    std::vector<int> takeOrder;
    std::vector<int> turnOf;
    int ordered = 0;
    bool ordering = false;
    // The memory budget: what the items in work have reserved, and whose
    // turn it is to reserve (turns go in the order items are taken; an item
    // that needs no reservation, or is never taken, passes its turn).
    qint64 budget = 0;
    qint64 reserved = 0;
    int nextToReserve = 0;
    std::vector<bool> turnPassed;
    std::condition_variable budgetCv;
    // The folders files were put in, to be synced once the run is over
    // (the owner's).
    std::set<std::filesystem::path> filledFolders;
    int nextToTake = 0;  // a turn
    int nextToReport = 0;
    int firstFailure = kNone;  // under StopAtFirstFailure: no work beyond it
    int active = 0;
    int inWork = 0;  // items being processed
    int cores = 1;
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

    // With the lock held: past the turns of items after a first failure
    // (under StopAtFirstFailure), which are not worked on.
    void SkipNeedless()
    {
        while (nextToTake < ordered && takeOrder[static_cast<std::size_t>(nextToTake)] >= firstFailure)
            PassTurn(nextToTake++);
    }

    // With the lock held, after SkipNeedless. The items of a group not yet
    // ordered come after every item taken.
    bool MayTake() const
    {
        if (stopped || ended || nextToTake >= Count())
            return false;
        return (nextToTake < ordered ? takeOrder[static_cast<std::size_t>(nextToTake)] : nextToTake) < firstFailure;
    }

    // With the lock held: whether the item of the next turn may be taken now.
    bool NextMayStart() const
    {
        const int index = takeOrder[static_cast<std::size_t>(nextToTake)];
        return index < nextToReport + window && readsOutputOf[static_cast<std::size_t>(index)] < nextToReport;
    }

    // With the lock held, by the worker that reached the last group's turns;
    // the files' sizes are asked for without it.
    void OrderLastGroup(std::unique_lock<std::mutex>& lock);

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
        budgetCv.notify_all();  // a worker waiting for memory gives up
    }

    // With the lock held.
    void PassTurn(int turn)
    {
        turnPassed[static_cast<std::size_t>(turn)] = true;
        while (nextToReserve < Count() && turnPassed[static_cast<std::size_t>(nextToReserve)])
            ++nextToReserve;
        budgetCv.notify_all();
    }

    // Waits for Index's turn and for room; false when the item was abandoned
    // meanwhile. A reservation larger than the whole budget waits for all the
    // others to be released.
    bool Reserve(int index, Worker& worker, qint64& bytes)
    {
        std::unique_lock lock(mutex);
        bytes = std::min(bytes, budget);
        const int turn = turnOf[static_cast<std::size_t>(index)];
        budgetCv.wait(lock, [&] {
            return worker.Abandon.load() || (nextToReserve == turn && reserved + bytes <= budget);
        });
        PassTurn(turn);
        if (worker.Abandon.load()) {
            bytes = 0;
            return false;
        }
        reserved += bytes;
        return true;
    }

    // More for an item that has its reservation.
    void AddReservation(qint64 bytes)
    {
        const std::lock_guard lock(mutex);
        reserved += bytes;
    }

    void Release(int index, qint64 bytes)
    {
        const std::lock_guard lock(mutex);
        reserved -= bytes;
        PassTurn(turnOf[static_cast<std::size_t>(index)]);  // if it never reserved
    }

    // A core no item is using.
    bool SpareCore()
    {
        const std::lock_guard lock(mutex);
        return inWork < cores;
    }

    void Process(int index, Worker& worker, Slot& slot, qint64& reservation);
    void FinishFile(const PlanItem& item, SizeFile& sized, const ItemRows& rows);
    Slot NewSlot(int index) const;
    void Work(Worker& worker);
    void JoinAndClear();
};

void ShrinkEngine::State::Process(int index, Worker& worker, Slot& slot, qint64& reservation)
{
    const PlanItem& item = plan.Items[static_cast<std::size_t>(index)];
    if (item.Skip) {
        for (SizeFile& sized : slot.Sizes)
            sized.Outcome.Skipped = true;
        return;
    }

    const std::uintmax_t sourceBytes = files::FactsOf(base::ToFsPath(item.Source)).Size;
    const std::size_t count = slot.Sizes.size();
    // The picture's memory is reserved in its turn by the first size that
    // asks; what the other sizes need is added to it without waiting.
    bool asked = false;
    std::vector<std::unique_ptr<ItemRows>> rows;
    std::vector<pictures::ShrinkSink*> sinks;
    for (std::size_t k = 0; k < count; ++k) {
        SizeFile& sized = slot.Sizes[k];
        sized.Outcome.SourceBytes = static_cast<qint64>(sourceBytes);
        ItemRows::ReserveFunction reserve = [&](qint64& bytes) {
            if (std::exchange(asked, true)) {
                AddReservation(bytes);
                reservation += bytes;
                return !worker.Abandon.load();
            }
            const bool granted = Reserve(index, worker, bytes);
            reservation = bytes;
            return granted;
        };
        rows.push_back(std::make_unique<ItemRows>(OutputOf(item, k), planIndex[static_cast<std::size_t>(index)],
                                                  plan.Output, options, worker.Abandon, sized.Outcome, sized.File,
                                                  std::move(reserve), [this] { return SpareCore(); }));
        sinks.push_back(rows.back().get());
    }
    std::vector<pictures::ShrinkOutcome> shrunk;
    if (count > 1)
        shrunk = pictures::ShrinkPictureToSizes(item.Source, sizes, sinks, &worker.Abandon);
    else
        shrunk.push_back(options.Reducer ? SendWhole(options.Reducer(item.Source, plan.Ratio, &worker.Abandon), *rows[0])
                                         : pictures::ShrinkPicture(item.Source, sizes[0], *rows[0], &worker.Abandon));
    for (std::size_t k = 0; k < count; ++k)
        rows[k]->Drain();
    if (worker.Abandon.load())
        slot.Abandoned = true;
    for (std::size_t k = 0; k < count; ++k) {
        SizeFile& sized = slot.Sizes[k];
        const ItemRows& sizeRows = *rows[k];
        pictures::ShrinkOutcome& outcome = shrunk[k];
        if (slot.Abandoned) {
            // reported as nothing
        } else if (outcome.Stopped) {  // the file could not take the rows
            sized.Outcome.SaveResult =
                sizeRows.Failure != jpeg::JpegResult::Ok ? sizeRows.Failure : jpeg::JpegResult::Unexpected;
        } else if (outcome.Error) {
            sized.Outcome.LoadError = std::move(outcome.Error);
        } else if (sizeRows.Failure != jpeg::JpegResult::Ok) {  // the last band, coded aside
            sized.Outcome.SaveResult = sizeRows.Failure;
        } else {
            FinishFile(item, sized, sizeRows);
        }
        sized.Outcome.SourceSize = outcome.SourceSize;
        if (sized.Outcome.LoadError)
            sized.Outcome.TargetSize = QSize();  // nothing was made
        if (sized.Outcome.Ok()) {
            sized.Outcome.OutputBytes = static_cast<qint64>(sized.File.Size());  // so the owner need not ask the disk
        } else {
            sized.File.Discard();
            if (!slot.Abandoned && sized.Outcome.SaveResult != jpeg::JpegResult::Ok)
                sized.Outcome.EndsRun = FolderUnusable(sized.Outcome.Output);
        }
    }
}

void ShrinkEngine::State::FinishFile(const PlanItem& item, SizeFile& sized, const ItemRows& rows)
{
    ItemOutcome& outcome = sized.Outcome;
    const std::filesystem::path source = base::ToFsPath(item.Source);
    files::PendingJpeg::Finishing finishing;
    std::optional<output::MetadataError> failed;
    if (plan.Output.KeepDate) {
        output::SourceTime time = output::ReadModificationTime(source);
        failed = std::move(time.Error);
        finishing.ModificationTime = files::FileTime{time.Seconds, time.Nanoseconds};
    }
    if (plan.Output.KeepMetadata) {
        finishing.Edit = [&](std::vector<std::uint8_t>& bytes) {
            Q_ASSERT(options.Metadata);
            if (!options.Metadata)
                return jpeg::JpegResult::Unexpected;
            const output::MetadataResult copied = output::MetadataWriter(*options.Metadata)
                                                      .Write(source, bytes, outcome.TargetSize, plan.Output.GpsKept(),
                                                             [&] { return pictures::ContainerExifOf(item.Source); });
            failed = copied.Error;
            outcome.MetadataLeftOut = copied.LeftOut;
            return copied.Ok() ? jpeg::JpegResult::Ok : jpeg::JpegResult::Unexpected;
        };
    }
    const QImage& held = rows.Held();
    if (!failed && !held.isNull()) {
        // Under a byte limit the reduced picture is encoded again at each
        // quality the search tries, with what Finish adds to it.
        const jpeg::PixelRows pixels{reinterpret_cast<const std::uint32_t*>(held.constBits()), held.bytesPerLine() / 4,
                                     held.width(), held.height()};
        jpeg::JpegResult trial = jpeg::JpegResult::Ok;
        const int quality = HighestFitting(plan.Output.Quality, [&](int q) {
            std::vector<std::uint8_t> bytes;
            if (trial == jpeg::JpegResult::Ok && !failed)
                trial = jpeg::EncodeJpegToMemory(pixels, bytes, q);
            if (trial == jpeg::JpegResult::Ok && !failed && finishing.Edit)
                trial = finishing.Edit(bytes);
            return trial == jpeg::JpegResult::Ok && !failed && static_cast<qint64>(bytes.size()) <= plan.Output.MaxBytes;
        });
        if (failed) {
            // reported below
        } else if (trial != jpeg::JpegResult::Ok) {
            outcome.SaveResult = trial;
            return;
        } else if (quality == 0) {
            outcome.LoadError = pictures::PictureFileError(
                pictures::PictureErrorNumber::InvalidPicture,
                QCoreApplication::translate("batch", "品質 1 でも %1 バイトに収まらないため、書き出していません。")
                    .arg(plan.Output.MaxBytes),
                item.Source);
            return;
        } else {
            outcome.SaveResult = sized.File.Start(base::ToFsPath(outcome.Output), held.width(), held.height(), quality);
            if (outcome.SaveResult == jpeg::JpegResult::Ok)
                outcome.SaveResult = sized.File.PutRows(pixels);
            if (outcome.SaveResult != jpeg::JpegResult::Ok)
                return;
        }
    }
    if (!failed)
        outcome.SaveResult = sized.File.Finish(finishing);
    if (failed) {
        // Asked for and not to be had: the file is not written without it.
        outcome.SaveResult = jpeg::JpegResult::Ok;
        outcome.LoadError =
            pictures::PictureFileError(pictures::PictureErrorNumber::InvalidPicture, failed->Description, item.Source);
    }
}

Slot ShrinkEngine::State::NewSlot(int index) const
{
    const PlanItem& item = plan.Items[static_cast<std::size_t>(index)];
    Slot slot;
    slot.Sizes.resize(sizes.size());
    for (std::size_t k = 0; k < sizes.size(); ++k) {
        ItemOutcome& outcome = slot.Sizes[k].Outcome;
        outcome.Index = planIndex[static_cast<std::size_t>(index)];
        outcome.Size = static_cast<int>(k);
        outcome.Source = item.Source;
        outcome.Output = OutputOf(item, k);
    }
    return slot;
}

void ShrinkEngine::State::OrderLastGroup(std::unique_lock<std::mutex>& lock)
{
    const int first = ordered;
    const int end = Count();
    // One worker gains nothing from another order; an item reading what
    // another of the group writes must come after it, so such a group keeps
    // the plan's order.
    bool reorder = active > 1;
    for (int i = first; i < end && reorder; ++i)
        reorder = readsOutputOf[static_cast<std::size_t>(i)] < first;
    std::vector<int> order;
    if (reorder) {
        ordering = true;
        lock.unlock();
        try {
            std::vector<std::uintmax_t> sizes(static_cast<std::size_t>(end - first), 0);
            for (int i = first; i < end; ++i) {
                const PlanItem& item = plan.Items[static_cast<std::size_t>(i)];
                sizes[static_cast<std::size_t>(i - first)] = item.Skip ? 0 : files::FactsOf(base::ToFsPath(item.Source)).Size;
            }
            order = TakeOrderOf(sizes);
        } catch (const std::bad_alloc&) {
            order.clear();  // then in the plan's order
        }
        lock.lock();
        ordering = false;
    }
    for (std::size_t k = 0; k < order.size(); ++k) {
        const int index = first + order[k];
        takeOrder[static_cast<std::size_t>(first) + k] = index;
        turnOf[static_cast<std::size_t>(index)] = first + static_cast<int>(k);
    }
    ordered = end;
    workCv.notify_all();
}

void ShrinkEngine::State::Work(Worker& worker)
{
    for (;;) {
        int index = 0;
        {
            std::unique_lock lock(mutex);
            workCv.wait(lock, [&] {
                SkipNeedless();
                return !MayTake() || (!ordering && (nextToTake == ordered || NextMayStart()));
            });
            if (!MayTake())
                break;
            if (nextToTake == ordered) {
                OrderLastGroup(lock);
                continue;
            }
            index = takeOrder[static_cast<std::size_t>(nextToTake++)];
            worker.Current = index;
            worker.Abandon.store(false);
            ++inWork;
        }
        Slot slot = NewSlot(index);
        qint64 reservation = 0;
        try {
            Process(index, worker, slot, reservation);
        } catch (const std::bad_alloc&) {
            for (SizeFile& sized : slot.Sizes) {
                sized.File.Discard();
                ItemOutcome fresh;
                fresh.Index = sized.Outcome.Index;
                fresh.Size = sized.Outcome.Size;
                fresh.Source = sized.Outcome.Source;
                fresh.Output = sized.Outcome.Output;
                sized.Outcome = std::move(fresh);
                sized.Outcome.LoadError = NoMemory(sized.Outcome.Source);
            }
        }
        if (options.Observer)
            options.Observer(planIndex[static_cast<std::size_t>(index)], WorkStep::ItemFinished);
        Release(index, reservation);
        {
            const std::lock_guard lock(mutex);
            worker.Current = -1;
            --inWork;
            const bool ends = std::any_of(slot.Sizes.begin(), slot.Sizes.end(),
                                          [&](const SizeFile& sized) { return Ends(sized.Outcome); });
            if (!slot.Abandoned && ends && index < firstFailure) {
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
    // Each file's data was on disk before it was renamed; now the renames
    // are, and a finished run survives a power cut. (A folder that cannot be
    // synced has its files in place all the same; nothing more can be done.)
    for (const std::filesystem::path& folder : filledFolders)
        files::SyncFolder(folder);
    filledFolders.clear();
    const std::lock_guard lock(mutex);
    joined = true;
}

ShrinkEngine::ShrinkEngine(Plan plan, EngineOptions options) : d_(std::make_unique<State>())
{
    const ItemKeys keys = KeysOf(plan.Items, plan.Names);
    d_->planIndex = PutInPlaceOrder(plan.Items, keys);
    d_->plan = std::move(plan);
    std::vector<PlanItem> items;
    items.reserve(d_->planIndex.size());
    for (const int index : d_->planIndex)
        items.push_back(std::move(d_->plan.Items[static_cast<std::size_t>(index)]));
    d_->plan.Items = std::move(items);
    if (d_->plan.Output.Size == output::SizeMode::Box) {
        for (const QSize box : output::AllBoxes(d_->plan.Output))
            d_->sizes.push_back({.Target = [box](QSize upright) { return output::FitInside(upright, box); },
                                 .ScaledDecode = true});
    } else {
        d_->sizes.push_back(pictures::RatioRule(d_->plan.Ratio));
    }
    d_->options = std::move(options);
    d_->results.resize(d_->plan.Items.size());
    d_->takeOrder.resize(d_->plan.Items.size());
    std::iota(d_->takeOrder.begin(), d_->takeOrder.end(), 0);
    d_->turnOf = d_->takeOrder;
    d_->ordered = std::max(0, d_->Count() - kTakeGroup);
    d_->turnPassed.assign(d_->plan.Items.size(), false);
    d_->budget = d_->options.MemoryBudget > 0 ? d_->options.MemoryBudget : DefaultMemoryBudget();
    d_->cores = DefaultThreadCount();
    d_->readsOutputOf = ReadsOutputOf(d_->planIndex, keys);
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
    const auto start = d.options.StartThread ? d.options.StartThread : base::StartWorkThread;
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
    d.window = d.active + kTakeGroup;
    if (d.active > 0)
        return;
    // Not one thread: the first item to do fails as out of memory, the
    // skipped ones before it done as ever.
    for (int i = 0; i < d.Count(); ++i) {
        Slot& slot = d.results[static_cast<std::size_t>(i)];
        const PlanItem& item = d.plan.Items[static_cast<std::size_t>(i)];
        slot = d.NewSlot(i);
        slot.Ready = true;
        for (SizeFile& sized : slot.Sizes) {
            sized.Outcome.Skipped = item.Skip;
            if (!item.Skip) {
                sized.Outcome.LoadError = NoMemory(item.Source);
                sized.Outcome.EndsRun = true;
            }
        }
        if (!item.Skip)
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
        for (SizeFile& sized : slot.Sizes) {
            ItemOutcome& outcome = sized.Outcome;
            if (outcome.Ok() && sized.File.Pending()) {
                outcome.SaveResult = sized.File.Commit();
                if (outcome.Ok()) {
                    d.filledFolders.insert(base::ToFsPath(outcome.Output).parent_path());
                } else {
                    outcome.OutputBytes = 0;
                    outcome.EndsRun = FolderUnusable(outcome.Output);
                }
            }
        }
        lock.lock();
        ++d.nextToReport;
        for (SizeFile& sized : slot.Sizes) {
            if (d.Ends(sized.Outcome)) {
                d.ended = true;
                d.AbandonAfter(-1);
            }
            if (!sized.Outcome.Ok() && d.options.Policy == FailurePolicy::PauseAtFailure)
                d.paused = true;
            outcomes.push_back(std::move(sized.Outcome));
        }
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

}  // namespace batch
