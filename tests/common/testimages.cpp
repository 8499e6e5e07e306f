// Test pictures.
#include "testimages.h"

#include <QFile>

namespace testimages {

// Codes stay 3 bits wide because a clear code follows every two pixels, so
// the LZW data needs no dictionary.
QByteArray Gif(int w, int h, const QList<QByteArray>& frames, int transparent)
{
    QByteArray out("GIF89a");
    auto u16 = [&](int v) { out.append(char(v & 255)).append(char(v >> 8)); };
    u16(w);
    u16(h);
    out.append(char(0x81)).append(char(0)).append(char(0));  // global table of 4 entries
    out.append(QByteArray::fromHex("ff0000" "00ff00" "0000ff" "ffffff"));
    for (const QByteArray& pixels : frames) {
        out.append(QByteArray::fromHex("21f904")).append(char(transparent >= 0 ? 1 : 0));
        u16(0);
        out.append(char(transparent >= 0 ? transparent : 0)).append(char(0));
        out.append(char(0x2c));
        u16(0);
        u16(0);
        u16(w);
        u16(h);
        out.append(char(0)).append(char(2));
        QByteArray data;
        quint32 bits = 0;
        int count = 0;
        auto put = [&](int code) {
            bits |= quint32(code) << count;
            for (count += 3; count >= 8; count -= 8, bits >>= 8)
                data.append(char(bits & 255));
        };
        for (int i = 0; i < pixels.size(); ++i) {
            if (i % 2 == 0)
                put(4);
            put(pixels.at(i));
        }
        put(5);
        if (count > 0)
            data.append(char(bits & 255));
        for (int i = 0; i < data.size(); i += 255)
            out.append(char(qMin(255, int(data.size() - i)))).append(data.mid(i, 255));
        out.append(char(0));
    }
    return out.append(char(0x3b));
}

QByteArray PlainGif(int w, int h, int colourIndex)
{
    return Gif(w, h, {QByteArray(w * h, char(colourIndex))});
}

bool Write(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
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

}  // namespace testimages
