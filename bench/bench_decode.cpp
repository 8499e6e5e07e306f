// Shrink benchmark: one picture loaded whole, reduced and encoded in memory,
// against the run's way (decoded row by row through the reduction into the
// encoder, each band coded as it is complete, the bytes handed on as they
// come). Each mode runs in a child process of its own, so that each peak
// memory figure is that mode's alone. Prints figures; not a test.
//   bench_decode [picture [ratio]]   (default: a generated photo-like JPEG, 50%)
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "benchsupport.h"
#include "jpeg/jpeg.h"
#include "pictures/picture.h"

namespace {

// The bytes of a file, as the file would get them, only counted and hashed.
class DigestSink final : public jpeg::ByteSink {
public:
    jpeg::JpegResult Put(const std::uint8_t* data, std::size_t size) override
    {
        hash.addData(QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
        bytes += static_cast<qint64>(size);
        return jpeg::JpegResult::Ok;
    }
    QCryptographicHash hash{QCryptographicHash::Sha1};
    qint64 bytes = 0;
};

// The run's sink, without a file: rows into the encoder as they come.
class EncoderSink final : public pictures::ShrinkSink {
public:
    explicit EncoderSink(jpeg::ByteSink& out) : out_(out) {}
    bool Reserve(qint64, QSize) override { return true; }
    bool Begin(QSize, QSize target) override
    {
        return writer.Start(out_, target.width(), target.height()) == jpeg::JpegResult::Ok;
    }
    uchar* NextRow() override { return reinterpret_cast<uchar*>(writer.NextRow()); }
    bool RowDone() override { return writer.RowDone() == jpeg::JpegResult::Ok; }
    jpeg::JpegWriter writer;

private:
    jpeg::ByteSink& out_;
};

// One mode, in this (child) process: prints wall ms, peak MiB, a digest of
// the encoded bytes and their count.
int RunChild(const QString& mode, const QString& path, double ratio)
{
    QElapsedTimer timer;
    timer.start();
    DigestSink out;
    bool ok = true;
    if (mode == QLatin1String("stream")) {
        EncoderSink sink(out);
        ok = pictures::ShrinkPicture(path, pictures::RatioRule(ratio), sink).Ok() && sink.writer.Finish() == jpeg::JpegResult::Ok;
    } else if (mode == QLatin1String("whole")) {
        const pictures::LoadedPicture whole = pictures::LoadPicture(path);
        const QImage reduced = pictures::StretchHalftone(whole.Image, pictures::TargetLength(whole.Image.width(), ratio),
                                                        pictures::TargetLength(whole.Image.height(), ratio));
        std::vector<std::uint8_t> bytes;
        ok = jpeg::EncodeJpegToMemory({reinterpret_cast<const std::uint32_t*>(reduced.constBits()),
                                             reduced.bytesPerLine() / 4, reduced.width(), reduced.height()},
                                            bytes) == jpeg::JpegResult::Ok;
        out.Put(bytes.data(), bytes.size());
    }
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    std::printf("%.1f %.1f %s %lld\n", ms, bench::PeakMiB(), ok ? out.hash.result().toHex().left(12).constData() : "failed",
                static_cast<long long>(out.bytes));
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
        best.Digest = parts[2] + QStringLiteral(", ") + parts[3].trimmed() + QStringLiteral(" bytes");
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
    const pictures::PictureInfo info = pictures::ReadPictureSize(path);
    std::printf("%s: %dx%d (%.1f MP), ratio %.3g; best of 3 runs, each in its own process\n", qPrintable(path),
                info.Size.width(), info.Size.height(), info.Size.width() * static_cast<double>(info.Size.height()) / 1e6,
                ratio);
    const Figures idle = Measure(app.applicationFilePath(), QStringLiteral("none"), path, ratio, 1);
    std::printf("process with Qt loaded, doing nothing: peak %.1f MiB\n", idle.PeakMiB);
    const Figures whole = Measure(app.applicationFilePath(), QStringLiteral("whole"), path, ratio, 3);
    const Figures stream = Measure(app.applicationFilePath(), QStringLiteral("stream"), path, ratio, 3);
    std::printf("whole picture, reduced, encoded in memory: %7.1f ms, peak %6.1f MiB, %s\n", whole.Ms, whole.PeakMiB,
                qPrintable(whole.Digest));
    std::printf("rows through reduction and encoder:        %7.1f ms, peak %6.1f MiB, %s\n", stream.Ms, stream.PeakMiB,
                qPrintable(stream.Digest));
    std::printf("same bytes: %s\n", whole.Digest == stream.Digest && !whole.Digest.isEmpty() ? "yes" : "NO");
    return 0;
}
