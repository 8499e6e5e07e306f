// The output settings: their section of the settings file, the command-line
// options, the size box on real orientations, and the metadata writer read
// back with exiv2.
#include <QtTest>

#include <QBuffer>
#include <QColorSpace>
#include <QTemporaryDir>
#include <exiv2/exiv2.hpp>
#include <thread>

#include "jpeg/jpeg.h"
#include "output/metadatawriter.h"
#include "output/outputoptions.h"
#include "shell/basmain.h"
#include "shell/picture.h"
#include "testimages.h"

using namespace Output;

namespace {

// A settings value in one line, for comparing rows.
QString Describe(const Settings& s)
{
    return QStringLiteral("%1 %2x%3 q%4%5%6%7 '%8'")
        .arg(s.Size == SizeMode::Box ? "box" : "ratio")
        .arg(s.Box.width())
        .arg(s.Box.height())
        .arg(s.Quality)
        .arg(s.KeepMetadata ? " meta" : "", s.KeepGps ? " gps" : "", s.KeepDate ? " date" : "", s.Suffix);
}

QByteArray Jpeg(int w, int h)
{
    const QImage image = testimages::PhotoLike(w, h, 5).convertToFormat(QImage::Format_RGB32);
    std::vector<std::uint8_t> out;
    ModuleJPEG::EncodeJpegToMemory({reinterpret_cast<const std::uint32_t*>(image.constBits()), w, w, h}, out);
    return QByteArray(reinterpret_cast<const char*>(out.data()), qsizetype(out.size()));
}

std::string Fs(const QString& path)
{
    return basMain::ToFsPath(path).string();
}

}  // namespace

class TestOutput : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    MetadataLibrary library_;
    QString Path(const char* name) const { return dir_.filePath(QLatin1String(name)); }

private slots:
    void initTestCase()
    {
        // A camera's photo, stored sideways (64 x 48, to be turned a quarter
        // clockwise), with a thumbnail, a GPS position in Exif and XMP, IPTC
        // keywords and an Adobe RGB profile.
        QVERIFY(testimages::Write(Path("photo.jpg"), Jpeg(64, 48)));
        auto image = Exiv2::ImageFactory::open(Fs(Path("photo.jpg")));
        Exiv2::ExifData& exif = image->exifData();
        exif["Exif.Image.Make"] = std::string("Zembrik Test");
        exif["Exif.Image.Orientation"] = std::uint16_t(6);
        exif["Exif.Photo.DateTimeOriginal"] = std::string("2021:07:04 10:20:30");
        exif["Exif.Photo.PixelXDimension"] = std::uint32_t(64);
        exif["Exif.Photo.ColorSpace"] = std::uint16_t(0xFFFF);
        exif["Exif.GPSInfo.GPSLatitudeRef"] = std::string("N");
        exif["Exif.GPSInfo.GPSLatitude"].setValue("35/1 40/1 30/1");
        const QByteArray thumb = Jpeg(16, 12);
        Exiv2::ExifThumb(exif).setJpegThumbnail(reinterpret_cast<const Exiv2::byte*>(thumb.constData()), long(thumb.size()));
        image->xmpData()["Xmp.dc.title"] = std::string("Holiday");
        image->xmpData()["Xmp.tiff.Orientation"] = std::string("6");
        image->xmpData()["Xmp.exif.GPSLatitude"] = std::string("35,40.5N");
        image->iptcData()["Iptc.Application2.Keywords"] = std::string("beach");
        const QByteArray icc = QColorSpace(QColorSpace::AdobeRgb).iccProfile();
        Exiv2::DataBuf profile(reinterpret_cast<const Exiv2::byte*>(icc.constData()), long(icc.size()));
        image->setIccProfile(profile);
        image->writeMetadata();
        QVERIFY(testimages::Write(Path("plain.jpg"), Jpeg(20, 10)));
        QVERIFY(QImage(8, 8, QImage::Format_RGB32).save(Path("plain.bmp")));
        QVERIFY(testimages::Write(Path("text.jpg"), "not a picture"));
    }

    void settingsFile_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("read");
        QTest::newRow("nothing stored: what Zembrik always wrote") << "" << "ratio 1920x1080 q50 ''";
        QTest::newRow("all set") << "Size=Box\nBoxWidth=640\nBoxHeight=480\nQuality=85\nKeepMetadata=true\n"
                                    "KeepGps=true\nKeepDate=true\nSuffix=_small"
                                 << "box 640x480 q85 meta gps date '_small'";
        QTest::newRow("out of range is clamped") << "BoxWidth=70000\nBoxHeight=0\nQuality=101" << "ratio 65500x1 q100 ''";
        QTest::newRow("not understood takes the default")
            << "Size=huge\nBoxWidth=wide\nQuality=\nKeepMetadata=yes\nSuffix=a/b" << "ratio 1920x1080 q50 ''";
    }
    void settingsFile()
    {
        QFETCH(QString, stored);
        QFETCH(QString, read);
        QTemporaryDir folder;
        const QString file = folder.filePath("Zembrik.ini");
        QVERIFY(testimages::Write(file, "[Output]\n" + stored.toUtf8() + "\n[Path]\nPath=/x\n"));
        QSettings store(file, QSettings::IniFormat);
        const Settings settings = ReadSettings(store);
        QCOMPARE(Describe(settings), read);
        Settings changed = settings;
        changed.Quality = settings.Quality % 100 + 1;
        WriteSettings(store, changed);
        QCOMPARE(ReadSettings(store), changed);
        QCOMPARE(store.childGroups(), QStringList({"Output", "Path"}));
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("result");
        QTest::newRow("none of ours") << QStringList{"-r", "50", "--quality-x"} << "left -r; left 50; left --quality-x";
        QTest::newRow("all, both spellings")
            << QStringList{"--max-size", "640x480", "--quality=85", "--keep-metadata", "--keep-gps", "--keep-date",
                           "--suffix", "-s", "--max-size=3840X2160"}
            << "box 3840x2160 q85 meta gps date '-s'";
        QTest::newRow("quality 0") << QStringList{"--quality", "0"} << "invalid quality '0' (1 to 100)";
        QTest::newRow("quality 50.5") << QStringList{"--quality=50.5"} << "invalid quality '50.5' (1 to 100)";
        QTest::newRow("no value") << QStringList{"--quality"} << "option '--quality' requires an argument";
        for (const char* size : {"0x10", "65501x10", "1920", "1x2x3", "-5x5", "x"})
            QTest::newRow(size) << QStringList{"--max-size", size}
                                << QStringLiteral("invalid size '%1' (WxH, each side 1 to 65500, such as 1920x1080)").arg(size);
        QTest::newRow("flag with a value") << QStringList{"--keep-date=yes"} << "option '--keep-date' doesn't allow an argument";
        QTest::newRow("slash in the suffix") << QStringList{"--suffix", "a/b"} << "invalid suffix: a file name cannot hold '/'";
        QTest::newRow("tab in the suffix") << QStringList{"--suffix=\t"} << "invalid suffix: a file name cannot hold 'U+0009'";
        QTest::newRow("gps alone") << QStringList{"--keep-gps"} << "--keep-gps needs --keep-metadata";
    }
    void commandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, result);
        Settings s;
        QStringList left;
        for (qsizetype i = 0; i < args.size(); ++i) {
            const OptionTaken taken = TakeOutputOption(args, i, s);
            if (taken.Problem) {
                QCOMPARE(taken.Problem->ExitStatus, 2);
                QCOMPARE(taken.Problem->Message, result);
                return;
            }
            if (!taken.Taken)
                left << "left " + args.at(i);
        }
        const std::optional<UsageProblem> problem = CheckOutputOptions(s);
        QCOMPARE(problem ? problem->Message : !left.isEmpty() ? left.join("; ") : Describe(s), result);
    }

    void suffixCharacters()
    {
        QCOMPARE(ForbiddenNameCharacters(QStringLiteral("_小さい-1.x")), QString());
        QCOMPARE(ForbiddenNameCharacters(QStringLiteral("a/b\t/")), QStringLiteral("/\t"));
        QCOMPARE(ForbiddenSuffixText(QStringLiteral("/\t")), QStringLiteral("ファイル名に使えない文字（/ U+0009）が含まれています。"));
    }

    void fitInside_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("box");
        QTest::addColumn<QSize>("fitted");
        QTest::newRow("landscape, height binds") << QSize(4000, 3000) << QSize(1920, 1080) << QSize(1440, 1080);
        QTest::newRow("landscape, width binds") << QSize(4000, 2000) << QSize(1920, 1080) << QSize(1920, 960);
        QTest::newRow("portrait in a landscape box") << QSize(3000, 4000) << QSize(1920, 1080) << QSize(810, 1080);
        QTest::newRow("portrait in a portrait box") << QSize(3000, 4001) << QSize(1080, 1920) << QSize(1080, 1440);
        QTest::newRow("the box's aspect, three times") << QSize(5763, 3243) << QSize(1921, 1081) << QSize(1921, 1081);
        QTest::newRow("the box's aspect, 4000 x 2250") << QSize(4000, 2250) << QSize(1920, 1080) << QSize(1920, 1080);
        QTest::newRow("499.5 rounds to even 500") << QSize(1000, 999) << QSize(500, 500) << QSize(500, 500);
        QTest::newRow("498.5 rounds to even 498") << QSize(1000, 997) << QSize(500, 500) << QSize(500, 498);
        QTest::newRow("already inside") << QSize(800, 600) << QSize(1920, 1080) << QSize(800, 600);
        QTest::newRow("a thread stays one pixel") << QSize(100000, 1) << QSize(1920, 1080) << QSize(1920, 1);
        QTest::newRow("sideways: 64 x 48 stored, upright 48 x 64") << QSize() << QSize(30, 30) << QSize(22, 30);
    }
    void fitInside()
    {
        QFETCH(QSize, picture);
        QFETCH(QSize, box);
        QFETCH(QSize, fitted);
        if (picture.isEmpty())
            picture = basMain::ReadPictureSize(Path("photo.jpg")).Size;
        QCOMPARE(FitInside(picture, box), fitted);
    }

    void metadata_data()
    {
        QTest::addColumn<bool>("keepGps");
        QTest::addColumn<bool>("inMemory");
        QTest::newRow("file, GPS dropped") << false << false;
        QTest::newRow("file, GPS kept") << true << false;
        QTest::newRow("memory, GPS dropped") << false << true;
    }
    void metadata()
    {
        QFETCH(bool, keepGps);
        QFETCH(bool, inMemory);
        const QString out = Path("out.jpg");
        const QByteArray encoded = Jpeg(24, 32);
        QVERIFY(testimages::Write(out, encoded));
        std::vector<std::uint8_t> bytes(encoded.begin(), encoded.end());
        const MetadataWriter writer(library_);
        const MetadataResult result = inMemory ? writer.Write(Fs(Path("photo.jpg")), bytes, QSize(24, 32), keepGps)
                                               : writer.Write(Fs(Path("photo.jpg")), Fs(out), QSize(24, 32), keepGps);
        QVERIFY(result.Ok() && result.Copied);
        if (inMemory)
            QVERIFY(testimages::Write(out, QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()))));

        auto image = Exiv2::ImageFactory::open(Fs(out));
        image->readMetadata();
        const Exiv2::ExifData& exif = image->exifData();
        const auto value = [&](const char* key) {
            const auto it = exif.findKey(Exiv2::ExifKey(key));
            return it == exif.end() ? std::string("none") : it->toString();
        };
        QCOMPARE(value("Exif.Image.Make"), "Zembrik Test");
        QCOMPARE(value("Exif.Photo.DateTimeOriginal"), "2021:07:04 10:20:30");
        QCOMPARE(value("Exif.Image.Orientation"), "1");
        QCOMPARE(value("Exif.Photo.PixelXDimension") + "x" + value("Exif.Photo.PixelYDimension"), "24x32");
        QCOMPARE(value("Exif.Photo.ColorSpace"), "1");  // the Adobe RGB pixels were turned into sRGB
        QCOMPARE(value("Exif.Thumbnail.JPEGInterchangeFormat"), "none");
        QCOMPARE(value("Exif.GPSInfo.GPSLatitude"), keepGps ? "35/1 40/1 30/1" : "none");
        QCOMPARE(image->xmpData()["Xmp.dc.title"].toString(), "lang=\"x-default\" Holiday");
        QCOMPARE(image->xmpData()["Xmp.tiff.Orientation"].toString(), "1");
        QCOMPARE(image->xmpData().findKey(Exiv2::XmpKey("Xmp.exif.GPSLatitude")) != image->xmpData().end(), keepGps);
        QCOMPARE(image->iptcData()["Iptc.Application2.Keywords"].toString(), "beach");
        QVERIFY(!image->iccProfileDefined());
        QCOMPARE(image->comment(), "Marnosk SampleVersion");
        QCOMPARE(QImage(out).size(), QSize(24, 32));
    }

    void nothingToCopyOrAFailure_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("no metadata") << "plain.jpg" << "out.jpg" << "unchanged";
        QTest::newRow("a BMP") << "plain.bmp" << "out.jpg" << "unchanged";
        QTest::newRow("metadata exiv2 cannot read") << "text.jpg" << "out.jpg" << "元の画像の撮影情報を読み込めません。";
        QTest::newRow("missing source") << "gone.jpg" << "out.jpg" << "元の画像の撮影情報を読み込めません。";
        QTest::newRow("output not a JPEG") << "photo.jpg" << "plain.bmp" << "撮影情報を書き込めません。";
        QTest::newRow("missing output") << "photo.jpg" << "gone.jpg" << "撮影情報を書き込めません。";
    }
    void nothingToCopyOrAFailure()
    {
        QFETCH(QString, source);
        QFETCH(QString, output);
        QFETCH(QString, outcome);
        QVERIFY(testimages::Write(Path("out.jpg"), Jpeg(8, 8)));
        const QByteArray before = testimages::Read(dir_.filePath(output));
        const MetadataResult r = MetadataWriter(library_).Write(Fs(dir_.filePath(source)), Fs(dir_.filePath(output)),
                                                                QSize(8, 8), false);
        QCOMPARE(r.Error ? r.Error->Description : QStringLiteral("unchanged"), outcome);
        QVERIFY(!r.Copied);
        QCOMPARE(testimages::Read(dir_.filePath(output)), before);
    }

    void severalThreadsAtOnce()
    {
        std::vector<std::thread> threads;
        std::atomic<int> copied = 0;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&, t] {
                const MetadataWriter writer(library_);
                for (int round = 0; round < 5; ++round) {
                    std::vector<std::uint8_t> bytes(2000);
                    const QByteArray jpeg = Jpeg(8 + t, 8);
                    bytes.assign(jpeg.begin(), jpeg.end());
                    copied += writer.Write(Fs(Path("photo.jpg")), bytes, QSize(8 + t, 8), round % 2).Copied;
                }
            });
        for (std::thread& t : threads)
            t.join();
        QCOMPARE(copied.load(), 20);
    }

    void theDateIsTheSources()
    {
        QVERIFY(testimages::Write(Path("out.jpg"), Jpeg(8, 8)));
        const QDateTime when(QDate(2001, 2, 3), QTime(4, 5, 6, 789));
        QFile source(Path("plain.jpg"));
        QVERIFY(source.open(QIODevice::ReadWrite) && source.setFileTime(when, QFileDevice::FileModificationTime));
        source.close();
        QVERIFY(!CopyModificationTime(Fs(Path("plain.jpg")), Fs(Path("out.jpg"))));
        QCOMPARE(QFileInfo(Path("out.jpg")).lastModified(), when);
        const std::optional<MetadataError> failed = CopyModificationTime(Fs(Path("plain.jpg")), Fs(Path("gone/x.jpg")));
        QVERIFY(failed);
        QCOMPARE(failed->Description, QStringLiteral("元の画像の更新日時を付けられません。"));
    }
};

QTEST_GUILESS_MAIN(TestOutput)
#include "tst_output.moc"
