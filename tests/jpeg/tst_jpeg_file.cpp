// Whole files: exact bytes against a plain encoder and the known headers,
// decoding by independent decoders, and how SaveJpeg treats the file system.
#include <QtTest>

#include <QDir>
#include <QImageReader>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <csignal>
#include <random>

#if defined(Q_OS_UNIX)
#include <sys/resource.h>
#endif

#include "jpeg/jpeg.h"
#include "reference_encoder.h"

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

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
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
    void headersAndTheSmallestFiles()
    {
        const QByteArray white = Encode(Picture{16, 16, std::vector<std::uint32_t>(256, 0xFFFFFFFFu)});
        QCOMPARE(white.size(), 633 + 6 + 2);
        QCOMPARE(white.left(4), QByteArray("\xFF\xD8\xFF\xE0", 4));
        QCOMPARE(white.mid(24, 22), QByteArray("Marnosk SampleVersion\0", 22));
        QCOMPARE(white.mid(605, 4), QByteArray("\x00\x10\x00\x10", 4));
        QCOMPARE(white.mid(633), QByteArray("\xF4\x0A\x28\xA2\x80\x3F\xFF\xD9", 8));

        const QByteArray wide = Encode(Make(QStringLiteral("gradient"), 300, 200));
        QCOMPARE(wide.mid(605, 2), QByteArray("\x00\xC8", 2));  // height first
        QCOMPARE(wide.mid(607, 2), QByteArray("\x01\x2C", 2));
        QVERIFY(wide.endsWith(QByteArray("\xFF\xD9", 2)));

        // No pixels: the headers and the end marker, nothing else.
        for (const auto& [w, h] : {std::pair{0, 0}, std::pair{0, 5}, std::pair{7, 0}}) {
            const QByteArray empty = Encode(Picture{w, h, std::vector<std::uint32_t>(static_cast<std::size_t>(w) * h)});
            QCOMPARE(empty.size(), 635);
            QCOMPARE(empty.right(2), QByteArray("\xFF\xD9", 2));
        }
    }

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
        const Picture p = Make(pattern, width, height);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.jpg"));
        WriteAll(path, Encode(p));

        QImageReader reader(path);
        const QImage decoded = reader.read();
        QVERIFY2(!decoded.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(decoded.size(), QSize(width, height));

        // Smooth pictures come back close; red stays red and blue stays blue.
        // (Below a whole MCU the chroma averaging dominates any error figure.)
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
            if (pattern == QLatin1String("redOnBlue")) {
                const QRgb left = decoded.pixel(0, 0), right = decoded.pixel(width - 1, height - 1);
                QVERIFY(qRed(left) > 200 && qBlue(left) < 60);
                QVERIFY(qBlue(right) > 200 && qRed(right) < 60);
            }
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

    void saveReplacesAnOlderLongerFileCompletely()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("photo.jpg"));
        WriteAll(target, QByteArray(100000, 'x'));
        const Picture p = Make(QStringLiteral("gradient"), 40, 30);
        auto surface = Surface(p);
        QCOMPARE(Save(target, surface), JpegResult::Ok);
        QCOMPARE(ReadAll(target), Encode(p));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("photo.jpg")});
    }

    void failedSaveKeepsTheOldFileAndLeavesNoTemporary()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("original.jpg"));
        const QByteArray original("the user's original photo");
        WriteAll(target, original);
        const Picture p = Make(QStringLiteral("noise"), 64, 64);
        auto surface = Surface(p);
        int rows = 0;
        // Stopped half way, as when the window closes during a save.
        const JpegResult result = Save(target, surface, [&] {
            return ++rows == 2 ? ModuleJPEG::YieldAction::Abort : ModuleJPEG::YieldAction::Continue;
        });
        QCOMPARE(result, JpegResult::Unexpected);
        QCOMPARE(ReadAll(target), original);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("original.jpg")});

        // A target that is a folder cannot be replaced, and stays a folder.
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.jpg")));
        QVERIFY(Save(dir.filePath(QStringLiteral("folder.jpg")), surface) != JpegResult::Ok);
        QVERIFY(QFileInfo(dir.filePath(QStringLiteral("folder.jpg"))).isDir());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("original.jpg")});
    }

    void aWriteErrorKeepsTheOldFile()
    {
#if defined(Q_OS_UNIX)
        // A file-size limit makes the write fail as a full disk does (EFBIG).
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("original.jpg"));
        const QByteArray original(500, 'o');
        WriteAll(target, original);
        const Picture p = Make(QStringLiteral("noise"), 64, 64);
        auto surface = Surface(p);
        struct rlimit saved;
        QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = saved;
        small.rlim_cur = 2000;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        const JpegResult result = Save(target, surface);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        QCOMPARE(result, JpegResult::DiskFull);
        QCOMPARE(ReadAll(target), original);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("original.jpg")});
#else
        QSKIP("needs a file-size limit");
#endif
    }

    void failuresAreClassified()
    {
        QTemporaryDir dir;
        const Picture p = Make(QStringLiteral("bars"), 20, 20);
        auto surface = Surface(p);
        surface.SetBorderStyle(1);
        surface.SetAutoRedraw(false);
        QCOMPARE(Save(QString(), surface), JpegResult::BadFileName);
        QCOMPARE(surface.BorderStyle(), 1);  // the surface's settings come back
        QCOMPARE(surface.AutoRedraw(), false);
        // "*" and "?" are refused only where the file system refuses them.
#if defined(Q_OS_WIN)
        const JpegResult oddNames = JpegResult::BadFileName;
#else
        const JpegResult oddNames = JpegResult::Ok;
#endif
        for (const char* name : {"a*b.jpg", "a?.jpg"})
            QCOMPARE(Save(dir.filePath(QLatin1String(name)), surface), oddNames);
        for (const QString& f : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden))
            QVERIFY(QFile::remove(dir.filePath(f)));

        // A folder that even root cannot write into: a path under a regular file.
        WriteAll(dir.filePath(QStringLiteral("plain")), "x");
        QCOMPARE(Save(dir.filePath(QStringLiteral("plain/out.jpg")), surface), JpegResult::DeviceUnavailable);
        QCOMPARE(Save(dir.filePath(QStringLiteral("missing/out.jpg")), surface), JpegResult::DeviceUnavailable);

        FailingSurface failing;
        QCOMPARE(Save(dir.filePath(QStringLiteral("x.jpg")), failing), JpegResult::PictureTooLarge);
        QCOMPARE(failing.border, 1);
        QCOMPARE(failing.redraw, false);

        // 65536 pixels do not fit the frame header.
        const Picture tooWide{65536, 1, std::vector<std::uint32_t>(65536, 0xFF808080u)};
        auto wide = Surface(tooWide);
        QCOMPARE(Save(dir.filePath(QStringLiteral("wide.jpg")), wide), JpegResult::Unexpected);
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("wide.jpg"))));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("plain")});
    }

    void pendingFilesAppearOnlyOnCommit()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("original.jpg"));
        WriteAll(target, "original");
        const Picture p = Make(QStringLiteral("noise"), 40, 40);
        ModuleJPEG::PendingJpeg pending;
        QCOMPARE(pending.Encode(Fs(target), p.Rows()), JpegResult::Ok);
        QVERIFY(pending.Pending());
        QCOMPARE(ReadAll(target), QByteArray("original"));
        const QStringList temps = QDir(dir.path()).entryList({QStringLiteral(".zembrik-*.tmp")}, QDir::Files | QDir::Hidden);
        QCOMPARE(temps.size(), 1);
        QCOMPARE(ReadAll(dir.filePath(temps.first())), Encode(p));
        QCOMPARE(pending.Commit(), JpegResult::Ok);
        QCOMPARE(ReadAll(target), Encode(p));

        // Abandoned by its hook, dropped, or failing to commit: no temporary is left.
        QCOMPARE(pending.Encode(Fs(dir.filePath(QStringLiteral("b.jpg"))), p.Rows(),
                                [] { return ModuleJPEG::YieldAction::Abort; }),
                 JpegResult::Unexpected);
        {
            ModuleJPEG::PendingJpeg dropped;
            QCOMPARE(dropped.Encode(Fs(dir.filePath(QStringLiteral("c.jpg"))), p.Rows()), JpegResult::Ok);
        }
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.jpg")));
        QCOMPARE(pending.Encode(Fs(dir.filePath(QStringLiteral("folder.jpg"))), p.Rows()), JpegResult::Ok);
        QVERIFY(pending.Commit() != JpegResult::Ok);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("original.jpg")});

        // A name as long as the file system allows: the temporary's is short.
        const QString longName = QString(246, QLatin1Char('n')) + QStringLiteral(".jpg");
        auto surface = Surface(p);
        QCOMPARE(Save(dir.filePath(longName), surface), JpegResult::Ok);
        QCOMPARE(ReadAll(dir.filePath(longName)), Encode(p));
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
        QCOMPARE(ReadAll(target), Encode(p));
        // And the guard is released afterwards.
        QCOMPARE(Save(dir.filePath(QStringLiteral("inner.jpg")), inner), JpegResult::Ok);
    }
};

QTEST_GUILESS_MAIN(JpegFile)
#include "tst_jpeg_file.moc"
