// The metadata writer over exiv2.
#include <QCoreApplication>

#include "output/metadatawriter.h"

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>

namespace Output {
namespace {

MetadataError Failure(MetadataError::Step step, const char* detail)
{
    return {step,
            step == MetadataError::Step::ReadSource ? QCoreApplication::translate("Output", "元の画像の撮影情報を読み込めません。")
                                                    : QCoreApplication::translate("Output", "撮影情報を書き込めません。"),
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

// The source's metadata; nothing when exiv2 does not know the kind of file.
Metadata ReadMetadata(const std::filesystem::path& source, const ContainerExif& containerExif)
{
    Metadata m;
    const std::string path = source.string();
    // exiv2 takes a file it cannot open for one of a kind it does not know.
    if (!std::ifstream(source, std::ios::binary))
        throw std::runtime_error("the file cannot be opened");
    if (Exiv2::ImageFactory::getType(path) == Exiv2::ImageType::none)
        return m;
    auto image = Exiv2::ImageFactory::open(path);
    image->readMetadata();
    m.exif = image->exifData();
    if (m.exif.empty() && containerExif) {
        const QByteArray exif = containerExif();
        if (!exif.isEmpty())
            Exiv2::ExifParser::decode(m.exif, reinterpret_cast<const Exiv2::byte*>(exif.constData()),
                                      static_cast<std::uint32_t>(exif.size()));
    }
    m.xmp = image->xmpData();
    m.iptc = image->iptcData();
    m.colourConverted = image->iccProfileDefined();
    return m;
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
        return {Failure(MetadataError::Step::ReadSource, e.what())};
    } catch (...) {
        return {Failure(MetadataError::Step::ReadSource, "")};
    }
    try {
        m.MakeTrueOfCopy(outputSize, keepGps);
        if (m.Empty())  // none, or only a thumbnail or a position to drop
            return {};
        write(m);
    } catch (const std::exception& e) {
        return {Failure(MetadataError::Step::WriteOutput, e.what())};
    } catch (...) {
        return {Failure(MetadataError::Step::WriteOutput, "")};
    }
    return {std::nullopt, true};
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
        auto image = Exiv2::ImageFactory::open(output.string());
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
    result.Time = std::filesystem::last_write_time(source, error);
    if (error)
        result.Error = MetadataError{MetadataError::Step::ReadSource,
                                     QCoreApplication::translate("Output", "元の画像の更新日時を付けられません。"),
                                     QString::fromLocal8Bit(error.message().c_str())};
    return result;
}

}  // namespace Output
