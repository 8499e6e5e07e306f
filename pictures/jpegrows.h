// Reading a JPEG with libjpeg: its header alone (size, EXIF orientation,
// colour space, read as Qt's JPEG reader reads them), or its pixels one band
// of rows at a time, with the settings Qt's own JPEG reader uses, into opaque
// sRGB 32-bit rows: the whole picture is never held. Hostile files are
// bounded: a file is read no further than its picture can need, a
// progressive file's scans are limited (MaxJpegScans, MaxJpegPasses), and the
// stop flag is honoured while the header is read too.
#pragma once

#include <QColorSpace>
#include <QIODevice>
#include <QImageIOHandler>
#include <QSize>

#include <atomic>
#include <functional>
#include <vector>

namespace pictures {

enum class JpegRowsResult {
    Done,
    Unsupported,  // a colour layout Qt's reader would not give as RGB, grey or CMYK
    Corrupt,      // unreadable, or data lost: a truncated file, a damaged scan
    OutOfMemory,
    Stopped,
    Declined,     // Begin or Row said no
};

// A progressive file's scans each pass over the blocks of their components,
// a few bytes of scan making a pass over 160 megapixels; thousands of scans
// take minutes. Encoders write 10 scans for a colour picture (6 for grey),
// passing over its blocks 5 to 6 times, and none is known to write 30. A
// file with more scans, or whose scans pass over its blocks more often, is
// refused.
inline constexpr int MaxJpegScans = 64;
inline constexpr int MaxJpegPasses = 16;

struct JpegHeader {
    QSize Size;         // as stored, before the EXIF orientation
    QColorSpace Space;  // of the rows: sRGB after a conversion, none when the file names none
    QImageIOHandler::Transformations Turn = QImageIOHandler::TransformationNone;  // the EXIF orientation
    qint64 DecoderBytes = 0;  // the most the decoder will hold (a multi-scan file keeps every coefficient)
};

// The header only: no pixel is decoded. Stop is read while it is read.
JpegRowsResult ReadJpegHeader(QIODevice& device, const std::atomic<bool>* stop, JpegHeader& header);

// The size a picture of Size is decoded at with libjpeg's DCT scaling to
// 1/Denominator (1, 2, 4 or 8): each side divided, rounded up.
QSize JpegScaledSize(QSize size, int denominator);

// The smallest DCT scaling (the largest Denominator) that leaves at least
// twice Target each way of a picture of Size: the averaging after it then
// still covers two or more decoded pixels per target pixel, so the result
// looks no softer or blockier than from the full decode. Decoding is what
// shrinking a large photo spends its time on, and at 1/4 its inverse
// transforms and colour conversion do a sixteenth of the work.
int JpegScaleFor(QSize size, QSize target);

// One output of a decode, as DecodeJpegRows takes its callbacks.
struct JpegRowsOutput {
    std::function<bool(const JpegHeader&, int& denominator)> Begin;
    std::function<bool(const uchar*)> Row;
    std::function<uchar*()> Into;
};

// Outputs besides the main one, each at a scale of its own, that share its
// entropy decoding: the file's coded data is decoded once, and each output
// then makes its rows from the same coefficients as a decode of its own
// would, so it gets exactly the rows DecodeJpegRows would give it alone. The
// coded data is most of what decoding a photo costs, at any scale.
struct JpegFollowers {
    // Asked once the main output's Begin has said yes, if the device can be
    // read again from where the decode began and the file is coded in one
    // scan, or in several that brought every bit of every coefficient (where
    // they did not, libjpeg smooths blocks by what each scan brought, which
    // a follower does not see: its outputs are better decoded alone).
    std::function<std::vector<JpegRowsOutput>()> Outputs;
    // What became of each output, in order; empty when Outputs was not asked.
    // A failure of the shared decode is every output's.
    std::vector<JpegRowsResult> Results;
};

// Begin gets the header once it is read, before any pixel is decoded, and
// may set Denominator (1 as it comes; 2, 4 or 8) to have the picture decoded
// at JpegScaledSize; false ends the decode. Row then gets each row, top to
// bottom, as that many RGB32 pixels (0xffRRGGBB); false ends the decode.
// Both ends give Declined. Into, when given, may offer the memory of the
// next row before it is decoded: a row that needs no conversion after
// decoding is decoded there, and Row gets that memory. Stop is read between rows and within long passes. Exceptions
// of Begin, Row and Into pass through. Followers, when given, are fed from the
// same decode; the main output saying no ends only its own rows while any
// follower still takes them.
JpegRowsResult DecodeJpegRows(QIODevice& device, const std::atomic<bool>* stop,
                              const std::function<bool(const JpegHeader&, int& denominator)>& begin,
                              const std::function<bool(const uchar*)>& row,
                              const std::function<uchar*()>& into = {}, JpegFollowers* followers = nullptr);

}  // namespace pictures
