// Load-and-reduce benchmark: a JPEG loaded whole and then reduced (decode,
// then the banded averaging reduction) against the streaming path (decoded row
// by row straight into the reduction). Each mode runs in a child process of
// its own, so that each peak memory figure is that mode's alone. Prints
// figures; not a test.
//   bench_decode [picture.jpg [ratio]]   (default: a generated photo-like JPEG, 50%)
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

#include "benchsupport.h"
#include "shell/picture.h"

namespace {

// One mode, in this (child) process: prints wall ms, peak MiB and a digest of the pixels.
int RunChild(const QString& mode, const QString& path, double ratio)
{
    QElapsedTimer timer;
    timer.start();
    QImage result;
    if (mode == QLatin1String("stream")) {
        result = basMain::LoadReducedPicture(path, ratio).Image;
    } else if (mode == QLatin1String("whole")) {
        const basMain::LoadedPicture whole = basMain::LoadPicture(path);
        result = basMain::StretchHalftone(whole.Image, basMain::TargetLength(whole.Image.width(), ratio),
                                          basMain::TargetLength(whole.Image.height(), ratio));
    }
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    QCryptographicHash digest(QCryptographicHash::Sha1);
    for (int y = 0; y < result.height(); ++y)
        digest.addData(QByteArrayView(reinterpret_cast<const char*>(result.constScanLine(y)), result.width() * 4));
    std::printf("%.1f %.1f %s %dx%d\n", ms, bench::PeakMiB(), digest.result().toHex().left(12).constData(), result.width(),
                result.height());
    return 0;
}

struct Figures {
    double Ms = 1e300;
    double PeakMiB = 0;
    QString Digest;
};

Figures Measure(const QString& program, const QString& mode, const QString& path, double ratio, int runs)
{
    Figures best;
    for (int i = 0; i < runs; ++i) {
        QProcess child;
        child.start(program, {QStringLiteral("--child"), mode, path, QString::number(ratio, 'g', 17)});
        if (!child.waitForFinished(-1) || child.exitCode() != 0)
            return best;
        const QStringList parts = QString::fromLatin1(child.readAllStandardOutput()).split(QLatin1Char(' '));
        if (parts.size() < 4)
            return best;
        best.Ms = std::min(best.Ms, parts[0].toDouble());
        best.PeakMiB = std::max(best.PeakMiB, parts[1].toDouble());
        best.Digest = parts[2] + QLatin1Char(' ') + parts[3].trimmed();
    }
    return best;
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 5 && args[1] == QLatin1String("--child"))
        return RunChild(args[2], args[3], args[4].toDouble());

    QTemporaryDir folder;
    const QString path = args.size() > 1 ? args[1] : bench::WritePhotos(folder.path(), {{6000, 4000}}).value(0);
    const double ratio = args.size() > 2 ? args[2].toDouble() : 0.5;
    const basMain::PictureInfo info = basMain::ReadPictureSize(path);
    std::printf("%s: %dx%d (%.1f MP), ratio %.3g; best of 3 runs, each in its own process\n", qPrintable(path),
                info.Size.width(), info.Size.height(), info.Size.width() * static_cast<double>(info.Size.height()) / 1e6,
                ratio);
    const Figures idle = Measure(app.applicationFilePath(), QStringLiteral("none"), path, ratio, 1);
    std::printf("process with Qt loaded, doing nothing: peak %.1f MiB\n", idle.PeakMiB);
    const Figures whole = Measure(app.applicationFilePath(), QStringLiteral("whole"), path, ratio, 3);
    const Figures stream = Measure(app.applicationFilePath(), QStringLiteral("stream"), path, ratio, 3);
    std::printf("whole picture, then reduced: %7.1f ms, peak %6.1f MiB, result %s\n", whole.Ms, whole.PeakMiB,
                qPrintable(whole.Digest));
    std::printf("streamed into the reduction: %7.1f ms, peak %6.1f MiB, result %s\n", stream.Ms, stream.PeakMiB,
                qPrintable(stream.Digest));
    std::printf("same pixels: %s\n", whole.Digest == stream.Digest && !whole.Digest.isEmpty() ? "yes" : "NO");
    return 0;
}
