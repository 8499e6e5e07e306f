// HEIF and AVIF reading: each kind of file phones and encoders write decodes
// upright, in sRGB, transparency on white, to the pixels libheif's own
// heif-convert gives; the stop flag ends a decode between tiles; readers on
// several threads at once. (Bad files are rows of the picture test's table.)
#include <QBuffer>
#include <QColorSpace>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTransform>

#include <thread>
#include <vector>

#include "samples/heifsamples.h"
#include "pictures/heifreader.h"
#include "testimages.h"

using namespace pictures;
using heifsamples::Codec;

namespace {

// Four flat quarters (red, green, blue, yellow) under a soft diagonal ramp,
// so that a turn, a mirror or a crop shows; with Alpha, clearer to the right.
QImage Quarters(int w, int h, bool alpha = false)
{
    QImage image(w, h, QImage::Format_ARGB32);
    const QRgb colours[4] = {qRgb(200, 40, 40), qRgb(40, 180, 60), qRgb(50, 60, 200), qRgb(220, 210, 50)};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const QRgb c = colours[(x * 2 / w) + 2 * (y * 2 / h)];
            const int ramp = (x + y) * 30 / (w + h);
            image.setPixel(x, y, qRgba(qRed(c) + ramp, qGreen(c) + ramp, qBlue(c) + ramp, 255 - x * 255 / w));
        }
    return alpha ? image : image.convertToFormat(QImage::Format_RGB32);
}

// Straight alpha on white, computed in floating point.
QImage OnWhite(const QImage& image)
{
    QImage out(image.size(), QImage::Format_RGB32);
    const QImage in = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < in.height(); ++y)
        for (int x = 0; x < in.width(); ++x) {
            const QRgb p = in.pixel(x, y);
            const auto put = [&](int c) { return qRound(c * qAlpha(p) / 255.0 + 255 - qAlpha(p)); };
            out.setPixel(x, y, qRgb(put(qRed(p)), put(qGreen(p)), put(qBlue(p))));
        }
    return out;
}

// The file decoded by libheif's heif-convert to PNG: the pixels as coded, with
// neither colour conversion nor flattening.
QImage HeifConvert(const QByteArray& file)
{
    QTemporaryDir dir;
    QFile in(dir.filePath("in.heic"));
    if (!in.open(QIODevice::WriteOnly) || in.write(file) != file.size())
        return {};
    in.close();
    QProcess convert;
    convert.setStandardOutputFile(QProcess::nullDevice());
    convert.start("heif-convert", {in.fileName(), dir.filePath("out.png")});
    if (!convert.waitForFinished() || convert.exitCode() != 0)
        return {};
    return QImage(dir.filePath("out.png"));
}

HeifReader::Picture Decoded(const QByteArray& file)
{
    QBuffer buffer;
    buffer.setData(file);
    buffer.open(QIODevice::ReadOnly);
    return HeifReader(buffer).Decode();
}

// Four 64 x 64 tiles of a 128 x 128 picture.
QList<QByteArray> Tiles(const QImage& picture, heifsamples::Options options)
{
    QList<QByteArray> tiles;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            tiles << heifsamples::Encode(picture.copy(x * 64, y * 64, 64, 64), options);
    return tiles;
}

}  // namespace

class TestPictures : public QObject {
    Q_OBJECT
private slots:
    void decodes_data();
    void decodes();
    void stops();
    void decodesOnSeveralThreads();
};

void TestPictures::decodes_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QImage>("shown");  // the sRGB picture the file holds, upright
    QTest::addColumn<bool>("managed");  // its colour is converted, so heif-convert's pixels differ
    QTest::addColumn<QByteArray>("exif");

    using heifsamples::Encode;
    QImage quarters = Quarters(96, 64);
    quarters.setColorSpace(QColorSpace(QColorSpace::SRgb));
    const QImage upright = Quarters(64, 96);
    const QImage big = Quarters(128, 128);
    for (const Codec codec : {Codec::Hevc, Codec::Av1}) {
        const char* kind = codec == Codec::Hevc ? "HEIC" : "AVIF";
        if (!heifsamples::CanEncode(codec) ||
            !(codec == Codec::Hevc ? InstalledHeifDecoders().Hevc : InstalledHeifDecoders().Av1)) {
            qWarning("no %s encoder or decoder: its rows are left out", kind);
            continue;
        }
        const auto row = [&](const char* name, const QByteArray& file, const QImage& shown, bool managed = false,
                             const QByteArray& exif = {}) {
            QTest::addRow("%s %s", kind, name) << file << shown << managed << exif;
        };
        row("8-bit", Encode(quarters, {.Kind = codec}), quarters);
        row("10-bit", Encode(Quarters(96, 64).convertToFormat(QImage::Format_RGBX64), {.Kind = codec, .BitDepth = 10}),
            quarters);
        row("alpha", Encode(Quarters(96, 64, true), {.Kind = codec, .Alpha = true}), OnWhite(Quarters(96, 64, true)));
        // A grid's tiles are decoded one by one, and the grid turned, mirrored
        // and coloured as libheif does it (heif-convert's pixels).
        const QImage cut = big.copy(0, 0, 120, 100);
        const QByteArray exif = QByteArray::fromHex("49492a0008000000" "0100" "120103000100000006000000" "00000000");
        using heifsamples::ByteProperty;
        row("grid, last column and row cut",
            heifsamples::Grid(Tiles(big, {.Kind = codec}), 2, QSize(120, 100), {.Exif = exif}), cut, false, exif);
        row("grid turned a quarter, then mirrored",
            heifsamples::Grid(Tiles(big, {.Kind = codec}), 2, QSize(120, 100),
                              {.Properties = {ByteProperty("irot", 1), ByteProperty("imir", 0)}}),
            cut.transformed(QTransform().rotate(-90)).mirrored(false, true));
        row("grid upside down, mirrored left to right",
            heifsamples::Grid(Tiles(big, {.Kind = codec}), 2, QSize(120, 100),
                              {.Properties = {ByteProperty("irot", 2), ByteProperty("imir", 1)}}),
            cut.mirrored(false, true));
        QImage bigP3 = big;
        bigP3.setColorSpace(QColorSpace(QColorSpace::SRgb));
        bigP3.convertToColorSpace(QColorSpace(QColorSpace::DisplayP3));
        row("grid, Display P3 colour description",
            heifsamples::Grid(Tiles(bigP3, {.Kind = codec, .Primaries = 12, .Transfer = 13}), 2, QSize(120, 100)),
            cut, true);
        // Stored sideways, mirrored, transposed: the container turns it upright.
        row("irot, turned a quarter",
            Encode(upright.transformed(QTransform().rotate(-90)), {.Kind = codec, .Orientation = 6}), upright);
        row("imir, mirrored", Encode(quarters.mirrored(true, false), {.Kind = codec, .Orientation = 2}), quarters);
        row("irot and imir, transposed",
            Encode(upright.transformed(QTransform(0, 1, 1, 0, 0, 0)), {.Kind = codec, .Orientation = 5}), upright);
        row("clean aperture", Encode(Quarters(61, 45), {.Kind = codec, .CleanAperture = true}), Quarters(61, 45));
        // The Exif orientation says "turn a quarter": the container does not,
        // and its word is the one that counts.
        row("Exif orientation 6", Encode(quarters, {.Kind = codec, .Exif = exif}), quarters, false, exif);
        // Wide-gamut pictures: their pixels are other than sRGB's, and the
        // output must come closer to the sRGB original than they are.
        const QColorSpace p3(QColorSpace::DisplayP3);
        const QImage vivid = quarters.convertedToColorSpace(p3);
        row("Display P3 profile", Encode(vivid, {.Kind = codec, .Icc = p3.iccProfile()}), quarters, true);
        row("Display P3 colour description", Encode(vivid, {.Kind = codec, .Primaries = 12, .Transfer = 13}), quarters,
            true);
        row("BT.2020 colour description",
            Encode(quarters.convertedToColorSpace(QColorSpace(QPointF(0.3127, 0.3290), QPointF(0.708, 0.292),
                                                              QPointF(0.170, 0.797), QPointF(0.131, 0.046),
                                                              QColorSpace::TransferFunction::SRgb)),
                   {.Kind = codec, .Primaries = 9, .Transfer = 13}),
            quarters,
            true);
    }
}

void TestPictures::decodes()
{
    if (!QTest::currentDataTag())
        QSKIP("libheif here has no encoder to make the pictures with");
    QFETCH(QByteArray, file);
    QFETCH(QImage, shown);
    QFETCH(bool, managed);
    QFETCH(QByteArray, exif);
    QVERIFY(!file.isEmpty());
    QVERIFY(HeifReader::IsHeif(file.left(64)));

    QBuffer buffer;
    buffer.setData(file);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    HeifReader reader(buffer);
    QCOMPARE(reader.Error(), HeifError::None);
    QCOMPARE(reader.Size(), shown.size());
    QCOMPARE(reader.Exif(), exif);
    const HeifReader::Picture picture = reader.Decode();
    QCOMPARE(picture.Error, HeifError::None);
    QCOMPARE(picture.Image.format(), QImage::Format_RGB32);
    QCOMPARE(picture.Image.size(), shown.size());
    const auto error = testimages::Difference(picture.Image, shown);
    QVERIFY2(error.first <= 5, qPrintable(QString("mean difference %1").arg(error.first)));

#if defined(__SANITIZE_THREAD__)
    QSKIP("ThreadSanitizer cannot follow heif-convert started from a process with the encoders' threads");
#endif
    if (QStandardPaths::findExecutable("heif-convert").isEmpty())
        QSKIP("heif-convert (Debian's libheif-examples) is not installed");
    const QImage unmanaged = OnWhite(HeifConvert(file));
    QCOMPARE(unmanaged.size(), shown.size());
    if (!managed) {
        QVERIFY2(testimages::Difference(picture.Image, unmanaged).second <= 1, "not the pixels heif-convert gives");
    } else {
        const double raw = testimages::Difference(unmanaged, shown).first;
        QVERIFY2(raw > 3 * error.first, qPrintable(QString("unmanaged %1, converted %2").arg(raw).arg(error.first)));
    }
}

void TestPictures::stops()
{
    // A flag raised while a tile is read: no picture, and no tile read after
    // it; raised before, nothing decoded at all.
    if (!heifsamples::CanEncode(Codec::Hevc))
        QSKIP("libheif here has no encoder to make the pictures with");
    const QByteArray grid = heifsamples::Grid(Tiles(Quarters(128, 128), {}), 2, QSize(128, 128));
    class Reading : public QBuffer {
    public:
        qint64 Limit = std::numeric_limits<qint64>::max();
        std::atomic<bool> Stop{false};
        int LateReads = 0;
        qint64 readData(char* data, qint64 size) override
        {
            LateReads += Stop ? 1 : 0;
            if (pos() + size > Limit)
                Stop = true;
            return QBuffer::readData(data, size);
        }
    } device;
    device.setData(grid);
    QVERIFY(device.open(QIODevice::ReadOnly));
    HeifReader reader(device, &device.Stop);
    QCOMPARE(reader.Error(), HeifError::None);
    device.Limit = (grid.indexOf("mdat") + grid.size()) / 2;
    QCOMPARE(reader.Decode().Error, HeifError::Stopped);
    QVERIFY(device.Stop);
    QCOMPARE(device.LateReads, 0);
    QCOMPARE(reader.Decode().Error, HeifError::Stopped);
}

void TestPictures::decodesOnSeveralThreads()
{
    // As a run does: one reader per picture, several pictures at once.
    if (!heifsamples::CanEncode(Codec::Hevc))
        QSKIP("libheif here has no encoder to make the pictures with");
    const QByteArray file = heifsamples::Encode(Quarters(96, 64));
    const QImage first = Decoded(file).Image;
    std::atomic<int> same{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 5; ++i)
                same += Decoded(file).Image == first ? 1 : 0;
        });
    for (std::thread& thread : threads)
        thread.join();
    QVERIFY(!first.isNull());
    QCOMPARE(same.load(), 20);
}

QTEST_GUILESS_MAIN(TestPictures)
#include "tst_pictures.moc"
