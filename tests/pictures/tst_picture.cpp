// Picture services: decoding (formats, orientation, colour space,
// transparency), every reader's refusals (special files, damaged files and
// bombs), JPEGs streamed into the reduction against the whole-picture path,
// and the exactness of the averaging reduction.
#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QtEndian>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

#include "pictures/picture.h"
#include "samples/heifsamples.h"
#include "testimages.h"

using namespace pictures;

namespace {

bool Near(QRgb a, QRgb b, int tolerance)
{
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance &&
           qAbs(qBlue(a) - qBlue(b)) <= tolerance;
}

// Peak signal-to-noise ratio of two pictures of one size over their RGB
// samples, in dB (infinite when they are equal).
double Psnr(const QImage& a, const QImage& b)
{
    double squares = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (const int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)})
                squares += d * d;
        }
    return 10 * std::log10(255.0 * 255.0 * 3 * a.width() * a.height() / squares);
}

// The coverage-weighted average straight from the overlaps, halves upward.
QImage ReferenceStretch(const QImage& src, int w, int h)
{
    const qint64 W = src.width(), H = src.height();
    auto overlap = [](qint64 i, qint64 j, qint64 S, qint64 d) {
        return qMax<qint64>(0, qMin((i + 1) * S, (j + 1) * d) - qMax(i * S, j * d));
    };
    QImage out(w, h, QImage::Format_RGB32);
    for (int ty = 0; ty < h; ++ty)
        for (int tx = 0; tx < w; ++tx) {
            qint64 sum[3] = {0, 0, 0};
            for (qint64 y = ty * H / h; y <= qMin(H - 1, (ty + 1) * H / h); ++y)
                for (qint64 x = tx * W / w; x <= qMin(W - 1, (tx + 1) * W / w); ++x) {
                    const qint64 weight = overlap(tx, x, W, w) * overlap(ty, y, H, h);
                    const QRgb p = src.pixel(int(x), int(y));
                    sum[0] += weight * qRed(p);
                    sum[1] += weight * qGreen(p);
                    sum[2] += weight * qBlue(p);
                }
            auto average = [&](qint64 s) { return int((2 * s + W * H) / (2 * W * H)); };
            out.setPixel(tx, ty, qRgb(average(sum[0]), average(sum[1]), average(sum[2])));
        }
    return out;
}

// JPEG variants Qt cannot write, made with libjpeg's own encoder.
struct JpegOptions {
    int h = 2, v = 2;  // sampling of the first component
    bool progressive = false;
    bool arithmetic = false;
    J_COLOR_SPACE space = JCS_YCbCr;  // or JCS_GRAYSCALE, JCS_CMYK, JCS_YCCK
    bool adobeRgb = false;            // an ICC profile other than sRGB
    int orientation = 0;              // EXIF orientation, 0 for none
    bool bmp = false;                 // a BMP instead
    int restart = 0;                  // MCUs between restart markers
    bool apart = false;               // each component in a scan of its own
    bool unrefined = false;           // progressive without its refining scans
};

QByteArray JpegBytes(const QImage& image, const JpegOptions& o)
{
    jpeg_compress_struct c;
    jpeg_error_mgr error;
    c.err = jpeg_std_error(&error);
    jpeg_create_compress(&c);
    unsigned char* data = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &data, &size);
    const bool cmyk = o.space == JCS_CMYK || o.space == JCS_YCCK;
    c.image_width = JDIMENSION(image.width());
    c.image_height = JDIMENSION(image.height());
    c.input_components = o.space == JCS_GRAYSCALE ? 1 : cmyk ? 4 : 3;
    c.in_color_space = o.space == JCS_GRAYSCALE ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_colorspace(&c, o.space);
    jpeg_set_quality(&c, 90, TRUE);
    if (o.space == JCS_YCbCr) {
        c.comp_info[0].h_samp_factor = o.h;
        c.comp_info[0].v_samp_factor = o.v;
    }
    if (o.progressive)
        jpeg_simple_progression(&c);
    std::vector<jpeg_scan_info> scans;
    if (o.unrefined) {
        for (int i = 0; i < c.num_scans; ++i)
            if (c.scan_info[i].Ah == 0)
                scans.push_back(c.scan_info[i]);
    } else if (o.apart) {
        for (int i = 0; i < c.num_components; ++i)
            scans.push_back({1, {i}, 0, 63, 0, 0});
    }
    if (!scans.empty()) {
        c.scan_info = scans.data();
        c.num_scans = int(scans.size());
    }
    c.restart_interval = JDIMENSION(o.restart);
    c.arith_code = o.arithmetic;
    jpeg_start_compress(&c, TRUE);
    if (o.orientation) {
        QByteArray exif = QByteArray::fromHex("457869660000" "49492a0008000000" "0100" "120103000100000000000000" "00000000");
        exif[24] = char(o.orientation);
        jpeg_write_marker(&c, JPEG_APP0 + 1, reinterpret_cast<const JOCTET*>(exif.constData()), unsigned(exif.size()));
    }
    if (o.adobeRgb) {
        const QByteArray icc = QColorSpace(QColorSpace::AdobeRgb).iccProfile();
        jpeg_write_icc_profile(&c, reinterpret_cast<const JOCTET*>(icc.constData()), unsigned(icc.size()));
    }
    std::vector<JSAMPLE> row(size_t(image.width() * c.input_components));
    while (c.next_scanline < c.image_height) {
        const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(int(c.next_scanline)));
        JSAMPLE* out = row.data();
        for (int x = 0; x < image.width(); ++x) {
            *out++ = JSAMPLE(qRed(in[x]));
            if (c.input_components > 1) {
                *out++ = JSAMPLE(qGreen(in[x]));
                *out++ = JSAMPLE(qBlue(in[x]));
            }
            if (cmyk)
                *out++ = JSAMPLE(255 - (x * 3 + int(c.next_scanline)) % 200);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    std::free(data);
    return bytes;
}

QString Described(const std::optional<PictureError>& e)
{
    return e ? QString::number(int(e->Number)) + ' ' + e->Description : QString("no error");
}

// The error of each entry that reads a file, which all must agree on.
QStringList ErrorsOf(const QString& path)
{
    return {Described(LoadPicture(path).Error), Described(ReadPictureSize(path).Error),
            Described(LoadReducedPicture(path, 0.5).Error)};
}

QStringList Thrice(int number, const QString& text, const QString& path)
{
    const QString e = QString::number(number) + ' ' + text + " (" + QDir::toNativeSeparators(path) + ')';
    return {e, e, e};
}

// What Qt's own reader gives, which every entry must give too.
QImage QtRead(const QString& path)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    return pictures::ToOpaqueSrgb(reader.read());
}

// A grey progressive 2000 x 2000 JPEG that repeats one AC scan: each codes
// every block as empty in two runs (Huffman), or has no data at all
// (arithmetic, whose decoder reads a missing scan as zeros).
QByteArray RepeatedScans(int scans, bool arithmetic)
{
    QByteArray out = QByteArray::fromHex("ffd8") + testimages::Segment("ffdb", QByteArray(1, 0) + QByteArray(64, 1)) +
                     testimages::Segment(arithmetic ? "ffca" : "ffc2", QByteArray::fromHex("0807d007d001011100"));
    if (!arithmetic)
        out += testimages::Segment("ffc4", QByteArray::fromHex("1001000000000000000000000000000000e0"));
    for (int i = 0; i < scans; ++i)
        out += testimages::Segment("ffda", QByteArray::fromHex("010100013f00")) + (arithmetic ? "" : QByteArray::fromHex("7ffed097"));
    return out + QByteArray::fromHex("ffd9");
}

// A saved PNG, JPEG or WebP with an Exif block carrying Orientation where
// that format keeps it, SHORT (type 3) or LONG (4), one value or a count of
// them (the rest 1), as files have it; a TIFF's own SHORT entry made a count.
QByteArray WithExifOrientation(const QByteArray& file, int orientation, int type = 3, int count = 1)
{
    using namespace testimages;
    if (file.startsWith("II*")) {
        QByteArray tiff = file;
        const qsizetype at = tiff.indexOf(QByteArray::fromHex("1201030001000000"));
        return at < 0 ? QByteArray() : tiff.replace(at + 4, 1, QByteArray(1, char(count)));
    }
    const int size = type == 3 ? 2 : 4;
    QByteArray exif = QByteArray::fromHex("49492a0008000000" "0100" "1201000000000000" "00000000" "00000000");
    exif[12] = char(type);
    exif[14] = char(count);
    QByteArray values(size * count, 0);
    for (int i = 0; i < count; ++i)
        values[i * size] = char(i == 0 ? orientation : 1);
    if (values.size() <= 4)
        exif.replace(18, values.size(), values);
    else
        exif = exif.replace(18, 1, QByteArray(1, 26)) + values;  // after the IFD
    if (file.startsWith("\x89PNG"))
        return PngWith(file, PngChunk("eXIf", exif));
    if (file.startsWith("\xff\xd8"))
        return JpegWith(file, testimages::Segment("ffe1", "Exif" + QByteArray(2, 0) + exif));
    return WebpWith(file, {{"EXIF", exif}});
}

// A 4 x 2 run-length BMP whose rows are the given runs.
QByteArray RunLengthBmp(const QByteArray& runs)
{
    QByteArray out = QByteArray::fromHex("424d000000000000000046000000280000000400000002000000010008000100000000000000130b0000130b00000400000000000000");
    return out + QByteArray::fromHex("0000ff0000ff0000ff00000000000000") + runs;
}

}  // namespace

// Rows collected into an image.
class ImageRowsSink final : public ShrinkSink {
public:
    bool Reserve(qint64, QSize) override { return true; }
    bool Begin(QSize, QSize target) override
    {
        Image = QImage(target, QImage::Format_RGB32);
        return true;
    }
    uchar* NextRow() override { return Image.scanLine(row_); }
    bool RowDone() override { return ++row_ <= Image.height() && row_ != EndAt; }

    QImage Image;
    int EndAt = -1;  // the row after which it takes no more

private:
    int row_ = 0;
};

Q_DECLARE_METATYPE(JpegOptions)

class TestPicture : public QObject {
    Q_OBJECT
private slots:
    void decodes();
    void refusesWhatIsNoFile();
    void streamingMatchesWholePicture_data();
    void streamingMatchesWholePicture();
    void refusesBadFiles_data();
    void refusesBadFiles();
    void stretchAveragesByCoverage();
};

void TestPicture::decodes()
{
    QTemporaryDir dir;
    // First frame only, its transparent pixels on white.
    QVERIFY(testimages::Write(dir.filePath("a.gif"), testimages::TwoFrameGif));
    const LoadedPicture gif = LoadPicture(dir.filePath("a.gif"));
    QVERIFY(gif.Ok());
    QCOMPARE(gif.Image.format(), QImage::Format_RGB32);
    QCOMPARE(gif.Image.pixel(0, 0), qRgb(255, 0, 0));
    QCOMPARE(gif.Image.pixel(2, 0), qRgb(0, 0, 255));
    QCOMPARE(gif.Image.pixel(3, 0), qRgb(255, 255, 255));
    QImage png(1, 1, QImage::Format_ARGB32);
    png.setPixel(0, 0, qRgba(255, 0, 0, 128));
    QVERIFY(png.save(dir.filePath("alpha.png")));
    QVERIFY(Near(LoadPicture(dir.filePath("alpha.png")).Image.pixel(0, 0), qRgb(255, 127, 127), 1));

    // Stored sideways, left red and right blue: displayed upright, red on top.
    QImage stored(40, 20, QImage::Format_RGB32);
    stored.fill(qRgb(255, 0, 0));
    for (int y = 0; y < 20; ++y)
        for (int x = 20; x < 40; ++x)
            stored.setPixel(x, y, qRgb(0, 0, 255));
    // So do PNG's eXIf, WebP's EXIF chunk and TIFF's own tag, also as
    // exiftool reads them where Qt's readers and libtiff do not: LONG, or the
    // first of several values. A HEIC's container turns it, and the Exif
    // orientation it also carries is not applied again.
    QBuffer tiff;
    QVERIFY(tiff.open(QIODevice::WriteOnly));
    QImageWriter tiffWriter(&tiff, "tiff");
    tiffWriter.setTransformation(QImageIOHandler::TransformationRotate90);
    QVERIFY(tiffWriter.write(stored));
    const auto saved = [&](const char* format) { return testimages::Saved(stored, format); };
    QList<std::pair<const char*, QByteArray>> turnedFiles = {
        {"turned.jpg", WithExifOrientation(saved("jpeg"), 6)},      {"turned.png", WithExifOrientation(saved("png"), 6)},
        {"turned.webp", WithExifOrientation(saved("webp"), 6)},
        {"turned.tif", tiff.data()},                                {"long.jpg", WithExifOrientation(saved("jpeg"), 6, 4)},
        {"three.png", WithExifOrientation(saved("png"), 6, 3, 3)},  {"long3.webp", WithExifOrientation(saved("webp"), 6, 4, 3)},
        {"two.tif", WithExifOrientation(tiff.data(), 6, 3, 2)}};
    if (heifsamples::CanEncode(heifsamples::Codec::Hevc))
        turnedFiles.append({"turned.heic", heifsamples::Encode(stored, {.Orientation = 6, .Exif = QByteArray::fromHex(
                                                                          "49492a0008000000010012010300010000000600000000000000")})});
    for (const auto& [name, bytes] : turnedFiles) {
        QVERIFY2(testimages::Write(dir.filePath(name), bytes), name);
        const LoadedPicture picture = LoadPicture(dir.filePath(name));
        QCOMPARE(picture.Image.size(), QSize(20, 40));
        QVERIFY2(Near(picture.Image.pixel(10, 5), qRgb(255, 0, 0), 40) &&
                     Near(picture.Image.pixel(10, 35), qRgb(0, 0, 255), 40), name);
        QCOMPARE(ReadPictureSize(dir.filePath(name)).Size, QSize(20, 40));
        QCOMPARE(LoadReducedPicture(dir.filePath(name), 0.5).Image, StretchHalftone(picture.Image, 10, 20));
    }

    // Shapes Qt's readers once got wrong, made with ImageMagick and img2webp:
    // 8-bit planes stored apart read as ImageMagick reads them (their 16-bit
    // kind is refused, below), and an animation of 6000 x 6000 reads its
    // first frame like any picture under the limit.
    const QString data = QStringLiteral(ZEMBRIK_TEST_DATA "/");
    const QImage planes = LoadPicture(data + "tiff-8-bit-planes-lzw.tif").Image;
    QCOMPARE(planes.size(), QSize(40, 20));
    QCOMPARE(QList<QRgb>({planes.pixel(0, 0), planes.pixel(5, 10), planes.pixel(39, 19)}),
             QList<QRgb>({qRgb(255, 0, 0), qRgb(120, 0, 134), qRgb(0, 0, 255)}));
    QImageReader::setAllocationLimit(128);  // the process's, as a run's first picture finds it in Qt 6.4
    const LoadedPicture animation = LoadPicture(data + "webp-6000x6000-two-frames.webp");
    QCOMPARE(animation.Image.size(), QSize(6000, 6000));
    QCOMPARE(animation.Image.pixel(5999, 5999), qRgb(255, 0, 0));

    // A profile other than sRGB is converted, as the output carries none.
    QImage adobe(8, 8, QImage::Format_RGB32);
    adobe.fill(qRgb(60, 160, 90));
    adobe.setColorSpace(QColorSpace(QColorSpace::AdobeRgb));
    QVERIFY(adobe.save(dir.filePath("adobe.jpg"), nullptr, 100));
    const QRgb inSrgb = adobe.convertedToColorSpace(QColorSpace(QColorSpace::SRgb)).pixel(0, 0);
    QVERIFY(!Near(inSrgb, qRgb(60, 160, 90), 10));
    QVERIFY(Near(LoadPicture(dir.filePath("adobe.jpg")).Image.pixel(4, 4), inSrgb, 3));
}

// A path that leads to no picture file: gone, unnamable, or a special file
// that would block or never end if it were opened and read as a file.
void TestPicture::refusesWhatIsNoFile()
{
    QTemporaryDir dir;
    QCOMPARE(ErrorsOf(dir.filePath("gone.jpg")), Thrice(53, "ファイルが見つかりません。", dir.filePath("gone.jpg")));
#ifdef Q_OS_UNIX
    // A lone surrogate that stands for no byte: no file here can have this name.
    const QString unnamable = dir.filePath(QStringLiteral("x") + QChar(0xD800) + QStringLiteral(".jpg"));
    QCOMPARE(ErrorsOf(unnamable), Thrice(53, "ファイル名を読み取れません。", unnamable));
    QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("pipe.jpg")).constData(), 0600), 0);
    QVERIFY(QFile::link("/dev/null", dir.filePath("null.jpg")));
    QVERIFY(QFile::link("/dev/zero", dir.filePath("zero.jpg")));
    for (const char* name : {"pipe.jpg", "null.jpg", "zero.jpg"})
        QCOMPARE(ErrorsOf(dir.filePath(name)), Thrice(481, "画像ファイルを開けません。", dir.filePath(name)));
#endif
}

void TestPicture::streamingMatchesWholePicture_data()
{
    QTest::addColumn<JpegOptions>("options");
    QTest::newRow("baseline 4:2:0") << JpegOptions{};
    QTest::newRow("progressive 4:2:0") << JpegOptions{.progressive = true};
    QTest::newRow("4:2:2") << JpegOptions{.h = 2, .v = 1};
    QTest::newRow("4:4:4 progressive") << JpegOptions{.h = 1, .v = 1, .progressive = true};
    QTest::newRow("grey") << JpegOptions{.space = JCS_GRAYSCALE};
    QTest::newRow("CMYK") << JpegOptions{.space = JCS_CMYK};
    QTest::newRow("YCCK") << JpegOptions{.space = JCS_YCCK};
    QTest::newRow("Adobe RGB profile") << JpegOptions{.adobeRgb = true};
    QTest::newRow("grey, odd width, Adobe RGB profile") << JpegOptions{.space = JCS_GRAYSCALE, .adobeRgb = true};
    for (int orientation = 1; orientation <= 8; ++orientation)
        QTest::addRow("orientation %d", orientation) << JpegOptions{.orientation = orientation};
    QTest::newRow("BMP, read whole") << JpegOptions{.bmp = true};
    QTest::newRow("restart markers") << JpegOptions{.restart = 3};
    QTest::newRow("arithmetic, progressive, restart markers")
        << JpegOptions{.progressive = true, .arithmetic = true, .restart = 2};
    QTest::newRow("components in scans apart") << JpegOptions{.apart = true};
    QTest::newRow("progressive without refinement") << JpegOptions{.progressive = true, .unrefined = true};
}

void TestPicture::streamingMatchesWholePicture()
{
    QFETCH(JpegOptions, options);
    QTemporaryDir dir;
    const QString path = dir.filePath(options.bmp ? "p.bmp" : "p.jpg");
    const QImage photo = testimages::PhotoLike(203, 131, 3);
    QVERIFY(options.bmp ? photo.save(path) : testimages::Write(path, JpegBytes(photo, options)));
    const LoadedPicture whole = LoadPicture(path);
    QVERIFY(whole.Ok());
    QCOMPARE(whole.Image, QtRead(path));
    QCOMPARE(ReadPictureSize(path).Size, whole.Image.size());
    // At 100% the decoded pixels themselves must agree.
    for (const double ratio : {0.37, 1.0}) {
        const ReducedPicture reduced = LoadReducedPicture(path, ratio);
        QVERIFY(reduced.Ok());
        QCOMPARE(reduced.SourceSize, whole.Image.size());
        const QSize target(TargetLength(whole.Image.width(), ratio), TargetLength(whole.Image.height(), ratio));
        QCOMPARE(reduced.Image, StretchHalftone(whole.Image, target.width(), target.height()));
    }
    // A rule that allows it has a JPEG decoded at 1/4 here: other pixels than
    // the exact reduction's, but close to them (32.5 to 37 dB on this small
    // noisy picture; a turn, a colour or a row gone wrong falls below 16).
    const ReducedPicture scaled = LoadReducedPicture(path, {[](QSize upright) { return upright / 10; }, true});
    const QImage exact = StretchHalftone(whole.Image, qRound(whole.Image.width() / 10.0), qRound(whole.Image.height() / 10.0));
    QVERIFY(scaled.Ok());
    QCOMPARE(scaled.Image.size(), exact.size());
    QCOMPARE(scaled.Image == exact, options.bmp);
    QVERIFY2(Psnr(scaled.Image, exact) > 31, qPrintable(QString::number(Psnr(scaled.Image, exact))));
    std::atomic<bool> stop{true};
    QVERIFY(LoadReducedPicture(path, 0.5, &stop).Stopped);

    // Several sizes from one decode, the scaled ones too (sharing its coded
    // data where they can): each gets the pixels it gets alone.
    const std::vector<SizeRule> rules = {{[](QSize upright) { return upright; }, true},
                                         {[](QSize upright) { return upright / 3; }, true},
                                         {[](QSize upright) { return upright / 10; }, true},
                                         RatioRule(0.5),
                                         {[](QSize upright) { return upright / 20; }, true}};
    std::vector<ImageRowsSink> together(rules.size());
    std::vector<ShrinkSink*> sinks;
    for (ImageRowsSink& sink : together)
        sinks.push_back(&sink);
    const std::vector<ShrinkOutcome> outcomes = ShrinkPictureToSizes(path, rules, sinks);
    for (std::size_t k = 0; k < rules.size(); ++k) {
        QVERIFY(outcomes[k].Ok());
        const ReducedPicture alone = LoadReducedPicture(path, rules[k]);
        QImage pixels = alone.Image;
        pixels.setColorSpace({});  // the pixels, not the space the image names
        QVERIFY2(together[k].Image == pixels, qPrintable(QString::number(k)));
    }
    // A size whose sink ends early ends alone, the full-size one or a scaled one.
    for (const std::size_t ending : {std::size_t{0}, std::size_t{2}}) {
        std::vector<ImageRowsSink> two(2);
        two[ending == 0 ? 0 : 1].EndAt = 5;
        const std::vector<ShrinkOutcome> ended =
            ShrinkPictureToSizes(path, {rules[0], rules[2]}, {&two[0], &two[1]});
        const std::size_t other = ending == 0 ? 1 : 0;
        QVERIFY(ended[1 - other].Stopped);
        QVERIFY(ended[other].Ok());
        QCOMPARE(two[other].Image.pixel(1, two[other].Image.height() - 1),
                 together[other == 0 ? 0 : 2].Image.pixel(1, two[other].Image.height() - 1));
    }
}

void TestPicture::refusesBadFiles_data()
{
    using namespace testimages;
    const QByteArray small = JpegBytes(PhotoLike(64, 48, 1), {});
    const QByteArray photo = JpegBytes(PhotoLike(320, 240, 3), {});
    const QByteArray png = Saved(PhotoLike(16, 16, 1), "png");
    const QByteArray bmp = Saved(PhotoLike(200, 100, 1), "bmp");
    const QByteArray whole = QByteArray::fromHex("0401000004020001");  // two rows, then the end code
    const QString unreadable = "481 画像ファイルを読み込めません。", tooLarge = "7 画像が大きすぎて読み込めません。";

    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<qint64>("sparseSize");  // the file grows to this with nothing written
    QTest::addColumn<QString>("error");      // none: it loads
    QTest::addColumn<bool>("headerTells");   // ReadPictureSize refuses it too
    QTest::newRow("junk") << QByteArray(500, 'x') << ".jpg" << 0LL << unreadable << true;
    // A real JPEG whose frame header claims 60000 x 60000 pixels.
    const qsizetype sof = small.indexOf(QByteArray::fromHex("ffc0"));
    QTest::newRow("JPEG claiming 60000 x 60000") << QByteArray(small).replace(sof + 5, 4, QByteArray::fromHex("ea60ea60"))
                                                 << ".jpg" << 0LL << tooLarge << true;
    // The arithmetic decoder fills a cut with zeros and says nothing.
    QTest::newRow("JPEG cut") << photo.left(photo.size() * 3 / 5) << ".jpg" << 0LL << unreadable << false;
    const QByteArray progressive = JpegBytes(PhotoLike(320, 240, 3), {.progressive = true});
    QTest::newRow("progressive JPEG cut") << progressive.left(progressive.size() * 3 / 5) << ".jpg" << 0LL << unreadable << false;
    const QByteArray arithmetic = JpegBytes(PhotoLike(320, 240, 3), {.arithmetic = true});
    QTest::newRow("arithmetic JPEG cut") << arithmetic.left(arithmetic.size() * 3 / 5) << ".jpg" << 0LL << unreadable << false;
    QTest::newRow("only the end marker missing") << photo.chopped(2) << ".jpg" << 0LL << "" << false;
    QTest::newRow("1000 repeated scans") << RepeatedScans(1000, false) << ".jpg" << 0LL << unreadable << false;
    QTest::newRow("1000 empty arithmetic scans") << RepeatedScans(1000, true) << ".jpg" << 0LL << unreadable << false;
    QTest::newRow("10 repeated scans") << RepeatedScans(10, false) << ".jpg" << 0LL << "" << false;
    QTest::newRow("100,000 comments") << JpegWith(small, Segment("fffe", QByteArray(24, 'c')).repeated(100000)) << ".jpg" << 0LL
                                      << "" << false;
    QTest::newRow("100,000 APP1 segments") << JpegWith(small, Segment("ffe1", QByteArray("Exif\0\0MM", 8)).repeated(100000))
                                           << ".jpg" << 0LL << "" << false;
    QTest::newRow("a start marker, then 1 GiB of nothing") << QByteArray::fromHex("ffd8") << ".jpg" << (1LL << 30) << unreadable
                                                           << true;
    QTest::newRow("a picture, then 1 GiB of zeros") << small.chopped(2) << ".jpg" << (1LL << 30) << unreadable << false;
    // 20000 x 20000 in the header; a cut PNG's header is whole, only decoding finds the rest missing.
    QTest::newRow("PNG claiming 20000 x 20000")
        << png.left(8) + PngChunk("IHDR", QByteArray::fromHex("00004e2000004e20") + png.mid(24, 5)) + png.mid(33) << ".png" << 0LL
        << tooLarge << true;
    QTest::newRow("PNG cut") << png.left(png.size() / 2) << ".png" << 0LL << unreadable << false;
    const QByteArray text = PngChunk("zTXt", QByteArray("Comment\0\0", 9) + qCompress(QByteArray(1 << 20, 'B'), 9).mid(4));
    QTest::newRow("a PNG behind 1,000 text chunks of 1 MB each")
        << PngWith(Saved(PhotoLike(64, 48, 1), "png"), text.repeated(1000)) << ".png" << 0LL << "" << false;
    // 1 x 50,000,000 grey pixels in as many strips, whose offsets and counts would lie at byte 200.
    QTest::newRow("TIFF of 50,000,000 strips")
        << QByteArray::fromHex("49492a0008000000" "0900" "000104000100000001000000" "0101040001000000" "80f0fa02"
                               "020103000100000008000000" "030103000100000001000000" "060103000100000001000000" "11010400"
                               "80f0fa02" "c8000000" "150103000100000001000000" "160104000100000001000000" "17010400"
                               "80f0fa02" "c8000000" "00000000") + QByteArray(300, 0)
        << ".tif" << 0LL << unreadable << true;
    // Made with ImageMagick; their 8-bit kind reads (decodes, above).
    QTest::newRow("TIFF of 16-bit planes stored apart") << Read(QStringLiteral(ZEMBRIK_TEST_DATA "/tiff-16-bit-planes-lzw.tif"))
                                                        << ".tif" << 0LL << unreadable << true;
    QTest::newRow("BMP cut to 8%") << bmp.left(bmp.size() * 8 / 100) << ".bmp" << 0LL << unreadable << true;
    QTest::newRow("BMP of 354 bytes claiming 12000 x 13000")
        << bmp.left(18) + QByteArray::fromHex("e02e0000c8320000") + bmp.mid(26, 354 - 26) << ".bmp" << 0LL << unreadable << true;
    QTest::newRow("BMP whose pixels lie past the end") << bmp.left(10) + QByteArray::fromHex("a0860100") + bmp.mid(14) << ".bmp"
                                                       << 0LL << unreadable << true;
    QTest::newRow("run-length BMP") << RunLengthBmp(whole) << ".bmp" << 0LL << "" << false;
    QTest::newRow("run-length BMP cut") << RunLengthBmp(whole.left(4)) << ".bmp" << 0LL << unreadable << true;
    QTest::newRow("GIF cut in its first image") << TwoFrameGif.left(46) << ".gif" << 0LL << unreadable << true;
    QTest::newRow("GIF with 2 of 8 pixels coded")
        << QByteArray(TwoFrameGif).replace(QByteArray::fromHex("020544a8716250"), QByteArray::fromHex("0202440a")) << ".gif"
        << 0LL << unreadable << true;
    // libheif checks a HEIF's extents before decoding.
    if (heifsamples::CanEncode(heifsamples::Codec::Hevc)) {
        using heifsamples::Grid;
        const QByteArray heic = heifsamples::Encode(PhotoLike(96, 64, 1));
        const QImage big = PhotoLike(128, 128, 1);
        QList<QByteArray> tiles;  // of 64 x 64
        for (const QPoint at : {QPoint(0, 0), QPoint(64, 0), QPoint(0, 64), QPoint(64, 64)})
            tiles << heifsamples::Encode(big.copy(QRect(at, QSize(64, 64))));
        QList<QByteArray> uneven = tiles;
        uneven[3] = heifsamples::Encode(PhotoLike(128, 64, 1));
        const auto row = [](const char* name, const QByteArray& file, const QString& error, bool headerTells = true) {
            QTest::addRow("HEIC %s", name) << file << ".heic" << 0LL << error << headerTells;
        };
        row("cut in the picture data", heic.left(heic.size() - 200), unreadable);
        row("cut in the container", heic.left(120), unreadable);
        row("garbage with a HEIF brand",
            QByteArray::fromHex("000000186674797068656963000000006d69663168656963") + QByteArray(3000, '\x5a'), unreadable);
        row("grid of 50000 x 50000", Grid(tiles, 2, QSize(50000, 50000)), tooLarge);
        row("grid of 20000 x 10000, within libheif's limits", Grid(tiles, 2, QSize(20000, 10000)), tooLarge);
        // Tiles that do not cover the grid exactly: refused before a canvas is made.
        row("grid larger than its stated size", Grid(tiles, 2, QSize(4000, 3000), {.Ispe = QSize(128, 128)}), unreadable);
        row("grid a little larger than its stated size", Grid(tiles, 2, QSize(130, 128), {.Ispe = QSize(128, 128)}), unreadable);
        row("grid of 12000 x 12000 over four 64 x 64 tiles", Grid(tiles, 2, QSize(12000, 12000)), unreadable);
        row("grid of tiles of different sizes", Grid(uneven, 2, QSize(128, 128)), unreadable);
        row("grid with a column more than it needs", Grid(tiles, 2, QSize(64, 128)), unreadable);
        row("grid whose tiles state a false size", Grid(tiles, 2, QSize(256, 256), {.TileIspe = QSize(128, 128)}), unreadable,
            false);
    }
}

// Cut, damaged and lying files, decoder bombs and floods end quickly, each
// refused the same way by every entry that reads it (from the header where
// it tells); a raised stop flag ends reading a JPEG before its header is done.
void TestPicture::refusesBadFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, suffix);
    QFETCH(qint64, sparseSize);
    QFETCH(QString, error);
    QFETCH(bool, headerTells);
    QTemporaryDir dir;
    const QString path = dir.filePath("p" + suffix);
    QVERIFY(testimages::Write(path, bytes));
    if (sparseSize > 0) {
        QFile file(path);
        QVERIFY(file.resize(sparseSize));
    }
    const QString refused = error.isEmpty() ? "no error" : error + " (" + QDir::toNativeSeparators(path) + ')';
    QCOMPARE(ErrorsOf(path), QStringList({refused, headerTells ? refused : "no error", refused}));
    std::atomic<bool> stop{true};
    if (bytes.startsWith("\xff\xd8"))
        QVERIFY(LoadReducedPicture(path, 0.5, &stop).Stopped);
}

void TestPicture::stretchAveragesByCoverage()
{
    // Odd ratios, each accumulator width, a picture large enough to be shared
    // out over threads, and a whole 4-to-1 by 2-to-1 reduction (where exact
    // halves go upward), against the direct computation. The last, bright,
    // sums more than 2^32 into a pixel (its weights add up to 65521 x 277):
    // only 64-bit sums hold it. At the same size the pixels are not copied.
    QRandomGenerator random(7);
    const QList<QList<int>> cases = {{8, 4, 6, 2}, {13, 7, 5, 3}, {5, 3, 13, 7}, {97, 41, 11, 5}, {101, 263, 50, 262},
                                     {1200, 900, 457, 333}, {64, 24, 16, 12}, {65521, 277, 2, 3, 0xF0F0F0}};
    for (const QList<int>& c : cases) {
        QImage noise(c[0], c[1], QImage::Format_RGB32);
        const quint32 floor = c.size() > 4 ? quint32(c[4]) : 0;
        for (int y = 0; y < noise.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(noise.scanLine(y));
            for (int x = 0; x < noise.width(); ++x)
                line[x] = random.generate() | floor | 0xFF000000u;
        }
        QCOMPARE(StretchHalftone(noise, c[2], c[3]), ReferenceStretch(noise, c[2], c[3]));
        QCOMPARE(StretchHalftone(noise, c[0], c[1]).constBits(), noise.constBits());
    }
}

QTEST_MAIN(TestPicture)
#include "tst_picture.moc"
