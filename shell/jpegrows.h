// Decoding a JPEG one band of rows at a time with libjpeg, with the settings
// Qt's own JPEG reader uses, into opaque sRGB 32-bit rows: the whole picture
// is never held.
#pragma once

#include <QColorSpace>
#include <QIODevice>
#include <QSize>

#include <atomic>
#include <functional>

namespace basMain {

enum class JpegRowsResult {
    Done,
    Unsupported,  // a colour layout Qt's reader would not give as RGB, grey or CMYK
    Corrupt,      // unreadable, or data lost: a truncated file, a damaged scan
    OutOfMemory,
    Stopped,
    Declined,     // Begin or Row said no
};

// What the header tells, before any pixel is decoded.
struct JpegRowsHeader {
    QSize Size;          // as stored, before any EXIF orientation
    QColorSpace Space;   // of the rows: sRGB after a conversion, none when the file names none
    qint64 DecoderBytes = 0;  // the most the decoder will hold (a multi-scan file keeps every coefficient)
};

// Begin gets the header once it is read, before any pixel is decoded; false
// ends the decode. Row then gets each row, top to bottom, as that many RGB32
// pixels (0xffRRGGBB); false ends the decode. Both ends give Declined. Into,
// when given, may offer the memory of the next row before it is decoded: a
// row that needs no conversion after decoding is decoded there, and Row gets
// that memory. Stop is read between rows and within long passes. Exceptions
// of Begin, Row and Into pass through.
JpegRowsResult DecodeJpegRows(QIODevice& device, const std::atomic<bool>* stop,
                              const std::function<bool(const JpegRowsHeader&)>& begin,
                              const std::function<bool(const uchar*)>& row,
                              const std::function<uchar*()>& into = {});

}  // namespace basMain
