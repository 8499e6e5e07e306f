// Persisted settings of the main window.
#include "mainwin/mainsettings.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSettings>
#include <QStandardPaths>
#include <cmath>

#include "base/settings.h"

namespace frmMainSettings {
namespace {

std::optional<double> ReadNumber(QSettings& store, const QString& key, double fallback)
{
    const QVariant value = store.value(key);
    if (!value.isValid())
        return fallback;
    const std::optional<double> number = ParseNumber(value.toString());
    if (!number)
        return std::nullopt;
    // Stored as single precision, so read back as one.
    return static_cast<double>(static_cast<float>(*number));
}

QString NumberText(double value)
{
    return QString::number(static_cast<float>(value));
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

Loaded Load(const QString& fallbackFolder)
{
    QSettings store = basMain::SettingsStore();
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
    loaded.Output = Output::ReadSettings(store);
    return loaded;
}

QString FirstFolder()
{
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    return QDir::toNativeSeparators(!pictures.isEmpty() && QFileInfo(pictures).isDir() ? pictures
                                                                                       : QDir::homePath());
}

void Save(const std::optional<WindowRect>& rect, double splitter, const QString& path)
{
    QSettings store = basMain::SettingsStore();
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

void SaveOutput(const Output::Settings& output)
{
    QSettings store = basMain::SettingsStore();
    Output::WriteSettings(store, output);
    store.sync();
}

}  // namespace frmMainSettings
