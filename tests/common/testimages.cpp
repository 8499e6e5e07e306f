// Test pictures.
#include "testimages.h"

#include <QFile>

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

}  // namespace testimages
