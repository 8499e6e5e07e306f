// The program's start and end.
#include "app/program.h"

#include <QApplication>

#if defined(Q_OS_UNIX)
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "mainwin/frmmain.h"
#include "shell/basmain.h"
#include "shell/font.h"
#include "shell/icons.h"
#include "shell/msg.h"

namespace {

#if defined(Q_OS_UNIX)
const int ClosingSignals[] = {SIGINT, SIGTERM, SIGHUP};
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

int RunZembrik(QApplication& app, const QStringList& paths)
{
    QApplication::setApplicationName(basMain::AppTitle);
    basMain::InitProgramValues();
    basMain::ApplyProgramFont();
    basMain::InstallQtJapaneseTexts();
    QApplication::setWindowIcon(basMain::ProgramIcon());
    auto* window = new frmMain;
    window->setAttribute(Qt::WA_DeleteOnClose);
    // The program ends with its main window, which takes every other window
    // with it. Qt's own rule (the last visible window closed) misses a window
    // that is hidden first and closed later, as one closed during a run is.
    QObject::connect(window, &QObject::destroyed, &app, &QCoreApplication::quit);
    CloseOnSignals(window);
    Msg().SetOwner(window);
    // Said in the window once it shows.
    const QStringList unopened = window->OpenPaths(paths);
    QMetaObject::invokeMethod(window, [window, unopened] { window->ReportUnopened(unopened); }, Qt::QueuedConnection);
    window->show();
    return app.exec();
}
