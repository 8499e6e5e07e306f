// Whole files: exact bytes against a plain encoder, decoding by independent
// decoders, and how SaveJpeg treats the file it replaces.
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

using ModuleJPEG::JpegResult;

namespace {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    ModuleJPEG::PixelRows Rows() const { return {pixels.data(), width, width, height}; }
};

std::uint32_t Rgb(int r, int g, int b)
{
    return 0xFF000000u | static_cast<std::uint32_t>(r) << 16 | static_cast<std::uint32_t>(g) << 8 |
           static_cast<std::uint32_t>(b);
}

Picture Make(const QString& pattern, int width, int height)
{
    Picture p{width, height, std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height)};
    std::mt19937 random(static_cast<unsigned>(width * 131 + height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint32_t c = 0;
            if (pattern == QLatin1String("noise"))
                c = Rgb(random() % 256, random() % 256, random() % 256);
            else if (pattern == QLatin1String("bars")) {
                static const std::uint32_t bars[8] = {Rgb(255, 255, 255), Rgb(255, 255, 0), Rgb(0, 255, 255),
                                                      Rgb(0, 255, 0),     Rgb(255, 0, 255), Rgb(255, 0, 0),
                                                      Rgb(0, 0, 255),     Rgb(0, 0, 0)};
                c = bars[x * 8 / std::max(width, 1)];
            } else if (pattern == QLatin1String("redOnBlue"))
                c = x < width / 2 ? Rgb(255, 0, 0) : Rgb(0, 0, 255);
            else if (pattern == QLatin1String("gradient"))
                c = Rgb(x * 255 / std::max(width - 1, 1), y * 255 / std::max(height - 1, 1), 128);
            else  // checker
                c = (x + y) % 2 ? Rgb(255, 255, 255) : Rgb(0, 0, 0);
            p.pixels[static_cast<std::size_t>(y) * width + x] = c;
        }
    }
    return p;
}

QByteArray Encode(const Picture& p)
{
    std::vector<std::uint8_t> out;
    if (ModuleJPEG::EncodeJpegToMemory(p.Rows(), out) != JpegResult::Ok)
        return {};
    return QByteArray(reinterpret_cast<const char*>(out.data()), static_cast<qsizetype>(out.size()));
}

QByteArray Reference(const Picture& p)
{
    const std::vector<std::uint8_t> out = ReferenceEncode(p.width, p.height, p.pixels);
    return QByteArray(reinterpret_cast<const char*>(out.data()), static_cast<qsizetype>(out.size()));
}

std::filesystem::path Fs(const QString& path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

JpegResult Save(const QString& path, ModuleJPEG::PictureSurface& surface, const ModuleJPEG::YieldHook& hook = {})
{
    std::int32_t quality = 50;
    return ModuleJPEG::SaveJpeg(Fs(path), quality, std::string(), surface, hook);
}

ModuleJPEG::MemorySurface Surface(const Picture& p)
{
    return ModuleJPEG::MemorySurface(p.width, p.height, p.pixels);
}

// A surface whose picture cannot be had.
class FailingSurface final : public ModuleJPEG::PictureSurface {
public:
    std::int32_t BorderStyle() const override { return border; }
    void SetBorderStyle(std::int32_t s) override { border = s; }
    bool AutoRedraw() const override { return redraw; }
    void SetAutoRedraw(bool on) override { redraw = on; }
    std::shared_ptr<const ModuleJPEG::Snapshot> Capture() override { return nullptr; }
    std::int32_t border = 1;
    bool redraw = false;
};

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
    void matchesThePlainEncoder()
    {
        QFETCH(QString, pattern);
        QFETCH(int, width);
        QFETCH(int, height);
        const Picture p = Make(pattern, width, height);
        const QByteArray ours = Encode(p);
        const QByteArray reference = Reference(p);
        QCOMPARE(ours.size(), reference.size());
        QVERIFY(ours == reference);
    }

    void independentDecodersReadEveryFile_data() { matchesThePlainEncoder_data(); }
    void independentDecodersReadEveryFile()
    {
        QFETCH(QString, pattern);
        QFETCH(int, width);
        QFETCH(int, height);
        if (width == 0 || height == 0)
            return;  // no decoder reads a picture without pixels
        const Picture p = Make(pattern, width, height);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.jpg"));
        QVERIFY(testimages::Write(path, Encode(p)));

        QImageReader reader(path);
        const QImage decoded = reader.read();
        QVERIFY2(!decoded.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(decoded.size(), QSize(width, height));

        // Smooth pictures come back close: the plain encoder may share a
        // misreading of the format, a decoder does not. (Below a whole MCU the
        // chroma averaging dominates any error figure.)
        const bool smooth = pattern == QLatin1String("gradient") || pattern == QLatin1String("redOnBlue");
        if (smooth && width >= 16 && height >= 16) {
            double error = 0;
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    const QRgb a = p.pixels[static_cast<std::size_t>(y) * width + x], b = decoded.pixel(x, y);
                    error += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
                }
            const double mean = error / (3.0 * width * height);
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

    // Only a whole file replaces the target: an older, longer one goes
    // completely; a save stopped half way, as when the window closes, or one
    // onto a folder leaves what was there, and no temporary file.
    void onlyAWholeFileReplacesTheTarget()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("photo.jpg"));
        QVERIFY(testimages::Write(target, QByteArray(100000, 'x')));
        const Picture p = Make(QStringLiteral("noise"), 64, 64);
        auto surface = Surface(p);
        int rows = 0;
        QCOMPARE(Save(target, surface, [&] {
                     return ++rows == 2 ? ModuleJPEG::YieldAction::Abort : ModuleJPEG::YieldAction::Continue;
                 }),
                 JpegResult::Unexpected);
        QCOMPARE(testimages::Read(target), QByteArray(100000, 'x'));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.jpg")));
        QVERIFY(Save(dir.filePath(QStringLiteral("folder.jpg")), surface) != JpegResult::Ok);
        QVERIFY(QFileInfo(dir.filePath(QStringLiteral("folder.jpg"))).isDir());
        QCOMPARE(Save(target, surface), JpegResult::Ok);
        QCOMPARE(testimages::Read(target), Encode(p));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("photo.jpg")});
    }

    void failuresAreClassified()
    {
        QTemporaryDir dir;
        auto surface = Surface(Make(QStringLiteral("bars"), 20, 20));
        QCOMPARE(Save(QString(), surface), JpegResult::BadFileName);
        FailingSurface failing;
        QCOMPARE(Save(dir.filePath(QStringLiteral("x.jpg")), failing), JpegResult::PictureTooLarge);
        QCOMPARE(failing.border, 1);  // the surface's settings come back
        QCOMPARE(failing.redraw, false);

        // 65536 pixels do not fit the frame header.
        const Picture tooWide{65536, 1, std::vector<std::uint32_t>(65536, 0xFF808080u)};
        auto wide = Surface(tooWide);
        QCOMPARE(Save(dir.filePath(QStringLiteral("wide.jpg")), wide), JpegResult::Unexpected);
        QVERIFY(QDir(dir.path()).isEmpty(QDir::Files | QDir::Hidden));
    }

    void aNestedSaveDoesNothing()
    {
        QTemporaryDir dir;
        const Picture p = Make(QStringLiteral("gradient"), 48, 48);
        auto outer = Surface(p);
        auto inner = Surface(p);
        QList<JpegResult> nested;
        const QString target = dir.filePath(QStringLiteral("outer.jpg"));
        QCOMPARE(Save(target, outer, [&] {
                     nested << Save(dir.filePath(QStringLiteral("inner.jpg")), inner);
                     return ModuleJPEG::YieldAction::Continue;
                 }),
                 JpegResult::Ok);
        QCOMPARE(nested, QList<JpegResult>(3, JpegResult::Ok));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("inner.jpg"))));
        QCOMPARE(testimages::Read(target), Encode(p));
        // And the guard is released afterwards.
        QCOMPARE(Save(dir.filePath(QStringLiteral("inner.jpg")), inner), JpegResult::Ok);
    }
};

QTEST_GUILESS_MAIN(JpegFile)
#include "tst_jpeg_file.moc"
