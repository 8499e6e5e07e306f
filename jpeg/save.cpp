// The encoder's file API: PendingJpeg writes the file under a temporary name
// in the target's folder as the rows are encoded and renames it over the
// target only once it is complete and on disk, so a failed save never
// destroys the file it would have replaced (which may be the user's original
// photo). The encoding runs on any thread; the commit (the rename) where the
// caller puts files in place. Every failure becomes a JpegResult.
#include <cerrno>
#include <cstdio>
#include <random>
#include <system_error>

#include "jpeg/internal/encoder.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ModuleJPEG {

// --- The output file ----------------------------------------------------------

namespace {

JpegResult FromErrno(int error)
{
    switch (error) {
    case ENOMEM: return JpegResult::OutOfMemory;
    case ENOSPC:
#if defined(EDQUOT)
    case EDQUOT:
#endif
    case EFBIG: return JpegResult::DiskFull;
    case EACCES:
    case EPERM:
    case EROFS:
    case EBUSY:
    case ETXTBSY: return JpegResult::PermissionDenied;
    case ENOENT:
    case ENOTDIR:
    case ENODEV:
    case ENXIO:
    case EIO: return JpegResult::DeviceUnavailable;
    case ENAMETOOLONG:
    case EINVAL:
    case EISDIR:
    case EILSEQ:
    case EEXIST: return JpegResult::BadFileName;
    default: return JpegResult::Unexpected;
    }
}

JpegResult FromErrorCode(const std::error_code& error)
{
    if (error.category() == std::generic_category() || error.category() == std::system_category()) {
        const std::error_condition condition = error.default_error_condition();
        if (condition.category() == std::generic_category())
            return FromErrno(condition.value());
    }
    return JpegResult::Unexpected;
}

// A file put in place of another keeps the other's permission bits and,
// where the system allows it, its group, rather than getting those of a new
// file. Nothing to keep when the target does not exist or is no file.
void TakeOverPermissions([[maybe_unused]] const std::filesystem::path& file,
                         [[maybe_unused]] const std::filesystem::path& target)
{
#if !defined(_WIN32)
    struct stat old;
    if (::stat(target.c_str(), &old) != 0 || !S_ISREG(old.st_mode))
        return;
    // The group first, as a change of group may clear mode bits. Refused
    // unless we may give the file that group: it then keeps ours.
    [[maybe_unused]] const int grouped = ::chown(file.c_str(), static_cast<uid_t>(-1), old.st_gid);
    ::chmod(file.c_str(), old.st_mode & 0777);
#endif
}

std::FILE* OpenExclusive(const std::filesystem::path& path)
{
#if defined(_WIN32)
    return _wfopen(path.c_str(), L"wbx");
#else
    return std::fopen(path.c_str(), "wbx");
#endif
}

}  // namespace

// A file written under a temporary name in the target's folder and renamed
// over the target on Commit; removed again if it is not committed. Only a
// file this object created is ever removed.
class PendingJpeg::File final : public ByteSink {
public:
    ~File() override { Discard(); }

    JpegResult Create(const std::filesystem::path& target)
    {
        Discard();
        target_ = target;
        written_ = 0;
        const std::filesystem::path folder = target.parent_path();
        std::random_device entropy;
        std::mt19937 random(entropy());
        for (int attempt = 0; attempt < 100; ++attempt) {
            // Short and of fixed length, hidden, with an extension no image
            // list shows.
            char name[32];
            std::snprintf(name, sizeof name, ".zembrik-%08x.tmp", static_cast<unsigned>(random()));
            const std::filesystem::path temp = folder.empty() ? std::filesystem::path(name) : folder / name;
            errno = 0;
            file_ = OpenExclusive(temp);
            if (file_) {
                temp_ = temp;
                return JpegResult::Ok;
            }
            if (errno != EEXIST)
                return FromErrno(errno);
        }
        return JpegResult::Unexpected;
    }

    JpegResult Put(const std::uint8_t* data, std::size_t size) override
    {
        errno = 0;
        if (std::fwrite(data, 1, size, file_) != size)
            return errno ? FromErrno(errno) : JpegResult::Unexpected;
        written_ += size;
        return JpegResult::Ok;
    }

    // Makes the data durable and closes the file.
    JpegResult Finish()
    {
        if (!file_)
            return temp_.empty() ? JpegResult::Unexpected : JpegResult::Ok;
        errno = 0;
        if (std::fflush(file_) != 0)
            return errno ? FromErrno(errno) : JpegResult::Unexpected;
        // The data reaches the disk before the file takes the target's name.
#if defined(_WIN32)
        if (_commit(_fileno(file_)) != 0)
#elif defined(__APPLE__)
        if (fsync(fileno(file_)) != 0 && errno != EINVAL)
#else
        if (fdatasync(fileno(file_)) != 0 && errno != EINVAL)
#endif
            return FromErrno(errno);
        const int closed = std::fclose(file_);
        file_ = nullptr;
        if (closed != 0)
            return errno ? FromErrno(errno) : JpegResult::Unexpected;
        return JpegResult::Ok;
    }

    // Puts the finished file in place of the target.
    JpegResult Commit()
    {
        const JpegResult finished = Finish();
        if (finished != JpegResult::Ok)
            return finished;
        TakeOverPermissions(temp_, target_);
        std::error_code error;
        std::filesystem::rename(temp_, target_, error);
        if (error)
            return FromErrorCode(error);
        temp_.clear();
        return JpegResult::Ok;
    }

    std::uint64_t Written() const { return written_; }

    void Discard()
    {
        if (file_) {
            std::fclose(file_);
            file_ = nullptr;
        }
        if (!temp_.empty()) {
            std::error_code ignored;
            std::filesystem::remove(temp_, ignored);
            temp_.clear();
        }
    }

private:
    std::filesystem::path target_;
    std::filesystem::path temp_;  // set only once this object has created it
    std::FILE* file_ = nullptr;
    std::uint64_t written_ = 0;
};

namespace {

// Names refused before any file is touched. Elsewhere the file system itself
// refuses what it cannot hold ("*" and "?" are ordinary characters on Linux).
bool IsBadFileName(const std::filesystem::path& name)
{
    const auto& text = name.native();
    if (text.empty() || name.filename().empty())
        return true;
    for (const auto c : text) {
        if (c == 0)
            return true;  // would silently cut the name short
#if defined(_WIN32)
        if (c == '*' || c == '?')
            return true;
#endif
    }
    return false;
}

}  // namespace

// --- PendingJpeg ----------------------------------------------------------------

PendingJpeg::PendingJpeg() = default;
PendingJpeg::~PendingJpeg() = default;
PendingJpeg::PendingJpeg(PendingJpeg&& other) noexcept = default;
PendingJpeg& PendingJpeg::operator=(PendingJpeg&& other) noexcept = default;

JpegResult PendingJpeg::Start(const std::filesystem::path& target, std::int32_t width, std::int32_t height,
                              std::int32_t quality)
{
    Discard();
    if (IsBadFileName(target))
        return JpegResult::BadFileName;
    try {
        auto file = std::make_unique<File>();
        JpegResult result = file->Create(target);
        if (result != JpegResult::Ok)
            return result;
        auto writer = std::make_unique<JpegWriter>();
        result = writer->Start(*file, width, height, quality);
        if (result != JpegResult::Ok)
            return result;  // the file is removed by its destructor
        file_ = std::move(file);
        writer_ = std::move(writer);
        return JpegResult::Ok;
    } catch (const std::bad_alloc&) {
        return JpegResult::OutOfMemory;
    } catch (...) {
        return JpegResult::Unexpected;
    }
}

std::uint32_t* PendingJpeg::NextRow()
{
    return writer_ ? writer_->NextRow() : nullptr;
}

JpegResult PendingJpeg::RowDone()
{
    return writer_ ? writer_->RowDone() : JpegResult::Unexpected;
}

JpegResult PendingJpeg::PutRows(const PixelRows& rows)
{
    return writer_ ? writer_->PutRows(rows) : JpegResult::Unexpected;
}

JpegResult PendingJpeg::Finish()
{
    if (!writer_)
        return JpegResult::Unexpected;
    JpegResult result = writer_->Finish();
    writer_.reset();
    if (result == JpegResult::Ok)
        result = file_->Finish();
    if (result != JpegResult::Ok)
        file_.reset();  // removes the temporary
    return result;
}

JpegResult PendingJpeg::Commit()
{
    if (!Pending())
        return JpegResult::Unexpected;
    const JpegResult result = file_->Commit();
    file_.reset();
    return result;
}

void PendingJpeg::Discard()
{
    writer_.reset();
    file_.reset();
}

bool PendingJpeg::Pending() const
{
    // A file is kept without its writer only once Finish has completed it.
    return file_ != nullptr && writer_ == nullptr;
}

std::uint64_t PendingJpeg::Size() const
{
    return Pending() ? file_->Written() : 0;
}

JpegResult SyncFolder([[maybe_unused]] const std::filesystem::path& folder)
{
#if defined(_WIN32)
    return JpegResult::Ok;  // NTFS journals the renames itself
#else
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return FromErrno(errno);
    const int synced = ::fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
    ::close(fd);
    return synced == 0 ? JpegResult::Ok : FromErrno(synced);
#endif
}

}  // namespace ModuleJPEG
