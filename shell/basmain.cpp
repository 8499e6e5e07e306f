// Program-wide values and path helpers.
#include "shell/basmain.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

namespace basMain {

qint16 ViewerCount = 0;
QString HelpFilePath;
QString InfoFileName;
QString InfoFilePath;
qint32 InfoWidth = 0;
qint32 InfoHeight = 0;

void InitProgramValues()
{
    ViewerCount = 0;
    HelpFilePath = HelpFileIn(AppFolder());
}

QString HelpFileIn(const QString& appFolder)
{
    const QString name = QStringLiteral("Kolvane.html");
    const QString beside = JoinPath(appFolder, name);
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

QString Separator()
{
    return QString(QDir::separator());
}

QString JoinPath(const QString& folder, const QString& name)
{
    return folder + Separator() + name;
}

void SplitFileName(QString FileName, QString& Extension, QString& BaseName)
{
    Extension.clear();
    BaseName.clear();
    const qsizetype dot = FileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0) {
        // Only blanks are trimmed, as the name may legitimately hold other spaces.
        qsizetype begin = 0;
        qsizetype end = FileName.size();
        while (begin < end && FileName.at(begin) == QLatin1Char(' ')) ++begin;
        while (end > begin && FileName.at(end - 1) == QLatin1Char(' ')) --end;
        BaseName = FileName.mid(begin, end - begin);
        return;
    }
    Extension = FileName.mid(dot);
    BaseName = FileName.left(dot);
}

std::filesystem::path ToFsPath(const QString& path)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    const QByteArray encoded = QFile::encodeName(path);
    return std::filesystem::path(std::string(encoded.constData(), static_cast<std::size_t>(encoded.size())));
#endif
}

}  // namespace basMain
