// Converting a decoded picture to opaque sRGB RGB32.
#include "pictures/opaque.h"

#include <QColorSpace>

#include <new>

namespace pictures {
namespace {

// Pixels of a premultiplied image put on white: c + (255 - alpha) is exactly
// c * alpha / 255 + 255 * (1 - alpha / 255) for the unpremultiplied colour.
QImage CompositeOnWhite(QImage image)
{
    image.convertTo(QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = line[x];
            const int lift = 255 - qAlpha(p);
            line[x] = qRgb(qRed(p) + lift, qGreen(p) + lift, qBlue(p) + lift);
        }
    }
    image.reinterpretAsFormat(QImage::Format_RGB32);
    return image;
}

}  // namespace

QImage ToOpaqueSrgb(QImage image)
{
    if (image.isNull())
        return image;
    try {
        const QColorSpace space = image.colorSpace();
        if (space.isValid() && space != QColorSpace(QColorSpace::SRgb)) {
            if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32)
                image.convertTo(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
            if (image.isNull())
                return {};
            image.convertToColorSpace(QColorSpace(QColorSpace::SRgb));
        }
        if (image.hasAlphaChannel())
            return CompositeOnWhite(std::move(image));
        image.convertTo(QImage::Format_RGB32);
        return image;
    } catch (const std::bad_alloc&) {
        return {};
    }
}

}  // namespace pictures
