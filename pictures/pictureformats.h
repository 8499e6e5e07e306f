// Which picture files this machine reads beyond JPEG, BMP and GIF, asked once
// at start (libheif's decoders, Qt's installed readers) and handed to what
// lists or accepts pictures by name.
#pragma once

#include <QStringList>

namespace pictures {

struct PictureFormats {
    bool Heic = false;  // .heic, .heif: an HEVC decoder
    bool Avif = false;  // an AV1 decoder
    bool Png = false;
    bool Webp = false;
    bool Tiff = false;  // .tif, .tiff
};

// What libheif and Qt's readers can decode here.
PictureFormats InstalledPictureFormats();

// The name patterns of the pictures the window lists and opens ("*.gif",
// "*.bmp", "*.jpg", "*.jpeg", then those of Formats), for QDir, whose
// matching ignores letter case.
QStringList PictureNameFilters(const PictureFormats& formats);

}  // namespace pictures
