// The output settings: their section of the settings file, the size box
// arithmetic and the characters a name suffix may not hold.
#include "output/outputsettings.h"

#include <QCoreApplication>
#include <QStringList>
#include <QVariant>
#include <algorithm>

namespace output {
namespace {

constexpr QLatin1String SizeKey("Output/Size");
constexpr QLatin1String BoxWidthKey("Output/BoxWidth");
constexpr QLatin1String BoxHeightKey("Output/BoxHeight");
constexpr QLatin1String QualityKey("Output/Quality");
constexpr QLatin1String KeepMetadataKey("Output/KeepMetadata");
constexpr QLatin1String KeepGpsKey("Output/KeepGps");
constexpr QLatin1String KeepDateKey("Output/KeepDate");
constexpr QLatin1String SuffixKey("Output/Suffix");
constexpr QLatin1String SkipUpToDateKey("Output/SkipUpToDate");
constexpr QLatin1String MoreBoxesKey("Output/MoreBoxes");
constexpr QLatin1String MaxKilobytesKey("Output/MaxKilobytes");

int ReadInt(QSettings& store, QLatin1String key, int fallback, int low, int high)
{
    bool ok = false;
    const int value = store.value(key).toString().trimmed().toInt(&ok);
    return ok ? std::clamp(value, low, high) : fallback;
}

bool ReadBool(QSettings& store, QLatin1String key, bool fallback)
{
    const QString text = store.value(key).toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    return fallback;
}

// numerator / denominator to the nearest, halves to the even one; both positive.
qint64 RoundedQuotient(qint64 numerator, qint64 denominator)
{
    qint64 quotient = numerator / denominator;
    const qint64 twice = 2 * (numerator % denominator);
    if (twice > denominator || (twice == denominator && quotient % 2 != 0))
        ++quotient;
    return quotient;
}

bool IsControl(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7F;
}

bool Forbidden(QChar c)
{
    if (IsControl(c))
        return true;
#if defined(Q_OS_WIN)
    return QStringLiteral("<>:\"/\\|?*").contains(c);
#else
    return c == QLatin1Char('/');
#endif
}

}  // namespace

Settings ReadSettings(QSettings& store)
{
    const Settings defaults;
    Settings s;
    const QString size = store.value(SizeKey).toString().trimmed();
    s.Size = size.compare(QLatin1String("Box"), Qt::CaseInsensitive) == 0 ? SizeMode::Box : SizeMode::Ratio;
    s.Box = QSize(ReadInt(store, BoxWidthKey, defaults.Box.width(), MinBoxSide, MaxBoxSide),
                  ReadInt(store, BoxHeightKey, defaults.Box.height(), MinBoxSide, MaxBoxSide));
    s.Quality = ReadInt(store, QualityKey, defaults.Quality, MinQuality, MaxQuality);
    s.KeepMetadata = ReadBool(store, KeepMetadataKey, defaults.KeepMetadata);
    s.KeepGps = ReadBool(store, KeepGpsKey, defaults.KeepGps);
    s.KeepDate = ReadBool(store, KeepDateKey, defaults.KeepDate);
    const QString suffix = store.value(SuffixKey).toString();
    s.Suffix = ForbiddenNameCharacters(suffix).isEmpty() ? suffix : QString();
    s.SkipUpToDate = ReadBool(store, SkipUpToDateKey, defaults.SkipUpToDate);
    // Written by Zembrik the list is one quoted string; typed into the file
    // without quotes, QSettings reads it as a list of strings.
    const QVariant moreBoxes = store.value(MoreBoxesKey);
    const QString moreText = moreBoxes.typeId() == QMetaType::QStringList
                                 ? moreBoxes.toStringList().join(QLatin1Char(','))
                                 : moreBoxes.toString();
    for (const QString& text : moreText.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QSize box = ParseBox(text.trimmed());
        const std::vector<QSize> known = AllBoxes(s);
        if (!box.isEmpty() && std::find(known.begin(), known.end(), box) == known.end() &&
            static_cast<int>(known.size()) < MaxStoredBoxes)
            s.MoreBoxes.push_back(box);
    }
    s.MaxBytes = qint64(ReadInt(store, MaxKilobytesKey, 0, 0, MaxLimitKilobytes)) * 1024;
    return s;
}

void WriteSettings(QSettings& store, const Settings& s)
{
    store.setValue(SizeKey, s.Size == SizeMode::Box ? QStringLiteral("Box") : QStringLiteral("Ratio"));
    store.setValue(BoxWidthKey, QString::number(s.Box.width()));
    store.setValue(BoxHeightKey, QString::number(s.Box.height()));
    store.setValue(QualityKey, QString::number(s.Quality));
    store.setValue(KeepMetadataKey, s.KeepMetadata);
    store.setValue(KeepGpsKey, s.KeepGps);
    store.setValue(KeepDateKey, s.KeepDate);
    store.setValue(SuffixKey, s.Suffix);
    // Written only when on: the file of someone who never turns it on stays
    // as earlier versions wrote it.
    if (s.SkipUpToDate)
        store.setValue(SkipUpToDateKey, true);
    else
        store.remove(SkipUpToDateKey);
    // These two likewise only when in use.
    QStringList more;
    for (const QSize box : s.MoreBoxes)
        more << BoxFolderName(box);
    if (!more.isEmpty())
        store.setValue(MoreBoxesKey, more.join(QLatin1Char(',')));
    else
        store.remove(MoreBoxesKey);
    if (s.MaxBytes > 0)
        store.setValue(MaxKilobytesKey, QString::number((s.MaxBytes + 1023) / 1024));
    else
        store.remove(MaxKilobytesKey);
}

QSize FitInside(QSize picture, QSize box)
{
    const qint64 w = picture.width(), h = picture.height();
    const qint64 boxW = std::max(box.width(), 1), boxH = std::max(box.height(), 1);
    if (w <= 0 || h <= 0 || (w <= boxW && h <= boxH))
        return picture;
    // Cross-multiplied, so that a picture of exactly the box's aspect lands
    // on both sides with no rounding at all.
    if (w * boxH >= h * boxW)
        return QSize(int(boxW), int(std::clamp<qint64>(RoundedQuotient(h * boxW, w), 1, boxH)));
    return QSize(int(std::clamp<qint64>(RoundedQuotient(w * boxH, h), 1, boxW)), int(boxH));
}

QString BoxText(QSize box)
{
    return QCoreApplication::translate("output", "幅 %1 × 高さ %2 ピクセル以内").arg(box.width()).arg(box.height());
}

QString ForbiddenNameCharacters(const QString& text)
{
    QString found;
    for (const QChar c : text)
        if (Forbidden(c) && !found.contains(c))
            found.append(c);
    return found;
}

std::vector<QSize> AllBoxes(const Settings& settings)
{
    std::vector<QSize> boxes{settings.Box};
    boxes.insert(boxes.end(), settings.MoreBoxes.begin(), settings.MoreBoxes.end());
    return boxes;
}

QString BoxFolderName(QSize box)
{
    return QString::number(box.width()) + QLatin1Char('x') + QString::number(box.height());
}

QStringList BoxFolderNames(const Settings& settings)
{
    QStringList names;
    if (settings.Size == SizeMode::Box && !settings.MoreBoxes.empty())
        for (const QSize box : AllBoxes(settings))
            names << BoxFolderName(box);
    return names;
}

QSize ParseBox(const QString& text)
{
    const qsizetype by = std::find_if(text.cbegin(), text.cend(), [](QChar c) {
                             return c == QLatin1Char('x') || c == QLatin1Char('X') || c == QChar(0x00D7);
                         }) - text.cbegin();
    const auto side = [](QStringView digits) {
        const bool plain = !digits.isEmpty() && digits.size() <= 5 &&
                           std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.isDigit() && c.unicode() < 0x80; });
        const int value = plain ? digits.toInt() : 0;
        return value >= MinBoxSide && value <= MaxBoxSide ? value : 0;
    };
    const int w = side(QStringView(text).left(by)), h = by < text.size() ? side(QStringView(text).mid(by + 1)) : 0;
    return w > 0 && h > 0 ? QSize(w, h) : QSize();
}

QString VisibleCharacter(QChar c)
{
    return IsControl(c) ? QStringLiteral("U+%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper() : QString(c);
}

QString ForbiddenSuffixText(const QString& forbidden)
{
    QStringList shown;
    for (const QChar c : forbidden)
        shown << VisibleCharacter(c);
    return QCoreApplication::translate("output", "ファイル名に使えない文字（%1）が含まれています。").arg(shown.join(QLatin1Char(' ')));
}

}  // namespace output
