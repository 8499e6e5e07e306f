// PendingJpeg writes the file beside the target (unnamed, or under a
// temporary name) as the rows are encoded and puts it in place of the target
// only once it is complete and on disk. The encoding runs on any thread; the
// commit (the rename) where the caller puts files in place. Every failure
// becomes a JpegResult.
#include "files/pendingjpeg.h"

#include <new>

#include "files/outputfile.h"

namespace ModuleJPEG {

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
        auto file = std::make_unique<OutputFile>();
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

JpegResult PendingJpeg::Finish(const Finishing& finishing)
{
    if (!writer_)
        return JpegResult::Unexpected;
    JpegResult result = writer_->Finish();
    writer_.reset();
    try {
        if (result == JpegResult::Ok && finishing.Edit)
            result = file_->Rewrite(finishing.Edit);
    } catch (const std::bad_alloc&) {
        result = JpegResult::OutOfMemory;
    } catch (...) {
        result = JpegResult::Unexpected;
    }
    if (result == JpegResult::Ok && finishing.ModificationTime)
        file_->SetModificationTime(*finishing.ModificationTime);
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

}  // namespace ModuleJPEG
