// The window's batch run: the check before writing, the progress window, the
// work in a ShrinkEngine whose results reach this thread as queued calls, the
// question on a failed picture and the message that ends the run.
#include "batch/run.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <utility>

#include "base/workthread.h"
#include "batch/progresswindow.h"
#include "batch/preflight.h"
#include "batch/saveerror.h"
#include "pictures/picture.h"
#include "shell/messageboxes.h"
#include "shell/waitcursor.h"

namespace batch {

BatchRun::BatchRun(QWidget* window, MessageBoxes& messages, PictureReducer reducer, const output::MetadataLibrary* metadata,
                   QObject* parent)
    : QObject(parent), window_(window), messages_(messages), reducer_(std::move(reducer)), metadata_(metadata)
{
    // Often enough that the clock never skips a second it shows.
    ticker_.setInterval(250);
    connect(&ticker_, &QTimer::timeout, this, &BatchRun::Tick);
}

BatchRun::~BatchRun()
{
    if (phase_ != Phase::Idle)
        TearDown();
}

bool BatchRun::start(const RunRequest& request)
{
    const bool tree = !request.Tree.isEmpty();
    if (isRunning() || (request.Paths.isEmpty() && !tree))
        return false;

    // A tree is walked, and pictures whose outputs may be up to date are
    // looked at, first; a selection goes as it is. Each output folder is
    // checked on its own: the same name in two folders is no clash, nor the
    // same picture in the subfolders of several sizes.
    const QStringList sizeFolders = output::BoxFolderNames(request.Output);
    sizeCount_ = std::max<int>(1, static_cast<int>(sizeFolders.size()));
    Collection collection;
    std::vector<PlanCheck> checks;
    std::vector<std::vector<TreePicture>> sized;
    if (tree || request.Output.SkipUpToDate || !sizeFolders.isEmpty()) {
        {
            const shell::WaitCursor waiting;  // a large tree takes a moment
            collection = CollectRequest(request);
        }
        const NameCase nameCase = FolderNameCase(request.OutputFolder);
        if (sizeFolders.isEmpty())
            sized.push_back(collection.Pictures);
        for (const QString& folder : sizeFolders)
            sized.push_back(BelowSizeFolder(collection.Pictures, request.OutputFolder, folder));
        for (const std::vector<TreePicture>& pictures : sized)
            checks.push_back(CheckCollection(pictures, nameCase, request.Output.Suffix));
    } else {
        checks.push_back(CheckPlan(request.Paths, request.OutputFolder, request.Output.Suffix));
    }
    // Nothing is written before the user has agreed to every original it
    // replaces and every name two pictures share.
    for (const PlanCheck& each : checks)
        if (each.NeedsQuestion() && messages_.ShowQuestion(PlanQuestion(each)) != MsgAnswer::Yes)
            return false;
    // The mirror of a tree, and the subfolders of the sizes, are made before
    // anything is written into them; a folder that cannot be made (a file in
    // its way) stops the run here.
    if (tree || !sizeFolders.isEmpty()) {
        for (const std::vector<TreePicture>& pictures : sized) {
            for (const QString& failure : MakeOutputFolders(pictures)) {
                if (!failure.isEmpty()) {
                    messages_.ShowError(failure);
                    return false;
                }
            }
        }
    }
    PlanCheck& check = checks.front();
    for (std::size_t k = 1; k < checks.size(); ++k)
        for (std::size_t i = 0; i < check.Items.size(); ++i)
            check.Items[i].MoreOutputs.push_back(checks[k].Items[i].Output);

    items_ = check.Items;
    written_.assign(items_.size(), false);
    reported_ = 0;
    sizeFailure_.reset();
    picturesLeft_ = static_cast<int>(std::count_if(items_.begin(), items_.end(), [](const PlanItem& item) { return !item.Skip; }));
    done_ = 0;
    writtenCount_ = 0;
    failed_ = 0;
    lastFile_.clear();
    upToDate_ = collection.UpToDate;
    summary_ = RunSummary();
    summary_.AddUpToDate(upToDate_);
    end_ = End::NotYet;
    askedFile_.clear();
    lastDoneMs_ = 0;
    askedMs_ = 0;
    pixelsUpTo_.clear();

    Plan plan;
    plan.Items = std::move(check.Items);
    plan.Ratio = request.Ratio;
    plan.Output = request.Output;
    plan.Names = check.Names;
    EngineOptions options;
    options.Reducer = reducer_;
    options.Metadata = metadata_;
    options.Policy = FailurePolicy::PauseAtFailure;
    engine_ = std::make_unique<ShrinkEngine>(std::move(plan), std::move(options));
    phase_ = Phase::Working;

    SetBusy(true);
    progressWindow_ = new ProgressWindow(window_);
    connect(progressWindow_, &ProgressWindow::StopAsked, this, &BatchRun::OnStopAsked);
    clock_.start();
    progressWindow_->ShowProgress(Progress());
    progressWindow_->show();
    // In front and with the keyboard, so that Esc stops the run at once.
    progressWindow_->activateWindow();
    progressWindow_->repaint();  // painted before the first picture is done
    ticker_.start();
    MeasureSources();
    // Posted by name: the call is then built inside Qt, and no object made on
    // a worker thread is read on this one without a lock.
    engine_->Start([this] { QMetaObject::invokeMethod(this, "OnWake", Qt::QueuedConnection); });
    return true;
}

void BatchRun::stop()
{
    if (phase_ == Phase::Idle)
        return;
    end_ = End::Quietly;
    Finish();
}

void BatchRun::raiseProgressWindow()
{
    if (!progressWindow_)
        return;
    progressWindow_->show();
    progressWindow_->raise();
    progressWindow_->activateWindow();
}

void BatchRun::OnWake()
{
    // While a failure's box is open the engine holds the later files back;
    // they are collected once it is answered.
    if (phase_ != Phase::Working)
        return;
    for (const ItemOutcome& outcome : engine_->Collect()) {
        // A picture of several sizes is done with its last; the first size
        // that failed is the one asked about.
        summary_.Add(outcome);
        if (!outcome.Ok() && !sizeFailure_)
            sizeFailure_ = outcome;
        if (outcome.Size + 1 < sizeCount_)
            continue;
        const std::optional<ItemOutcome> failed = std::exchange(sizeFailure_, std::nullopt);
        ++reported_;
        if (!outcome.Skipped)
            --picturesLeft_;
        lastDoneMs_ = WorkMs();
        if (!failed) {
            ++done_;
            if (!outcome.Skipped) {
                written_[static_cast<std::size_t>(outcome.Index)] = true;
                ++writtenCount_;
                lastFile_ = QFileInfo(outcome.Source).fileName();
            }
            continue;
        }
        // The last outcome Collect gave; the run waits for the answer.
        OnFailure(*failed);
        return;
    }
    Tick();
    if (engine_->Finished())
        Finish();
}

void BatchRun::OnFailure(const ItemOutcome& outcome)
{
    ++failed_;
    // After a failure that ends the run (the output folder gone) no later
    // picture could be written: nothing is offered to skip.
    const bool picturesRemain = !outcome.EndsRun && picturesLeft_ > 0;

    // The box is shown while the progress window is still up; the files
    // before the failing picture stay, nothing after it is put in place
    // unless the user skips it. Until it is answered the run stands still:
    // its clock too, and the window says that it waits, and for what.
    SetBusy(false);
    phase_ = Phase::AwaitingAnswer;
    askingClock_.start();
    askedFile_ = QFileInfo(outcome.Source).fileName();
    Tick();
    // The box closed as the run ends (the window closing) answers nothing:
    // the run waits no more.
    const auto answered = [this, picturesRemain, endsRun = outcome.EndsRun](MsgAnswer answer) {
        if (phase_ == Phase::AwaitingAnswer)
            OnAnswer(!picturesRemain || answer == MsgAnswer::Yes, endsRun);
    };
    QString text = outcome.LoadError ? outcome.LoadError->Description : SaveErrorText(outcome.SaveResult);
    if (text.isEmpty())
        text = SaveErrorText(jpeg::JpegResult::Unexpected);
    // A picture that cannot be read is named in its text; a file that cannot
    // be written on the line below.
    const QString file = outcome.LoadError ? QString() : QDir::toNativeSeparators(outcome.Output);
    if (picturesRemain)
        question_ = messages_.OpenSkipQuestion(text, file, this, answered);
    else
        question_ = messages_.OpenError(text, file, this, [answered] { answered(MsgAnswer::No); });
}

void BatchRun::OnAnswer(bool skip, bool endsRun)
{
    phase_ = Phase::Working;
    askedMs_ += askingClock_.elapsed();
    askedFile_.clear();
    question_.clear();
    // The box gave the focus back to the main window; Esc and the close box
    // of the progress window must stop the run as before it.
    raiseProgressWindow();
    // What the engine said while the box was open was left for now.
    QMetaObject::invokeMethod(this, &BatchRun::OnWake, Qt::QueuedConnection);
    if (endsRun || end_ != End::NotYet) {
        summary_.AddFailed();
        if (end_ == End::NotYet)
            end_ = End::AtFailure;
        engine_->Stop();  // its workers' ends wake this object
        return;
    }
    // The last picture, failed, is passed over as a skipped one is: the run
    // goes on to its end and its summary.
    if (skip) {
        ++done_;
        summary_.AddFailed();
        SetBusy(true);
        engine_->Resume();  // wakes this object for the files held back
        Tick();
        return;
    }
    if (end_ == End::NotYet)
        end_ = End::AskedToStop;
    summary_.AddFailed();
    engine_->Stop();
}

void BatchRun::OnStopAsked()
{
    if (phase_ == Phase::Idle || end_ != End::NotYet)
        return;
    end_ = End::AskedToStop;
    if (progressWindow_)
        progressWindow_->ShowStopping();
    // The workers stop at their next row of blocks; the run finishes when
    // they are gone, without the window waiting for them.
    engine_->Stop();
}

qint64 BatchRun::WorkMs() const
{
    // The time a box waited for the user is no time the work took.
    return clock_.elapsed() - askedMs_ - (phase_ == Phase::AwaitingAnswer ? askingClock_.elapsed() : 0);
}

RunProgress BatchRun::Progress() const
{
    const bool waiting = phase_ == Phase::AwaitingAnswer;
    RunProgress state;
    // The pictures up to date are done from the start.
    state.Done = upToDate_ + done_;
    state.Total = upToDate_ + static_cast<int>(items_.size());
    state.UpToDate = upToDate_;
    state.LastFile = waiting ? askedFile_ : lastFile_;
    state.Waiting = waiting;
    state.ElapsedMs = WorkMs();
    if (!waiting && !pixelsUpTo_.empty() && reported_ > 0)
        state.LeftMs = TimeLeftMs(WorkMs(), lastDoneMs_, pixelsUpTo_[static_cast<std::size_t>(reported_ - 1)],
                                  pixelsUpTo_.back());
    return state;
}

void BatchRun::Tick()
{
    if (phase_ == Phase::Idle)
        return;
    TakeMeasurement();
    const RunProgress state = Progress();
    if (progressWindow_)
        progressWindow_->ShowProgress(state);
    emit progress(state);
}

void BatchRun::MeasureSources()
{
    // The time left is told from pixels, which only the pictures' headers
    // give: read on a thread of their own, beside the work, as thousands of
    // them take seconds.
    std::vector<QString> sources;
    sources.reserve(items_.size());
    for (const PlanItem& item : items_)
        sources.push_back(item.Skip ? QString() : item.Source);
    stopMeasuring_ = false;
    measurer_ = base::StartWorkThread([this, sources = std::move(sources)] {
        std::vector<qint64> pixels;
        pixels.reserve(sources.size());
        for (const QString& source : sources) {
            if (stopMeasuring_.load())
                return;
            qint64 count = 0;
            if (!source.isEmpty()) {
                const pictures::PictureInfo info = pictures::ReadPictureSize(source);
                if (info.Ok())
                    count = static_cast<qint64>(info.Size.width()) * info.Size.height();
            }
            pixels.push_back(count);
        }
        // Handed over under a lock the main thread's ticks take, not through
        // Qt's event queue: the event's own memory would then be shared
        // between threads without a lock the thread sanitizer can see.
        const std::lock_guard<std::mutex> lock(measuredLock_);
        measured_ = std::move(pixels);
    });
}

void BatchRun::TakeMeasurement()
{
    std::optional<std::vector<qint64>> pixels;
    {
        const std::lock_guard<std::mutex> lock(measuredLock_);
        pixels.swap(measured_);
    }
    if (!pixels)
        return;
    qint64 sum = 0;
    for (qint64& count : *pixels)
        count = sum += count;
    pixelsUpTo_ = std::move(*pixels);
}

void BatchRun::TearDown()
{
    // A box still open (the window closing, the run destroyed) goes with the
    // run, unanswered.
    if (phase_ == Phase::AwaitingAnswer)
        askedMs_ += askingClock_.elapsed();
    phase_ = Phase::Idle;
    if (question_)
        question_->close();
    stopMeasuring_ = true;
    if (measurer_.joinable())
        measurer_.join();
    measured_.reset();
    engine_.reset();  // stops and waits for the workers; no temporary is left
    ticker_.stop();
    delete progressWindow_.data();
    SetBusy(false);
}

void BatchRun::Finish()
{
    RunResult result;
    result.Written = writtenCount_;
    result.Failed = failed_;
    result.Stopped = reported_ < static_cast<int>(items_.size());
    if (!result.Complete()) {
        for (std::size_t i = 0; i < items_.size(); ++i)
            if (!items_[i].Skip && !written_[i])
                result.Unwritten.append(items_[i].Source);
    }
    const End end = end_;
    TearDown();
    const QString summary = summary_.Text(WorkMs());

    emit finished(result);
    // Whatever ended it, the run ends with what it did; only the window's
    // closing ends it without a word. The box does not wait: this is the
    // engine's last report, not a command.
    if (end == End::NotYet)
        messages_.OpenInformation(QCoreApplication::translate("batch", "サイズの変換が終了しました。"), summary, this);
    else if (end == End::AskedToStop)
        messages_.OpenInformation(QCoreApplication::translate("batch", "中止しました。"), summary, this);
    else if (end == End::AtFailure)
        messages_.OpenInformation(QCoreApplication::translate("batch", "サイズの変換を途中で終了しました。"), summary, this);
}

void BatchRun::SetBusy(bool busy)
{
    if (busy == busy_)
        return;
    busy_ = busy;
    emit busyChanged(busy);
}

}  // namespace batch
