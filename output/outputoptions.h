// zembrik-batch's output options (--max-size WxH, --quality Q,
// --keep-metadata, --keep-gps, --keep-date, --suffix TEXT) read into the
// output settings, one argument at a time, so that any argument loop can
// offer them; a bad value is a usage problem to report, not an exception.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "output/outputsettings.h"

namespace Output {

// What the command line must report before it ends with ExitStatus.
struct UsageProblem {
    QString Message;  // one line, without the program's name
    int ExitStatus = 2;
};

struct OptionTaken {
    bool Taken = false;  // args[index] was an output option (and its value)
    std::optional<UsageProblem> Problem;
};

// Takes the output option at args[index] into settings: "--quality 80" (index
// then moves on to the value) or "--quality=80". Any other argument is left
// alone (Taken false). The last of a repeated option wins.
OptionTaken TakeOutputOption(const QStringList& args, qsizetype& index, Settings& settings);

// What the options say as a whole, once every argument is read:
// --keep-gps means nothing without --keep-metadata.
std::optional<UsageProblem> CheckOutputOptions(const Settings& settings);

// The options for the usage line and the lines of --help that explain them.
inline constexpr const char* OutputOptionsUsage =
    "[--max-size WxH] [--quality Q] [--keep-metadata [--keep-gps]] [--keep-date] [--suffix TEXT]";
inline constexpr const char* OutputOptionsHelp =
    "  --max-size WxH  fit each picture inside W x H pixels (1 to 65500 each),\n"
    "               aspect kept, never enlarged; -r is then not used\n"
    "  --quality Q  JPEG quality, 1 to 100 as libjpeg counts it (default 50)\n"
    "  --keep-metadata  copy the source's Exif, XMP and IPTC: upright, with the\n"
    "               new pixel size, without thumbnail and GPS position\n"
    "  --keep-gps   keep the GPS position too (with --keep-metadata)\n"
    "  --keep-date  give each output the source's modification time\n"
    "  --suffix TEXT  add TEXT to each output's base name (IMG_0012_small.jpg)\n";

}  // namespace Output
