// The camera's photo, written with Zembrik's encoder and tagged with exiv2.
#include "cameraphoto.h"

#include <QColorSpace>
#include <QImage>
#include <exiv2/exiv2.hpp>

#include "jpeg/jpeg.h"
#include "shell/program.h"
#include "testimages.h"

namespace testimages {

QByteArray PhotoJpeg(int w, int h)
{
    const QImage image = PhotoLike(w, h, 5).convertToFormat(QImage::Format_RGB32);
    std::vector<std::uint8_t> out;
    jpeg::EncodeJpegToMemory({reinterpret_cast<const std::uint32_t*>(image.constBits()), w, w, h}, out);
    return QByteArray(reinterpret_cast<const char*>(out.data()), qsizetype(out.size()));
}

bool WriteCameraPhoto(const QString& path)
{
    if (!Write(path, PhotoJpeg(64, 48)))
        return false;
    auto image = Exiv2::ImageFactory::open(base::ToFsPath(path).string());
    for (const Tag& tag : CameraTags) {
        if (!tag.source)
            continue;
        Exiv2::Metadatum& datum = tag.key[0] == 'E'   ? static_cast<Exiv2::Metadatum&>(image->exifData()[tag.key])
                                  : tag.key[0] == 'X' ? static_cast<Exiv2::Metadatum&>(image->xmpData()[tag.key])
                                                      : image->iptcData()[tag.key];
        datum.setValue(tag.source);
    }
    const QByteArray thumb = PhotoJpeg(16, 12), icc = QColorSpace(QColorSpace::AdobeRgb).iccProfile();
    Exiv2::ExifThumb(image->exifData()).setJpegThumbnail(reinterpret_cast<const Exiv2::byte*>(thumb.data()), long(thumb.size()));
    Exiv2::DataBuf profile(reinterpret_cast<const Exiv2::byte*>(icc.data()), long(icc.size()));
    image->setIccProfile(profile);
    image->writeMetadata();
    return true;
}

std::string TagValue(const QString& path, const std::string& key)
{
    auto image = Exiv2::ImageFactory::open(base::ToFsPath(path).string());
    image->readMetadata();
    const auto text = [](const auto& data, const auto& it) { return it == data.end() ? std::string("none") : it->toString(); };
    return key[0] == 'E'   ? text(image->exifData(), image->exifData().findKey(Exiv2::ExifKey(key)))
           : key[0] == 'X' ? text(image->xmpData(), image->xmpData().findKey(Exiv2::XmpKey(key)))
                           : text(image->iptcData(), image->iptcData().findKey(Exiv2::IptcKey(key)));
}

}  // namespace testimages
