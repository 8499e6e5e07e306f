// Opening picture files: checked before the open, opened so that the open
// cannot wait, checked again on the open descriptor (the name may have been
// swapped in between), then read through that descriptor only.
#include "pictures/picturefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "base/paths.h"

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace pictures {

PictureError PictureFileError(PictureErrorNumber number, const QString& message, const QString& path)
{
    return PictureError{number, message + QStringLiteral(" (") + QDir::toNativeSeparators(path) + QLatin1Char(')')};
}

namespace {

OpenedPictureFile Refused(PictureErrorNumber number, const QString& message, const QString& path)
{
    OpenedPictureFile result;
    result.Error = PictureFileError(number, message, path);
    return result;
}

OpenedPictureFile NotFound(const QString& path)
{
    return Refused(PictureErrorNumber::FileNotFound, QCoreApplication::translate("pictures", "ファイルが見つかりません。"), path);
}

OpenedPictureFile CannotOpen(const QString& path)
{
    return Refused(PictureErrorNumber::InvalidPicture, QCoreApplication::translate("pictures", "画像ファイルを開けません。"), path);
}

// A folder given as a picture (on the command line, or a file that became one).
OpenedPictureFile IsFolder(const QString& path)
{
    return Refused(PictureErrorNumber::InvalidPicture, QCoreApplication::translate("pictures", "画像ではなくフォルダです。"), path);
}

#ifdef Q_OS_UNIX
// A name this system cannot name a file with: it is not that the file is missing.
OpenedPictureFile NameUnreadable(const QString& path)
{
    return Refused(PictureErrorNumber::FileNotFound, QCoreApplication::translate("pictures", "ファイル名を読み取れません。"), path);
}
#endif

}  // namespace

OpenedPictureFile OpenPictureFile(const QString& path)
{
    if (path.isEmpty())
        return NotFound(path);
#ifdef Q_OS_UNIX
    const std::optional<QByteArray> encoded = base::ToFsName(path);
    if (!encoded)
        return NameUnreadable(path);
    const QByteArray& name = *encoded;
    struct stat status {};
    if (::stat(name.constData(), &status) != 0)
        return errno == ENOENT || errno == ENOTDIR ? NotFound(path) : CannotOpen(path);
    if (S_ISDIR(status.st_mode))
        return IsFolder(path);
    if (!S_ISREG(status.st_mode))
        return CannotOpen(path);
    // O_NONBLOCK: should a pipe have taken the name since, the open returns
    // at once instead of waiting for a writer; the check below then refuses it.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? NotFound(path) : CannotOpen(path);
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return CannotOpen(path);
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags != -1)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return CannotOpen(path);
    }
#else
    const QFileInfo info(path);
    if (!info.exists())
        return NotFound(path);
    if (info.isDir())
        return IsFolder(path);
    if (!info.isFile())
        return CannotOpen(path);
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly))
        return CannotOpen(path);
#endif
    OpenedPictureFile result;
    result.File = std::move(file);
    return result;
}

}  // namespace pictures
