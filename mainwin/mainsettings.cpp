// Persisted settings of the main window.
#include "mainwin/mainsettings.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSettings>
#include <QStandardPaths>
#include <algorithm>
#include <cmath>

namespace mainwin::settings {
namespace {

std::optional<double> ReadNumber(QSettings& store, const QString& key, double fallback)
{
    const QVariant value = store.value(key);
    if (!value.isValid())
        return fallback;
    const std::optional<double> number = ParseNumber(value.toString());
    if (!number)
        return std::nullopt;
    // Stored as single precision, so read back as one; no screen is 10^8
    // twips wide, and pixels from that much still add up within an int.
    return std::clamp(static_cast<double>(static_cast<float>(*number)), -1e8, 1e8);
}

// Whole twips: a window's rectangle is whole pixels (and so twips), and
// single precision's text would be 2.51658e+08 for larger numbers.
QString NumberText(double value)
{
    return QString::number(std::llround(std::clamp(value, -1e15, 1e15)));
}

}  // namespace

std::optional<double> ParseNumber(const QString& text)
{
    bool ok = false;
    double value = QLocale().toDouble(text.trimmed(), &ok);
    if (!ok)
        value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

Loaded Load(const base::SettingsStore& settings, const QString& fallbackFolder)
{
    QSettings store = settings.Open();
    Loaded loaded;
    loaded.Left = ReadNumber(store, QStringLiteral("Settings/MainLeft"), 1000);
    loaded.Top = ReadNumber(store, QStringLiteral("Settings/MainTop"), 1000);
    loaded.Width = ReadNumber(store, QStringLiteral("Settings/MainWidth"), 6500);
    loaded.Height = ReadNumber(store, QStringLiteral("Settings/MainHeight"), 6500);
    loaded.Splitter = ReadNumber(store, QStringLiteral("Splitter/Splitter"), 2000);
    const QString path = store.value(QStringLiteral("Path/Path"), fallbackFolder).toString();
    // A file of the stored name, or a folder that may not be read, is no folder to list either.
    const QFileInfo info(path);
    loaded.Path = !path.isEmpty() && info.isDir() && info.isReadable() && info.isExecutable() ? path : fallbackFolder;
    loaded.Output = output::ReadSettings(store);
    return loaded;
}

QString FirstFolder()
{
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    return QDir::toNativeSeparators(!pictures.isEmpty() && QFileInfo(pictures).isDir() ? pictures
                                                                                       : QDir::homePath());
}

QRect OntoScreen(const QRect& wanted, const QRect& available)
{
    const int width = std::min(wanted.width(), available.width());
    const int height = std::min(wanted.height(), available.height());
    const auto within = [](int at, int low, int length, int room) {
        return static_cast<int>(std::clamp<qint64>(at, low, qint64{low} + room - length));
    };
    return QRect(within(wanted.x(), available.x(), width, available.width()),
                 within(wanted.y(), available.y(), height, available.height()), width, height);
}

Placement PlaceOnScreens(const QRect& wanted, const QList<QRect>& screens, const QRect& primary)
{
    const auto shared = [&](const QRect& screen) {
        const QRect common = screen.intersected(wanted);
        return qint64{common.width()} * common.height();
    };
    const auto most = std::max_element(screens.begin(), screens.end(),
                                       [&](const QRect& a, const QRect& b) { return shared(a) < shared(b); });
    if (most == screens.end())
        return {wanted, false};
    const bool onScreen = shared(*most) > 0;
    return {OntoScreen(wanted, onScreen ? *most : primary), onScreen};
}

void Save(const base::SettingsStore& settings, const std::optional<WindowRect>& rect, double splitter,
          const QString& path)
{
    QSettings store = settings.Open();
    if (rect) {
        if (rect->Left)
            store.setValue(QStringLiteral("Settings/MainLeft"), NumberText(*rect->Left));
        if (rect->Top)
            store.setValue(QStringLiteral("Settings/MainTop"), NumberText(*rect->Top));
        store.setValue(QStringLiteral("Settings/MainWidth"), NumberText(rect->Width));
        store.setValue(QStringLiteral("Settings/MainHeight"), NumberText(rect->Height));
    }
    store.setValue(QStringLiteral("Splitter/Splitter"), NumberText(splitter));
    store.setValue(QStringLiteral("Path/Path"), path);
    store.sync();
}

void SaveOutput(const base::SettingsStore& settings, const output::Settings& output)
{
    QSettings store = settings.Open();
    output::WriteSettings(store, output);
    store.sync();
}

}  // namespace mainwin::settings
