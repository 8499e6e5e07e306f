// The marker segments of the file, each built in a buffer of exactly its size
// and handed to the sink in one piece, and the end of the scan with EOI.
#include <array>
#include <cstring>

#include "jpeg/internal/encoder.h"

namespace jpeg {
namespace {

template <std::size_t N>
JpegResult Put(ByteSink& sink, const std::array<std::uint8_t, N>& bytes)
{
    return sink.Put(bytes.data(), bytes.size());
}

// A 16-bit big-endian field; a value that does not fit is an overflow.
bool Store16(std::uint8_t* at, std::int32_t value)
{
    if (value < 0 || value > 0xFFFF)
        return false;
    at[0] = static_cast<std::uint8_t>(value >> 8);
    at[1] = static_cast<std::uint8_t>(value & 0xFF);
    return true;
}

}  // namespace

JpegResult WriteJfifHeader(ByteSink& sink)
{
    // SOI, then APP0 of length 16 = 2 (length) + 5 ("JFIF\0") + 2 (version)
    // + 1 (units) + 4 (densities) + 2 (thumbnail size): 20 bytes in all.
    static constexpr std::array<std::uint8_t, 20> kBytes = {
        0xFF, 0xD8,                    // SOI
        0xFF, 0xE0, 0x00, 0x10,        // APP0, length 16
        'J',  'F',  'I',  'F',  0x00,  // identifier
        0x01, 0x02,                    // version 1.02
        0x01,                          // density in dots per inch
        0x00, 0x48, 0x00, 0x48,        // 72 x 72
        0x00, 0x00,                    // no thumbnail
    };
    return Put(sink, kBytes);
}

JpegResult WriteComment(ByteSink& sink)
{
    // COM of length 24 = 2 (length) + 21 characters + 1 terminating zero: 26 bytes.
    static constexpr char kText[] = "Marnosk SampleVersion";
    static_assert(sizeof(kText) == 22);
    std::array<std::uint8_t, 26> bytes = {0xFF, 0xFE, 0x00, 0x18};
    std::memcpy(bytes.data() + 4, kText, sizeof(kText));
    return Put(sink, bytes);
}

JpegResult WriteDqt(ByteSink& sink, const CodingTables& t)
{
    // DQT of length 132 = 2 + 2 x (1 precision/id byte + 64 entries): 134 bytes.
    std::array<std::uint8_t, 134> bytes = {0xFF, 0xDB, 0x00, 0x84};
    std::size_t at = 4;
    for (int table = 0; table < 2; ++table) {
        bytes[at++] = static_cast<std::uint8_t>(table);  // 8-bit entries, table id
        for (int k = 0; k < 64; ++k) {
            const std::int32_t value = t.QuantTable[table][t.ZigZag[k]];
            if (value < 0 || value > 255)
                return JpegResult::Unexpected;
            bytes[at++] = static_cast<std::uint8_t>(value);
        }
    }
    return Put(sink, bytes);
}

JpegResult WriteDht(ByteSink& sink)
{
    // DHT of length 418 = 2 + 4 x (1 class/id + 16 counts) + 12 + 12 + 162 + 162
    // symbols: 420 bytes, the four tables in the order DC 0, DC 1, AC 0, AC 1.
    std::array<std::uint8_t, 420> bytes = {0xFF, 0xC4, 0x01, 0xA2};
    std::size_t at = 4;
    const struct {
        std::uint8_t classAndId;
        const HuffmanLists& lists;
    } tables[4] = {{0x00, DcLuminanceLists()},
                   {0x01, DcChrominanceLists()},
                   {0x10, AcLuminanceLists()},
                   {0x11, AcChrominanceLists()}};
    for (const auto& table : tables) {
        bytes[at++] = table.classAndId;
        std::memcpy(bytes.data() + at, table.lists.bits, 16);
        at += 16;
        std::memcpy(bytes.data() + at, table.lists.values, static_cast<std::size_t>(table.lists.count));
        at += static_cast<std::size_t>(table.lists.count);
    }
    return Put(sink, bytes);
}

JpegResult WriteSof0(ByteSink& sink, std::int32_t width, std::int32_t height)
{
    // SOF0 of length 17 = 2 + 1 (precision) + 4 (lines, samples per line)
    // + 1 (component count) + 3 x 3 (id, sampling, table): 19 bytes.
    std::array<std::uint8_t, 19> bytes = {
        0xFF, 0xC0, 0x00, 0x11,
        0x08,                    // 8-bit samples
        0x00, 0x00, 0x00, 0x00,  // height, width: filled below
        0x03,
        0x00, 0x22, 0x00,  // Y: id 0, 2x2 sampling, table 0
        0x01, 0x11, 0x01,  // Cb: id 1, 1x1, table 1
        0x02, 0x11, 0x01,  // Cr: id 2, 1x1, table 1
    };
    if (!Store16(bytes.data() + 5, height) || !Store16(bytes.data() + 7, width))
        return JpegResult::Unexpected;  // 65536 or more does not fit the frame header
    return Put(sink, bytes);
}

JpegResult WriteSos(ByteSink& sink)
{
    // SOS of length 12 = 2 + 1 + 3 x 2 (id, DC/AC tables) + 3 (spectral
    // selection 0..63, no successive approximation): 14 bytes.
    static constexpr std::array<std::uint8_t, 14> kBytes = {
        0xFF, 0xDA, 0x00, 0x0C, 0x03,
        0x00, 0x00,  // Y: DC table 0, AC table 0
        0x01, 0x11,  // Cb: tables 1
        0x02, 0x11,  // Cr: tables 1
        0x00, 0x3F, 0x00,
    };
    return Put(sink, kBytes);
}

JpegResult WriteEoi(ByteSink& sink, JpegStream& stream)
{
    stream.PadLastByte();
    if (stream.Remaining() < 2) {
        const JpegResult flushed = stream.Flush(sink);
        if (flushed != JpegResult::Ok)
            return flushed;
    }
    if (!stream.AppendEoi())
        return JpegResult::Unexpected;
    return sink.Put(stream.Data(), stream.Size() + 2);
}

}  // namespace jpeg
