// zembrik-batch's output options (--max-size WxH, --quality Q,
// --keep-metadata, --keep-gps, --keep-date, --suffix TEXT) read into the
// output settings, one argument at a time, so that any argument loop can
// offer them; a bad value is a usage problem to report, not an exception.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <optional>

#include "output/outputsettings.h"

namespace output {

// What the command line must report before it ends with ExitStatus.
struct UsageProblem {
    QString Message;  // one line, without the program's name, translated
    int ExitStatus = 2;
};

struct OptionTaken {
    bool Taken = false;  // args[index] was an output option (and its value)
    std::optional<UsageProblem> Problem;
};

// What every option's parser shares: a refusal with its usage message; those
// of an option given a value it does not take, or none when it needs one;
// and the value of the option at args[index], given as "NAME=VALUE" (equals
// is the position of '=') or as the next argument (index then moves on to
// it), none when the arguments end.
OptionTaken Refuse(const QString& message);
OptionTaken RefuseValue(const QString& name);
OptionTaken RefuseMissingValue(const QString& name);
std::optional<QString> TakeValue(const QStringList& args, qsizetype& index, qsizetype equals);

// Takes the output option at args[index] into settings: "--quality 80" (index
// then moves on to the value) or "--quality=80". Any other argument is left
// alone (Taken false). The last of a repeated option wins, except --max-size,
// whose sizes add up (at most MaxBoxes, the same size once).
OptionTaken TakeOutputOption(const QStringList& args, qsizetype& index, Settings& settings);

// What the options say as a whole, once every argument is read:
// --keep-gps means nothing without --keep-metadata.
std::optional<UsageProblem> CheckOutputOptions(const Settings& settings);

// The settings a run uses: with a byte limit and no --quality, the search
// goes up to MaxBytesQuality.
Settings WithByteLimitQuality(Settings settings);

// The lines of --help that explain the options, to be translated in the
// context "output".
inline constexpr const char* OutputOptionsHelp = QT_TRANSLATE_NOOP(
    "output",
    "  --max-size WxH  幅 W × 高さ H ピクセル（各辺 1〜65500）に収まるように\n"
    "               縮小します。縦横比はそのまま、拡大はしません。8 個まで\n"
    "               繰り返せます。そのときは各画像を 1 度だけ読んで、大きさ\n"
    "               ごとに OUTDIR/WxH/ の下へ書き出します（フォルダは必要に\n"
    "               応じて作ります）\n"
    "  --quality Q  JPEG の品質（libjpeg と同じ 1〜100。省略時は 50）\n"
    "  --max-bytes N  各出力を N バイト（500K、2M のように K = 1024、\n"
    "               M = 1024×1024 も使えます）以内にします。品質は 1 から\n"
    "               --quality（省略時は 90）までで収まる最も高いものです。\n"
    "               品質 1 でも収まらない画像は失敗とし、書き出しません\n"
    "  --keep-metadata  元の画像の撮影情報（Exif・XMP・IPTC）を残します。向きは\n"
    "               正立、大きさは出力のものにし、サムネイルと位置情報は除き\n"
    "               ます。撮影情報を読み込めない画像は失敗とします。JPEG に\n"
    "               収まらない撮影情報（セグメント 1 つを超える Exif、パケット\n"
    "               1 つを超える XMP）は、大きいものから省いて収まる分を残し、\n"
    "               省いたものをその画像の行に書きます。どの形式の画像でも同じ\n"
    "               です。カラープロファイルは撮影情報ではないため、画像を\n"
    "               読み込めるかどうかはこのオプションで変わりません\n"
    "  --keep-gps   位置情報（GPS）も残します（--keep-metadata と共に）\n"
    "  --keep-date  出力の更新日時を元の画像のものにします\n"
    "  --suffix TEXT  出力のベース名の末尾に TEXT を付けます\n"
    "               （IMG_0012.JPG から IMG_0012_small.jpg）\n");

}  // namespace output
