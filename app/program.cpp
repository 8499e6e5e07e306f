// The program's start and end, and the wiring of the run to the window.
#include "app/program.h"

#include <QApplication>
#include <QPointer>

#if defined(Q_OS_UNIX)
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "batch/request.h"
#include "batch/run.h"
#include "dialogs/viewerwindow.h"
#include "mainwin/commands.h"
#include "mainwin/mainwindow.h"
#include "shell/program.h"
#include "shell/font.h"
#include "shell/help.h"
#include "shell/icons.h"
#include "shell/messageboxes.h"

namespace {

#if defined(Q_OS_UNIX)
const int ClosingSignals[] = {SIGINT, SIGTERM, SIGHUP};
// A signal handler is given nothing but the signal's number, so the socket it
// writes to can only be a global: the program's one, set once at its start.
int signalPipe[2] = {-1, -1};

void OnClosingSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[0], &byte, 1);
}

// Ctrl+C in the terminal that started the program, a hang-up, or the
// session's SIGTERM at log-out close the main window as its close box does:
// a run stops with no temporary file left and the settings are saved. A
// signal handler may only write to a descriptor, so the event loop reads the
// signal from a socket pair. A second signal ends the program at once.
void CloseOnSignals(QWidget* window)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window, notifier] {
        notifier->setEnabled(false);
        for (const int signal : ClosingSignals)
            std::signal(signal, SIG_DFL);
        window->close();
    });
    struct sigaction action = {};
    action.sa_handler = OnClosingSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : ClosingSignals)
        sigaction(signal, &action, nullptr);
}
#else
void CloseOnSignals(QWidget*) {}
#endif

}  // namespace

void ConnectRun(MainWindow& window, batch::BatchRun& run)
{
    window.SetCommandHandler(MainWindow::Command::Run, [&window, &run] {
        // A ratio still being typed is normalised first, so the question
        // shows, and the run uses, a ratio from 1.0% to 100.0%.
        window.NormaliseRatioBox();
        const WindowServices& services = window.Services();
        const std::optional<batch::RunRequest> request =
            batch::AskForRun(mainwin::commands::SelectedPaths(window), window.cboRituText(), window.OutputSettings(),
                                [&services] { services.Viewers.CloseViewers(); }, &window, services.Messages,
                                services.Picker);
        if (request && run.start(*request))
            window.SetRunGoingOn(true);
    });
    window.SetCommandHandler(MainWindow::Command::TreeRun, [&window, &run] {
        window.NormaliseRatioBox();
        const WindowServices& services = window.Services();
        const std::optional<batch::RunRequest> request = batch::AskForTreeRun(
            window.cboDirText(), window.PictureNames(), window.cboRituText(), window.OutputSettings(),
            [&services] { services.Viewers.CloseViewers(); }, &window, services.Messages, services.Picker);
        if (request && run.start(*request))
            window.SetRunGoingOn(true);
    });
    window.SetCommandHandler(MainWindow::Command::Progress, [&run] { run.raiseProgressWindow(); });
    QObject::connect(&run, &batch::BatchRun::finished, &window, [&window](const batch::RunResult& result) {
        window.SetRunGoingOn(false);
        window.RefreshAfterRun(result.Unwritten);
    });
    QObject::connect(&window, &MainWindow::Closing, &run, &batch::BatchRun::stop);
    // The pointer says the program works, and the window (and 中止) can
    // still be used; the run is not busy while any of its boxes is up.
    QObject::connect(&run, &batch::BatchRun::busyChanged, &window, [](bool busy) {
        if (busy)
            QApplication::setOverrideCursor(Qt::BusyCursor);
        else
            QApplication::restoreOverrideCursor();
    });
}

int RunZembrik(QApplication& app, base::Language language, const QStringList& paths, const Services& services)
{
    QApplication::setApplicationName(base::AppTitle);
    shell::ProgramState program = shell::InitProgramValues(base::HelpFileName(language));
    shell::ApplyProgramFont();
    QApplication::setWindowIcon(shell::ProgramIcon());
    // The window's services outlive it: it is gone when the event loop ends.
    MessageBoxes messages(services.Messages);
    shell::Help help(program);
    dialogs::Viewers viewers(program, messages);
    const shell::FolderPicker picker = services.Picker ? services.Picker : shell::OutputFolderDialog(services.Settings);
    auto* window = new MainWindow({messages, help, viewers, picker, services.Settings}, services.Formats);
    const QPointer<MainWindow> unended(window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    // Outlives the window, whose closing stops it.
    batch::BatchRun run(window, messages, services.Reducer, services.Metadata);
    ConnectRun(*window, run);
    // The program ends with its main window, which takes every other window
    // with it, rather than by Qt's own rule (the last visible window closed),
    // which a window still up would defeat.
    QObject::connect(window, &QObject::destroyed, &app, &QCoreApplication::quit);
    CloseOnSignals(window);
#if defined(Q_OS_UNIX)
    // Past a file-size limit (ulimit -f) a write fails with EFBIG, reported as
    // a full disk, instead of the signal ending the program mid-run.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    messages.SetOwner(window);
    // Said in the window once it shows.
    const QStringList unopened = window->OpenPaths(paths);
    QMetaObject::invokeMethod(window, [window, unopened] { window->ReportUnopened(unopened); }, Qt::QueuedConnection);
    window->show();
    const int status = app.exec();
    // Only an event loop ended from outside (a test's time limit) leaves the
    // window, which must not outlive the services it holds.
    delete unended.data();
    return status;
}
