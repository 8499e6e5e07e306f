// Responsiveness benchmark: the run of the real main window (every picture of
// a folder selected, F5) over a few 50 to 100 megapixel photo-like JPEGs on
// the offscreen platform, with a 1 ms timer on the GUI thread; prints the
// longest time the event loop went without running, idle and during the run.
// Settings go to a temporary folder. Prints figures; not a test.
// Usage: bench_responsive [FOLDER]   (default: generated photos of 50, 75, 96 MP)
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#include "app/program.h"
#include "batch/run.h"
#include "dialogs/viewerwindow.h"
#include "mainwin/filelist.h"
#include "mainwin/mainwindow.h"
#include "benchsupport.h"
#include "shell/program.h"
#include "shell/folderpicker.h"
#include "shell/font.h"
#include "shell/help.h"
#include "shell/messageboxes.h"

namespace {

class Yes final : public MessageResponder {
public:
    MsgAnswer Show(MsgKind, const QString&, const QString& text, const QString&) override
    {
        last = text;
        return MsgAnswer::Yes;
    }
    QString last;
};

// Ticks every millisecond and keeps the longest gap between two ticks.
class GapMeter {
public:
    GapMeter()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            if (now - last_ > longest_) {
                longest_ = now - last_;
                endedAt_ = now;
            }
            last_ = now;
            ++ticks_;
        });
    }
    void Start()
    {
        longest_ = 0;
        endedAt_ = 0;
        ticks_ = 0;
        clock_.start();
        last_ = 0;
        timer_.start();
    }
    double LongestMs() const { return longest_ / 1e6; }
    // When the longest gap ended, from the start.
    double EndedAtMs() const { return endedAt_ / 1e6; }
    long Ticks() const { return ticks_; }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 longest_ = 0;
    qint64 endedAt_ = 0;
    long ticks_ = 0;
};

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();

    QTemporaryDir generated;
    const QStringList sources =
        bench::PicturesFor(args, generated.path(), {{8660, 5774}, {10000, 7500}, {12000, 8000}});
    if (sources.isEmpty())
        return 1;

    QTemporaryDir settings;
    const base::SettingsStore store(settings.filePath("Zembrik.ini"));
    store.Open().setValue("Path/Path", QFileInfo(sources.first()).path());
    QTemporaryDir out;
    Yes yes;
    MessageBoxes messages(&yes);
    shell::ProgramState program;
    shell::Help help(program);
    dialogs::Viewers viewers(program, messages);

    // As the program starts: its font, then the main window shown.
    shell::ApplyProgramFont();
    MainWindow window({messages, help, viewers, [&](QWidget*, const QString&) { return std::optional<QString>(out.path()); },
                   store});
    batch::BatchRun run(&window, messages);
    ConnectRun(window, run);
    window.show();
    QCoreApplication::processEvents();
    window.FilList().SelectAll();

    GapMeter meter;
    meter.Start();
    QEventLoop idle;
    QTimer::singleShot(1000, &idle, &QEventLoop::quit);
    idle.exec();
    std::printf("idle, 1 s:   longest without the event loop %.1f ms (%ld ticks)\n", meter.LongestMs(), meter.Ticks());

    meter.Start();
    QElapsedTimer wall;
    wall.start();
    QEventLoop running;
    QObject::connect(&run, &batch::BatchRun::finished, &running, &QEventLoop::quit, Qt::QueuedConnection);
    window.ShrinkSelected();
    if (run.isRunning())
        running.exec();
    const double seconds = wall.nsecsElapsed() / 1e9;
    std::printf("run, %lld pictures at 50%%: %.2f s, longest without the event loop %.1f ms, ending %.0f ms "
                "after the start (%ld ticks)\n",
                static_cast<long long>(window.FilList().ListCount()), seconds, meter.LongestMs(), meter.EndedAtMs(), meter.Ticks());
    std::printf("last message: %s\n", qPrintable(yes.last));
    return 0;
}
