// The batch run over the main window's selection.
#include "batch/run.h"

#include <QApplication>
#include <QPointer>
#include <QProgressBar>
#include <memory>

#include "batch/frmprogress.h"
#include "batch/frmwork.h"
#include "batch/shrink.h"
#include "shell/folderpicker.h"
#include "shell/msg.h"
#include "shell/numtext.h"

namespace basBatch {
namespace {

struct RunState {
    bool running = false;
    bool stop = false;
};

RunState& State()
{
    static RunState state;
    return state;
}

// Marks the run as going on for as long as it is in scope.
class Running {
public:
    Running() { State() = {true, false}; }
    ~Running() { State() = {false, false}; }
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
    if (State().running)
        State().stop = true;
}

void RunBatch(RunHost& host)
{
    if (State().running)
        return;  // a run started during another's yield: refused
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

    // The picker opens on the source folder, where the user just was.
    QString outputFolder = host.FolderText();
    if (!basMain::BrowseForFolder(host.Window(), outputFolder,
                                  QStringLiteral("縮小した画像を出力するフォルダを選択してください。")) ||
        State().stop)
        return;

    Hourglass hourglass;
    QPointer<frmProgress> progress = new frmProgress(host.Window());
    progress->show();
    progress->repaint();
    progress->pgbMain->setRange(0, selectedCount);

    const double ratio = basMain::Val(ratioText) / 100.0;
    const ModuleJPEG::YieldHook yield = [] {
        QCoreApplication::processEvents();
        return State().stop ? ModuleJPEG::YieldAction::Abort : ModuleJPEG::YieldAction::Continue;
    };

    int done = 0;
    bool saveFailed = false;
    bool loadFailed = false;
    // The list, its selection and the folder text are read afresh at every
    // index: what the user changes during a yield affects the rest of the run.
    for (int i = 0; i < host.ListCount(); ++i) {
        if (!host.Selected(i))
            continue;
        const QString fileName = host.List(i);
        auto work = std::make_unique<frmWork>();
        const ShrinkResult result = ShrinkFile(host.FolderText(), fileName, ratio, outputFolder, work->picMain, yield);
        work.reset();
        if (State().stop)
            break;
        if (result.Error) {
            hourglass.Release();
            Msg().ShowError(result.Error->Description);
            loadFailed = true;
            break;
        }
        if (result.SaveResult != ModuleJPEG::JpegResult::Ok) {
            hourglass.Release();
            basMain::ShowSaveError(result.SaveResult);
            saveFailed = true;
            break;
        }
        ++done;
        if (progress) {
            progress->pgbMain->setValue(done);
            progress->pgbMain->repaint();
        }
        QCoreApplication::processEvents();
        if (State().stop)
            break;
    }

    CloseProgress(progress);
    hourglass.Release();
    if (State().stop)
        return;  // the main window is closing: it is not touched again
    host.RefreshFileList();
    host.SetStatusText(QString());
    if (!saveFailed && !loadFailed)
        Msg().ShowInformation(QStringLiteral("サイズの変換が終了しました。"));
}

}  // namespace basBatch
