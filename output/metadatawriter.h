// Carries a photo's metadata over to its shrunk copy: the source's Exif, XMP
// and IPTC written into a finished output JPEG with exiv2, made true of the
// copy (upright, its own pixel size, no thumbnail, no ICC profile, no GPS
// position unless asked), and the source's modification time read for the
// output. Every failure comes back as a value.
#pragma once

#include <QByteArray>
#include <functional>
#include <QSize>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <vector>

namespace output {

// exiv2's process-wide set-up: its XMP toolkit initialised with a lock for
// the namespaces it registers (so several threads may read and write XMP at
// once), HEIF and AVIF sources enabled, its warnings kept off the terminal.
// Made once by the program's main() (or a test) before any thread copies
// metadata, and kept until the last copy is done; one at a time. The state is
// exiv2's own and process-wide by that library's design: this object only
// says when it is set up and gives the writers proof that it is.
class MetadataLibrary {
public:
    MetadataLibrary();
    ~MetadataLibrary();
    MetadataLibrary(const MetadataLibrary&) = delete;
    MetadataLibrary& operator=(const MetadataLibrary&) = delete;

private:
    static void LockXmp(void* library, bool lock);
    std::mutex xmp_;
};

struct MetadataError {
    enum class Step { ReadSource, WriteOutput };
    Step Failed = Step::WriteOutput;
    QString Description;  // for the user: "撮影情報を書き込めません。"
    QString Detail;       // exiv2's or the system's own words
};

struct MetadataResult {
    std::optional<MetadataError> Error;
    bool Copied = false;  // the source had metadata and the output now carries it
    // What was too large for the JPEG and was left out (Exif tags, XMP
    // properties, in the user's words where no key names them).
    QStringList LeftOut;
    bool Ok() const { return !Error; }
};

// The Exif block of the source's container (a HEIF's Exif item), asked only
// when exiv2 finds no Exif in the file itself: reading it opens the file again.
using ContainerExif = std::function<QByteArray()>;

class MetadataWriter {
public:
    // The library must outlive the writer.
    explicit MetadataWriter(const MetadataLibrary& library);

    // Writes the Exif, XMP and IPTC of source (a JPEG, or any picture exiv2
    // reads) into the JPEG output, whose pixels are upright and outputSize
    // large: Orientation 1, PixelXDimension and PixelYDimension outputSize
    // (where the source has an Exif IFD), the embedded thumbnail gone, GPS tags (Exif and XMP) gone unless keepGps, no
    // ICC profile (the output's pixels are sRGB, which the colour space tags
    // then say). A source without metadata, or of a kind exiv2 does not know,
    // leaves the output as it is and is no failure. Safe on several threads
    // at once, each with its own output. ContainerExif (from its TIFF header
    // on) stands in for the Exif exiv2 finds none of in the source: exiv2
    // reads only some of the layouts a HEIF container may give its Exif item.
    MetadataResult Write(const std::filesystem::path& source, const std::filesystem::path& output,
                         QSize outputSize, bool keepGps, const ContainerExif& containerExif = {}) const;
    // The same into a JPEG held in memory (a temporary without a name).
    MetadataResult Write(const std::filesystem::path& source, std::vector<std::uint8_t>& output,
                         QSize outputSize, bool keepGps, const ContainerExif& containerExif = {}) const;
};

// The modification time of source, for its output to be given (to the
// system's precision), or why it cannot be.
struct SourceTime {
    // Seconds since 1970 (UTC) and the nanoseconds within the second, apart:
    // one count of nanoseconds ends in 2262, file systems' times later.
    std::int64_t Seconds = 0;
    std::int32_t Nanoseconds = 0;
    std::optional<MetadataError> Error;
};
SourceTime ReadModificationTime(const std::filesystem::path& source);

}  // namespace output
