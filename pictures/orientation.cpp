// Finding and applying a picture's Exif orientation.
#include "pictures/orientation.h"

#include <QIODevice>
#include <QTransform>
#include <QtEndian>

#include <algorithm>
#include <new>

namespace pictures {
namespace {

// Numbers of an EXIF block in its byte order; past the end every read gives
// 0 and the stream is spoilt for good, as with Qt's data stream.
struct ExifStream {
    const QByteArray& Data;
    qint64 Pos = 0;
    bool Little = false;
    bool Ok = true;

    quint32 Read(int bytes)
    {
        if (!Ok || Pos + bytes > Data.size()) {
            Ok = false;
            Pos = Data.size();
            return 0;
        }
        quint32 value = 0;
        const auto* p = reinterpret_cast<const uchar*>(Data.constData()) + Pos;
        for (int i = 0; i < bytes; ++i)
            value = Little ? value | quint32{p[i]} << (8 * i) : value << 8 | p[i];
        Pos += bytes;
        return value;
    }
};

// The first value of an orientation entry, the stream at its value field:
// SHORT or LONG, one value or more (in the field when they fit in its four
// bytes, else where it points), as exiftool reads it; -1 for anything else.
int OrientationValue(ExifStream& stream, quint32 type, quint32 count)
{
    const int size = type == 3 ? 2 : type == 4 ? 4 : 0;
    if (size == 0 || count == 0)
        return -1;
    if (qint64{count} * size > 4)
        stream.Pos = stream.Read(4);
    const quint32 value = stream.Read(size);
    return stream.Ok && value >= 1 && value <= 8 ? static_cast<int>(value) : -1;
}

// Exif larger than this is no photo's; a chunk claiming more is not read.
constexpr quint32 MaxExifBytes = 1 << 20;
// Chunks looked at before giving up: a real file has a handful before its
// pixels (a WebP animation one per frame).
constexpr int MaxChunks = 100'000;

// A PNG's chunks up to its first pixel data: length, type, data, checksum.
QByteArray PngExif(QIODevice& device)
{
    qint64 at = 8;
    for (int chunk = 0; chunk < MaxChunks && device.seek(at); ++chunk) {
        const QByteArray head = device.read(8);
        if (head.size() < 8)
            return {};
        const quint32 length = qFromBigEndian<quint32>(head.constData());
        const QByteArray type = head.mid(4);
        if (type == "IDAT" || type == "IEND" || length > 0x7FFFFFFF)
            return {};
        if (type == "eXIf")
            return length <= MaxExifBytes ? device.read(length) : QByteArray();
        at += 12 + qint64{length};
    }
    return {};
}

// A WebP's RIFF chunks: type, little-endian length, data padded to an even length.
QByteArray WebpExif(QIODevice& device)
{
    qint64 at = 12;
    for (int chunk = 0; chunk < MaxChunks && device.seek(at); ++chunk) {
        const QByteArray head = device.read(8);
        if (head.size() < 8)
            return {};
        const quint32 length = qFromLittleEndian<quint32>(head.constData() + 4);
        if (head.startsWith("EXIF")) {
            QByteArray exif = length <= MaxExifBytes ? device.read(length) : QByteArray();
            // Some writers keep the prefix a JPEG's APP1 segment has.
            return exif.startsWith(QByteArrayLiteral("Exif\0\0")) ? exif.mid(6) : exif;
        }
        at += 8 + qint64{length} + (length & 1);
    }
    return {};
}

// A TIFF's first page, read from the device: its first IFD alone (the next
// ones are other pages), its orientation entry copied into a TIFF of its own
// with the value it points to, if any.
int TiffOrientation(QIODevice& device)
{
    constexpr quint32 MaxEntries = 4096;
    const QByteArray head = device.read(8);
    if (head.size() < 8)
        return 0;
    const bool little = head.startsWith("II");
    const auto number = [little](const char* at, int size) -> quint32 {
        if (size == 2)
            return little ? qFromLittleEndian<quint16>(at) : qFromBigEndian<quint16>(at);
        return little ? qFromLittleEndian<quint32>(at) : qFromBigEndian<quint32>(at);
    };
    if (!device.seek(number(head.constData() + 4, 4)))
        return 0;
    const QByteArray count = device.read(2);
    if (count.size() < 2)
        return 0;
    const QByteArray entries = device.read(12 * qint64{std::min(number(count.constData(), 2), MaxEntries)});
    for (qsizetype at = 0; at + 12 <= entries.size(); at += 12) {
        QByteArray entry = entries.mid(at, 12);
        if (number(entry.constData(), 2) != 0x0112)
            continue;
        const quint32 type = number(entry.constData() + 2, 2);
        QByteArray value;
        if (number(entry.constData() + 4, 4) * (type == 4 ? 4 : 2) > 4 &&
            device.seek(number(entry.constData() + 8, 4))) {
            value = device.read(4);
            const QByteArray at26 = little ? QByteArray::fromHex("1a000000") : QByteArray::fromHex("0000001a");
            entry.replace(8, 4, at26);
        }
        const QByteArray one = little ? QByteArray::fromHex("080000000100") : QByteArray::fromHex("000000080001");
        return ExifOrientation(head.left(4) + one + entry + QByteArray(4, 0) + value, 1);
    }
    return 0;
}

}  // namespace

int ExifOrientation(const QByteArray& tiff, int ifds)
{
    ExifStream stream{tiff};
    const quint32 order = stream.Read(2);
    if (order == 0x4949)
        stream.Little = true;
    else if (order != 0x4d4d)
        return -1;
    if (stream.Read(2) != 0x2a)
        return -1;
    quint32 offset = stream.Read(4);
    for (int ifd = 0; ifd < ifds; ++ifd) {
        // Forward only, though the format allows going back.
        if (qint64{offset} < stream.Pos || qint64{offset} >= tiff.size())
            return -1;
        stream.Pos = offset;
        for (quint32 entries = stream.Read(2); entries > 0 && stream.Ok; --entries) {
            const quint32 tag = stream.Read(2);
            const quint32 type = stream.Read(2);
            const quint32 count = stream.Read(4);
            if (tag == 0x0112)
                return OrientationValue(stream, type, count);
            stream.Read(4);
        }
        offset = stream.Read(4);
        if (!stream.Ok)
            return -1;
        if (offset == 0)
            return 0;
    }
    return ifds == 1 ? 0 : -1;
}

QImageIOHandler::Transformations TurnOf(int orientation)
{
    switch (orientation) {
    case 2: return QImageIOHandler::TransformationMirror;
    case 3: return QImageIOHandler::TransformationRotate180;
    case 4: return QImageIOHandler::TransformationFlip;
    case 5: return QImageIOHandler::TransformationFlipAndRotate90;
    case 6: return QImageIOHandler::TransformationRotate90;
    case 7: return QImageIOHandler::TransformationMirrorAndRotate90;
    case 8: return QImageIOHandler::TransformationRotate270;
    default: return QImageIOHandler::TransformationNone;
    }
}

QByteArray ContainerExif(QIODevice& device)
{
    const QByteArray signature = device.peek(12);
    if (signature.startsWith("\x89PNG\r\n\x1a\n"))
        return PngExif(device);
    if (signature.startsWith("RIFF") && signature.mid(8) == "WEBP")
        return WebpExif(device);
    return {};
}

int ContainerOrientation(QIODevice& device)
{
    const QByteArray signature = device.peek(4);
    if (signature == QByteArrayLiteral("II*\0") || signature == QByteArrayLiteral("MM\0*"))
        return TiffOrientation(device);
    return ExifOrientation(ContainerExif(device));
}

QImage Turned(const QImage& stored, QImageIOHandler::Transformations turn)
{
    try {
        QImage image = stored.mirrored(turn.testFlag(QImageIOHandler::TransformationMirror),
                                       turn.testFlag(QImageIOHandler::TransformationFlip));
        if (turn.testFlag(QImageIOHandler::TransformationRotate90) && !image.isNull())
            image = image.transformed(QTransform().rotate(90));
        return image;
    } catch (const std::bad_alloc&) {
        return {};
    }
}

}  // namespace pictures
