// Writes the fuzz target's seed inputs: small valid JPEG, BMP and GIF files of
// the kinds a camera, an editor or the web produces, and the hostile shapes
// that once took minutes or gave half-black pictures (a small file claiming
// a large picture in thousands of scans, a flood of header segments, files
// cut short, a HEIF grid far larger than its tiles, 16-bit TIFF colour
// planes), each behind its ratio byte. Qt writes what it can, cjpeg the
// JPEG variants, libheif HEIC and AVIF, and the rest (CMYK JPEG, run-length
// BMP, GIF, the hostile shapes) is put together here byte by byte.
//   zembrik_fuzz_seeds FOLDER
#include <QColorSpace>
#include <QCoreApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <algorithm>
#include <cstdio>

#include "samples/heifsamples.h"
#include "fuzz/picturepath.h"

namespace {

QImage Pattern(int w, int h, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgba(x * 255 / qMax(1, w - 1), y * 255 / qMax(1, h - 1), (x ^ y) * 37 & 255,
                                       (x + y) * 16 & 255));
    return image.convertToFormat(format);
}

// A GIF89a whose palette is red, green, blue, white (indexes 0..3). Each frame
// holds w x h palette indexes; `transparent` is an index or -1. Codes stay 3
// bits wide because a clear code follows every two pixels, so the LZW data
// needs no dictionary.
QByteArray Gif(int w, int h, const QList<QByteArray>& frames, int transparent = -1)
{
    QByteArray out("GIF89a");
    auto u16 = [&](int v) { out.append(char(v & 255)).append(char(v >> 8)); };
    u16(w);
    u16(h);
    out.append(char(0x81)).append(char(0)).append(char(0));  // global table of 4 entries
    out.append(QByteArray::fromHex("ff0000" "00ff00" "0000ff" "ffffff"));
    for (const QByteArray& pixels : frames) {
        out.append(QByteArray::fromHex("21f904")).append(char(transparent >= 0 ? 1 : 0));
        u16(0);
        out.append(char(transparent >= 0 ? transparent : 0)).append(char(0));
        out.append(char(0x2c));
        u16(0);
        u16(0);
        u16(w);
        u16(h);
        out.append(char(0)).append(char(2));
        QByteArray data;
        quint32 bits = 0;
        int count = 0;
        auto put = [&](int code) {
            bits |= quint32(code) << count;
            for (count += 3; count >= 8; count -= 8, bits >>= 8)
                data.append(char(bits & 255));
        };
        for (int i = 0; i < pixels.size(); ++i) {
            if (i % 2 == 0)
                put(4);
            put(pixels.at(i));
        }
        put(5);
        if (count > 0)
            data.append(char(bits & 255));
        for (int i = 0; i < data.size(); i += 255)
            out.append(char(qMin(255, int(data.size() - i)))).append(data.mid(i, 255));
        out.append(char(0));
    }
    return out.append(char(0x3b));
}

QByteArray PlainGif(int w, int h, int colourIndex)
{
    return Gif(w, h, {QByteArray(w * h, char(colourIndex))});
}

QByteArray Saved(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    return image.save(&buffer, format) ? bytes : QByteArray();
}

// The JPEG variants Qt does not write, through cjpeg from a PPM file.
QByteArray Cjpeg(const QString& folder, QStringList switches)
{
    const QString ppm = folder + QStringLiteral("/pattern.ppm");
    const QString out = folder + QStringLiteral("/out.jpg");
    if (!Pattern(33, 21).save(ppm, "PPM"))
        return {};
    switches << QStringLiteral("-outfile") << out << ppm;
    if (QProcess::execute(QStringLiteral("cjpeg"), switches) != 0)
        return {};
    QFile file(out);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Put16(QByteArray& out, int v)
{
    out.append(static_cast<char>(v >> 8)).append(static_cast<char>(v & 255));
}

// Entropy-coded data: bits most significant first, a zero stuffed after
// every 0xFF byte, the last byte padded with ones.
struct BitWriter {
    QByteArray& Out;
    quint32 Bits = 0;
    int Count = 0;

    void Put(quint32 value, int length)
    {
        for (int i = length - 1; i >= 0; --i) {
            Bits = Bits << 1 | (value >> i & 1);
            if (++Count == 8) {
                Out.append(static_cast<char>(Bits));
                if (Bits == 0xFF)
                    Out.append('\0');
                Bits = 0;
                Count = 0;
            }
        }
    }
    void Pad()
    {
        if (Count > 0)
            Put((1u << (8 - Count)) - 1, 8 - Count);
    }
};

// A baseline JPEG with four components, 16 x 8, each MCU one flat block per
// component (DC only): Adobe transform 0 is CMYK, 2 is YCCK.
QByteArray FourComponentJpeg(int transform)
{
    static const int dcCounts[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
    QByteArray out;
    Put16(out, 0xFFD8);
    Put16(out, 0xFFEE);
    Put16(out, 14);
    out.append("Adobe", 5);
    Put16(out, 100);
    Put16(out, 0);
    Put16(out, 0);
    out.append(static_cast<char>(transform));
    Put16(out, 0xFFDB);
    Put16(out, 67);
    out.append('\0').append(QByteArray(64, '\1'));
    Put16(out, 0xFFC0);
    Put16(out, 20);
    out.append('\x08');
    Put16(out, 8);
    Put16(out, 16);
    out.append('\x04');
    for (char c = 1; c <= 4; ++c)
        out.append(c).append('\x11').append('\0');
    Put16(out, 0xFFC4);
    Put16(out, 2 + 17 + 12 + 17 + 1);
    out.append('\0');
    for (int count : dcCounts)
        out.append(static_cast<char>(count));
    for (char v = 0; v < 12; ++v)
        out.append(v);
    out.append('\x10').append('\x01').append(QByteArray(15, '\0')).append('\0');  // one AC code: "0" is EOB
    Put16(out, 0xFFDA);
    Put16(out, 14);
    out.append('\x04');
    for (char c = 1; c <= 4; ++c)
        out.append(c).append('\0');
    out.append('\0').append('\x3F').append('\0');

    int dcCode[12], dcLength[12];
    for (int length = 1, code = 0, k = 0; length <= 16; ++length, code <<= 1)
        for (int i = 0; i < dcCounts[length - 1]; ++i, ++code, ++k) {
            dcCode[k] = code;
            dcLength[k] = length;
        }
    BitWriter coded{out};
    const auto put = [&coded](int bits, int length) { coded.Put(static_cast<quint32>(bits), length); };
    const int levels[2][4] = {{30, 200, 90, 10}, {220, 40, 160, 250}};
    int previous[4] = {0, 0, 0, 0};
    for (const auto& mcu : levels)
        for (int c = 0; c < 4; ++c) {
            const int dc = 8 * (mcu[c] - 128);
            const int diff = dc - previous[c];
            previous[c] = dc;
            int category = 0;
            while ((1 << category) <= qAbs(diff))
                ++category;
            put(dcCode[category], dcLength[category]);
            put(diff >= 0 ? diff : diff + (1 << category) - 1, category);
            put(0, 1);
        }
    coded.Pad();
    Put16(out, 0xFFD9);
    return out;
}

// A BMP from its parts: palette of four colours, the given depth and
// compression (1 = RLE8, 2 = RLE4), pixel data as stored.
QByteArray Bmp(int w, int h, int bits, int compression, const QByteArray& pixels)
{
    static const QRgb palette[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    QByteArray out("BM");
    auto u32 = [&](quint32 v) {
        const quint32 le = qToLittleEndian(v);
        out.append(reinterpret_cast<const char*>(&le), 4);
    };
    auto u16 = [&](quint16 v) { out.append(static_cast<char>(v & 255)).append(static_cast<char>(v >> 8)); };
    const int offset = 14 + 40 + 4 * 4;
    u32(static_cast<quint32>(offset + pixels.size()));
    u32(0);
    u32(offset);
    u32(40);
    u32(static_cast<quint32>(w));
    u32(static_cast<quint32>(h));
    u16(1);
    u16(static_cast<quint16>(bits));
    u32(static_cast<quint32>(compression));
    u32(static_cast<quint32>(pixels.size()));
    u32(2835);
    u32(2835);
    u32(4);
    u32(0);
    for (QRgb c : palette)
        out.append(static_cast<char>(qBlue(c))).append(static_cast<char>(qGreen(c)))
            .append(static_cast<char>(qRed(c))).append('\0');
    return out + pixels;
}

QByteArray Segment(int marker, const QByteArray& payload)
{
    QByteArray out;
    Put16(out, marker);
    Put16(out, static_cast<int>(payload.size()) + 2);
    return out + payload;
}

// A grey progressive JPEG of W x H that repeats one AC scan Scans times with
// no DC scan. A Huffman scan codes every block as empty in runs of up to
// 32767 (EOB14, code 0) and one shorter run (code 10); an arithmetic one has
// no data, which its decoder reads as zeros.
QByteArray RepeatedScans(int w, int h, int scans, bool arithmetic)
{
    QByteArray frame(1, '\x08');
    Put16(frame, h);
    Put16(frame, w);
    frame.append(QByteArray::fromHex("01011100"));
    QByteArray out = QByteArray::fromHex("ffd8") + Segment(0xFFDB, QByteArray(1, '\0') + QByteArray(64, '\1')) +
                     Segment(arithmetic ? 0xFFCA : 0xFFC2, frame);
    QByteArray data;
    if (!arithmetic) {
        qint64 blocks = qint64{(w + 7) / 8} * ((h + 7) / 8);
        const qint64 rest = blocks % 32767 >= 16384 || blocks % 32767 == 0 ? 0 : blocks % 32767;
        int restBits = 0;
        while ((qint64{2} << restBits) <= rest)
            ++restBits;
        QByteArray table = QByteArray::fromHex("100101") + QByteArray(14, '\0') + char(0xE0) + char(restBits << 4);
        out += Segment(0xFFC4, table);
        BitWriter coded{data};
        for (blocks -= rest; blocks > 0; blocks -= std::min<qint64>(blocks, 32767)) {
            coded.Put(0, 1);
            coded.Put(static_cast<quint32>(std::min<qint64>(blocks, 32767) - 16384), 14);
        }
        if (rest > 0) {
            coded.Put(2, 2);
            coded.Put(static_cast<quint32>(rest - (qint64{1} << restBits)), restBits);
        }
        coded.Pad();
    }
    for (int i = 0; i < scans; ++i)
        out += Segment(0xFFDA, QByteArray::fromHex("010100013f00")) + data;
    return out + QByteArray::fromHex("ffd9");
}

// A JPEG with Count copies of one segment before its own.
QByteArray Flooded(const QByteArray& jpeg, const QByteArray& segment, int count)
{
    return jpeg.left(2) + segment.repeated(count) + jpeg.mid(2);
}

// A 16-bit RGB TIFF of W x H, uncompressed, whose colours lie in three
// planes of their own (PlanarConfiguration 2), each one strip: gradients of
// red across, green down, blue a constant.
QByteArray PlanarTiff(int w, int h)
{
    QByteArray out("II*\0\x08\0\0\0", 8);
    const auto u16 = [&out](quint32 v) { out.append(char(v & 255)).append(char(v >> 8 & 255)); };
    const auto u32 = [&](quint32 v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    };
    const quint32 extra = 8 + 2 + 10 * 12 + 4;  // bits, strip offsets and counts behind the directory
    const quint32 plane = quint32(w * h * 2), first = extra + 6 + 12 + 12;
    const auto entry = [&](quint32 tag, quint32 type, quint32 count, quint32 value) {
        u16(tag);
        u16(type);
        u32(count);
        u32(value);
    };
    u16(10);
    entry(256, 3, 1, quint32(w));
    entry(257, 3, 1, quint32(h));
    entry(258, 3, 3, extra);
    entry(259, 3, 1, 1);
    entry(262, 3, 1, 2);
    entry(273, 4, 3, extra + 6);
    entry(277, 3, 1, 3);
    entry(278, 3, 1, quint32(h));
    entry(279, 4, 3, extra + 18);
    entry(284, 3, 1, 2);
    u32(0);
    for (int i = 0; i < 3; ++i)
        u16(16);
    for (quint32 i = 0; i < 3; ++i)
        u32(first + i * plane);
    for (int i = 0; i < 3; ++i)
        u32(plane);
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                u16(quint32(c == 0 ? x * 65535 / qMax(1, w - 1) : c == 1 ? y * 65535 / qMax(1, h - 1) : 30000));
    return out;
}

// A PNG chunk: length, type, data and checksum.
QByteArray PngChunk(const char* type, const QByteArray& data)
{
    const QByteArray typed = type + data;
    quint32 crc = 0xFFFFFFFF;
    for (const char byte : typed) {
        crc ^= static_cast<quint8>(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 1 ? 0xEDB88320 ^ (crc >> 1) : crc >> 1;
    }
    QByteArray chunk(4, 0);
    qToBigEndian<quint32>(static_cast<quint32>(data.size()), chunk.data());
    chunk += typed + QByteArray(4, 0);
    qToBigEndian<quint32>(~crc, chunk.data() + chunk.size() - 4);
    return chunk;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: zembrik_fuzz_seeds FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QTemporaryDir work;
    if (!QDir().mkpath(folder) || !work.isValid()) {
        std::fprintf(stderr, "cannot make %s or a work folder\n", argv[1]);
        return 1;
    }

    const QByteArray baseline = Saved(Pattern(48, 32), "JPEG");
    // Orientation 6 (turn a quarter clockwise) as an APP1 Exif segment.
    const QByteArray orientation6 = QByteArray::fromHex(
        "ffe10022457869660000" "49492a0008000000" "0100120103000100000006000000" "00000000");
    const QString icc = work.path() + QStringLiteral("/adobe.icc");
    {
        QFile profile(icc);
        if (!profile.open(QIODevice::WriteOnly) || profile.write(QColorSpace(QColorSpace::AdobeRgb).iccProfile()) <= 0)
            return 1;
    }
    QByteArray topDown = Saved(Pattern(7, 5), "BMP");
    qToLittleEndian<qint32>(-5, topDown.data() + 22);
    const QByteArray rle8 = QByteArray::fromHex("04010402" "0000" "000400010203" "0403" "0000" "00020300" "0501" "0000"
                                                "0800" "0001");
    const QByteArray rle4 = QByteArray::fromHex("0812" "0000" "00040123" "0433" "0001");
    const QByteArray png = Saved(Pattern(9, 4, QImage::Format_ARGB32), "PNG");
    // Chunks after the signature and the header: 200 compressed texts of 64 KB
    // each, which a reader has no need to inflate; Exif orientation 6 as the
    // first of three SHORT values, out of the IFD's entry.
    const QByteArray textFlood =
        PngChunk("zTXt", QByteArray("Comment\0\0", 9) + qCompress(QByteArray(1 << 16, 'B'), 9).mid(4)).repeated(200);
    const QByteArray threeOrientations = PngChunk(
        "eXIf", QByteArray::fromHex("49492a0008000000" "0100120103000300" "00001a000000" "00000000" "060001000100"));
    // Orientation 6 as a LONG.
    const QByteArray orientationLong = QByteArray::fromHex(
        "ffe10022457869660000" "49492a0008000000" "0100120104000100000006000000" "00000000");
    const QByteArray bmp = Saved(Pattern(40, 30), "BMP");
    // 12000 x 13000 in a header of 354 bytes; pixels at 100000, past the end.
    const QByteArray bmpClaim = bmp.left(18) + QByteArray::fromHex("e02e0000c8320000") + bmp.mid(26, 354 - 26);
    const QByteArray bmpPastEnd = bmp.left(10) + QByteArray::fromHex("a0860100") + bmp.mid(14);

    struct Seed {
        const char* Name;
        int Percent;
        QByteArray File;
    };
    QList<Seed> seeds = {
        {"jpeg-baseline", 50, baseline},
        {"jpeg-1x1", 100, Saved(Pattern(1, 1), "JPEG")},
        {"jpeg-exif-rotated", 33, baseline.left(2) + orientation6 + baseline.mid(2)},
        {"jpeg-progressive", 67, Cjpeg(work.path(), {"-progressive"})},
        {"jpeg-grey", 50, Cjpeg(work.path(), {"-grayscale"})},
        {"jpeg-444", 99, Cjpeg(work.path(), {"-sample", "1x1"})},
        {"jpeg-422", 50, Cjpeg(work.path(), {"-sample", "2x1"})},
        {"jpeg-411", 1, Cjpeg(work.path(), {"-sample", "4x1"})},
        {"jpeg-arithmetic", 50, Cjpeg(work.path(), {"-arithmetic"})},
        {"jpeg-restart", 40, Cjpeg(work.path(), {"-restart", "1B"})},
        {"jpeg-rgb", 50, Cjpeg(work.path(), {"-rgb"})},
        {"jpeg-icc", 75, Cjpeg(work.path(), {"-icc", icc})},
        {"jpeg-grey-icc", 50, Cjpeg(work.path(), {"-grayscale", "-icc", icc})},
        {"jpeg-cmyk", 50, FourComponentJpeg(0)},
        {"jpeg-ycck", 100, FourComponentJpeg(2)},
        {"bmp-24", 50, Saved(Pattern(11, 6), "BMP")},
        {"bmp-32-alpha", 67, Saved(Pattern(5, 4, QImage::Format_ARGB32), "BMP")},
        {"bmp-8", 50, Saved(Pattern(13, 7, QImage::Format_Indexed8), "BMP")},
        {"bmp-1", 25, Saved(Pattern(19, 3, QImage::Format_Mono), "BMP")},
        {"bmp-3x50", 10, Saved(Pattern(3, 50), "BMP")},
        {"bmp-top-down", 50, topDown},
        {"bmp-rle8", 50, Bmp(8, 4, 8, 1, rle8)},
        {"bmp-rle4", 75, Bmp(8, 2, 4, 2, rle4)},
        {"gif", 50, Gif(5, 3, {QByteArray::fromHex("000102030001020300010203000102")})},
        {"gif-transparent-two-frames", 50,
         Gif(4, 2, {QByteArray::fromHex("0001020303020100"), QByteArray(8, '\1')}, 3)},
        {"gif-1x1", 100, PlainGif(1, 1, 2)},
        {"gif-37x2", 30, PlainGif(37, 2, 1)},
        {"jpeg-12000x13000-100-scans", 1, RepeatedScans(12000, 13000, 100, false)},
        {"jpeg-12000x13000-100-arithmetic-scans", 1, RepeatedScans(12000, 13000, 100, true)},
        {"jpeg-5000-comments", 50, Flooded(baseline, Segment(0xFFFE, QByteArray(24, 'c')), 5000)},
        {"jpeg-500-icc-segments", 50,
         Flooded(baseline, Segment(0xFFE2, QByteArray("ICC_PROFILE\0", 12) + QByteArray(200, '\1')), 500)},
        {"jpeg-junk-after-start", 50, baseline.left(2) + QByteArray(5000, '\0') + baseline.mid(2)},
        {"bmp-cut-to-8-percent", 50, bmp.left(bmp.size() * 8 / 100)},
        {"bmp-354-bytes-claiming-12000x13000", 1, bmpClaim},
        {"bmp-pixels-past-the-end", 50, bmpPastEnd},
        {"bmp-rle8-cut", 50, Bmp(8, 4, 8, 1, rle8.left(12))},
        {"gif-cut-to-60-percent", 50, PlainGif(37, 20, 1).left(PlainGif(37, 20, 1).size() * 6 / 10)},
        {"gif-100-of-3072-pixels", 50, Gif(64, 48, {QByteArray(100, '\2')})},
        // Qt's readers, by content: 16-bit and palette PNG, WebP, TIFF.
        {"png-16bit", 50, Saved(Pattern(9, 4, QImage::Format_RGBA64), "PNG")},
        {"png-palette", 50, Saved(Pattern(13, 7, QImage::Format_Indexed8), "PNG")},
        {"webp", 50, Saved(Pattern(21, 11), "WEBP")},
        {"tiff", 50, Saved(Pattern(21, 11), "TIFF")},
        {"tiff-cut-to-half", 50, Saved(Pattern(40, 30), "TIFF").left(1800)},
        {"tiff-16bit-planes", 50, PlanarTiff(9, 5)},
        {"png-text-flood", 50, png.left(33) + textFlood + png.mid(33)},
        {"png-exif-orientation-of-three", 67, png.left(33) + threeOrientations + png.mid(33)},
        {"jpeg-exif-orientation-long", 33, baseline.left(2) + orientationLong + baseline.mid(2)},
    };
    // HEIC and AVIF where this libheif has the encoder: phones' grid of tiles,
    // the container's turn, transparency, 10 bits.
    using heifsamples::Codec;
    if (heifsamples::CanEncode(Codec::Hevc)) {
        QList<QByteArray> tiles;
        for (int i = 0; i < 4; ++i)
            tiles << heifsamples::Encode(Pattern(64, 64));
        seeds += {{"heic", 50, heifsamples::Encode(Pattern(40, 24))},
                  {"heic-grid", 25, heifsamples::Grid(tiles, 2, QSize(120, 100))},
                  {"heic-grid-12000x12000-over-four-tiles", 1, heifsamples::Grid(tiles, 2, QSize(12000, 12000))},
                  {"heic-rotated", 67, heifsamples::Encode(Pattern(24, 16), {.Orientation = 6})},
                  {"heic-alpha", 50, heifsamples::Encode(Pattern(17, 9, QImage::Format_ARGB32), {.Alpha = true})},
                  {"heic-10bit", 75, heifsamples::Encode(Pattern(16, 16, QImage::Format_RGBX64), {.BitDepth = 10})}};
    }
    if (heifsamples::CanEncode(Codec::Av1)) {
        seeds += {{"avif", 50, heifsamples::Encode(Pattern(40, 24), {.Kind = Codec::Av1})},
                  {"avif-alpha", 33,
                   heifsamples::Encode(Pattern(17, 9, QImage::Format_ARGB32), {.Kind = Codec::Av1, .Alpha = true})}};
    }
    int failures = 0;
    for (const Seed& seed : seeds) {
        QFile file(folder + QLatin1Char('/') + QLatin1String(seed.Name));
        if (seed.File.isEmpty() || !file.open(QIODevice::WriteOnly) ||
            file.write(fuzz::JoinInput(seed.Percent, seed.File)) <= 0) {
            std::fprintf(stderr, "cannot make seed %s\n", seed.Name);
            ++failures;
        }
    }
    // A PNG named .bmp: the loader goes by content when the name's reader refuses.
    QFile named(folder + QStringLiteral("/png-named-bmp"));
    if (png.isEmpty() || !named.open(QIODevice::WriteOnly) || named.write(QByteArray(1, char(149)) + png) <= 0)
        ++failures;
    return failures == 0 ? 0 : 1;
}
