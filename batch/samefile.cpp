// The same-file rule of a run.
#include "batch/samefile.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

#include "base/paths.h"

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace batch {
namespace {

// A file by its device and inode; none when there is no file (or, with
// follow false, a link). Elsewhere the canonical folders of the entries do
// the work: Windows resolves short names and letter case in them.
QString Identity(const QString& path, bool follow)
{
#ifdef Q_OS_UNIX
    const std::optional<QByteArray> name = base::ToFsName(path);
    struct stat status {};
    if (!name || (follow ? ::stat(name->constData(), &status) : ::lstat(name->constData(), &status)) != 0 ||
        S_ISLNK(status.st_mode))
        return {};
    return QStringLiteral("i:%1:%2").arg(status.st_dev).arg(status.st_ino);
#else
    Q_UNUSED(path);
    Q_UNUSED(follow);
    return {};
#endif
}

void AddIdentity(QStringList& keys, const QString& path, bool follow)
{
    const QString identity = Identity(path, follow);
    if (!identity.isEmpty())
        keys.append(identity);
}

}  // namespace

QString FileKeys::Entry(const QString& path)
{
    const QFileInfo info(path);
    const QString written = info.absolutePath();
    auto folder = folders_.constFind(written);
    if (folder == folders_.cend()) {
        // Links resolved, so that two ways to one folder meet.
        const QString canonical = QFileInfo(written).canonicalFilePath();
        folder = folders_.insert(written, canonical.isEmpty() ? QDir::cleanPath(written) : canonical);
    }
    const QString key = QStringLiteral("e:") + *folder + QLatin1Char('/') + info.fileName();
    // The whole path: where names ignore case, so do the folders' spellings.
    return nameCase_ == NameCase::Insensitive ? key.toCaseFolded() : key;
}

QStringList FileKeys::Written(const QString& path)
{
    QStringList keys{Entry(path)};
    AddIdentity(keys, path, false);
    return keys;
}

QStringList FileKeys::Read(const QString& path)
{
    QStringList keys;
    QString at = path;
    // As many links as the system follows before it gives up.
    for (int hop = 0; hop < 40; ++hop) {
        keys.append(Entry(at));
        const QFileInfo info(at);
        if (!info.isSymLink())
            break;
        at = info.symLinkTarget();
    }
    AddIdentity(keys, path, true);
    return keys;
}

bool FileKeys::Replaces(const QString& output, const QString& source)
{
    const QStringList read = Read(source);
    const QStringList written = Written(output);
    return std::any_of(written.cbegin(), written.cend(), [&read](const QString& key) { return read.contains(key); });
}

}  // namespace batch
