// Box benchmark: JPEGs shrunk to fit a box as a run does, once from the full
// decode (as the ratio always shrinks) and once from libjpeg's smaller DCT
// scale where the box allows it. For each picture: the scale, the time of
// each way (best of 3, rows straight into the encoder in memory) and the PSNR
// of each encoded result against the exact reduction of the full decode.
// Prints figures; not a test.
//   bench_box [FOLDER [WxH]]   (default: generated photo-like JPEGs, 1920x1080)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "benchsupport.h"
#include "jpeg/jpeg.h"
#include "output/outputsettings.h"
#include "pictures/jpegrows.h"
#include "pictures/picture.h"

namespace {

class MemorySink final : public jpeg::ByteSink {
public:
    jpeg::JpegResult Put(const std::uint8_t* data, std::size_t size) override
    {
        bytes.insert(bytes.end(), data, data + size);
        return jpeg::JpegResult::Ok;
    }
    std::vector<std::uint8_t> bytes;
};

// The run's sink without a file: rows into the encoder as they come.
class EncoderSink final : public pictures::ShrinkSink {
public:
    bool Reserve(qint64, QSize) override { return true; }
    bool Begin(QSize, QSize target) override
    {
        return writer.Start(out, target.width(), target.height()) == jpeg::JpegResult::Ok;
    }
    uchar* NextRow() override { return reinterpret_cast<uchar*>(writer.NextRow()); }
    bool RowDone() override { return writer.RowDone() == jpeg::JpegResult::Ok; }
    MemorySink out;
    jpeg::JpegWriter writer;
};

struct Shrunk {
    double Ms = std::numeric_limits<double>::infinity();
    QImage Decoded;  // the encoded result read back
};

Shrunk Shrink(const QString& path, const pictures::SizeRule& rule)
{
    Shrunk best;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        EncoderSink sink;
        if (!pictures::ShrinkPicture(path, rule, sink).Ok() || sink.writer.Finish() != jpeg::JpegResult::Ok)
            return {};
        best.Ms = std::min(best.Ms, timer.nsecsElapsed() / 1e6);
        best.Decoded = QImage::fromData(sink.out.bytes.data(), static_cast<int>(sink.out.bytes.size()), "JPEG")
                           .convertToFormat(QImage::Format_RGB32);
    }
    return best;
}

double Psnr(const QImage& a, const QImage& b)
{
    if (a.size() != b.size() || a.isNull())
        return 0;
    double squares = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* p = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* q = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            for (const int d : {qRed(p[x]) - qRed(q[x]), qGreen(p[x]) - qGreen(q[x]), qBlue(p[x]) - qBlue(q[x])})
                squares += d * d;
    }
    return squares == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * 3 * a.width() * a.height() / squares);
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    QSize box(1920, 1080);
    if (args.size() > 2) {
        const QStringList sides = args[2].split(QLatin1Char('x'));
        box = QSize(sides.value(0).toInt(), sides.value(1).toInt());
    }
    QTemporaryDir scratch;
    const QStringList paths =
        bench::PicturesFor(args.mid(0, 2), scratch.path(), {{4000, 3000}, {6000, 4000}, {8000, 6000}});
    const auto target = [box](QSize upright) { return output::FitInside(upright, box); };
    std::printf("box %dx%d; ms best of 3, encoded at quality 50; PSNR dB against the exact reduction of the full decode\n",
                box.width(), box.height());
    std::printf("%-36s %11s %5s %9s %9s %8s %8s\n", "picture", "size", "scale", "full ms", "scaled ms", "full dB",
                "scaled dB");
    double fullMs = 0, scaledMs = 0, worstLoss = -99;
    for (const QString& path : paths) {
        const pictures::LoadedPicture whole = pictures::LoadPicture(path);
        if (!whole.Ok())
            continue;
        const QSize size = whole.Image.size();
        const QSize to = target(size);
        const QImage reference = pictures::StretchHalftone(whole.Image, to.width(), to.height());
        const Shrunk full = Shrink(path, {target, false});
        const Shrunk scaled = Shrink(path, {target, true});
        const double fullDb = Psnr(full.Decoded, reference), scaledDb = Psnr(scaled.Decoded, reference);
        std::printf("%-36s %5dx%-5d  1/%d %9.1f %9.1f %8.2f %8.2f\n", qPrintable(QFileInfo(path).fileName().left(36)),
                    size.width(), size.height(), pictures::JpegScaleFor(size, to), full.Ms, scaled.Ms, fullDb, scaledDb);
        fullMs += full.Ms;
        scaledMs += scaled.Ms;
        worstLoss = std::max(worstLoss, fullDb - scaledDb);
    }
    std::printf("total: full %.0f ms, scaled %.0f ms (%.2fx); largest PSNR loss %.2f dB\n", fullMs, scaledMs,
                fullMs / scaledMs, worstLoss);
    return 0;
}
