// PendingJpeg writes the file beside the target (unnamed, or under a
// temporary name) as the rows are encoded and puts it in place of the target
// only once it is complete and on disk. The encoding runs on any thread; the
// commit (the rename) where the caller puts files in place. Every failure
// becomes a JpegResult.
#include "files/pendingjpeg.h"

#include <new>
#include <string_view>

#include "files/outputfile.h"

namespace files {

namespace {

// Names refused before any file is touched. Elsewhere the file system itself
// refuses what it cannot hold ("*" and "?" are ordinary characters on Linux).
bool IsBadFileName(const std::filesystem::path& name)
{
    std::basic_string_view<std::filesystem::path::value_type> text = name.native();
    if (text.empty() || name.filename().empty())
        return true;
#if defined(_WIN32)
    if (text.starts_with(L"\\\\?\\"))
        text.remove_prefix(4);  // the long form's own "?"
#endif
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

jpeg::JpegResult PendingJpeg::Start(const std::filesystem::path& target, std::int32_t width, std::int32_t height,
                              std::int32_t quality)
{
    Discard();
    if (IsBadFileName(target))
        return jpeg::JpegResult::BadFileName;
    try {
        auto file = std::make_unique<OutputFile>();
        jpeg::JpegResult result = file->Create(target);
        if (result != jpeg::JpegResult::Ok)
            return result;
        auto writer = std::make_unique<jpeg::JpegWriter>();
        result = writer->Start(*file, width, height, quality);
        if (result != jpeg::JpegResult::Ok)
            return result;  // the file is removed by its destructor
        file_ = std::move(file);
        writer_ = std::move(writer);
        return jpeg::JpegResult::Ok;
    } catch (const std::bad_alloc&) {
        return jpeg::JpegResult::OutOfMemory;
    } catch (...) {
        return jpeg::JpegResult::Unexpected;
    }
}

std::uint32_t* PendingJpeg::NextRow()
{
    return writer_ ? writer_->NextRow() : nullptr;
}

jpeg::JpegResult PendingJpeg::RowDone()
{
    return writer_ ? writer_->RowDone() : jpeg::JpegResult::Unexpected;
}

jpeg::JpegResult PendingJpeg::PutRows(const jpeg::PixelRows& rows)
{
    return writer_ ? writer_->PutRows(rows) : jpeg::JpegResult::Unexpected;
}

jpeg::JpegResult PendingJpeg::Finish(const Finishing& finishing)
{
    if (!writer_)
        return jpeg::JpegResult::Unexpected;
    jpeg::JpegResult result = writer_->Finish();
    writer_.reset();
    try {
        if (result == jpeg::JpegResult::Ok && finishing.Edit)
            result = file_->Rewrite(finishing.Edit);
    } catch (const std::bad_alloc&) {
        result = jpeg::JpegResult::OutOfMemory;
    } catch (...) {
        result = jpeg::JpegResult::Unexpected;
    }
    if (result == jpeg::JpegResult::Ok && finishing.ModificationTime)
        file_->SetModificationTime(*finishing.ModificationTime);
    if (result == jpeg::JpegResult::Ok)
        result = file_->Finish();
    if (result != jpeg::JpegResult::Ok)
        file_.reset();  // removes the temporary
    return result;
}

jpeg::JpegResult PendingJpeg::Commit()
{
    if (!Pending())
        return jpeg::JpegResult::Unexpected;
    const jpeg::JpegResult result = file_->Commit();
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

}  // namespace files
