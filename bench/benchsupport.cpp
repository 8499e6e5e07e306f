// Pictures and memory figures for the run benchmarks.
#include "benchsupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace bench {

QImage PhotoLike(int width, int height, unsigned seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    // Shading from a table per column and per row keeps 100 MP quick to make.
    std::vector<int> red(static_cast<std::size_t>(width)), green(red.size()), blue(static_cast<std::size_t>(height));
    for (int x = 0; x < width; ++x) {
        red[static_cast<std::size_t>(x)] = static_cast<int>(120 + 100 * std::sin(x * 7.0 / width + seed));
        green[static_cast<std::size_t>(x)] = static_cast<int>(60 * std::cos(x * 5.0 / width));
    }
    for (int y = 0; y < height; ++y)
        blue[static_cast<std::size_t>(y)] = static_cast<int>(100 + 80 * std::sin(y * 9.0 / height + seed));
    std::uint32_t noise = seed * 2654435761u + 1;
    const int cell = std::max(16, width / 60);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const int shade = static_cast<int>(50 * std::cos(y * 4.0 / height));
        for (int x = 0; x < width; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const int n = static_cast<int>(noise >> 28) - 8;
            int r = red[static_cast<std::size_t>(x)];
            int g = 110 + green[static_cast<std::size_t>(x)] + shade;
            int b = blue[static_cast<std::size_t>(y)];
            if (((x / cell) + (y / (cell * 2 / 3))) % 5 == 0) {  // objects with edges
                r = 230 - r / 3;
                g = 40 + g / 4;
            }
            line[x] = qRgb(std::clamp(r + n, 0, 255), std::clamp(g + n, 0, 255), std::clamp(b + n, 0, 255));
        }
    }
    return image;
}

QStringList WritePhotos(const QString& folder, const std::vector<QSize>& sizes)
{
    QStringList paths;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const QString path = QDir(folder).filePath(QStringLiteral("photo%1.jpg").arg(i + 1, 2, 10, QLatin1Char('0')));
        if (!PhotoLike(sizes[i].width(), sizes[i].height(), static_cast<unsigned>(i + 1)).save(path, "JPEG", 90))
            return {};
        paths << path;
    }
    return paths;
}

QStringList PicturesFor(const QStringList& args, const QString& scratch, const std::vector<QSize>& sizes)
{
    if (args.size() < 2) {
        double megapixels = 0;
        for (const QSize& size : sizes)
            megapixels += size.width() * double(size.height()) / 1e6;
        std::printf("writing %zu photo-like JPEGs (%.0f MP)...\n", sizes.size(), megapixels);
        return WritePhotos(scratch, sizes);
    }
    const QDir dir(args.at(1));
    QStringList paths;
    // Name filters ignore case unless told otherwise.
    for (const QString& name : dir.entryList({"*.jpg", "*.jpeg", "*.bmp", "*.gif"}, QDir::Files, QDir::Name))
        paths << dir.filePath(name);
    if (paths.isEmpty())
        std::fprintf(stderr, "no pictures\n");
    return paths;
}

double PeakMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QRegularExpression hwm(QStringLiteral("VmHWM:\\s+(\\d+) kB"));
    const QRegularExpressionMatch match = hwm.match(QString::fromLatin1(status.readAll()));
    return match.hasMatch() ? match.captured(1).toDouble() / 1024.0 : 0;
}

void ResetPeak()
{
    // "5" resets the peak resident size to the current one.
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

}  // namespace bench
