// Test pictures.
#include "testimages.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QtEndian>

namespace testimages {

const QByteArray TwoFrameGif = QByteArray::fromHex(
    "47494638396104000200810000ff000000ff000000ff00000021f90401000003002c0000000004000200000205"
    "44a87162500021f90401000003002c00000000040002000002054c98306152003b");

bool Write(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray Read(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QImage PhotoLike(int w, int h, unsigned seed)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = int(seed >> 28) - 8;
            const bool object = ((x / 37) + (y / 23)) % 4 == 0;
            line[x] = qRgb(qBound(0, (object ? 220 : x * 255 / w) + noise, 255), qBound(0, y * 255 / h + noise, 255),
                           qBound(0, ((x + y) * 3) % 256 + noise, 255));
        }
    }
    return image;
}

std::pair<double, int> Difference(const QImage& a, const QImage& b)
{
    qint64 sum = 0;
    int largest = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (const int d : {qAbs(qRed(p) - qRed(q)), qAbs(qGreen(p) - qGreen(q)), qAbs(qBlue(p) - qBlue(q))}) {
                sum += d;
                largest = qMax(largest, d);
            }
        }
    return {double(sum) / (3.0 * a.width() * a.height()), largest};
}

QByteArray Saved(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QImageWriter writer(&buffer, format);
    writer.setQuality(100);
    return writer.write(image) ? bytes : QByteArray();
}

QByteArray PngChunk(const char* type, const QByteArray& data)
{
    const QByteArray typed = type + data;
    quint32 crc = 0xFFFFFFFF;
    for (const char byte : typed) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 1 ? 0xEDB88320 ^ (crc >> 1) : crc >> 1;
    }
    QByteArray chunk(4, 0);
    qToBigEndian<quint32>(quint32(data.size()), chunk.data());
    chunk += typed + QByteArray(4, 0);
    qToBigEndian<quint32>(~crc, chunk.data() + chunk.size() - 4);
    return chunk;
}

QByteArray PngWith(const QByteArray& png, const QByteArray& chunks)
{
    return png.left(33) + chunks + png.mid(33);  // after the signature and IHDR
}

QByteArray Segment(const char* marker, const QByteArray& payload)
{
    const int length = int(payload.size()) + 2;
    return QByteArray::fromHex(marker) + char(length >> 8) + char(length & 255) + payload;
}

QByteArray JpegWith(const QByteArray& jpeg, const QByteArray& segments)
{
    return jpeg.left(2) + segments + jpeg.mid(2);
}

QByteArray WebpWith(const QByteArray& webp, const QList<std::pair<QByteArray, QByteArray>>& chunks)
{
    const QImage image = QImage::fromData(webp);
    QByteArray vp8x = QByteArray::fromHex("565038580a000000") + QByteArray(11, 0);
    QByteArray before, after;
    for (const auto& [type, data] : chunks) {
        QByteArray chunk = type + QByteArray(4, 0) + data + QByteArray(data.size() & 1, 0);
        qToLittleEndian<quint32>(quint32(data.size()), chunk.data() + 4);
        vp8x[8] = char(vp8x[8] | (type == "ICCP" ? 0x20 : type == "EXIF" ? 0x08 : 0x04));
        (type == "ICCP" ? before : after) += chunk;
    }
    qToLittleEndian<quint32>(quint32(image.width() - 1), vp8x.data() + 12);
    qToLittleEndian<quint32>(quint32(image.height() - 1), vp8x.data() + 15);
    vp8x.truncate(18);
    QByteArray out = webp.left(12) + vp8x + before + webp.mid(12) + after;
    qToLittleEndian<quint32>(quint32(out.size() - 8), out.data() + 4);
    return out;
}

}  // namespace testimages
