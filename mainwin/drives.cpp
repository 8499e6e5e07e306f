// Mounted volumes as drives.
#include "mainwin/drives.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

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
