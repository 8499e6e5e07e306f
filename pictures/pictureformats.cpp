// Asking libheif and Qt which picture formats they decode.
#include "pictures/pictureformats.h"

#include <QImageReader>

#include "pictures/heifreader.h"

namespace pictures {

PictureFormats InstalledPictureFormats()
{
    const HeifDecoders heif = InstalledHeifDecoders();
    const QList<QByteArray> qt = QImageReader::supportedImageFormats();
    PictureFormats formats;
    formats.Heic = heif.Hevc;
    formats.Avif = heif.Av1;
    formats.Png = qt.contains("png");
    formats.Webp = qt.contains("webp");
    formats.Tiff = qt.contains("tiff");
    return formats;
}

QStringList PictureNameFilters(const PictureFormats& formats)
{
    QStringList filters = {QStringLiteral("*.gif"), QStringLiteral("*.bmp"), QStringLiteral("*.jpg"),
                           QStringLiteral("*.jpeg")};
    if (formats.Heic)
        filters << QStringLiteral("*.heic") << QStringLiteral("*.heif");
    if (formats.Avif)
        filters << QStringLiteral("*.avif");
    if (formats.Png)
        filters << QStringLiteral("*.png");
    if (formats.Webp)
        filters << QStringLiteral("*.webp");
    if (formats.Tiff)
        filters << QStringLiteral("*.tif") << QStringLiteral("*.tiff");
    return filters;
}

}  // namespace pictures
