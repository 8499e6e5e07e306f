// A camera's photo for the tests of what a run keeps of its source: stored
// sideways (64 x 48, to be turned a quarter clockwise) with a date, a GPS
// position, a thumbnail, an Adobe RGB profile, XMP and IPTC; and its tags as
// exiv2 reads them back from a file.
#pragma once

#include <QByteArray>
#include <QString>
#include <string>

namespace testimages {

// What the photo carries, and what a copy of it must carry when written at
// 24 x 32 pixels: a value, "none" for absent, or "gps" for the source's value
// where the position is kept.
struct Tag {
    const char *key, *source, *copy;
};
inline constexpr Tag CameraTags[] = {
    {"Exif.Image.Orientation", "6", "1"},
    {"Exif.Photo.DateTimeOriginal", "2021:07:04 10:20:30", "2021:07:04 10:20:30"},
    {"Exif.Photo.PixelXDimension", "64", "24"},
    {"Exif.Photo.PixelYDimension", nullptr, "32"},
    {"Exif.Photo.ColorSpace", "65535", "1"},  // the Adobe RGB pixels were turned into sRGB
    {"Exif.GPSInfo.GPSLatitude", "35/1 40/1 30/1", "gps"},
    {"Exif.Thumbnail.JPEGInterchangeFormat", nullptr, "none"},
    {"Xmp.tiff.Orientation", "6", "1"},
    {"Xmp.exif.GPSLatitude", "35,40.5N", "gps"},
    {"Iptc.Application2.Keywords", "beach", "beach"},
};

bool WriteCameraPhoto(const QString& path);

// PhotoLike encoded by Zembrik's encoder at quality 50.
QByteArray PhotoJpeg(int w, int h);

// A tag of the file at path as exiv2 reads it, "none" when it is absent.
std::string TagValue(const QString& path, const std::string& key);

}  // namespace testimages
