// The HEIF and AVIF reader (a phone's HEIC, a web page's AVIF), over libheif:
// the primary picture measured from its container alone, then decoded upright,
// opaque and in sRGB, and the Exif block it carries.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <atomic>
#include <memory>

class QIODevice;

namespace pictures {

// Why a HEIF file gives no picture; the caller words the message.
enum class HeifError {
    None,
    Unreadable,   // not HEIF, damaged or cut short
    NoDecoder,    // coded in a way no installed decoder reads (AV1 without dav1d or aom, say)
    TooLarge,     // over MaxPicturePixels, or over libheif's own limits
    OutOfMemory,
    Stopped,      // the stop flag was raised
};

// Which codecs libheif can decode on this machine, asked at run time: the list
// offers .avif only where an AV1 decoder is installed.
struct HeifDecoders {
    bool Hevc = false;  // HEIC, HEIF as phones write them
    bool Av1 = false;   // AVIF
};
HeifDecoders InstalledHeifDecoders();

class HeifReader {
public:
    // Whether a file's first bytes (at least 12; 64 are plenty) open a HEIF
    // or AVIF container, whether or not its codec can be decoded here.
    static bool IsHeif(const QByteArray& head);

    // Reads the container of the file in Device (open, seekable; it must
    // outlive the reader) from its current start: the boxes only, no pixel.
    // Stop, when given, is read before each read from the device, so a raised
    // flag ends a decode between two tiles.
    explicit HeifReader(QIODevice& device, const std::atomic<bool>* stop = nullptr);
    ~HeifReader();
    HeifReader(const HeifReader&) = delete;
    HeifReader& operator=(const HeifReader&) = delete;

    // None when the container was read and its primary picture is within the
    // limits, which are checked here, before any decoding.
    HeifError Error() const { return m_error; }

    // The primary picture's size as shown: rotated, mirrored and cropped by
    // the container's transformations. Empty when Error() is not None.
    QSize Size() const { return m_size; }

    // The primary picture decoded: tiles joined, the container's
    // transformations applied (an Exif orientation is not: the container
    // already carries it), 10- and 12-bit samples reduced to 8, an ICC
    // profile or a colour description converted to sRGB, transparency put on
    // white. Opaque RGB32.
    struct Picture {
        QImage Image;
        HeifError Error = HeifError::None;
    };
    Picture Decode();

    // The primary picture's Exif data from its TIFF header on ("II*\0" or
    // "MM\0*"), as a JPEG's APP1 carries it after "Exif\0\0"; empty when there
    // is none, "?" when it is damaged or over 1 MB.
    QByteArray Exif() const;

private:
    Picture DecodeTiles();

    struct State;
    std::unique_ptr<State> m_state;
    HeifError m_error = HeifError::Unreadable;
    QSize m_size;
};

}  // namespace pictures
