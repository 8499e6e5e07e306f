// zembrik-batch's output options.
#include "output/outputoptions.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <algorithm>

namespace output {
namespace {

// A whole number from low to high, written plainly (no sign, no spaces).
std::optional<int> WholeNumber(const QString& text, int low, int high)
{
    static_assert(MaxBoxSide < 1'000'000);
    if (text.isEmpty() || text.size() > 6 || !std::all_of(text.cbegin(), text.cend(), [](QChar c) {
            return c >= QLatin1Char('0') && c <= QLatin1Char('9');
        }))
        return std::nullopt;
    const int value = text.toInt();
    return value >= low && value <= high ? std::optional<int>(value) : std::nullopt;
}

}  // namespace

OptionTaken Refuse(const QString& message)
{
    return {true, UsageProblem{message}};
}

OptionTaken RefuseValue(const QString& name)
{
    return Refuse(QCoreApplication::translate("output", "オプション '%1' には引数を付けられません").arg(name));
}

OptionTaken RefuseMissingValue(const QString& name)
{
    return Refuse(QCoreApplication::translate("output", "オプション '%1' には引数が必要です").arg(name));
}

std::optional<QString> TakeValue(const QStringList& args, qsizetype& index, qsizetype equals)
{
    if (equals >= 0)
        return args.at(index).mid(equals + 1);
    if (index + 1 >= args.size())
        return std::nullopt;
    return args.at(++index);
}

OptionTaken TakeOutputOption(const QStringList& args, qsizetype& index, Settings& settings)
{
    const QString& arg = args.at(index);
    const qsizetype equals = arg.indexOf(QLatin1Char('='));
    const QString name = equals < 0 ? arg : arg.left(equals);

    const bool flag = name == QLatin1String("--keep-metadata") || name == QLatin1String("--keep-gps") ||
                      name == QLatin1String("--keep-date");
    if (flag) {
        if (equals >= 0)
            return RefuseValue(name);
        if (name == QLatin1String("--keep-metadata"))
            settings.KeepMetadata = true;
        else if (name == QLatin1String("--keep-gps"))
            settings.KeepGps = true;
        else
            settings.KeepDate = true;
        return {true, std::nullopt};
    }
    if (name != QLatin1String("--max-size") && name != QLatin1String("--quality") && name != QLatin1String("--suffix") &&
        name != QLatin1String("--max-bytes"))
        return {};

    const std::optional<QString> given = TakeValue(args, index, equals);
    if (!given)
        return RefuseMissingValue(name);
    const QString& value = *given;

    if (name == QLatin1String("--max-size")) {
        const QStringList sides = value.split(QRegularExpression(QStringLiteral("[xX×]")));
        const std::optional<int> w = sides.size() == 2 ? WholeNumber(sides.at(0), MinBoxSide, MaxBoxSide) : std::nullopt;
        const std::optional<int> h = sides.size() == 2 ? WholeNumber(sides.at(1), MinBoxSide, MaxBoxSide) : std::nullopt;
        if (!w || !h)
            return Refuse(QCoreApplication::translate("output", "大きさが正しくありません: '%1'（幅x高さ、各辺 1〜65500。例: 1920x1080）")
                              .arg(value));
        const QSize box(*w, *h);
        if (settings.Size != SizeMode::Box) {
            settings.Size = SizeMode::Box;
            settings.Box = box;
        } else if (box != settings.Box &&
                   std::find(settings.MoreBoxes.begin(), settings.MoreBoxes.end(), box) == settings.MoreBoxes.end()) {
            // Each size once; the same size twice is written once.
            if (static_cast<int>(settings.MoreBoxes.size()) + 1 >= MaxBoxes)
                return Refuse(QCoreApplication::translate("output", "--max-size は %1 個まで指定できます").arg(MaxBoxes));
            settings.MoreBoxes.push_back(box);
        }
    } else if (name == QLatin1String("--max-bytes")) {
        // A number of bytes, or of KiB (K) or MiB (M).
        QString digits = value;
        qint64 unit = 1;
        if (digits.endsWith(QLatin1Char('K'), Qt::CaseInsensitive))
            unit = 1024;
        else if (digits.endsWith(QLatin1Char('M'), Qt::CaseInsensitive))
            unit = 1024 * 1024;
        if (unit > 1)
            digits.chop(1);
        const std::optional<int> count = WholeNumber(digits, 1, 999'999);
        if (!count)
            return Refuse(QCoreApplication::translate("output", "ファイルの大きさの上限が正しくありません: '%1'（バイト数。K、M も使えます。例: 500K）")
                              .arg(value));
        settings.MaxBytes = *count * unit;
    } else if (name == QLatin1String("--quality")) {
        const std::optional<int> q = WholeNumber(value, MinQuality, MaxQuality);
        if (!q)
            return Refuse(QCoreApplication::translate("output", "品質が正しくありません: '%1'（1〜100）").arg(value));
        settings.Quality = *q;
        settings.QualityGiven = true;
    } else {
        const QString forbidden = ForbiddenNameCharacters(value);
        if (!forbidden.isEmpty())
            return Refuse(QCoreApplication::translate("output", "末尾に付ける文字が正しくありません: ファイル名に '%1' は使えません")
                              .arg(VisibleCharacter(forbidden.at(0))));
        settings.Suffix = value;
    }
    return {true, std::nullopt};
}

std::optional<UsageProblem> CheckOutputOptions(const Settings& settings)
{
    if (settings.KeepGps && !settings.KeepMetadata)
        return UsageProblem{QCoreApplication::translate("output", "--keep-gps には --keep-metadata が必要です")};
    return std::nullopt;
}

Settings WithByteLimitQuality(Settings settings)
{
    if (settings.MaxBytes > 0 && !settings.QualityGiven)
        settings.Quality = MaxBytesQuality;
    return settings;
}

}  // namespace output
