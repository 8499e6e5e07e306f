// The output file of a save: unnamed (Linux) or under a temporary name while
// it is written, renamed over the target once complete (keeping the target's
// permissions) and on disk, the folder synced after a run's last file, and
// every failure of the file system turned into a JpegResult.
#include "files/outputfile.h"

#include <cerrno>
#include <chrono>
#include <random>
#include <system_error>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace files {
namespace {

jpeg::JpegResult FromErrno(int error)
{
    switch (error) {
    case ENOMEM: return jpeg::JpegResult::OutOfMemory;
    case ENOSPC:
#if defined(EDQUOT)
    case EDQUOT:
#endif
    case EFBIG: return jpeg::JpegResult::DiskFull;
    case EACCES:
    case EPERM:
    case EROFS:
    case EBUSY:
    case ETXTBSY: return jpeg::JpegResult::PermissionDenied;
    case ENOENT:
    case ENOTDIR:
    case ENODEV:
    case ENXIO:
    case EIO: return jpeg::JpegResult::DeviceUnavailable;
    case ENAMETOOLONG:
    case EINVAL:
    case EISDIR:
    case EILSEQ:
    case EEXIST: return jpeg::JpegResult::BadFileName;
    case EXDEV: return jpeg::JpegResult::OtherDevice;
    default: return jpeg::JpegResult::Unexpected;
    }
}

#if !defined(_WIN32)
jpeg::JpegResult FromErrorCode(const std::error_code& error)
{
    if (error.category() == std::generic_category() || error.category() == std::system_category()) {
        const std::error_condition condition = error.default_error_condition();
        if (condition.category() == std::generic_category())
            return FromErrno(condition.value());
    }
    return jpeg::JpegResult::Unexpected;
}
#endif

#if defined(_WIN32)
jpeg::JpegResult FromWindowsError(DWORD error)
{
    switch (error) {
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return jpeg::JpegResult::OutOfMemory;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_FILE_TOO_LARGE: return jpeg::JpegResult::DiskFull;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_UNABLE_TO_REMOVE_REPLACED: return jpeg::JpegResult::PermissionDenied;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_NOT_READY:
    case ERROR_BAD_NETPATH:
    case ERROR_NETNAME_DELETED:
    case ERROR_DEV_NOT_EXIST: return jpeg::JpegResult::DeviceUnavailable;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE: return jpeg::JpegResult::BadFileName;
    case ERROR_NOT_SAME_DEVICE: return jpeg::JpegResult::OtherDevice;
    default: return jpeg::JpegResult::Unexpected;
    }
}
#endif

#if defined(_WIN32)
// Whether Windows removes the file when its last handle closes, the process
// killed or not.
bool SetRemovedOnClose(HANDLE file, bool removed)
{
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = removed ? TRUE : FALSE;
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
}

HANDLE HandleOf(std::FILE* file)
{
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
}
#endif

// A new file, readable too so that a finished file can be edited; none when
// the name is taken. On Windows it is marked to be removed when closed, so
// that a process killed (a console closed, the task ended) leaves no
// temporary behind, as Linux's unnamed files do not.
std::optional<jpeg::JpegResult> OpenExclusive(const std::filesystem::path& path, std::FILE*& file, bool& removedOnClose)
{
#if defined(_WIN32)
    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
            return std::nullopt;
        return FromWindowsError(error);
    }
    // A file system that cannot mark it gets the temporary named as before.
    removedOnClose = SetRemovedOnClose(handle, true);
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
    file = fd < 0 ? nullptr : _fdopen(fd, "w+b");
    if (!file) {
        fd < 0 ? CloseHandle(handle) : _close(fd);
        if (!removedOnClose)
            DeleteFileW(path.c_str());
        return jpeg::JpegResult::OutOfMemory;
    }
    return jpeg::JpegResult::Ok;
#else
    removedOnClose = false;
    file = std::fopen(path.c_str(), "w+bx");
    if (file)
        return jpeg::JpegResult::Ok;
    if (errno == EEXIST)
        return std::nullopt;
    return FromErrno(errno);
#endif
}

bool Truncate(std::FILE* file, std::uint64_t size)
{
#if defined(_WIN32)
    return _chsize_s(_fileno(file), static_cast<__int64>(size)) == 0;
#else
    return ::ftruncate(fileno(file), static_cast<off_t>(size)) == 0;
#endif
}

#if defined(_WIN32)
// Through the Windows call, to 100 ns: the C++ library of MinGW sets whole
// seconds only.
bool SetTime(HANDLE file, FileTime time)
{
    const std::int64_t ticks = (time.Seconds + 11644473600LL) * 10000000LL + time.Nanoseconds / 100;
    FILETIME written;
    written.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFF);
    written.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(ticks) >> 32);
    return file != INVALID_HANDLE_VALUE && SetFileTime(file, nullptr, nullptr, &written);
}
#else
bool SetTime(int fd, FileTime time)
{
    const timespec times[2] = {
        {0, UTIME_OMIT},  // the access time stays
        {static_cast<time_t>(time.Seconds), static_cast<long>(time.Nanoseconds)},
    };
    return ::futimens(fd, times) == 0;
}
#endif

// Short and of fixed length, hidden, with an extension no image list shows;
// Make is tried with new names while it finds the name taken (nothing).
template <typename Make>
jpeg::JpegResult TryNames(const std::filesystem::path& folder, std::filesystem::path& made, Make make)
{
    std::random_device entropy;
    std::mt19937 random(entropy());
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, ".zembrik-%08x.tmp", static_cast<unsigned>(random()));
        const std::filesystem::path temp = folder.empty() ? std::filesystem::path(name) : folder / name;
        errno = 0;
        const std::optional<jpeg::JpegResult> result = make(temp);
        if (!result)
            continue;
        if (*result == jpeg::JpegResult::Ok)
            made = temp;
        return *result;
    }
    return jpeg::JpegResult::Unexpected;
}

#if !defined(_WIN32)
// A file put in place of another keeps the other's permission bits and,
// where the system allows it, its group, rather than getting those of a new
// file. Nothing to keep when the target does not exist or is no file.
void TakeOverPermissions(const std::filesystem::path& file, const std::filesystem::path& target)
{
    struct stat old;
    if (::stat(target.c_str(), &old) != 0 || !S_ISREG(old.st_mode))
        return;
    // The group first, as a change of group may clear mode bits. Refused
    // unless we may give the file that group: it then keeps ours.
    [[maybe_unused]] const int grouped = ::chown(file.c_str(), static_cast<uid_t>(-1), old.st_gid);
    ::chmod(file.c_str(), old.st_mode & 0777);
}
#endif

#if defined(O_TMPFILE)
// Gives an unnamed file a name; through /proc, or, where /proc is missing, by
// its descriptor (which needs a privilege).
bool Link(int fd, const std::filesystem::path& name)
{
    char self[40];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    return ::linkat(AT_FDCWD, self, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
           ::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0;
}
#endif

}  // namespace

OutputFile::~OutputFile()
{
    Discard();
}

jpeg::JpegResult OutputFile::Create(const std::filesystem::path& target)
{
    Discard();
    target_ = target;
    written_ = 0;
    const std::filesystem::path folder = target.parent_path();
#if defined(O_TMPFILE)
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd >= 0) {
        file_ = ::fdopen(fd, "w+b");
        if (!file_) {
            ::close(fd);
            return jpeg::JpegResult::OutOfMemory;
        }
        unnamed_ = true;
        return jpeg::JpegResult::Ok;
    }
    // A file system (or kernel) without unnamed files: a named temporary.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        return FromErrno(errno);
#endif
    return CreateNamed(folder);
}

jpeg::JpegResult OutputFile::CreateNamed(const std::filesystem::path& folder)
{
    return TryNames(folder, temp_,
                    [this](const std::filesystem::path& temp) { return OpenExclusive(temp, file_, removedOnClose_); });
}

jpeg::JpegResult OutputFile::Put(const std::uint8_t* data, std::size_t size)
{
    errno = 0;
    if (std::fwrite(data, 1, size, file_) != size)
        return errno ? FromErrno(errno) : jpeg::JpegResult::Unexpected;
    written_ += size;
    return jpeg::JpegResult::Ok;
}

jpeg::JpegResult OutputFile::Rewrite(const std::function<jpeg::JpegResult(std::vector<std::uint8_t>&)>& edit)
{
    if (!file_ || written_ > SIZE_MAX)
        return jpeg::JpegResult::Unexpected;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(written_));
    errno = 0;
    if (std::fflush(file_) != 0 || std::fseek(file_, 0, SEEK_SET) != 0 ||
        std::fread(bytes.data(), 1, bytes.size(), file_) != bytes.size())
        return errno ? FromErrno(errno) : jpeg::JpegResult::Unexpected;
    const jpeg::JpegResult edited = edit(bytes);
    if (edited != jpeg::JpegResult::Ok)
        return edited;
    errno = 0;
    if (std::fseek(file_, 0, SEEK_SET) != 0 || std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size() ||
        std::fflush(file_) != 0 || !Truncate(file_, bytes.size()))
        return errno ? FromErrno(errno) : jpeg::JpegResult::Unexpected;
    written_ = bytes.size();
    return jpeg::JpegResult::Ok;
}

jpeg::JpegResult OutputFile::Finish()
{
    if (!file_)
        return temp_.empty() ? jpeg::JpegResult::Unexpected : jpeg::JpegResult::Ok;
    errno = 0;
    if (std::fflush(file_) != 0)
        return errno ? FromErrno(errno) : jpeg::JpegResult::Unexpected;
    // Once the bytes are final: nothing written later moves it.
#if defined(_WIN32)
    if (time_ && !SetTime(HandleOf(file_), *time_))
        return FromWindowsError(GetLastError());
#else
    if (time_ && !SetTime(fileno(file_), *time_))
        return FromErrno(errno);
#endif
    time_.reset();
    // The data reaches the disk before the file takes the target's name.
#if defined(_WIN32)
    if (_commit(_fileno(file_)) != 0)
#elif defined(__APPLE__)
    if (fsync(fileno(file_)) != 0 && errno != EINVAL)
#else
    if (fdatasync(fileno(file_)) != 0 && errno != EINVAL)
#endif
        return FromErrno(errno);
    if (unnamed_ || removedOnClose_)
        return jpeg::JpegResult::Ok;  // closing it would lose it
    const int closed = std::fclose(file_);
    file_ = nullptr;
    if (closed != 0)
        return errno ? FromErrno(errno) : jpeg::JpegResult::Unexpected;
    return jpeg::JpegResult::Ok;
}

// An unnamed file gets a temporary name beside the target; a name cannot
// replace an existing file, a rename can.
jpeg::JpegResult OutputFile::Name()
{
#if defined(O_TMPFILE)
    const int fd = fileno(file_);
    const jpeg::JpegResult named =
        TryNames(target_.parent_path(), temp_, [fd](const std::filesystem::path& temp) -> std::optional<jpeg::JpegResult> {
            if (Link(fd, temp))
                return jpeg::JpegResult::Ok;
            if (errno == EEXIST)
                return std::nullopt;
            return FromErrno(errno);
        });
    if (named != jpeg::JpegResult::Ok)
        return named;
    std::fclose(file_);
    file_ = nullptr;
    unnamed_ = false;
#endif
    return jpeg::JpegResult::Ok;
}

jpeg::JpegResult OutputFile::Commit()
{
    jpeg::JpegResult result = Finish();
    if (result == jpeg::JpegResult::Ok && unnamed_)
        result = Name();
    if (result != jpeg::JpegResult::Ok)
        return result;
#if defined(_WIN32)
    if (removedOnClose_) {
        if (!SetRemovedOnClose(HandleOf(file_), false))
            return FromWindowsError(GetLastError());
        removedOnClose_ = false;
        const int closed = std::fclose(file_);
        file_ = nullptr;
        if (closed != 0)
            return errno ? FromErrno(errno) : jpeg::JpegResult::Unexpected;
    }
    // An existing file is replaced by ReplaceFileW, which gives the new file
    // the old one's attributes, security and creation time (what the
    // permission bits are on Linux); a new name by a move written through to
    // the disk. Either leaves the old file or the new one, never half.
    const DWORD existing = GetFileAttributesW(target_.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY))
        return jpeg::JpegResult::FolderInTheWay;
    BOOL moved = FALSE;
    if (existing != INVALID_FILE_ATTRIBUTES)
        moved = ReplaceFileW(target_.c_str(), temp_.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr);
    if (!moved && (existing == INVALID_FILE_ATTRIBUTES || GetLastError() == ERROR_FILE_NOT_FOUND))
        moved = MoveFileExW(temp_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!moved)
        return FromWindowsError(GetLastError());
#else
    TakeOverPermissions(temp_, target_);
    std::error_code error;
    std::filesystem::rename(temp_, target_, error);
    if (error) {
        std::error_code ignored;
        return std::filesystem::is_directory(target_, ignored) ? jpeg::JpegResult::FolderInTheWay : FromErrorCode(error);
    }
#endif
    temp_.clear();
    return jpeg::JpegResult::Ok;
}

void OutputFile::Discard()
{
    // Closing it removed it: the name may be another's by now.
    [[maybe_unused]] const bool removed = file_ && removedOnClose_;
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    unnamed_ = false;
    removedOnClose_ = false;
    if (!temp_.empty()) {
#if defined(_WIN32)
        // (The C++ library's remove asks msvcrt first, which refuses long names.)
        if (!removed)
            DeleteFileW(temp_.c_str());
#else
        std::error_code ignored;
        std::filesystem::remove(temp_, ignored);
#endif
        temp_.clear();
    }
}

jpeg::JpegResult SyncFolder([[maybe_unused]] const std::filesystem::path& folder)
{
#if defined(_WIN32)
    return jpeg::JpegResult::Ok;  // NTFS journals the renames itself
#else
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return FromErrno(errno);
    const int synced = ::fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
    ::close(fd);
    return synced == 0 ? jpeg::JpegResult::Ok : FromErrno(synced);
#endif
}

}  // namespace files
