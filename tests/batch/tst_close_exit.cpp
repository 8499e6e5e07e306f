// The whole program, as main() runs it: the main window closed while a run is
// in work ends the run and then the program, with status 0, leaving only the
// files put in place before the close and no temporary file, reporting no
// completion, and with the window's settings saved. With --signal, SIGTERM
// (a log-out, or Ctrl+C in a terminal) does the closing; with
// --signal-question it comes while the run's first question (a real box) is
// open, which it closes, and nothing is written.
#include <QApplication>
#include <QMessageBox>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "app/program.h"
#include "mainwin/filelist.h"
#include "mainwin/mainwindow.h"
#include "shell/folderpicker.h"
#include "shell/messageboxes.h"
#include "heldpicture.h"
#include "scriptedmessages.h"

namespace {

int Fail(const char* what)
{
    std::fprintf(stderr, "FAIL: %s\n", what);
    return 1;
}

MainWindow* TheMainWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* main = qobject_cast<MainWindow*>(w))
            return main;
    return nullptr;
}

}  // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toLocal8Bit());
    const bool inQuestion = argc > 1 && std::strcmp(argv[1], "--signal-question") == 0;
    const bool bySignal = inQuestion || (argc > 1 && std::strcmp(argv[1], "--signal") == 0);
    QApplication app(argc, argv);
    QTemporaryDir photos;
    QTemporaryDir out;
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        if (!image.save(photos.filePath(name)))
            return Fail("cannot write the test pictures");
    }
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, home.filePath("config"));
    QSettings(QSettings::IniFormat, QSettings::UserScope, "Zembrik", "Zembrik").setValue("Path/Path", photos.path());

    ScriptedMessages script;  // answers Yes
    bool picked = false;
    std::atomic<bool> bInWork{false};
    Services services;
    if (!inQuestion)
        services.Messages = &script;
    services.Picker = [&](QWidget*, const QString&) {
        picked = true;
        return std::optional<QString>(out.path());
    };
    services.Reducer = HoldUntilStopped(QStringLiteral("b.jpg"), bInWork);

    // F5 on every image, then the window's close once a.jpg is in place and
    // b.jpg in work.
    QTimer::singleShot(0, [] {
        if (MainWindow* w = TheMainWindow()) {
            w->FilList().SelectAll();
            w->ShrinkSelected();
        }
    });
    QTimer poll;
    poll.callOnTimeout([&] {
        if (inQuestion && qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            poll.stop();
            std::raise(SIGTERM);
        }
        if (bInWork && QFile::exists(out.filePath("a.jpg")) && TheMainWindow()) {
            poll.stop();
            if (bySignal)
                std::raise(SIGTERM);
            else
                TheMainWindow()->close();
        }
    });
    poll.start(1);
    // Without an end the test would hang; this bound only turns that into a failure.
    QTimer::singleShot(60000, [] { QCoreApplication::exit(99); });

    const int status = RunZembrik(app, base::Language::Japanese, {}, services);
    if (status != 0)
        return Fail("the program did not end by itself with status 0 after its window closed");
    if (inQuestion) {
        if (picked || !QDir(out.path()).isEmpty())
            return Fail("the run went on past the question the signal closed");
    } else if (!bInWork) {
        return Fail("the run did not start");
    }
    if (!inQuestion && QDir(out.path()).entryList(QDir::Files | QDir::Hidden) != QStringList{"a.jpg"})
        return Fail("the output folder holds more than the file put in place before the close");
    if (script.Texts().contains(QStringLiteral("サイズの変換が終了しました。")))
        return Fail("a run ended by the close was reported as complete");
    if (QSettings(QSettings::IniFormat, QSettings::UserScope, "Zembrik", "Zembrik").value("Path/Path") != photos.path())
        return Fail("the window closed during a run did not save its settings");
    std::puts("PASS: closing during a run ends the program");
    return 0;
}
