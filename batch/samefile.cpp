// The same-file rule of a run.
#include "batch/samefile.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

#include "base/paths.h"

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#elif defined(Q_OS_WIN)
#include <windows.h>
#endif

namespace batch {
namespace {

// A file by its device and inode (on Windows its volume and file index);
// none when there is no file (or, with follow false, a link).
QString Identity(const QString& path, bool follow)
{
#ifdef Q_OS_UNIX
    const std::optional<QByteArray> name = base::ToFsName(path);
    struct stat status {};
    if (!name || (follow ? ::stat(name->constData(), &status) : ::lstat(name->constData(), &status)) != 0 ||
        S_ISLNK(status.st_mode))
        return {};
    return QStringLiteral("i:%1:%2").arg(status.st_dev).arg(status.st_ino);
#elif defined(Q_OS_WIN)
    // The volume's serial number and the file's index: one for every name of
    // a file, whatever its letter case, short name or hard link.
    const std::filesystem::path name = base::ToFsPath(path);
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    const HANDLE file = CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(file, &info) && !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    CloseHandle(file);
    if (!known)
        return {};
    const quint64 index = (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return QStringLiteral("i:%1:%2").arg(info.dwVolumeSerialNumber).arg(index);
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
