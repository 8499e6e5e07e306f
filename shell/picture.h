// Picture services: loading JPEG, BMP and GIF files, measuring them from
// their headers, and the averaging reduction that shrinks a picture (a JPEG
// straight from its rows, without holding it whole). A file that cannot hold
// the picture its header promises (cut short, or padded far beyond what its
// picture can need) is refused rather than read as a partly black picture.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <atomic>
#include <functional>
#include <optional>

namespace basMain {

// Error numbers of picture failures, with a description in the user's words.
enum class PictureErrorNumber : int {
    OutOfMemory = 7,
    FileNotFound = 53,
    SurfaceTooLarge = 480,  // the surface's image could not be allocated
    InvalidPicture = 481,
};

struct PictureError {
    PictureErrorNumber Number = PictureErrorNumber::InvalidPicture;
    QString Description;
};

// A decoded picture (Format_RGB32, opaque, upright, sRGB) or why not.
struct LoadedPicture {
    QImage Image;
    std::optional<PictureError> Error;
    bool Stopped = false;  // the stop flag was raised before the picture was done
    bool Ok() const { return !Error.has_value() && !Stopped; }
};

// The largest picture accepted, in pixels: a 100-megapixel camera frame fits,
// a header that claims more (a decompression bomb) is refused before decoding.
inline constexpr qint64 MaxPicturePixels = 160'000'000;

// Target length of a reduction: Length x Ratio rounded to the nearest whole
// pixel, halves to the even one (1001 x 0.5 = 500, 751 x 0.5 = 376); never
// below one pixel and never above Length (a run only shrinks).
int TargetLength(int length, double ratio);

// What the header alone tells of a picture: its size with the EXIF
// orientation applied, without decoding a pixel (a format whose header does
// not tell is decoded). Errors as DecodePicture gives them, bombs included.
struct PictureInfo {
    QSize Size;
    std::optional<PictureError> Error;
    bool Ok() const { return !Error.has_value(); }
};
PictureInfo ReadPictureSize(const QString& path);

// A picture loaded and reduced in one step, as a run shrinks it.
struct ReducedPicture {
    QImage Image;       // opaque RGB32, TargetLength of each side of SourceSize
    QSize SourceSize;   // the upright picture's own size (empty when loading failed)
    std::optional<PictureError> Error;
    bool Stopped = false;  // the stop flag was raised before the picture was done
    bool Ok() const { return !Error.has_value() && !Stopped; }
};

// Loads a file and reduces it by Ratio with the averaging reduction. The
// result's pixels are exactly those of LoadPicture followed by StretchHalftone
// to the target size. A JPEG is decoded row by row straight into the
// reduction, so the full-size picture is never held; one whose data turns out
// truncated or damaged fails (481) rather than giving grey rows. Other formats
// (and files under an installed loader) are loaded whole, then reduced. Safe to
// call from several threads at once; each call works on its own thread only.
// Stop, when given, is read every few rows (and while a JPEG's header is read)
// and ends the work early.
ReducedPicture LoadReducedPicture(const QString& path, double ratio, const std::atomic<bool>* stop = nullptr);

// Decodes a file: first frame of a GIF, EXIF orientation applied, ICC profile
// converted to sRGB, transparency composited on white, bombs refused; a JPEG
// cut short or damaged fails (481) as it does in LoadReducedPicture. Only a
// regular file is read: a named pipe, socket or device, or a link to one, is
// refused unopened (481, "画像ファイルを開けません。").
LoadedPicture DecodePicture(const QString& path);

// Loads a file through the installed loader (DecodePicture unless replaced).
// With Stop, the decode reads it every few rows (a JPEG's, as it is decoded
// row by row) and ends early.
LoadedPicture LoadPicture(const QString& path, const std::atomic<bool>* stop = nullptr);

// Replaces the loader (tests make a load fail or wait); an empty function
// restores it. Stop is LoadPicture's.
using PictureLoader = std::function<LoadedPicture(const QString& path, const std::atomic<bool>* stop)>;
void SetPictureLoader(PictureLoader loader);

// The opaque 32-bit form of any image: sRGB, transparency composited on white.
// A null image when the conversion cannot be allocated.
QImage ToOpaqueRgb32(QImage image);

// Shrinks (or copies) a picture to width x height: every target pixel is the
// average of the source pixels it covers, weighted by how much it covers them,
// rounded to the nearest level (halves upward). The result is opaque RGB32; at
// the source's own size the source itself is returned. A null image when the
// target cannot be allocated or a size is not positive.
QImage StretchHalftone(const QImage& source, int width, int height);


}  // namespace basMain
