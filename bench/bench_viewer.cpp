// Viewer benchmark: opens a large picture in a viewer while a timer on the
// window thread records how long the event loop went without running, and
// prints that with the time until the viewer was shown and the peak memory;
// then how long a decode takes to end once it is stopped halfway, as closing
// the viewers, a run or the program's end stop it.
// Runs on any platform plugin (offscreen without a display, or an X server).
//   bench_viewer [PICTURE]   (default: a generated 12000 x 8000 photo-like JPEG)
// Prints figures; not a test.
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "benchsupport.h"
#include "dialogs/viewerwindow.h"
#include "pictures/picture.h"
#include "shell/program.h"
#include "shell/messageboxes.h"

namespace {

class OneFile final : public shell::FileSelection {
public:
    explicit OneFile(const QString& path) : info_(path) {}
    int ListCount() const override { return 1; }
    bool Selected(int) const override { return true; }
    QString List(int) const override { return info_.fileName(); }
    QString FolderText() const override { return info_.absolutePath(); }

private:
    QFileInfo info_;
};

}  // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QString path = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (argc <= 1) {
        std::printf("writing a 12000 x 8000 photo-like JPEG...\n");
        path = bench::WritePhotos(dir.path(), {{12000, 8000}}).value(0);
        if (path.isEmpty())
            return 1;
    }

    MessageBoxes messages;
    shell::ProgramState program;
    dialogs::Viewers viewers(program, messages);
    QWidget owner;  // stands for the main window
    owner.resize(400, 300);
    owner.show();

    QElapsedTimer clock;
    qint64 last = 0, longest = 0, longestAt = 0, shownAt = -1;
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (now - last > longest) {
            longest = now - last;
            longestAt = last;
        }
        last = now;
        if (shownAt < 0 && program.ViewerCount > 0)
            shownAt = now;
        if (shownAt >= 0 && now - shownAt > 1'000'000'000)
            app.quit();  // a second after it appeared: every paint is done
    });
    QTimer::singleShot(200, [&] {
        clock.start();
        tick.start();
        viewers.ViewSelected(OneFile(path));
    });
    app.exec();

    std::printf("platform %s, picture %s\n", qPrintable(QGuiApplication::platformName()), qPrintable(path));
    std::printf("viewer shown after %.0f ms; longest time without the event loop: %.1f ms (from %.0f ms)\n",
                shownAt / 1e6, longest / 1e6, longestAt / 1e6);
    std::printf("peak memory: %.1f MiB\n", bench::PeakMiB());
    viewers.CloseViewers();

    std::atomic<bool> stop{false};
    std::thread decode([&] { pictures::LoadPicture(path, &stop); });
    std::this_thread::sleep_for(std::chrono::nanoseconds(shownAt / 2));
    QElapsedTimer stopping;
    stopping.start();
    stop = true;
    decode.join();
    std::printf("stopped halfway: the decode ended %.1f ms after the stop\n", stopping.nsecsElapsed() / 1e6);
    return 0;
}
