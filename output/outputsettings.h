// What a run writes besides the pixels of the ratio: a size box in pixels in
// place of the ratio, the JPEG quality, the source's metadata and date, and a
// suffix for the names. One value, kept in the settings file under its own
// section, set in the options dialog or on zembrik-batch's command line. At
// its defaults a run writes exactly what it always has.
#pragma once

#include <QSettings>
#include <QSize>
#include <QString>
#include <QStringList>
#include <array>
#include <vector>

namespace output {

// Each side of the size box, as the encoder can write it.
inline constexpr int MinBoxSide = 1;
inline constexpr int MaxBoxSide = 65500;
inline constexpr int MinQuality = 1;
inline constexpr int MaxQuality = 100;

enum class SizeMode {
    Ratio,  // the toolbar's reduction ratio
    Box,    // fit inside Box, aspect kept, never enlarged
};

struct Settings {
    SizeMode Size = SizeMode::Ratio;
    QSize Box{1920, 1080};  // kept while the ratio is in force, for the next switch
    int Quality = 50;       // libjpeg's scale: 50 gives the tables Zembrik always wrote
    bool KeepMetadata = false;  // Exif, XMP and IPTC copied from the source
    bool KeepGps = false;       // only together with KeepMetadata
    bool KeepDate = false;      // the output's modification time is the source's
    QString Suffix;             // added to the base name: IMG_0012_small.jpg
    // A picture whose output exists and is not older than it is not read
    // again, but counted as up to date.
    bool SkipUpToDate = false;
    // More boxes after Box: each picture is read once and written at every
    // size, each size into a subfolder named WxH of the output folder.
    std::vector<QSize> MoreBoxes;
    // Each output the highest quality from 1 up to Quality whose file fits
    // in this many bytes; 0: no limit, Quality as it is.
    qint64 MaxBytes = 0;
    // zembrik-batch only, never stored: --quality was given, so the byte
    // limit searches up to Quality rather than MaxBytesQuality. The window
    // always has a quality, and it is always the bound.
    bool QualityGiven = false;

    bool GpsKept() const { return KeepMetadata && KeepGps; }
    bool operator==(const Settings&) const = default;
};

// The most boxes one run writes.
inline constexpr int MaxBoxes = 8;
// The quality a byte limit searches up to when none is given.
inline constexpr int MaxBytesQuality = 90;

// Box and MoreBoxes, in the order given.
std::vector<QSize> AllBoxes(const Settings& settings);

// The subfolder of a size in a run of several: "1920x1080".
QString BoxFolderName(QSize box);

// The subfolders of the run's sizes, each box's in order; empty when the run
// has one size, which goes into the output folder itself.
QStringList BoxFolderNames(const Settings& settings);

// The sizes the settings file and the dialog hold: Box and three more.
inline constexpr int MaxStoredBoxes = 4;
// The largest byte limit the settings file and the dialog hold, in KiB.
inline constexpr int MaxLimitKilobytes = 999'999;

// "1280x960", "1280X960" or "1280×960", each side from MinBoxSide to
// MaxBoxSide with nothing else around; an empty size when it is not that.
QSize ParseBox(const QString& text);

// The boxes the dialog offers.
inline constexpr std::array<QSize, 4> BoxPresets{QSize(640, 480), QSize(1280, 960), QSize(1920, 1080),
                                                 QSize(3840, 2160)};

// The section "Output" of a settings store. A value that is absent or not
// understood takes its default, a number out of range is clamped, a suffix a
// file name cannot hold is dropped, as is a further size that is not one or
// is given before.
Settings ReadSettings(QSettings& store);
void WriteSettings(QSettings& store, const Settings& settings);

// The size a picture of the given upright size is written at inside box:
// unchanged when it already fits; otherwise the side that binds lands exactly
// on the box and the other is scaled in integers, rounded to the nearest with
// halves to the even one (as the ratio rounds), and at least 1.
QSize FitInside(QSize picture, QSize box);

// The size rule of a box as the window words it, in the ratio box's tooltip
// and the run's question: "幅 1920 × 高さ 1080 ピクセル以内".
QString BoxText(QSize box);

// The characters of text that a file name cannot hold on this platform, each
// once in the order they appear; empty when the text may be part of a name.
// Control characters count as such everywhere.
QString ForbiddenNameCharacters(const QString& text);

// A character as a message can show it: control characters as U+0009.
QString VisibleCharacter(QChar c);

// The message that refuses a suffix with those characters.
QString ForbiddenSuffixText(const QString& forbidden);

}  // namespace output
