// The one form every decoded picture is handed on in: 32-bit, opaque, sRGB.
#pragma once

#include <QImage>

namespace pictures {

// The largest picture accepted, in pixels: a 100-megapixel camera frame fits,
// a header that claims more (a decompression bomb) is refused before decoding.
inline constexpr qint64 MaxPicturePixels = 160'000'000;

// The opaque RGB32 form of any image: its colour space converted to sRGB (the
// encoder writes no profile, so the pixels themselves must be sRGB) and
// transparency composited on white. A null image when the conversion cannot
// be allocated.
QImage ToOpaqueSrgb(QImage image);

}  // namespace pictures
