// The batch run over the main window's selection: the questions, the picker
// and the progress window on the user-interface thread, the work in a
// ShrinkEngine whose results reach this thread as queued calls.
#include "batch/run.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QProgressBar>

#include "batch/frmprogress.h"
#include "batch/preflight.h"
#include "batch/summary.h"
#include "shell/basmain.h"
#include "shell/folderpicker.h"
#include "shell/msg.h"
#include "shell/numtext.h"

namespace basBatch {
namespace {

struct RunState {
    bool running = false;
    bool stop = false;
    ShrinkEngine* engine = nullptr;
};

RunState& State()
{
    static RunState state;
    return state;
}

PictureReducer& RunReducer()
{
    static PictureReducer reducer;
    return reducer;
}
// Marks the run as going on for as long as it is in scope.
class Running {
public:
    Running() { State() = {true, false, nullptr}; }
    ~Running() { State() = {false, false, nullptr}; }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;
};

// The hourglass for the whole run, taken down before any message box so the
// user never sees it over a button they must press.
class Hourglass {
public:
    Hourglass() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~Hourglass() { Release(); }
    void Release()
    {
        if (on_) {
            QApplication::restoreOverrideCursor();
            on_ = false;
        }
    }

private:
    bool on_ = true;
};

void CloseProgress(QPointer<frmProgress>& progress)
{
    // Deleted at once rather than later: the run may end inside a nested
    // event loop, where a deferred deletion would wait.
    delete progress.data();
}

}  // namespace

bool BatchRunning()
{
    return State().running;
}

void StopBatch()
{
    if (!State().running)
        return;
    State().stop = true;
    if (State().engine)
        State().engine->Stop();
}

void SetRunReducer(PictureReducer reducer)
{
    RunReducer() = std::move(reducer);
}

namespace {

// Runs the plan with the window live: the event loop turns until the engine
// has finished, the bar advancing as each file is put in place. Returns the
// first failure, if any.
std::optional<ItemOutcome> RunEngine(Plan plan, QPointer<frmProgress>& progress, RunSummary& summary)
{
    EngineOptions options;
    options.Reducer = RunReducer();
    QEventLoop loop;  // outlives the engine, whose workers post to it
    ShrinkEngine engine(std::move(plan), std::move(options));
    State().engine = &engine;
    int done = 0;
    std::optional<ItemOutcome> failure;
    const auto collect = [&] {
        for (ItemOutcome& outcome : engine.Collect()) {
            summary.Add(outcome);
            if (!outcome.Ok()) {
                failure = std::move(outcome);
                continue;
            }
            ++done;
            if (progress)
                progress->pgbMain->setValue(done);
        }
        if (engine.Finished())
            loop.quit();
    };
    engine.Start([&loop, &collect] { QMetaObject::invokeMethod(&loop, collect, Qt::QueuedConnection); });
    loop.exec();
    State().engine = nullptr;
    return failure;
}

}  // namespace

void RunBatch(RunHost& host)
{
    if (State().running)
        return;  // a second run while one is going on: refused
    const Running running;

    int selectedCount = 0;
    for (int i = 0; i < host.ListCount(); ++i)
        if (host.Selected(i))
            ++selectedCount;
    if (selectedCount < 1) {
        Msg().ShowMessage(QStringLiteral("ファイルが選択されていません。"));
        return;
    }

    // A ratio still being typed is normalised first, so the question shows,
    // and the run uses, a ratio from 1.0% to 100.0%.
    const QString ratioText = host.NormalisedRatioText();
    if (Msg().ShowQuestion(QStringLiteral("縮小率 ") + ratioText + QStringLiteral(" で縮小を開始します。")) !=
        MsgAnswer::Yes || State().stop)
        return;

    host.CloseAllViewers();

    // The picker opens at the last output folder, never at the source folder,
    // where a bare Enter would confirm writing over the originals.
    QString outputFolder;
    if (!basMain::BrowseForOutputFolder(host.Window(), outputFolder,
                                        QStringLiteral("縮小した画像を出力するフォルダを選択してください。")) ||
        State().stop)
        return;

    // The plan is taken now: what the user does in the window from here on
    // does not change the run. Nothing is written before the user has agreed
    // to every original it replaces and every name two pictures share.
    PlanCheck check = CheckPlan(basMain::SelectedPaths(host), outputFolder);
    if (check.NeedsQuestion() && (Msg().ShowQuestion(PlanQuestion(check)) != MsgAnswer::Yes || State().stop))
        return;
    Plan plan;
    plan.Items = std::move(check.Items);
    plan.Ratio = basMain::Val(ratioText) / 100.0;

    Hourglass hourglass;
    QPointer<frmProgress> progress = new frmProgress(host.Window());
    progress->show();
    progress->repaint();
    progress->pgbMain->setRange(0, static_cast<int>(plan.Items.size()));

    QElapsedTimer clock;
    clock.start();
    RunSummary summary;
    const std::optional<ItemOutcome> failure = RunEngine(std::move(plan), progress, summary);
    if (failure && !State().stop) {
        // Shown while the progress window is still up; the outputs before
        // the failing image stay, nothing after it was written.
        hourglass.Release();
        if (failure->LoadError)
            Msg().ShowError(failure->LoadError->Description);
        else
            basMain::ShowSaveError(failure->SaveResult, failure->Output);
    }

    CloseProgress(progress);
    hourglass.Release();
    if (State().stop)
        return;  // the main window is closing: it is not touched again
    host.RefreshFileList();
    host.SetStatusText(QString());
    if (!failure)
        Msg().ShowInformation(QStringLiteral("サイズの変換が終了しました。"), summary.Text(clock.elapsed()));
}

}  // namespace basBatch
