// The per-image shrink step: target sizes, output names, the written files,
// and what a failing load or save reports.
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

#include "batch/shrink.h"
#include "shell/basmain.h"

using basBatch::ShrinkFile;
using basBatch::TargetLength;

namespace {

QImage Gradient(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(x % 256, y % 256, (x + y) % 256));
    return image;
}

QSize DecodedSize(const QString& path)
{
    QImageReader reader(path);
    const QImage image = reader.read();
    return image.size();
}

}  // namespace

class TestShrink : public QObject {
    Q_OBJECT
private slots:
    void targetLengths();
    void shrinksAndNames();
    void fullSizeWritesTheSourcePixels();
};

void TestShrink::targetLengths()
{
    QCOMPARE(TargetLength(1001, 0.5), 500);  // halves to even
    QCOMPARE(TargetLength(1003, 0.5), 502);
    QCOMPARE(TargetLength(751, 0.5), 376);
    QCOMPARE(TargetLength(40, 0.01), 1);     // never vanishes
    QCOMPARE(TargetLength(40, 0.0), 1);
    QCOMPARE(TargetLength(40, 1.0), 40);
    QCOMPARE(TargetLength(40, 2.5), 40);     // never grows
}

void TestShrink::shrinksAndNames()
{
    QTemporaryDir src;
    QTemporaryDir out;
    QVERIFY(Gradient(1001, 751).save(src.filePath("IMG_0012.JPG"), "BMP"));
    QVERIFY(Gradient(40, 30).save(src.filePath("a.b.gif"), "BMP"));

    basMain::PictureBox box;
    const basBatch::ShrinkResult photo = ShrinkFile(src.path(), "IMG_0012.JPG", 0.5, out.path(), box);
    QVERIFY(photo.Ok());
    QCOMPARE(photo.SourceSize, QSize(1001, 751));
    QCOMPARE(photo.TargetSize, QSize(500, 376));
    QCOMPARE(photo.OutputPath, out.path() + basMain::Separator() + "IMG_0012.jpg");
    QCOMPARE(DecodedSize(photo.OutputPath), QSize(500, 376));

    basMain::PictureBox second;
    const basBatch::ShrinkResult tiny = ShrinkFile(src.path(), "a.b.gif", 0.01, out.path(), second);
    QVERIFY(tiny.Ok());
    QCOMPARE(tiny.OutputPath, out.path() + basMain::Separator() + "a.b.jpg");
    QCOMPARE(DecodedSize(tiny.OutputPath), QSize(1, 1));

    // A name outside ASCII reaches the file system intact.
    QVERIFY(Gradient(20, 20).save(src.filePath(QStringLiteral("写真 1.bmp"))));
    basMain::PictureBox third;
    QVERIFY(ShrinkFile(src.path(), QStringLiteral("写真 1.bmp"), 0.5, out.path(), third).Ok());
    QCOMPARE(DecodedSize(out.filePath(QStringLiteral("写真 1.jpg"))), QSize(10, 10));
}

void TestShrink::fullSizeWritesTheSourcePixels()
{
    QTemporaryDir dir;
    const QImage source = Gradient(37, 21);
    QVERIFY(source.save(dir.filePath("x.bmp")));
    basMain::PictureBox box;
    const basBatch::ShrinkResult result = ShrinkFile(dir.path(), "x.bmp", 1.0, dir.path(), box);
    QVERIFY(result.Ok());

    ModuleJPEG::PixelRows rows;
    rows.first = reinterpret_cast<const std::uint32_t*>(source.constBits());
    rows.stride = source.bytesPerLine() / 4;
    rows.width = source.width();
    rows.height = source.height();
    std::vector<std::uint8_t> expected;
    QCOMPARE(ModuleJPEG::EncodeJpegToMemory(rows, expected), ModuleJPEG::JpegResult::Ok);
    QFile written(result.OutputPath);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), QByteArray(reinterpret_cast<const char*>(expected.data()), qsizetype(expected.size())));
}

QTEST_MAIN(TestShrink)
#include "tst_shrink.moc"
