// Program-wide values of the window program.
#include "shell/program.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>

namespace shell {

ProgramState InitProgramValues(const QString& helpFileName)
{
    return {0, HelpFileIn(AppFolder(), helpFileName)};
}

QString HelpFileIn(const QString& appFolder, const QString& name)
{
    const QString beside = base::JoinPath(appFolder, name);
    if (QFileInfo::exists(beside))
        return beside;
    const QString installed = QDir::cleanPath(QDir::fromNativeSeparators(appFolder) + QLatin1Char('/') +
                                              QStringLiteral(ZEMBRIK_INSTALLED_DATA_DIR) + QLatin1Char('/') + name);
    return QFileInfo::exists(installed) ? QDir::toNativeSeparators(installed) : beside;
}

QString AppFolder()
{
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

bool WindowPositionsKnown()
{
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

}  // namespace shell
