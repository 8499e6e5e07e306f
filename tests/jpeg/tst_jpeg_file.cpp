// Whole files: exact bytes against a plain encoder whichever way the rows
// arrive, decoding by independent decoders, and a sink that fails.
#include <QtTest>

#include <QDir>
#include <QImageReader>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <random>

#include "jpeg/jpeg.h"
#include "reference_encoder.h"
#include "testimages.h"

using jpeg::JpegResult;

namespace {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    jpeg::PixelRows Rows() const { return {pixels.data(), width, width, height}; }
};

std::uint32_t Rgb(int r, int g, int b)
{
    return 0xFF000000u | static_cast<std::uint32_t>(r) << 16 | static_cast<std::uint32_t>(g) << 8 |
           static_cast<std::uint32_t>(b);
}

// Noise, saturated colour bars, a hard edge, a smooth ramp or a checkerboard.
Picture Make(const QString& pattern, int width, int height)
{
    Picture p{width, height, std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height)};
    std::mt19937 random(static_cast<unsigned>(width * 131 + height));
    const std::uint32_t bars[8] = {Rgb(255, 255, 255), Rgb(255, 255, 0), Rgb(0, 255, 255), Rgb(0, 255, 0),
                                   Rgb(255, 0, 255),   Rgb(255, 0, 0),   Rgb(0, 0, 255),   Rgb(0, 0, 0)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p.pixels[static_cast<std::size_t>(y) * width + x] =
                pattern == QLatin1String("noise")       ? Rgb(random() % 256, random() % 256, random() % 256)
                : pattern == QLatin1String("bars")      ? bars[x * 8 / width]
                : pattern == QLatin1String("redOnBlue") ? (x < width / 2 ? Rgb(255, 0, 0) : Rgb(0, 0, 255))
                : pattern == QLatin1String("gradient")
                    ? Rgb(x * 255 / std::max(width - 1, 1), y * 255 / std::max(height - 1, 1), 128)
                    : ((x + y) % 2 ? Rgb(255, 255, 255) : Rgb(0, 0, 0));
    return p;
}

QByteArray Bytes(const std::vector<std::uint8_t>& out)
{
    return QByteArray(reinterpret_cast<const char*>(out.data()), static_cast<qsizetype>(out.size()));
}

QByteArray Encode(const Picture& p)
{
    std::vector<std::uint8_t> out;
    if (jpeg::EncodeJpegToMemory(p.Rows(), out) != JpegResult::Ok)
        return {};
    return Bytes(out);
}

// Collects what a writer hands on, failing once Limit bytes are exceeded.
class MemorySink final : public jpeg::ByteSink {
public:
    explicit MemorySink(std::size_t limit = SIZE_MAX) : limit_(limit) {}
    JpegResult Put(const std::uint8_t* data, std::size_t size) override
    {
        if (out.size() + size > limit_)
            return JpegResult::DiskFull;
        out.insert(out.end(), data, data + size);
        return JpegResult::Ok;
    }
    std::vector<std::uint8_t> out;

private:
    std::size_t limit_;
};

// The rows in runs through the writer: one at a time into its band, as a
// decoder gives them, or in runs that straddle the bands (some coded in
// place, some copied).
QByteArray EncodeInRuns(const Picture& p, int run)
{
    MemorySink sink;
    jpeg::JpegWriter writer;
    JpegResult result = writer.Start(sink, p.width, p.height);
    for (int y = 0; y < p.height && result == JpegResult::Ok; y += run) {
        const std::uint32_t* rows = p.pixels.data() + static_cast<std::size_t>(y) * p.width;
        if (run == 1) {
            std::copy_n(rows, p.width, writer.NextRow());
            result = writer.RowDone();
        } else {
            result = writer.PutRows({rows, p.width, p.width, std::min(run, p.height - y)});
        }
    }
    return result == JpegResult::Ok && writer.Finish() == JpegResult::Ok ? Bytes(sink.out) : QByteArray();
}

QByteArray Reference(const Picture& p)
{
    return Bytes(ReferenceEncode(p.width, p.height, p.pixels));
}

}  // namespace

class JpegFile : public QObject {
    Q_OBJECT

private slots:
    void matchesThePlainEncoder_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        const QStringList patterns = {QStringLiteral("noise"), QStringLiteral("bars"), QStringLiteral("redOnBlue"),
                                      QStringLiteral("gradient"), QStringLiteral("checker")};
        const QList<QPair<int, int>> sizes = {{1, 1},   {2, 2},  {15, 15}, {16, 16}, {17, 17},
                                              {17, 1},  {1, 17}, {33, 47}, {64, 48}, {100, 75}};
        for (const QString& pattern : patterns)
            for (const auto& [w, h] : sizes)
                QTest::newRow(qPrintable(QStringLiteral("%1 %2x%3").arg(pattern).arg(w).arg(h))) << pattern << w << h;
        QTest::newRow("noise column 1x400") << QStringLiteral("noise") << 1 << 400;
        QTest::newRow("noise row 400x1") << QStringLiteral("noise") << 400 << 1;
        for (const auto& [w, h] : {std::pair{0, 0}, std::pair{0, 5}, std::pair{7, 0}})  // headers only
            QTest::addRow("empty %dx%d", w, h) << QStringLiteral("checker") << w << h;
    }
    // The same bytes whichever way the rows arrive, and a file independent
    // decoders read: the plain encoder may share a misreading of the format,
    // a decoder does not.
    void matchesThePlainEncoder()
    {
        QFETCH(QString, pattern);
        QFETCH(int, width);
        QFETCH(int, height);
        const Picture p = Make(pattern, width, height);
        const QByteArray reference = Reference(p);
        const QByteArray whole = Encode(p);
        QCOMPARE(whole.size(), reference.size());
        QVERIFY(whole == reference);
        QVERIFY(EncodeInRuns(p, 1) == reference);
        QVERIFY(EncodeInRuns(p, 7) == reference);
        if (width == 0 || height == 0)
            return;  // no decoder reads a picture without pixels

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.jpg"));
        QVERIFY(testimages::Write(path, whole));
        QImageReader reader(path);
        const QImage decoded = reader.read();
        QVERIFY2(!decoded.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(decoded.size(), QSize(width, height));
        // Smooth pictures come back close. (Below a whole MCU the chroma
        // averaging dominates any error figure.)
        const bool smooth = pattern == QLatin1String("gradient") || pattern == QLatin1String("redOnBlue");
        if (smooth && width >= 16 && height >= 16) {
            const QImage original(reinterpret_cast<const uchar*>(p.pixels.data()), width, height, QImage::Format_RGB32);
            const double mean = testimages::Difference(original, decoded).first;
            QVERIFY2(mean < (pattern == QLatin1String("gradient") ? 4.0 : 24.0), qPrintable(QString::number(mean)));
        }

        const QString djpeg = QStandardPaths::findExecutable(QStringLiteral("djpeg"));
        if (djpeg.isEmpty())
            QSKIP("djpeg (libjpeg-turbo-progs) is not installed");
        QProcess run;
        run.start(djpeg, {QStringLiteral("-outfile"), QStringLiteral("/dev/null"), path});
        QVERIFY(run.waitForFinished());
        QCOMPARE(run.exitCode(), 0);
        QCOMPARE(QString::fromLocal8Bit(run.readAllStandardError()), QString());
    }

    // A sink that fails in the middle of the scan, after the writer has
    // handed on its buffer several times: the failure is the sink's, and
    // every later call gives it too.
    void sinkFailuresStick()
    {
        const Picture noise = Make(QStringLiteral("noise"), 600, 600);
        MemorySink full(100000);
        jpeg::JpegWriter writer;
        QCOMPARE(writer.Start(full, noise.width, noise.height), JpegResult::Ok);
        QCOMPARE(writer.PutRows(noise.Rows()), JpegResult::DiskFull);
        QVERIFY(!writer.NextRow());
        QCOMPARE(writer.Finish(), JpegResult::DiskFull);
        QVERIFY(full.out.size() > 50000);  // what was handed on before it filled up

    }
};

QTEST_GUILESS_MAIN(JpegFile)
#include "tst_jpeg_file.moc"
