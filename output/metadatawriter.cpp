// The metadata writer over exiv2.
#include <QCoreApplication>

#include "output/metadatawriter.h"
#include "files/pathfacts.h"

#include <exiv2/exiv2.hpp>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

namespace output {
namespace {

MetadataError Failure(MetadataError::Step step, const char* detail)
{
    return {step,
            step == MetadataError::Step::ReadSource ? QCoreApplication::translate("output", "元の画像の撮影情報を読み込めません。")
                                                    : QCoreApplication::translate("output", "撮影情報を書き込めません。"),
            QString::fromLocal8Bit(detail)};
}

template <typename Key, typename Data, typename Value>
void SetIfPresent(Data& data, const char* key, const Value& value)
{
    if (data.findKey(Key(key)) != data.end())
        data[key] = value;
}

// Whether an XMP key names a GPS property, at the top or inside a structure
// ("Xmp.exif.GPSLatitude", "Xmp.iptcExt.LocationCreated[1]/exif:GPSLatitude").
bool IsGpsProperty(const std::string& key)
{
    std::size_t start = 0;
    while (start <= key.size()) {
        const std::size_t end = std::min(key.find('/', start), key.size());
        const std::size_t name = key.find_last_of(".:", end - 1, 2);
        const std::size_t from = name == std::string::npos || name < start ? start : name + 1;
        if (key.compare(from, 3, "GPS") == 0)
            return true;
        start = end + 1;
    }
    return false;
}

// Tags in which a TIFF (or an Exif block taken from one) describes how its
// own pixels are stored: untrue of the JPEG written (a width and a
// compression it does not have), and not allowed in a JPEG's Exif.
constexpr const char* SourceLayoutTags[] = {
    "ImageWidth",      "ImageLength",  "BitsPerSample", "Compression",  "PhotometricInterpretation",
    "FillOrder",       "StripOffsets", "SamplesPerPixel", "RowsPerStrip", "StripByteCounts",
    "PlanarConfiguration", "Predictor", "TileWidth",   "TileLength",    "TileOffsets",
    "TileByteCounts",  "ExtraSamples", "SampleFormat",  "SubIFDs",      "NewSubfileType",
    "SubfileType",     "PageNumber",   "JPEGTables"};

bool IsSourceLayout(const Exiv2::Exifdatum& datum)
{
    return datum.groupName() == "Image" && std::any_of(std::begin(SourceLayoutTags), std::end(SourceLayoutTags),
                                                       [&](const char* name) { return datum.tagName() == name; });
}

// What the source carries, made true of the shrunk, upright, sRGB copy.
struct Metadata {
    Exiv2::ExifData exif;
    Exiv2::XmpData xmp;
    Exiv2::IptcData iptc;
    bool colourConverted = false;  // the source had an ICC profile: its pixels were turned to sRGB
    QStringList leftOut;           // too large for the JPEG

    bool Empty() const { return exif.empty() && xmp.empty() && iptc.empty(); }

    void MakeTrueOfCopy(QSize size, bool keepGps)
    {
        if (!exif.empty()) {
            Exiv2::ExifThumb(exif).erase();
            for (auto it = exif.begin(); it != exif.end();) {
                const bool gps = it->groupName() == "GPSInfo" || it->key() == "Exif.Image.GPSTag";
                it = (gps && !keepGps) || IsSourceLayout(*it) ? exif.erase(it) : std::next(it);
            }
            // Absent, Orientation means upright already; and an Exif IFD is
            // not made up just to hold the size (it would lack the tags one
            // must have).
            SetIfPresent<Exiv2::ExifKey>(exif, "Exif.Image.Orientation", static_cast<std::uint16_t>(1));
            // A JPEG's Exif must say where chroma samples sit; a TIFF's or
            // PNG's never does. Ours are centred, as JFIF has them.
            if (exif.findKey(Exiv2::ExifKey("Exif.Image.YCbCrPositioning")) == exif.end())
                exif["Exif.Image.YCbCrPositioning"] = static_cast<std::uint16_t>(1);
            if (std::any_of(exif.begin(), exif.end(), [](const Exiv2::Exifdatum& d) { return d.groupName() == "Photo"; })) {
                exif["Exif.Photo.PixelXDimension"] = static_cast<std::uint32_t>(size.width());
                exif["Exif.Photo.PixelYDimension"] = static_cast<std::uint32_t>(size.height());
            }
            if (colourConverted) {
                SetIfPresent<Exiv2::ExifKey>(exif, "Exif.Photo.ColorSpace", static_cast<std::uint16_t>(1));  // sRGB
                SetIfPresent<Exiv2::ExifKey>(exif, "Exif.Iop.InteroperabilityIndex", std::string("R98"));
            }
        }
        for (auto it = xmp.begin(); it != xmp.end();) {
            const std::string key = it->key();
            const bool drop = key.rfind("Xmp.xmp.Thumbnails", 0) == 0 || (!keepGps && IsGpsProperty(key)) ||
                              (colourConverted && key == "Xmp.photoshop.ICCProfile");
            it = drop ? xmp.erase(it) : std::next(it);
        }
        SetIfPresent<Exiv2::XmpKey>(xmp, "Xmp.tiff.Orientation", std::string("1"));
        SetIfPresent<Exiv2::XmpKey>(xmp, "Xmp.tiff.ImageWidth", std::to_string(size.width()));
        SetIfPresent<Exiv2::XmpKey>(xmp, "Xmp.tiff.ImageLength", std::to_string(size.height()));
        SetIfPresent<Exiv2::XmpKey>(xmp, "Xmp.exif.PixelXDimension", std::to_string(size.width()));
        SetIfPresent<Exiv2::XmpKey>(xmp, "Xmp.exif.PixelYDimension", std::to_string(size.height()));
        if (colourConverted)
            SetIfPresent<Exiv2::XmpKey>(xmp, "Xmp.exif.ColorSpace", std::string("1"));
    }
};

// What exiv2 writes into one JPEG segment of 65533 bytes: the Exif block
// behind "Exif\0\0", the XMP packet behind its namespace (29 bytes).
constexpr std::size_t MaxJpegExif = 65533 - 6;
constexpr std::size_t MaxJpegXmp = 65533 - 29;
// A PNG's metadata text, inflated, that exiv2 is given at most.
constexpr std::uint64_t MaxPngMetadata = 16 << 20;

using Bytes = std::vector<Exiv2::byte>;

std::uint32_t Big32(const Exiv2::byte* p)
{
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

std::uint32_t Little32(const Exiv2::byte* p)
{
    return std::uint32_t{p[3]} << 24 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0];
}

bool Is(const Exiv2::byte* p, const char* text)
{
    return std::memcmp(p, text, std::strlen(text)) == 0;
}

Bytes ReadBytes(std::ifstream& in, std::uint64_t at, std::uint64_t count)
{
    Bytes bytes(count);
    in.clear();
    if (!in.seekg(static_cast<std::streamoff>(at)) || !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count)))
        bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return bytes;
}

// Inflates zlib data, up to Cap bytes and one more.
Bytes Inflated(const Exiv2::byte* data, std::size_t size, std::uint64_t cap)
{
    Bytes out;
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return out;
    stream.next_in = const_cast<Exiv2::byte*>(data);
    stream.avail_in = static_cast<uInt>(size);
    int status = Z_OK;
    while (status == Z_OK && out.size() <= cap) {
        const std::size_t held = out.size();
        out.resize(held + 64 * 1024);
        stream.next_out = out.data() + held;
        stream.avail_out = 64 * 1024;
        status = inflate(&stream, Z_NO_FLUSH);
        out.resize(held + 64 * 1024 - stream.avail_out);
    }
    inflateEnd(&stream);
    return out;
}

void AppendPngChunk(Bytes& out, const char* type, const Bytes& data)
{
    const std::uint32_t length = static_cast<std::uint32_t>(data.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<Exiv2::byte>(length >> shift));
    const std::size_t typed = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc = crc32(0, out.data() + typed, static_cast<uInt>(out.size() - typed));
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<Exiv2::byte>(crc >> shift));
}

// A PNG's text chunk as exiv2 is given it: only what it takes metadata from
// (the keywords of Exif, IPTC and XMP), uncompressed, as exiv2 0.27 refuses
// to inflate more than 128 KB of a chunk. Nothing when it holds no metadata;
// Held counts the text so far, which is inflated no further than Cap in all
// allows.
void AppendPngText(Bytes& out, const Exiv2::byte* type, const Bytes& chunk, std::uint64_t cap, std::uint64_t& held)
{
    const Exiv2::byte* data = chunk.data() + 8;
    const std::size_t length = chunk.size() - 12;
    const void* nul = std::memchr(data, 0, length);
    if (!nul)
        return;
    const std::size_t keyword = static_cast<std::size_t>(static_cast<const Exiv2::byte*>(nul) - data);
    const std::string key(reinterpret_cast<const char*>(data), keyword);
    if (key.rfind("Raw profile type ", 0) != 0 && key != "XML:com.adobe.xmp")
        return;
    std::size_t from = keyword + 1;  // the text, or what comes before it
    Bytes text;
    if (Is(type, "tEXt")) {
        text.assign(data + from, data + length);
    } else if (Is(type, "zTXt")) {
        if (from + 1 < length)
            text = Inflated(data + from + 1, length - from - 1, cap - std::min(held, cap));
    } else {
        // iTXt: a flag and a method, a language and a translated keyword, then the text.
        if (from + 2 > length)
            return;
        const bool compressed = data[from] != 0;
        from += 2;
        for (int field = 0; field < 2; ++field) {
            const void* end = from < length ? std::memchr(data + from, 0, length - from) : nullptr;
            if (!end)
                return;
            from = static_cast<std::size_t>(static_cast<const Exiv2::byte*>(end) - data) + 1;
        }
        if (!compressed) {
            held += chunk.size();
            if (held <= cap)
                out.insert(out.end(), chunk.begin(), chunk.end());
            return;
        }
        text = Inflated(data + from, length - from, cap - std::min(held, cap));
    }
    held += text.size() + keyword;
    if (held > cap)
        return;
    Bytes plain(data, data + (Is(type, "iTXt") ? from : keyword + 1));
    if (Is(type, "iTXt"))
        plain[keyword + 1] = 0;  // not compressed
    plain.insert(plain.end(), text.begin(), text.end());
    AppendPngChunk(out, Is(type, "iTXt") ? "iTXt" : "tEXt", plain);
}

// The chunks of a PNG exiv2 reads metadata from (its header, Exif, the text
// that holds metadata, and its end), the text uncompressed up to
// MaxPngMetadata in all: exiv2 would inflate every text chunk, and 10,000
// of 1 MB each fit in a file of 10 MB. The text past the limit is left out.
// Whether the file has a colour profile is told apart.
Bytes PngMetadata(std::ifstream& in, std::uint64_t fileSize, bool& leftOut, bool& profile)
{
    Bytes out = ReadBytes(in, 0, 8);
    std::uint64_t held = 0;
    for (std::uint64_t at = 8; at + 12 <= fileSize;) {
        const Bytes head = ReadBytes(in, at, 8);
        if (head.size() < 8)
            break;
        const std::uint64_t length = Big32(head.data()) + std::uint64_t{12};
        if (length > fileSize - at)
            break;
        const Exiv2::byte* type = head.data() + 4;
        profile = profile || Is(type, "iCCP");
        const bool text = Is(type, "tEXt") || Is(type, "zTXt") || Is(type, "iTXt");
        if ((text && !leftOut) || Is(type, "IHDR") || Is(type, "eXIf")) {
            const Bytes chunk = ReadBytes(in, at, length);
            if (chunk.size() < length)
                break;
            if (text)
                AppendPngText(out, type, chunk, MaxPngMetadata, held);
            else
                out.insert(out.end(), chunk.begin(), chunk.end());
            leftOut = held > MaxPngMetadata;
        }
        at += length;
        if (Is(type, "IEND"))
            break;
    }
    AppendPngChunk(out, "IEND", {});
    return out;
}

// Whether a JPEG carries extended XMP (the part of a packet over one segment,
// in segments of its own), which exiv2 does not read.
bool HasExtendedXmp(std::ifstream& in, std::uint64_t fileSize)
{
    constexpr char Extension[] = "http://ns.adobe.com/xmp/extension/";
    for (std::uint64_t at = 2; at + 4 <= fileSize;) {
        const Bytes head = ReadBytes(in, at, 4 + sizeof Extension);
        if (head.size() < 4 || head[0] != 0xFF)
            return false;
        const Exiv2::byte marker = head[1];
        if (marker == 0xFF) {  // fill
            ++at;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9)
            return false;
        if (marker == 0xE1 && head.size() == 4 + sizeof Extension && std::memcmp(head.data() + 4, Extension, sizeof Extension) == 0)
            return true;
        at += 2 + (std::uint32_t{head[2]} << 8 | head[3]);
    }
    return false;
}

// Renames a box's colour profile in a HEIF container (its item properties).
void HideBmffProfile(Exiv2::byte* data, std::size_t size, int depth)
{
    for (std::size_t at = 0; at + 8 <= size && depth < 4;) {
        std::uint64_t box = Big32(data + at);
        std::size_t header = 8;
        if (box == 1 && at + 16 <= size) {
            box = std::uint64_t{Big32(data + at + 8)} << 32 | Big32(data + at + 12);
            header = 16;
        } else if (box == 0) {
            box = size - at;
        }
        if (box < header || box > size - at)
            return;
        Exiv2::byte* type = data + at + 4;
        if (Is(type, "meta") && box >= header + 4)
            HideBmffProfile(type + header, box - header - 4, depth + 1);  // after its version and flags
        else if (Is(type, "iprp") || Is(type, "ipco"))
            HideBmffProfile(type + header - 4, box - header, depth + 1);
        else if (Is(type, "colr") && box >= header + 4 && (Is(type + 4, "prof") || Is(type + 4, "rICC")))
            std::memcpy(type + 4, "none", 4);
        at += box;
    }
}

// The file as exiv2 reads it without its colour profile, which it refuses
// when damaged: the profile is no metadata, and the picture's reader passes
// over a damaged one. The profile's segment, chunk or box is renamed in a
// JPEG, WebP or HEIF file (a PNG's is not given to exiv2).
void HideColourProfile(Bytes& file)
{
    const std::size_t size = file.size();
    Exiv2::byte* data = file.data();
    if (size >= 4 && data[0] == 0xFF && data[1] == 0xD8) {
        for (std::size_t at = 2; at + 4 <= size && data[at] == 0xFF && data[at + 1] != 0xDA;) {
            if (data[at + 1] == 0xFF) {
                ++at;
                continue;
            }
            if (data[at + 1] == 0xE2 && at + 16 <= size && Is(data + at + 4, "ICC_PROFILE"))
                data[at + 4] = 'X';
            at += 2 + (std::size_t{data[at + 2]} << 8 | data[at + 3]);
        }
    } else if (size >= 12 && Is(data, "RIFF") && Is(data + 8, "WEBP")) {
        for (std::size_t at = 12; at + 8 <= size; at += std::size_t{Little32(data + at + 4)} + 8 + (data[at + 4] & 1))
            if (Is(data + at, "ICCP"))
                data[at] = 'X';
    } else if (size >= 12 && Is(data + 4, "ftyp")) {
        HideBmffProfile(data, size, 0);
    }
}

bool IsColourProfileError(const Exiv2::AnyError& error)
{
#if EXIV2_TEST_VERSION(0, 28, 0)
    return error.code() == Exiv2::ErrorCode::kerInvalidIccProfile;
#else
    return error.code() == Exiv2::kerInvalidIccProfile;
#endif
}

// A path as exiv2 opens it. On Windows its narrow names go through the ANSI
// code page, where a Japanese name is not found and the metadata would be
// silently missing: there, the UTF-16 name.
#if defined(_WIN32) && defined(EXV_UNICODE_PATH)
using ExivPath = std::wstring;
ExivPath ExivPathOf(const std::filesystem::path& path) { return path.wstring(); }
#else
using ExivPath = std::string;
ExivPath ExivPathOf(const std::filesystem::path& path) { return path.string(); }
#endif

// The source as exiv2 reads its metadata: the file itself, or the bytes
// given in its place (a PNG's metadata chunks, a file without its profile).
std::unique_ptr<Exiv2::Image> OpenSource(const ExivPath& path, const Bytes& bytes)
{
    auto image = bytes.empty() ? Exiv2::ImageFactory::open(path)
                               : Exiv2::ImageFactory::open(bytes.data(), static_cast<long>(bytes.size()));
    return std::unique_ptr<Exiv2::Image>(image.release());
}

// The source's metadata; nothing when exiv2 does not know the kind of file.
// What cannot be read fails: exiv2 passes over some of it without a word.
Metadata ReadMetadata(const std::filesystem::path& source, const ContainerExif& containerExif)
{
    Metadata m;
    const ExivPath path = ExivPathOf(source);
    // exiv2 takes a file it cannot open for one of a kind it does not know.
    std::ifstream in(source, std::ios::binary | std::ios::ate);
    if (!in)
        throw std::runtime_error("the file cannot be opened");
    const std::uint64_t fileSize = static_cast<std::uint64_t>(std::max<std::streamoff>(in.tellg(), 0));
    Bytes bytes;
#if defined(_WIN32)
    // exiv2 asks msvcrt for the size of a file it opened by name, which
    // refuses a name in the long form: such a file is read from memory.
    if (source.native().starts_with(L"\\\\?\\"))
        bytes = ReadBytes(in, 0, fileSize);
#endif
    const int type = bytes.empty() ? Exiv2::ImageFactory::getType(path)
                                   : Exiv2::ImageFactory::getType(bytes.data(), static_cast<long>(bytes.size()));
    if (type == Exiv2::ImageType::none)
        return m;
    bool textLeftOut = false;
    bool pngProfile = false;
    if (type == Exiv2::ImageType::png)
        bytes = PngMetadata(in, fileSize, textLeftOut, pngProfile);
    std::unique_ptr<Exiv2::Image> image = OpenSource(path, bytes);
    try {
        image->readMetadata();
    } catch (const Exiv2::AnyError& e) {
        if (!IsColourProfileError(e))
            throw;
        if (bytes.empty())
            bytes = ReadBytes(in, 0, fileSize);
        HideColourProfile(bytes);
        image = OpenSource(path, bytes);
        image->readMetadata();
    }
    m.exif = image->exifData();
    if (m.exif.empty() && containerExif) {
        const QByteArray exif = containerExif();
        if (!exif.isEmpty())
            Exiv2::ExifParser::decode(m.exif, reinterpret_cast<const Exiv2::byte*>(exif.constData()),
                                      static_cast<std::uint32_t>(exif.size()));
    }
    m.xmp = image->xmpData();
    if (m.xmp.empty() && !image->xmpPacket().empty()) {
        Exiv2::XmpData check;
        if (Exiv2::XmpParser::decode(check, image->xmpPacket()) != 0)
            throw std::runtime_error("the XMP packet cannot be read");
    }
    m.iptc = image->iptcData();
    m.colourConverted = image->iccProfileDefined() || pngProfile;
    if (textLeftOut)
        m.leftOut.append(QCoreApplication::translate("output", "16 MB を超える PNG のテキスト"));
    if (type == Exiv2::ImageType::jpeg && HasExtendedXmp(in, fileSize))
        m.leftOut.append(QCoreApplication::translate("output", "拡張 XMP"));
    return m;
}

// What does not fit is left out in units, each whole: a tag, all of the
// camera's maker note, an XMP property with what it holds.

// Leaves out the largest units until the encoded size fits Limit, in a few
// rounds each leaving out as much as the excess; the units left out are
// added to LeftOut. Everything goes when that does not make it fit.
template <typename Data, typename Size, typename UnitOf>
void Fit(Data& data, std::size_t limit, Size size, UnitOf unitOf, QStringList& leftOut)
{
    for (int round = 0; round <= 16; ++round) {
        const std::size_t now = size(data);
        if (now <= limit)
            return;
        std::map<std::string, std::size_t> sizes;
        for (const auto& datum : data)
            sizes[unitOf(datum)] += static_cast<std::size_t>(datum.size()) + datum.key().size();
        std::vector<std::pair<std::string, std::size_t>> units(sizes.begin(), sizes.end());
        std::stable_sort(units.begin(), units.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
        std::set<std::string> out;
        std::size_t freed = 0;
        for (const auto& [name, bytes] : units) {
            if (round == 16 || out.empty() || freed < now - limit) {
                out.insert(name);
                leftOut.append(QString::fromStdString(name));
                freed += bytes;
            }
        }
        for (auto it = data.begin(); it != data.end();)
            it = out.count(unitOf(*it)) ? data.erase(it) : std::next(it);
    }
}

std::size_t ExifSize(const Exiv2::ExifData& exif)
{
    Exiv2::Blob blob;
    Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, exif);
    return blob.size();
}

// The maker note is one unit: its tags are of one block.
bool InMakerNote(const Exiv2::Exifdatum& datum)
{
    return datum.groupName() == "MakerNote" || datum.key() == "Exif.Photo.MakerNote" ||
           Exiv2::ExifTags::isMakerGroup(datum.groupName());
}

std::string ExifUnitOf(const Exiv2::Exifdatum& datum)
{
    return InMakerNote(datum) ? std::string("Exif.Photo.MakerNote") : datum.key();
}

std::size_t XmpSize(const Exiv2::XmpData& xmp)
{
    std::string packet;
    Exiv2::XmpParser::encode(packet, xmp, Exiv2::XmpParser::useCompactFormat | Exiv2::XmpParser::omitAllFormatting);
    return packet.size();
}

// "Xmp.iptcExt.LocationCreated[1]/Iptc4xmpExt:City" is part of "Xmp.iptcExt.LocationCreated".
std::string XmpUnitOf(const Exiv2::Xmpdatum& datum)
{
    const std::string key = datum.key();
    return key.substr(0, key.find_first_of("[/"));
}

// What does not fit the JPEG is left out and named. exiv2 itself leaves out
// tags over 20 KB (4 KB unknown) when the Exif is over a segment, without a
// word: those it would leave out are named too (in the IFDs a JPEG's Exif
// holds, which also lose what is routinely not written).
void FitJpeg(Metadata& m)
{
    Fit(m.exif, MaxJpegExif, ExifSize, ExifUnitOf, m.leftOut);
    const bool large = std::any_of(m.exif.begin(), m.exif.end(), [](const Exiv2::Exifdatum& d) { return d.size() > 4096; });
    if (large) {
        Exiv2::Blob blob;
        Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, m.exif);
        Exiv2::ExifData written;
        Exiv2::ExifParser::decode(written, blob.data(), static_cast<std::uint32_t>(blob.size()));
        for (const Exiv2::Exifdatum& datum : m.exif) {
            const std::string group = datum.groupName();
            const bool kept = group == "Image" || group == "Photo" || group == "GPSInfo" || group == "Iop" || InMakerNote(datum);
            const QString name = QString::fromStdString(ExifUnitOf(datum));
            if (kept && datum.size() > 4096 && written.findKey(Exiv2::ExifKey(datum.key())) == written.end() &&
                !m.leftOut.contains(name))
                m.leftOut.append(name);
        }
    }
    Fit(m.xmp, MaxJpegXmp, XmpSize, XmpUnitOf, m.leftOut);
}

// Writes into an opened output image; it keeps its own comment and gets no ICC profile.
void WriteInto(Exiv2::Image& image, const Metadata& m)
{
    image.readMetadata();
    image.setExifData(m.exif);
    image.setXmpData(m.xmp);
    image.setIptcData(m.iptc);
    image.clearIccProfile();
    image.writeMetadata();
}

// Reads the source, then hands its metadata to write unless there is none.
template <typename WriteFunction>
MetadataResult Copy(const std::filesystem::path& source, const ContainerExif& containerExif, QSize outputSize, bool keepGps,
                    WriteFunction write)
{
    Metadata m;
    try {
        m = ReadMetadata(source, containerExif);
    } catch (const std::exception& e) {
        return {Failure(MetadataError::Step::ReadSource, e.what()), false, {}};
    } catch (...) {
        return {Failure(MetadataError::Step::ReadSource, ""), false, {}};
    }
    try {
        m.MakeTrueOfCopy(outputSize, keepGps);
        FitJpeg(m);
        if (m.Empty())  // none, or only a thumbnail or a position to drop
            return {std::nullopt, false, m.leftOut};
        write(m);
    } catch (const std::exception& e) {
        return {Failure(MetadataError::Step::WriteOutput, e.what()), false, {}};
    } catch (...) {
        return {Failure(MetadataError::Step::WriteOutput, ""), false, {}};
    }
    return {std::nullopt, true, m.leftOut};
}

}  // namespace

MetadataLibrary::MetadataLibrary()
{
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
#if !EXIV2_TEST_VERSION(0, 28, 0)
    Exiv2::enableBMFF(true);
#endif
    Exiv2::XmpParser::initialize(&MetadataLibrary::LockXmp, this);
}

MetadataLibrary::~MetadataLibrary()
{
    Exiv2::XmpParser::terminate();
}

void MetadataLibrary::LockXmp(void* library, bool lock)
{
    auto* self = static_cast<MetadataLibrary*>(library);
    if (lock)
        self->xmp_.lock();
    else
        self->xmp_.unlock();
}

MetadataWriter::MetadataWriter(const MetadataLibrary& /*set up, and outliving this writer*/) {}

MetadataResult MetadataWriter::Write(const std::filesystem::path& source, const std::filesystem::path& output,
                                     QSize outputSize, bool keepGps, const ContainerExif& containerExif) const
{
    return Copy(source, containerExif, outputSize, keepGps, [&](const Metadata& m) {
        auto image = Exiv2::ImageFactory::open(ExivPathOf(output));
        if (image->mimeType() != "image/jpeg")
            throw std::runtime_error("the output is not a JPEG file");
        WriteInto(*image, m);
    });
}

MetadataResult MetadataWriter::Write(const std::filesystem::path& source, std::vector<std::uint8_t>& output,
                                     QSize outputSize, bool keepGps, const ContainerExif& containerExif) const
{
    return Copy(source, containerExif, outputSize, keepGps, [&](const Metadata& m) {
        auto image = Exiv2::ImageFactory::open(output.data(), static_cast<long>(output.size()));
        if (image->mimeType() != "image/jpeg")
            throw std::runtime_error("the output is not a JPEG file");
        WriteInto(*image, m);
        Exiv2::BasicIo& io = image->io();
        if (io.open() != 0)
            throw std::runtime_error("the written file cannot be read back");
        const std::size_t size = io.size();
        std::vector<std::uint8_t> written(size);
        // read() counts in long before exiv2 0.28, in size_t from it.
        const bool complete = static_cast<std::size_t>(io.read(written.data(), size)) == size;
        io.close();
        if (!complete)
            throw std::runtime_error("the written file cannot be read back");
        output = std::move(written);
    });
}

SourceTime ReadModificationTime(const std::filesystem::path& source)
{
    SourceTime result;
    std::error_code error;
    // To the nanosecond (100 ns on Windows): the C++ library of MinGW reads
    // whole seconds only.
    const files::PathFacts facts = files::FactsOf(source, &error);
    result.Seconds = facts.Modified.Seconds;
    result.Nanoseconds = facts.Modified.Nanoseconds;
    if (error)
        result.Error = MetadataError{MetadataError::Step::ReadSource,
                                     QCoreApplication::translate("output", "元の画像の更新日時を付けられません。"),
                                     QString::fromLocal8Bit(error.message().c_str())};
    return result;
}

}  // namespace output
