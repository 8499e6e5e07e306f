// The output settings: their section of the settings file, the command-line
// options, the size box on real orientations, and the metadata writer read
// back with exiv2.
#include <QtTest>

#include <QColorSpace>
#include <QTemporaryDir>
#include <exiv2/exiv2.hpp>

#include "jpeg/jpeg.h"
#include "output/metadatawriter.h"
#include "output/outputoptions.h"
#include "pictures/picture.h"
#include "shell/basmain.h"
#include "testimages.h"

using namespace Output;

namespace {

// A settings value in one line, for comparing rows.
QString Describe(const Settings& s)
{
    return QStringLiteral("%1 %2x%3 q%4%5%6%7 '%8'")
        .arg(s.Size == SizeMode::Box ? "box" : "ratio").arg(s.Box.width()).arg(s.Box.height()).arg(s.Quality)
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

// What the test photo carries, and what its copy must carry: a value, "none"
// for absent, or "gps" for the source's value where the position is kept.
struct Tag { const char *key, *source, *copy; };
constexpr Tag Tags[] = {
    {"Exif.Image.Orientation", "6", "1"},
    {"Exif.Photo.DateTimeOriginal", "2021:07:04 10:20:30", "2021:07:04 10:20:30"},
    {"Exif.Photo.PixelXDimension", "64", "24"},
    {"Exif.Photo.PixelYDimension", nullptr, "32"},
    {"Exif.Photo.ColorSpace", "65535", "1"},  // the Adobe RGB pixels were turned into sRGB
    {"Exif.GPSInfo.GPSLatitude", "35/1 40/1 30/1", "gps"},
    {"Exif.Thumbnail.JPEGInterchangeFormat", nullptr, "none"},
    {"Xmp.tiff.Orientation", "6", "1"},
    {"Xmp.exif.GPSLatitude", "35,40.5N", "gps"},
    {"Iptc.Application2.Keywords", "beach", "beach"},
};

std::string Value(Exiv2::Image& image, const std::string& key)
{
    const auto text = [](const auto& data, const auto& it) { return it == data.end() ? "none" : it->toString(); };
    return key[0] == 'E'   ? text(image.exifData(), image.exifData().findKey(Exiv2::ExifKey(key)))
           : key[0] == 'X' ? text(image.xmpData(), image.xmpData().findKey(Exiv2::XmpKey(key)))
                           : text(image.iptcData(), image.iptcData().findKey(Exiv2::IptcKey(key)));
}

}  // namespace

class TestOutput : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    MetadataLibrary library_;
    QString Path(const QString& name) const { return dir_.filePath(name); }

private slots:
    void initTestCase()
    {
        // A camera's photo, stored sideways (64 x 48, to be turned a quarter
        // clockwise), with a thumbnail and an Adobe RGB profile.
        QVERIFY(testimages::Write(Path("photo.jpg"), Jpeg(64, 48)));
        auto image = Exiv2::ImageFactory::open(Fs(Path("photo.jpg")));
        for (const Tag& tag : Tags) {
            if (!tag.source)
                continue;
            Exiv2::Metadatum& datum = tag.key[0] == 'E'   ? static_cast<Exiv2::Metadatum&>(image->exifData()[tag.key])
                                      : tag.key[0] == 'X' ? static_cast<Exiv2::Metadatum&>(image->xmpData()[tag.key])
                                                          : image->iptcData()[tag.key];
            datum.setValue(tag.source);
        }
        const QByteArray thumb = Jpeg(16, 12), icc = QColorSpace(QColorSpace::AdobeRgb).iccProfile();
        Exiv2::ExifThumb(image->exifData()).setJpegThumbnail(reinterpret_cast<const Exiv2::byte*>(thumb.data()), long(thumb.size()));
        Exiv2::DataBuf profile(reinterpret_cast<const Exiv2::byte*>(icc.data()), long(icc.size()));
        image->setIccProfile(profile);
        image->writeMetadata();
        QVERIFY(testimages::Write(Path("plain.jpg"), Jpeg(20, 10)) && testimages::Write(Path("text.jpg"), "text") &&
                QImage(8, 8, QImage::Format_RGB32).save(Path("plain.bmp")));
    }

    void settingsFile_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("read");
        QTest::newRow("nothing stored: what Zembrik always wrote") << "" << "ratio 1920x1080 q50 ''";
        QTest::newRow("set") << "Size=Box\nBoxWidth=640\nKeepGps=true\nKeepDate=1\nSuffix=_s" << "box 640x1080 q50 gps date '_s'";
        QTest::newRow("out of range clamped, not understood the default")
            << "Size=huge\nBoxWidth=70000\nBoxHeight=0\nQuality=x\nKeepMetadata=yes\nSuffix=a/b" << "ratio 65500x1 q50 ''";
    }
    void settingsFile()
    {
        QFETCH(QString, stored);
        QFETCH(QString, read);
        QTemporaryDir folder;
        QVERIFY(testimages::Write(folder.filePath("z.ini"), "[Output]\n" + stored.toUtf8() + "\n[Path]\nPath=/x\n"));
        QSettings store(folder.filePath("z.ini"), QSettings::IniFormat);
        QCOMPARE(Describe(ReadSettings(store)), read);
        const Settings settings{SizeMode::Box, QSize(3, 4), 85, true, true, true, "-x"};
        WriteSettings(store, settings);
        QCOMPARE(ReadSettings(store), settings);
        QCOMPARE(store.childGroups(), QStringList({"Output", "Path"}));
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("result");
        QTest::newRow("not ours") << QStringList{"--quality-x"} << "left --quality-x";
        QTest::newRow("all, both spellings")
            << QString("--max-size 640x480 --quality=85 --keep-metadata --keep-gps --keep-date --suffix -s --max-size=3840X2160").split(' ')
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
        QString stopped;
        for (qsizetype i = 0; i < args.size() && stopped.isEmpty(); ++i) {
            const OptionTaken taken = TakeOutputOption(args, i, s);
            stopped = taken.Problem ? taken.Problem->Message : taken.Taken ? QString() : "left " + args.at(i);
        }
        const std::optional<UsageProblem> problem = CheckOutputOptions(s);
        QCOMPARE(!stopped.isEmpty() ? stopped : problem ? problem->Message : Describe(s), result);
    }

    void fitInside_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("box");
        QTest::addColumn<QSize>("fitted");
        QTest::newRow("landscape") << QSize(4000, 3000) << QSize(1920, 1080) << QSize(1440, 1080);
        QTest::newRow("portrait in a landscape box") << QSize(3000, 4000) << QSize(1920, 1080) << QSize(810, 1080);
        QTest::newRow("portrait in a portrait box") << QSize(3000, 4001) << QSize(1080, 1920) << QSize(1080, 1440);
        QTest::newRow("the box's aspect exactly") << QSize(4000, 2250) << QSize(1920, 1080) << QSize(1920, 1080);
        QTest::newRow("499.5 rounds to even 500") << QSize(1000, 999) << QSize(500, 500) << QSize(500, 500);
        QTest::newRow("already inside") << QSize(800, 600) << QSize(1920, 1080) << QSize(800, 600);
        QTest::newRow("a thread stays one pixel") << QSize(100000, 1) << QSize(1920, 1080) << QSize(1920, 1);
        QTest::newRow("sideways: stored 64 x 48, upright 48 x 64; 22.5 to even 22") << QSize() << QSize(30, 30) << QSize(22, 30);
    }
    void fitInside()
    {
        QFETCH(QSize, picture);
        QFETCH(QSize, box);
        QFETCH(QSize, fitted);
        QCOMPARE(FitInside(picture.isEmpty() ? basMain::ReadPictureSize(Path("photo.jpg")).Size : picture, box), fitted);
        QCOMPARE(BoxText(QSize(1920, 1080)), QStringLiteral("幅 1920 × 高さ 1080 ピクセル以内"));
    }

    void metadata_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("output");
        QTest::addColumn<bool>("keepGps");
        QTest::addColumn<bool>("inMemory");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("file, GPS dropped") << "photo.jpg" << "out.jpg" << false << false << "copied";
        QTest::newRow("file, GPS kept") << "photo.jpg" << "out.jpg" << true << false << "copied";
        QTest::newRow("memory, GPS dropped") << "photo.jpg" << "out.jpg" << false << true << "copied";
        QTest::newRow("a BMP") << "plain.bmp" << "out.jpg" << true << true << "unchanged";
        QTest::newRow("metadata exiv2 cannot read") << "text.jpg" << "out.jpg" << false << false << "元の画像の撮影情報を読み込めません。";
        QTest::newRow("missing source") << "gone.jpg" << "out.jpg" << false << true << "元の画像の撮影情報を読み込めません。";
        QTest::newRow("output not a JPEG") << "photo.jpg" << "plain.bmp" << false << false << "撮影情報を書き込めません。";
    }
    void metadata()
    {
        QFETCH(QString, source);
        QFETCH(QString, output);
        QFETCH(bool, keepGps);
        QFETCH(bool, inMemory);
        QFETCH(QString, outcome);
        QVERIFY(testimages::Write(Path("out.jpg"), Jpeg(24, 32)));
        const QByteArray before = testimages::Read(Path(output));
        std::vector<std::uint8_t> bytes(before.begin(), before.end());
        const MetadataWriter writer(library_);
        const MetadataResult r = inMemory ? writer.Write(Fs(Path(source)), bytes, QSize(24, 32), keepGps)
                                          : writer.Write(Fs(Path(source)), Fs(Path(output)), QSize(24, 32), keepGps);
        QCOMPARE(r.Error ? r.Error->Description : r.Copied ? "copied" : "unchanged", outcome);
        if (inMemory)
            QVERIFY(testimages::Write(Path(output), QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()))));
        if (outcome != "copied") {
            QCOMPARE(testimages::Read(Path(output)), before);
            return;
        }

        auto image = Exiv2::ImageFactory::open(Fs(Path("out.jpg")));
        image->readMetadata();
        for (const Tag& tag : Tags)
            QCOMPARE(Value(*image, tag.key), tag.copy != std::string("gps") ? tag.copy : keepGps ? tag.source : "none");
        QVERIFY(!image->iccProfileDefined());
        QCOMPARE(image->comment(), "Marnosk SampleVersion");
        QCOMPARE(QImage(Path("out.jpg")).size(), QSize(24, 32));
    }

    void theDateIsTheSources()
    {
        const QDateTime when(QDate(2001, 2, 3), QTime(4, 5, 6, 789));
        QFile source(Path("plain.jpg"));
        QVERIFY(source.open(QIODevice::ReadWrite) && source.setFileTime(when, QFileDevice::FileModificationTime));
        QVERIFY(!CopyModificationTime(Fs(Path("plain.jpg")), Fs(Path("out.jpg"))));
        QCOMPARE(QFileInfo(Path("out.jpg")).lastModified(), when);
        const std::optional<MetadataError> failed = CopyModificationTime(Fs(Path("plain.jpg")), Fs(Path("gone/x.jpg")));
        QCOMPARE(failed ? failed->Description : QString(), QStringLiteral("元の画像の更新日時を付けられません。"));
    }
};

QTEST_GUILESS_MAIN(TestOutput)
#include "tst_output.moc"
