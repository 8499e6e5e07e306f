// Walking a BMP's, GIF's or TIFF's own structure (not its pixels) to see
// whether Qt's reader would give the whole picture.
#include "pictures/wholefile.h"

#include <QByteArray>

#include <algorithm>
#include <vector>

namespace pictures {
namespace {

// The bytes of the device one at a time, read in chunks.
class Bytes {
public:
    explicit Bytes(QIODevice& device) : device_(device) {}

    // The next byte, or -1 at the end of the file.
    int Next()
    {
        if (at_ == buffer_.size()) {
            buffer_ = device_.read(64 * 1024);
            at_ = 0;
            if (buffer_.isEmpty())
                return -1;
        }
        return static_cast<uchar>(buffer_.at(at_++));
    }

    // Count bytes, fewer at the end of the file.
    QByteArray Take(int count)
    {
        QByteArray bytes;
        for (int byte = 0; bytes.size() < count && (byte = Next()) >= 0;)
            bytes.append(static_cast<char>(byte));
        return bytes;
    }

    bool Skip(qint64 count)
    {
        for (; count > 0; --count)
            if (Next() < 0)
                return false;
        return true;
    }

private:
    QIODevice& device_;
    QByteArray buffer_;
    qsizetype at_ = 0;
};

quint32 Little(const QByteArray& bytes, int at, int size)
{
    quint32 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | static_cast<uchar>(bytes.at(at + i));
    return value;
}

// Run-length data as Qt's reader takes it: pairs (count, colour), or 0 and a
// code: end of row, end of picture, a move, or literal pixels padded to an
// even length. Whole when it reaches the end code or the last row.
bool RunsReachTheEnd(Bytes& in, qint64 height, bool fourBits)
{
    qint64 row = 0;
    for (;;) {
        const int count = in.Next();
        const int code = in.Next();
        if (code < 0)
            return false;
        if (count > 0)
            continue;
        if (code == 1)
            return true;
        if (code == 0 || code == 2) {
            const int down = code == 0 ? 1 : (in.Next(), in.Next());
            if (down < 0)
                return false;
            row += down;
            if (row >= height)
                return true;
            continue;
        }
        const qint64 bytes = fourBits ? (code + 1) / 2 : code;
        if (!in.Skip(bytes + (bytes & 1)))
            return false;
    }
}

bool BmpHoldsPicture(QIODevice& device)
{
    const qint64 fileSize = device.size();
    const QByteArray head = device.peek(34);
    if (head.size() < 26)
        return true;  // no header to go by
    const qint64 headerSize = Little(head, 14, 4);
    const bool old = headerSize == 12;
    if (!old && head.size() < 34)
        return true;
    const qint64 width = old ? Little(head, 18, 2) : qAbs(qint64{static_cast<qint32>(Little(head, 18, 4))});
    const qint64 height = old ? Little(head, 20, 2) : qAbs(qint64{static_cast<qint32>(Little(head, 22, 4))});
    const qint64 bits = Little(head, old ? 24 : 28, 2);
    const quint32 compression = old ? 0 : Little(head, 30, 4);
    if (width == 0 || height == 0)
        return true;
    // Qt's reader goes to the pixel offset when it lies after the headers
    // and the palette, and reads on from there otherwise: they come first
    // either way.
    const qint64 offset = static_cast<qint32>(Little(head, 10, 4));
    const qint64 start = std::max(14 + headerSize, offset);
    switch (compression) {
    case 0:  // plain rows, each padded to 4 bytes
    case 3:  // bit fields
    case 6: {
        const qint64 stride = (width * bits + 31) / 32 * 4;
        const qint64 room = fileSize - start;
        return room >= 0 && stride <= room / height;
    }
    case 1:
    case 2: {
        if (start > fileSize || !device.seek(start))
            return false;
        Bytes in(device);
        return RunsReachTheEnd(in, height, compression == 2);
    }
    default:
        return true;  // not something Qt's reader reads
    }
}

// Sub-blocks: a length byte, that many bytes, until a length of 0.
bool SkipSubBlocks(Bytes& in)
{
    for (;;) {
        const int size = in.Next();
        if (size <= 0)
            return size == 0;
        if (!in.Skip(size))
            return false;
    }
}

// Counts the pixels the LZW codes of an image's sub-blocks give, decoded as
// Qt's GIF reader decodes them (a code not yet in the table repeats the last
// string and its first pixel), up to the end code or the last sub-block.
bool CodesCover(Bytes& in, int minCodeSize, qint64 pixels)
{
    constexpr int MaxCodes = 1 << 12;
    // No GIF encoder writes more than 8; from 12 on, the codes (13 bits and
    // more) would overrun a table of 4096, this one's and Qt's alike.
    if (minCodeSize >= 12)
        return false;
    const int clear = 1 << minCodeSize;
    int codeSize = minCodeSize + 1;
    int maxCodeSize = 2 * clear;
    int maxCode = clear + 2;
    int previous = -1;
    std::vector<int> length(MaxCodes, 1);  // pixels of each code's string
    qint64 produced = 0;
    quint32 bitsHeld = 0;
    int bitCount = 0;
    for (;;) {
        const int size = in.Next();
        if (size <= 0)
            return size == 0 && produced >= pixels;
        for (int i = 0; i < size; ++i) {
            const int byte = in.Next();
            if (byte < 0)
                return false;
            bitsHeld |= static_cast<quint32>(byte) << bitCount;
            for (bitCount += 8; bitCount >= codeSize;) {
                const int code = static_cast<int>(bitsHeld & ((1u << codeSize) - 1));
                bitsHeld >>= codeSize;
                bitCount -= codeSize;
                if (code == clear) {
                    codeSize = minCodeSize + 1;
                    maxCodeSize = 2 * clear;
                    maxCode = clear + 2;
                    previous = -1;
                    continue;
                }
                if (code == clear + 1)
                    return produced >= pixels;
                if (previous < 0) {
                    produced += 1;
                } else {
                    produced += code >= maxCode ? length[previous] + 1 : length[code];
                    if (maxCode < MaxCodes) {
                        length[maxCode] = length[previous] + 1;
                        if (++maxCode >= maxCodeSize && maxCodeSize < MaxCodes) {
                            maxCodeSize *= 2;
                            ++codeSize;
                        }
                    }
                }
                previous = code;
                if (produced >= pixels)
                    return true;
            }
        }
    }
}

// A GIF's screen or image descriptor of Size bytes, whose byte FlagsAt may
// announce a colour table after it, which is skipped. Empty when the file
// ends first.
QByteArray Descriptor(Bytes& in, int size, int flagsAt)
{
    const QByteArray descriptor = in.Take(size);
    if (descriptor.size() < size)
        return {};
    const int flags = static_cast<uchar>(descriptor.at(flagsAt));
    if ((flags & 0x80) && !in.Skip(3 << ((flags & 7) + 1)))
        return {};
    return descriptor;
}

bool GifHoldsFirstImage(Bytes& in)
{
    if (Descriptor(in, 13, 10).isEmpty())  // signature, size, flags, background, aspect
        return false;
    for (;;) {
        const int introducer = in.Next();
        if (introducer < 0)
            return false;  // cut before the first image
        if (introducer == 0x2C)
            break;
        if (introducer != 0x21)
            return true;  // no image, or something Qt's reader judges itself
        if (in.Next() < 0 || !SkipSubBlocks(in))
            return false;
    }
    const QByteArray image = Descriptor(in, 9, 8);  // left, top, width, height, flags
    if (image.isEmpty())
        return false;
    const int minCodeSize = in.Next();
    return minCodeSize >= 0 && CodesCover(in, minCodeSize, qint64{Little(image, 4, 2)} * Little(image, 6, 2));
}

// A TIFF's first page as Qt's reader reads it: samples of more than 8 bits
// (16-bit or floating-point colour) it reads as interleaved rows, whatever
// the file says, so a page stored in separate planes (a plane of red, then
// of green, then of blue) would come out grey on a third and black elsewhere.
bool TiffPageReadable(QIODevice& device)
{
    const QByteArray head = device.peek(16);
    const bool little = head.startsWith("II");
    const bool big = head.size() >= 16 && head.at(little ? 2 : 3) == 43;  // BigTIFF
    const auto number = [little](const QByteArray& bytes, int at, int size) {
        quint64 value = 0;
        for (int i = 0; i < size; ++i)
            value |= quint64{static_cast<uchar>(bytes.at(at + (little ? i : size - 1 - i)))} << (8 * i);
        return value;
    };
    const qint64 directory = static_cast<qint64>(big ? number(head, 8, 8) : number(head, 4, 4));
    const int countSize = big ? 8 : 2, entrySize = big ? 20 : 12, valueAt = big ? 12 : 8;
    if (directory <= 0 || directory > device.size() || !device.seek(directory))
        return true;  // Qt's reader refuses it itself
    const quint64 entries = number(device.read(countSize).leftJustified(countSize, '\0'), 0, countSize);
    const QByteArray table = device.read(static_cast<qint64>(std::min<quint64>(entries, 4096)) * entrySize);
    quint64 bits = 1, samples = 1, planes = 1;
    for (qsizetype at = 0; at + entrySize <= table.size(); at += entrySize) {
        const quint64 tag = number(table, static_cast<int>(at), 2);
        // Each is a SHORT; BitsPerSample has one per sample, all alike in
        // what Qt reads, inline while they fit and elsewhere then.
        quint64 value = number(table, static_cast<int>(at) + valueAt, 2);
        if (tag == 258 && number(table, static_cast<int>(at) + 4, big ? 8 : 4) * 2 > static_cast<quint64>(big ? 8 : 4)) {
            const qint64 offset = static_cast<qint64>(number(table, static_cast<int>(at) + valueAt, big ? 8 : 4));
            const QByteArray first = offset > 0 && device.seek(offset) ? device.read(2) : QByteArray();
            value = first.size() == 2 ? number(first, 0, 2) : 1;
        }
        if (tag == 258)
            bits = value;
        else if (tag == 277)
            samples = value;
        else if (tag == 284)
            planes = value;
    }
    return !(planes == 2 && samples > 1 && bits > 8);
}

}  // namespace

bool HoldsWholePicture(QIODevice& device)
{
    const QByteArray signature = device.peek(6);
    if (signature.startsWith("II*\0") || signature.startsWith("MM\0*") || signature.startsWith("II+\0") ||
        signature.startsWith("MM\0+"))
        return TiffPageReadable(device);
    if (signature.startsWith("BM"))
        return BmpHoldsPicture(device);
    if (signature == "GIF87a" || signature == "GIF89a") {
        Bytes in(device);
        return GifHoldsFirstImage(in);
    }
    return true;
}

}  // namespace pictures
