// Mounted volumes as drives.
#include "mainwin/drives.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#include <winnetwk.h>
#endif

namespace mainwin::drives {
namespace {

QString Clean(const QString& path)
{
    return QDir::cleanPath(QDir::fromNativeSeparators(path));
}

bool Holds(const QString& root, const QString& path)
{
    const QString r = Clean(root);
    const QString p = Clean(path);
#ifdef Q_OS_WIN
    const Qt::CaseSensitivity cs = Qt::CaseInsensitive;
#else
    const Qt::CaseSensitivity cs = Qt::CaseSensitive;
#endif
    if (p.compare(r, cs) == 0)
        return true;
    const QString prefix = r.endsWith(QLatin1Char('/')) ? r : r + QLatin1Char('/');
    return p.startsWith(prefix, cs);
}

}  // namespace

QStringList MountedRoots()
{
    QStringList roots;
#ifdef Q_OS_WIN
    // Not through QStorageInfo: a drive without its disc is listed too, and
    // only says it is not ready when it is chosen.
    const DWORD letters = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if (letters & (DWORD(1) << i))
            roots.append(QString(QLatin1Char(char('A' + i))) + QStringLiteral(":\\"));
    }
    return roots;
#endif
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString root = QDir::toNativeSeparators(volume.rootPath());
        // Containers bind single files (such as /etc/hosts) as volumes; those hold no folders.
        if (!volume.isValid() || !QFileInfo(volume.rootPath()).isDir() || roots.contains(root))
            continue;
        roots.append(root);
    }
    const QString system = QDir::toNativeSeparators(QDir::rootPath());
    roots.removeAll(system);
    roots.prepend(system);
    return roots;
}

QString DriveText(const QString& root)
{
#ifdef Q_OS_WIN
    const std::wstring native = root.toStdWString();
    // A drive without its medium is not asked: Windows would show an error
    // box for it.
    const UINT before = SetErrorMode(SEM_FAILCRITICALERRORS);
    QString label;
    const UINT type = GetDriveTypeW(native.c_str());
    if (type == DRIVE_REMOTE) {
        wchar_t share[MAX_PATH + 1];
        DWORD size = MAX_PATH;
        const std::wstring letter = root.left(2).toStdWString();
        if (WNetGetConnectionW(letter.c_str(), share, &size) == NO_ERROR)
            label = QString::fromWCharArray(share);
    } else if (type == DRIVE_FIXED || type == DRIVE_RAMDISK ||
               ((type == DRIVE_REMOVABLE || type == DRIVE_CDROM) && QStorageInfo(root).isReady())) {
        wchar_t name[MAX_PATH + 1];
        if (GetVolumeInformationW(native.c_str(), name, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0))
            label = QString::fromWCharArray(name);
    }
    SetErrorMode(before);
    const QString letter = root.left(2).toLower();
    return label.isEmpty() ? letter : letter + QStringLiteral(" [") + label + QLatin1Char(']');
#else
    return root;
#endif
}

QString RootOf(const QString& path, const QStringList& roots)
{
    if (path.isEmpty() || QDir::isRelativePath(path))
        return {};
    QString best;
    for (const QString& root : roots) {
        if (Holds(root, path) && (best.isEmpty() || Clean(root).size() > Clean(best).size()))
            best = root;
    }
    return best;
}

QString NotReadyReason(const QString& root)
{
    const QStorageInfo volume(root);
    if (!volume.isValid() || !volume.isReady() || !QFileInfo(root).isDir())
        return QCoreApplication::translate("mainwin::drives", "デバイスの準備ができていません。");
    if (!QFileInfo(root).isReadable())
        return QCoreApplication::translate("mainwin::drives", "パスにアクセスできません。");
    return {};
}

}  // namespace mainwin::drives
