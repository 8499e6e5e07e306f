// Viewer benchmark: opens a large picture in a viewer while a timer on the
// window thread records how long the event loop went without running, and
// prints that with the time until the viewer was shown and the peak memory.
// Runs on any platform plugin (offscreen without a display, or an X server).
//   bench_viewer [PICTURE]   (default: a generated 12000 x 8000 photo-like JPEG)
// Prints figures; not a test.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>
#include <cstdio>

#include "dialogs/frmimage.h"
#include "shell/basmain.h"

namespace {

class OneFile final : public basMain::FileSelection {
public:
    explicit OneFile(const QString& path) : info_(path) {}
    int ListCount() const override { return 1; }
    bool Selected(int) const override { return true; }
    QString List(int) const override { return info_.fileName(); }
    QString FolderText() const override { return info_.absolutePath(); }

private:
    QFileInfo info_;
};

bool WritePhotoLike(const QString& path, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qRgb(128 + static_cast<int>(100 * std::sin(x * 0.004)),
                           128 + static_cast<int>(90 * std::cos(y * 0.003 + x * 0.001)), (x ^ y) % 256 / 2 + 64);
    }
    return image.save(path, "JPEG", 90);
}

}  // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QString path = argc > 1 ? QString::fromLocal8Bit(argv[1]) : dir.filePath(QStringLiteral("photo.jpg"));
    if (argc <= 1) {
        std::printf("writing a 12000 x 8000 photo-like JPEG...\n");
        if (!WritePhotoLike(path, 12000, 8000))
            return 1;
    }

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
        if (shownAt < 0 && basMain::ViewerCount > 0)
            shownAt = now;
        if (shownAt >= 0 && now - shownAt > 1'000'000'000)
            app.quit();  // a second after it appeared: every paint is done
    });
    QTimer::singleShot(200, [&] {
        clock.start();
        tick.start();
        basViewers::mnuToolView_Click(OneFile(path));
    });
    app.exec();

    std::printf("platform %s, picture %s\n", qPrintable(QGuiApplication::platformName()), qPrintable(path));
    std::printf("viewer shown after %.0f ms; longest time without the event loop: %.1f ms (from %.0f ms)\n",
                shownAt / 1e6, longest / 1e6, longestAt / 1e6);
#ifdef __linux__
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmHWM:"))
                std::printf("peak memory: %s\n", line.mid(6).trimmed().constData());
#endif
    basViewers::mnuToolClose_Click();
    return 0;
}
