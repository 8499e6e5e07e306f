// The output settings: their section of the settings file, the command-line
// options, the size box on real orientations, and the metadata writer read
// back with exiv2.
#include <QtTest>

#include <QColorSpace>
#include <QTemporaryDir>
#include <QtEndian>
#include <exiv2/exiv2.hpp>

#include "output/metadatawriter.h"
#include "output/outputoptions.h"
#include "pictures/picture.h"
#include "shell/program.h"
#include "cameraphoto.h"
#include "samples/heifsamples.h"
#include "testimages.h"

using namespace output;

namespace {

// A settings value in one line, for comparing rows.
QString Describe(const Settings& s)
{
    QString more;
    for (const QSize box : s.MoreBoxes)
        more += QStringLiteral(" +%1x%2").arg(box.width()).arg(box.height());
    if (s.MaxBytes > 0)
        more += QStringLiteral(" <=%1").arg(s.MaxBytes);
    return QStringLiteral("%1 %2x%3").arg(s.Size == SizeMode::Box ? "box" : "ratio").arg(s.Box.width()).arg(s.Box.height()) +
           more +
           QStringLiteral(" q%1%2%3%4%5 '%6'")
               .arg(s.Quality)
               .arg(s.KeepMetadata ? " meta" : "", s.KeepGps ? " gps" : "", s.KeepDate ? " date" : "",
                    s.SkipUpToDate ? " skip" : "", s.Suffix);
}

std::string Fs(const QString& path)
{
    return base::ToFsPath(path).string();
}

// Exif from its TIFF header on: IFD0 with these ASCII tags, in tag order.
QByteArray AsciiExif(const QList<std::pair<quint16, QByteArray>>& tags)
{
    QByteArray ifd(2, 0), data;
    qToLittleEndian<quint16>(quint16(tags.size()), ifd.data());
    for (const auto& [tag, text] : tags) {
        QByteArray entry = QByteArray::fromHex("000002000000000000000000");
        qToLittleEndian<quint16>(tag, entry.data());
        qToLittleEndian<quint32>(quint32(text.size() + 1), entry.data() + 4);
        qToLittleEndian<quint32>(quint32(8 + 2 + 12 * tags.size() + 4 + data.size()), entry.data() + 8);
        ifd += entry;
        data += text + QByteArray(2 - text.size() % 2, 0);
    }
    return QByteArray("II*\0\x08\0\0\0", 8) + ifd + QByteArray(4, 0) + data;
}

// An XMP packet naming its creator tool, with a description of that text.
QByteArray Xmp(const QByteArray& description)
{
    return "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
           "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description rdf:about='' "
           "xmlns:xmp='http://ns.adobe.com/xap/1.0/' xmlns:dc='http://purl.org/dc/elements/1.1/' xmp:CreatorTool='Test'>"
           "<dc:description><rdf:Alt><rdf:li xml:lang='x-default'>" + description +
           "</rdf:li></rdf:Alt></dc:description></rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end='w'?>";
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
        QVERIFY(testimages::WriteCameraPhoto(Path("photo.jpg")));
        QVERIFY(testimages::Write(Path("plain.jpg"), testimages::PhotoJpeg(20, 10)) && testimages::Write(Path("text.jpg"), "text") &&
                QImage(8, 8, QImage::Format_RGB32).save(Path("plain.bmp")));
        // A phone's HEIC: the camera photo's Exif (from its TIFF header on) in the container.
        if (heifsamples::CanEncode(heifsamples::Codec::Hevc)) {
            auto camera = Exiv2::ImageFactory::open(Fs(Path("photo.jpg")));
            camera->readMetadata();
            Exiv2::Blob tiff;
            Exiv2::ExifParser::encode(tiff, Exiv2::littleEndian, camera->exifData());
            const QByteArray exif(reinterpret_cast<const char*>(tiff.data()), qsizetype(tiff.size()));
            QVERIFY(testimages::Write(Path("photo.heic"), heifsamples::Encode(testimages::PhotoLike(64, 48, 1), {.Exif = exif})));
        }
    }

    void settingsFile_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("read");
        QTest::newRow("nothing stored: what Zembrik always wrote") << "" << "ratio 1920x1080 q50 ''";
        QTest::newRow("set") << "Size=Box\nBoxWidth=640\nKeepGps=true\nKeepDate=1\nSkipUpToDate=true\nSuffix=_s"
                             << "box 640x1080 q50 gps date skip '_s'";
        // Written by hand without quotes, the list reads as Qt's list of strings.
        QTest::newRow("more sizes, quoted or not") << "Size=Box\nMoreBoxes=1920x1080, 640x480,1920x1080,0x5"
                                                   << "box 1920x1080 +640x480 q50 ''";
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
        const Settings settings{SizeMode::Box, QSize(3, 4), 85, true, true, true, "-x", false, {}, 0, false};
        WriteSettings(store, settings);
        QCOMPARE(ReadSettings(store), settings);
        // Off, the setting leaves no key behind.
        QVERIFY(!store.contains("Output/SkipUpToDate"));
        QCOMPARE(store.childGroups(), QStringList({"Output", "Path"}));
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("result");
        QTest::newRow("not ours") << QStringList{"--quality-x"} << "left --quality-x";
        QTest::newRow("all, both spellings")
            << QString("--max-size 640x480 --quality=85 --keep-metadata --keep-gps --keep-date --suffix -s --max-size=3840X2160").split(' ')
            << "box 640x480 +3840x2160 q85 meta gps date '-s'";
        QTest::newRow("a byte limit searches up to 90") << QStringList{"--max-bytes", "500K"} << "ratio 1920x1080 <=512000 q90 ''";
        QTest::newRow("or up to the quality given") << QStringList{"--max-bytes=2m", "--quality", "30"} << "ratio 1920x1080 <=2097152 q30 ''";
        QTest::newRow("bytes 0") << QStringList{"--max-bytes", "0"}
                                 << "ファイルの大きさの上限が正しくありません: '0'（バイト数。K、M も使えます。例: 500K）";
        // No translation is installed: the texts are the Japanese sources.
        QTest::newRow("quality 0") << QStringList{"--quality", "0"} << "品質が正しくありません: '0'（1〜100）";
        QTest::newRow("quality 50.5") << QStringList{"--quality=50.5"} << "品質が正しくありません: '50.5'（1〜100）";
        QTest::newRow("no value") << QStringList{"--quality"} << "オプション '--quality' には引数が必要です";
        for (const char* size : {"0x10", "65501x10", "1920", "1x2x3", "-5x5", "x"})
            QTest::newRow(size) << QStringList{"--max-size", size}
                                << QStringLiteral("大きさが正しくありません: '%1'（幅x高さ、各辺 1〜65500。例: 1920x1080）").arg(size);
        QTest::newRow("flag with a value") << QStringList{"--keep-date=yes"} << "オプション '--keep-date' には引数を付けられません";
        QTest::newRow("slash in the suffix") << QStringList{"--suffix", "a/b"} << "末尾に付ける文字が正しくありません: ファイル名に '/' は使えません";
        QTest::newRow("tab in the suffix") << QStringList{"--suffix=\t"} << "末尾に付ける文字が正しくありません: ファイル名に 'U+0009' は使えません";
        QTest::newRow("gps alone") << QStringList{"--keep-gps"} << "--keep-gps には --keep-metadata が必要です";
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
        QCOMPARE(!stopped.isEmpty() ? stopped : problem ? problem->Message : Describe(WithByteLimitQuality(s)), result);
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
        QCOMPARE(FitInside(picture.isEmpty() ? pictures::ReadPictureSize(Path("photo.jpg")).Size : picture, box), fitted);
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
        QTest::newRow("a HEIC's Exif") << "photo.heic" << "out.jpg" << false << false << "copied";
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
        if (!QFile::exists(Path(source)) && source.endsWith(".heic"))
            QSKIP("this libheif has no HEVC encoder");
        QVERIFY(testimages::Write(Path("out.jpg"), testimages::PhotoJpeg(24, 32)));
        const QByteArray before = testimages::Read(Path(output));
        std::vector<std::uint8_t> bytes(before.begin(), before.end());
        const MetadataWriter writer(library_);
        const auto containerExif = [&] { return pictures::ContainerExifOf(Path(source)); };
        const MetadataResult r = inMemory ? writer.Write(Fs(Path(source)), bytes, QSize(24, 32), keepGps, containerExif)
                                          : writer.Write(Fs(Path(source)), Fs(Path(output)), QSize(24, 32), keepGps, containerExif);
        QCOMPARE(r.Error ? r.Error->Description : r.Copied ? "copied" : "unchanged", outcome);
        if (inMemory)
            QVERIFY(testimages::Write(Path(output), QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()))));
        if (outcome != "copied") {
            QCOMPARE(testimages::Read(Path(output)), before);
            return;
        }

        for (const testimages::Tag& tag : testimages::CameraTags)
            // The HEIC here carries no XMP, IPTC or profile (so no colour space to correct).
            if (!source.endsWith(".heic") || (QByteArray(tag.key).startsWith("Exif.") && QByteArray(tag.key) != "Exif.Photo.ColorSpace"))
                QCOMPARE(testimages::TagValue(Path("out.jpg"), tag.key),
                     tag.copy != std::string("gps") ? tag.copy : keepGps ? tag.source : "none");
        auto image = Exiv2::ImageFactory::open(Fs(Path("out.jpg")));
        image->readMetadata();
        QVERIFY(!image->iccProfileDefined());
        if (source.endsWith(".heic"))
            return;
        QCOMPARE(image->comment(), "Marnosk SampleVersion");
        QCOMPARE(QImage(Path("out.jpg")).size(), QSize(24, 32));
    }
    // One rule whatever the format: metadata that cannot be read fails; what
    // is too large for a JPEG keeps what fits, and what was left out is
    // named; a damaged colour profile fails nothing, as it is no metadata.
    void metadataRule_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QStringList>("leftOut");
        QTest::addColumn<QStringList>("tags");  // in the output; "-" before one that must not be
        using namespace testimages;
        const QImage image = PhotoLike(16, 16, 1);
        const QByteArray make = AsciiExif({{0x010f, "Zembrik"}});
        const QByteArray garbage = QByteArray("no TIFF header").repeated(4);
        QByteArray profile = QColorSpace(QColorSpace::AdobeRgb).iccProfile();
        profile.replace(0, 4, QByteArray::fromHex("7fffffff"));  // longer than it is
        const QString unreadable = "元の画像の撮影情報を読み込めません。";
        QTest::newRow("a WebP's Exif that cannot be read") << WebpWith(Saved(image, "webp"), {{"EXIF", garbage}}) << unreadable
                                                           << QStringList() << QStringList();
        QTest::newRow("XMP that cannot be read") << JpegWith(Saved(image, "jpeg"), Segment("ffe1", QByteArray("http://ns.adobe.com/xap/1.0/", 29) + "<x:xmpmeta"))
                                                 << unreadable << QStringList() << QStringList();
        QTest::newRow("a JPEG's damaged profile") << JpegWith(Saved(image, "jpeg"), Segment("ffe1", "Exif" + QByteArray(2, 0) + make) +
                                                                                      Segment("ffe2", QByteArray("ICC_PROFILE\0\1\1", 14) + profile))
                                                  << "copied" << QStringList() << QStringList{"Exif.Image.Make"};
        QTest::newRow("a WebP's damaged profile") << WebpWith(Saved(image, "webp"), {{"ICCP", profile}, {"EXIF", make}}) << "copied"
                                                  << QStringList() << QStringList{"Exif.Image.Make"};
        QTest::newRow("Exif over a segment: a tag of 100 KB")
            << WebpWith(Saved(image, "webp"), {{"EXIF", AsciiExif({{0x010e, QByteArray(100000, 'd')}, {0x010f, "Zembrik"}})}}) << "copied"
            << QStringList{"Exif.Image.ImageDescription"} << QStringList{"Exif.Image.Make"};
        QTest::newRow("Exif over a segment in tags of 12 to 16 KB")
            << PngWith(Saved(image, "png"), PngChunk("eXIf", AsciiExif({{0x010d, QByteArray(12000, 'n')}, {0x010e, QByteArray(16000, 'd')},
                                                                        {0x010f, "Zembrik"}, {0x0110, QByteArray(15000, 'm')},
                                                                        {0x0131, QByteArray(14000, 's')}, {0x013b, QByteArray(13000, 'a')},
                                                                        {0x8298, QByteArray(12000, 'c')}})))
            << "copied" << QStringList{"Exif.Image.ImageDescription", "Exif.Image.Model"} << QStringList{"Exif.Image.Software"};
        QTest::newRow("XMP over a packet") << PngWith(Saved(image, "png"), PngChunk("iTXt", QByteArray("XML:com.adobe.xmp\0\0\0\0\0", 22) +
                                                                                              Xmp(QByteArray(100000, 'x'))))
                                           << "copied" << QStringList{"Xmp.dc.description"} << QStringList{"Xmp.xmp.CreatorTool"};
        QTest::newRow("a JPEG's extended XMP")
            << JpegWith(Saved(image, "jpeg"), Segment("ffe1", QByteArray("http://ns.adobe.com/xap/1.0/", 29) + Xmp("d")) +
                                                  Segment("ffe1", QByteArray("http://ns.adobe.com/xmp/extension/", 35) + QByteArray(40, '0')))
            << "copied" << QStringList{"拡張 XMP"} << QStringList{"Xmp.xmp.CreatorTool"};
        // Compressed text is given exiv2 inflated (it refuses more than 128 KB), 16 MB at most.
        QByteArray text = PngChunk("zTXt", QByteArray("Raw profile type exif\0\0", 23) + qCompress(QByteArray(1 << 20, 'B'), 9).mid(4));
        QTest::newRow("a PNG's text over 16 MB")
            << PngWith(Saved(image, "png"), PngChunk("iTXt", QByteArray("XML:com.adobe.xmp\0\0\0\0\0", 22) + Xmp("d")) + text.repeated(17))
            << "copied" << QStringList{"16 MB を超える PNG のテキスト"} << QStringList{"Xmp.xmp.CreatorTool"};
        // A TIFF's Exif is its own header: how its pixels are stored does not pass to the JPEG.
        QTest::newRow("a TIFF's layout") << Saved(image, "tiff") << "copied" << QStringList()
                                         << QStringList{"-Exif.Image.ImageWidth", "-Exif.Image.Compression", "-Exif.Image.StripOffsets",
                                                        "-Exif.Image.BitsPerSample"};
        if (heifsamples::CanEncode(heifsamples::Codec::Hevc)) {
            QTest::newRow("a HEIC's Exif that cannot be read") << heifsamples::Encode(image, {.Exif = garbage}) << unreadable
                                                               << QStringList() << QStringList();
            QByteArray heic = heifsamples::Encode(image, {.Icc = QColorSpace(QColorSpace::AdobeRgb).iccProfile(), .Exif = make});
            QTest::newRow("a HEIC's damaged profile") << heic.replace(heic.indexOf("colrprof") + 8, 1, "\x7f") << "copied"
                                                      << QStringList() << QStringList{"Exif.Image.Make"};
        }
    }
    void metadataRule()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, outcome);
        QFETCH(QStringList, leftOut);
        QFETCH(QStringList, tags);
        const QString source = Path(file.startsWith("\xff\xd8") ? "source.jpg" : "source");
        QVERIFY(testimages::Write(source, file) && testimages::Write(Path("out.jpg"), testimages::PhotoJpeg(24, 32)));
        const MetadataResult r = MetadataWriter(library_).Write(Fs(source), Fs(Path("out.jpg")), QSize(24, 32), false,
                                                                [&] { return pictures::ContainerExifOf(source); });
        QCOMPARE(r.Error ? r.Error->Description : r.Copied ? "copied" : "unchanged", outcome);
        QCOMPARE(r.LeftOut, leftOut);
        for (const QString& tag : tags)
            QVERIFY2((testimages::TagValue(Path("out.jpg"), tag.mid(tag.startsWith('-')).toStdString()) == "none") == tag.startsWith('-'),
                     qPrintable(tag));
    }
};

QTEST_GUILESS_MAIN(TestOutput)
#include "tst_output.moc"
