// Picture services: loading JPEG, HEIF and AVIF, PNG, WebP, TIFF, BMP and GIF
// files, measuring them from their headers, and the averaging reduction that
// shrinks a picture row by row into a sink (a JPEG straight from its rows,
// without holding it whole). A file that cannot hold the picture its header
// promises (cut short, or padded far beyond what its picture can need) is
// refused rather than read as a partly black picture.
#pragma once

#include <QColorSpace>
#include <QImage>
#include <QSize>
#include <QString>
#include <atomic>
#include <functional>
#include <optional>
#include <vector>

#include "pictures/opaque.h"

namespace pictures {

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

using pictures::MaxPicturePixels;

// Target length of a reduction: Length x Ratio rounded to the nearest whole
// pixel, halves to the even one (1001 x 0.5 = 500, 751 x 0.5 = 376); never
// below one pixel and never above Length (a run only shrinks).
int TargetLength(int length, double ratio);

// The size a picture is reduced to.
struct SizeRule {
    // From the upright size: each side at least one pixel and at most the
    // picture's own (a run only shrinks).
    std::function<QSize(QSize upright)> Target;
    // A JPEG may be decoded at 1/2, 1/4 or 1/8 of its size (libjpeg's DCT
    // scaling) where that still leaves at least twice the target each way,
    // and reduced from there: the reduction looks the same, but its bytes
    // are not those of reducing the full decode, and it costs a fraction.
    bool ScaledDecode = false;
};
// The reduction ratio's rule: TargetLength of each side.
SizeRule RatioRule(double ratio);

// What the header alone tells of a picture: its size with the EXIF
// orientation (a HEIF's: its container's turn and crop) applied, without
// decoding a pixel (a format whose header does not tell is decoded). Errors as LoadPicture gives them, bombs included.
struct PictureInfo {
    QSize Size;
    std::optional<PictureError> Error;
    bool Ok() const { return !Error.has_value(); }
};
PictureInfo ReadPictureSize(const QString& path);

// Where a picture shrunk in a run goes, one row at a time from the top: the
// run's sink encodes each band of rows as it is complete, and so no stage
// holds the whole reduced picture.
class ShrinkSink {
public:
    virtual ~ShrinkSink() = default;
    // Once the header is read, before any pixel is decoded: the memory that
    // loading and reducing this picture will hold at most, and the size it
    // will be reduced to as far as the header tells. False ends the work.
    virtual bool Reserve(qint64 bytes, QSize target) = 0;
    // Before the first row: the upright picture's size and the size it is
    // reduced to. False ends the work.
    virtual bool Begin(QSize source, QSize target) = 0;
    // Room for the next row, target width opaque RGB32 pixels to be filled
    // before RowDone; null ends the work.
    virtual uchar* NextRow() = 0;
    // False ends the work (the rows cannot be taken).
    virtual bool RowDone() = 0;
};

// What became of a picture sent to a sink.
struct ShrinkOutcome {
    QSize SourceSize;    // the upright picture's own size (empty when loading failed)
    QColorSpace Space;   // of the rows: sRGB, or none when the file names none
    std::optional<PictureError> Error;
    bool Stopped = false;  // the stop flag was raised or the sink ended the work
    bool Ok() const { return !Error.has_value() && !Stopped; }
};

// Loads a file and reduces it to the size the rule gives with the averaging
// reduction into Sink; the rows are exactly those of LoadPicture followed by
// StretchHalftone to the target size (but for a JPEG that a rule allowing it
// has decoded at a smaller scale). A JPEG stored upright is decoded row by
// row straight into the reduction and on into the sink, so neither the
// full-size nor the reduced picture is ever held; one stored sideways or
// upside down (EXIF orientation) holds the reduced picture, which is then
// turned upright row by row. One whose data turns out truncated or damaged fails (481) rather than
// giving grey rows. Other formats (and files under an installed loader) are
// loaded whole, and only the source is held; what that costs is told to
// Sink's Reserve from the header. Safe to call from several
// threads at once; each call works on its own thread only. Stop, when given,
// is read every few rows (and while a JPEG's header is read) and ends the
// work early.
ShrinkOutcome ShrinkPicture(const QString& path, const SizeRule& size, ShrinkSink& sink,
                            const std::atomic<bool>* stop = nullptr);

// ShrinkPicture to several sizes from one decode: the file is read once,
// at its own size, and each row goes on into one reduction per rule, each
// into its own sink; every sink gets the rows ShrinkPicture would give it
// alone. Reserve is called on each sink in turn, once the header is read and
// before any sink's Begin, with what its reduction holds; the first one's
// also counts the decode's. A sink that ends the work ends only its own
// size; the decode ends when every sink has. The outcome of each sink, in
// the order of sinks (Stopped for the sinks that ended the work). Rules and
// sinks are as many. A JPEG stored upright is streamed, its rows held one at
// a time; one stored turned is held whole, once, as other formats are. A
// JPEG's size whose rule allows a scaled decode, and that would get one, is
// made from rows of that scale, as it would be alone: decoded from the same
// coded data as the others (which is read and entropy-decoded once) where
// the file is coded in one scan, and by ShrinkPicture after the others where
// not. Its Reserve then comes after the others' Begin.
std::vector<ShrinkOutcome> ShrinkPictureToSizes(const QString& path, const std::vector<SizeRule>& sizes,
                                                const std::vector<ShrinkSink*>& sinks,
                                                const std::atomic<bool>* stop = nullptr);

// A picture loaded and reduced in one step, held whole.
struct ReducedPicture {
    QImage Image;       // opaque RGB32, at the size the rule gives for SourceSize
    QSize SourceSize;   // the upright picture's own size (empty when loading failed)
    std::optional<PictureError> Error;
    bool Stopped = false;  // the stop flag was raised before the picture was done
    bool Ok() const { return !Error.has_value() && !Stopped; }
};

// ShrinkPicture into an image (its colour space set as the rows'), for tests
// and tools.
ReducedPicture LoadReducedPicture(const QString& path, const SizeRule& size, const std::atomic<bool>* stop = nullptr);
ReducedPicture LoadReducedPicture(const QString& path, double ratio, const std::atomic<bool>* stop = nullptr);

// Decodes a file: the first frame of a GIF or an animated WebP, the first page
// of a TIFF, the primary picture of a HEIF; EXIF orientation applied (a HEIF's
// container turns it instead), ICC profile or colour description converted to
// sRGB, 10- and 16-bit samples to 8, transparency composited on white, bombs
// refused; a JPEG cut short or damaged fails (481) as it does in
// LoadReducedPicture. Only a
// regular file is read: a named pipe, socket or device, or a link to one, is
// refused unopened (481, "画像ファイルを開けません。"). With Stop, the decode
// reads it every few rows (a JPEG's, as it is decoded row by row) and ends
// early.
LoadedPicture LoadPicture(const QString& path, const std::atomic<bool>* stop = nullptr);

// The Exif data (from its TIFF header on) of a HEIF or AVIF file's primary
// picture, or of a PNG's or WebP's Exif chunk, read from the container alone;
// empty for other files and when there is none, bytes that are no TIFF data
// when the block is there but cannot be read. For the metadata writer, as
// exiv2 finds it in only some containers and passes over a block it cannot
// read.
QByteArray ContainerExifOf(const QString& path);

// A way to load a picture, for those that take one (the viewers): LoadPicture,
// or a test's that fails or waits.
using PictureLoader = std::function<LoadedPicture(const QString& path, const std::atomic<bool>* stop)>;

// Shrinks (or copies) a picture to width x height: every target pixel is the
// average of the source pixels it covers, weighted by how much it covers them,
// rounded to the nearest level (halves upward). The result is opaque RGB32; at
// the source's own size the source itself is returned. A null image when the
// target cannot be allocated or a size is not positive.
QImage StretchHalftone(const QImage& source, int width, int height);


}  // namespace pictures
