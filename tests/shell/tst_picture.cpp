// Picture services: decoding (formats, orientation, colour space,
// transparency, failures), the box's twips and snapshot, and the exactness of
// the averaging reduction.
#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include "shell/picture.h"
#include "shell/twips.h"

using namespace basMain;

namespace {

// 4 x 2 pixels, palette red, green, blue, black with black transparent. Frame
// one: 0 1 2 3 / 3 2 1 0; frame two all green.
const QByteArray TwoFrameGif = QByteArray::fromHex(
    "47494638396104000200810000ff000000ff000000ff00000021f90401000003002c0000000004000200000205"
    "44a87162500021f90401000003002c00000000040002000002054c98306152003b");

// Orientation 6 (turn a quarter clockwise to display) as an APP1 Exif segment.
const QByteArray Orientation6 = QByteArray::fromHex(
    "ffe10022457869660000" "49492a0008000000" "0100120103000100000006000000" "00000000");

bool Write(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray JpegBytes(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 95);
    return bytes;
}

bool Near(QRgb a, QRgb b, int tolerance)
{
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance &&
           qAbs(qBlue(a) - qBlue(b)) <= tolerance;
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

}  // namespace

class TestPicture : public QObject {
    Q_OBJECT
private slots:
    void decodes();
    void reportsFailures();
    void boxSizesAndSnapshot();
    void stretchAveragesByCoverage();
};

void TestPicture::decodes()
{
    QTemporaryDir dir;
    QImage image(33, 17, QImage::Format_RGB32);
    image.fill(qRgb(200, 40, 90));
    QVERIFY(image.save(dir.filePath("a.bmp")));
    QVERIFY(image.save(dir.filePath("a.jpg"), nullptr, 95));
    for (const char* name : {"a.bmp", "a.jpg"}) {
        const LoadedPicture loaded = LoadPicture(dir.filePath(name));
        QVERIFY2(loaded.Ok(), name);
        QCOMPARE(loaded.Image.format(), QImage::Format_RGB32);
        QCOMPARE(loaded.Image.size(), QSize(33, 17));
        QVERIFY(Near(loaded.Image.pixel(20, 10), qRgb(200, 40, 90), 4));
    }

    // First frame only, its transparent pixels on white.
    QVERIFY(Write(dir.filePath("a.gif"), TwoFrameGif));
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
    QVERIFY(Write(dir.filePath("turned.jpg"), JpegBytes(stored).insert(2, Orientation6)));
    const LoadedPicture turned = LoadPicture(dir.filePath("turned.jpg"));
    QCOMPARE(turned.Image.size(), QSize(20, 40));
    QVERIFY(Near(turned.Image.pixel(10, 5), qRgb(255, 0, 0), 40));
    QVERIFY(Near(turned.Image.pixel(10, 35), qRgb(0, 0, 255), 40));

    // A profile other than sRGB is converted, as the output carries none.
    QImage adobe(8, 8, QImage::Format_RGB32);
    adobe.fill(qRgb(60, 160, 90));
    adobe.setColorSpace(QColorSpace(QColorSpace::AdobeRgb));
    QVERIFY(adobe.save(dir.filePath("adobe.jpg"), nullptr, 100));
    const QRgb inSrgb = adobe.convertedToColorSpace(QColorSpace(QColorSpace::SRgb)).pixel(0, 0);
    QVERIFY(!Near(inSrgb, qRgb(60, 160, 90), 10));
    QVERIFY(Near(LoadPicture(dir.filePath("adobe.jpg")).Image.pixel(4, 4), inSrgb, 3));
}

void TestPicture::reportsFailures()
{
    QTemporaryDir dir;
    const LoadedPicture missing = LoadPicture(dir.filePath("gone.jpg"));
    QCOMPARE(missing.Error->Number, PictureErrorNumber::FileNotFound);
    QVERIFY(missing.Error->Description.contains("gone.jpg"));

    QVERIFY(Write(dir.filePath("junk.jpg"), QByteArray(500, 'x')));
    const LoadedPicture junk = LoadPicture(dir.filePath("junk.jpg"));
    QCOMPARE(junk.Error->Number, PictureErrorNumber::InvalidPicture);
    QVERIFY(junk.Error->Description.contains("junk.jpg"));

    // A real JPEG whose frame header claims 60000 x 60000 pixels.
    QImage small(16, 16, QImage::Format_RGB32);
    small.fill(Qt::gray);
    QByteArray bomb = JpegBytes(small);
    const qsizetype sof = bomb.indexOf(QByteArray::fromHex("ffc0"));
    QVERIFY(sof > 0);
    QVERIFY(Write(dir.filePath("bomb.jpg"), bomb.replace(sof + 5, 4, QByteArray::fromHex("ea60ea60"))));
    QCOMPARE(LoadPicture(dir.filePath("bomb.jpg")).Error->Number, PictureErrorNumber::OutOfMemory);

    // The seam: a box loads through the installed loader and stays as it was.
    PictureBox box;
    box.SetPicture(small);
    SetPictureLoader([](const QString&) {
        LoadedPicture failed;
        failed.Error = PictureError{PictureErrorNumber::InvalidPicture, "scripted"};
        return failed;
    });
    const std::optional<PictureError> error = box.LoadFile(dir.filePath("a.jpg"));
    SetPictureLoader({});
    QCOMPARE(error->Description, QString("scripted"));
    QCOMPARE(box.Picture().size(), QSize(16, 16));
}

void TestPicture::boxSizesAndSnapshot()
{
    QCOMPARE(TwipsPerPixelX(), 15);
    PictureBox box;
    QImage image(640, 480, QImage::Format_ARGB32);
    image.fill(qRgb(10, 20, 30));
    QVERIFY(box.SetPicture(image));
    QCOMPARE(box.Picture().format(), QImage::Format_RGB32);
    QCOMPARE(box.Width(), 9600.0);
    QCOMPARE(box.Height(), 7200.0);

    // The snapshot reads the box's own pixels, and keeps them when the box changes.
    const auto snapshot = box.Capture();
    const ModuleJPEG::PixelRows rows = snapshot->Rows();
    QCOMPARE(static_cast<const void*>(rows.first), static_cast<const void*>(box.Picture().constBits()));
    QCOMPARE(QList<qint64>({rows.width, rows.height, rows.stride}), QList<qint64>({640, 480, 640}));
    QVERIFY(!box.StretchTo(320, 240));
    QCOMPARE(box.Width(), 4800.0);
    box.SetPicture(QImage(8, 8, QImage::Format_RGB32));
    QCOMPARE(snapshot->Rows().first[639 + 479 * 640], qRgb(10, 20, 30));
}

void TestPicture::stretchAveragesByCoverage()
{
    QImage board(64, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            board.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    QImage grey(32, 32, QImage::Format_RGB32);
    grey.fill(qRgb(128, 128, 128));
    QCOMPARE(StretchHalftone(board, 32, 32), grey);
    QCOMPARE(StretchHalftone(board, 64, 64).constBits(), board.constBits());  // same size: same pixels

    QImage three(3, 1, QImage::Format_RGB32);
    three.setPixel(0, 0, qRgb(0, 0, 0));
    three.setPixel(1, 0, qRgb(255, 255, 255));
    three.setPixel(2, 0, qRgb(90, 90, 90));
    const QImage two = StretchHalftone(three, 2, 1);
    QCOMPARE(two.pixel(0, 0), qRgb(85, 85, 85));    // (2 x 0 + 255) / 3
    QCOMPARE(two.pixel(1, 0), qRgb(145, 145, 145));  // (255 + 2 x 90) / 3

    // Odd ratios, each accumulator width, and a picture large enough to be
    // shared out over threads, against the direct computation.
    QRandomGenerator random(7);
    const QList<QList<int>> cases = {{13, 7, 5, 3}, {5, 3, 13, 7}, {97, 41, 11, 5}, {101, 263, 50, 262},
                                     {1200, 900, 457, 333}};
    for (const QList<int>& c : cases) {
        QImage noise(c[0], c[1], QImage::Format_RGB32);
        for (int y = 0; y < noise.height(); ++y)
            for (int x = 0; x < noise.width(); ++x)
                noise.setPixel(x, y, random.generate() | 0xFF000000u);
        QCOMPARE(StretchHalftone(noise, c[2], c[3]), ReferenceStretch(noise, c[2], c[3]));
    }
}

QTEST_MAIN(TestPicture)
#include "tst_picture.moc"
