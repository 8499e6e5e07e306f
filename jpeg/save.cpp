// The encoder's file entries. SaveJpeg guards against a nested save, takes a
// snapshot of the surface, writes the file beside the target (unnamed, or
// under a temporary name) and puts it in place of the target only once it is
// complete, so a failed save never destroys the file it would have replaced
// (which may be the user's original photo). PendingJpeg splits the same into
// an encode that any thread may run and a commit (the rename). Every failure
// becomes a JpegResult.
#include "jpeg/internal/encoder.h"
#include "jpeg/internal/outfile.h"

namespace ModuleJPEG {

// --- Surfaces -----------------------------------------------------------------

namespace {

class VectorSnapshot final : public Snapshot {
public:
    VectorSnapshot(std::shared_ptr<const std::vector<std::uint32_t>> pixels, std::int32_t width, std::int32_t height)
        : pixels_(std::move(pixels)), width_(width), height_(height)
    {
    }
    PixelRows Rows() const override { return {pixels_->data(), width_, width_, height_}; }

private:
    std::shared_ptr<const std::vector<std::uint32_t>> pixels_;
    std::int32_t width_;
    std::int32_t height_;
};

}  // namespace

MemorySurface::MemorySurface(std::int32_t width, std::int32_t height, std::vector<std::uint32_t> pixels)
    : pixels_(std::make_shared<std::vector<std::uint32_t>>(std::move(pixels))), width_(width), height_(height)
{
    if (width_ < 0 || height_ < 0 ||
        pixels_->size() < static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_))
        width_ = height_ = 0;
}

std::shared_ptr<const Snapshot> MemorySurface::Capture()
{
    // The pixels never change after construction, so sharing them is a snapshot.
    return std::make_shared<VectorSnapshot>(pixels_, width_, height_);
}

namespace {

using TemporaryFile = PendingJpeg::File;

// How far a save got; decides what the clean-up undoes.
enum class SaveStage { Entered = 0, SurfaceChanged = 1, Captured = 2, FileOpen = 3 };

std::shared_ptr<const Snapshot> CapturePicture(PictureSurface& box, std::int32_t& imageWidth, std::int32_t& imageHeight)
{
    std::shared_ptr<const Snapshot> capture = box.Capture();
    if (!capture)
        return nullptr;
    const PixelRows rows = capture->Rows();
    if (rows.width < 0 || rows.height < 0 || (rows.width > 0 && rows.height > 0 && (!rows.first || rows.stride < rows.width)))
        return nullptr;
    imageWidth = rows.width;
    imageHeight = rows.height;
    return capture;
}

void FreeCapture(std::shared_ptr<const Snapshot>& capture)
{
    capture.reset();
}

void CleanUpSave(SaveStage stage, PictureSurface& box, TemporaryFile& file, std::shared_ptr<const Snapshot>& capture,
                 std::int32_t savedBorderStyle, bool savedAutoRedraw)
{
    if (stage == SaveStage::FileOpen)
        file.Discard();  // nothing if it was committed
    if (stage >= SaveStage::Captured)
        FreeCapture(capture);
    if (stage >= SaveStage::SurfaceChanged)
        box.SetAutoRedraw(savedAutoRedraw);
    box.SetBorderStyle(savedBorderStyle);
}

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

JpegEncoder& TheEncoder()
{
    // Lives for the whole program, like the module state it stands for.
    static JpegEncoder* encoder = new JpegEncoder;
    return *encoder;
}

}  // namespace

JpegResult SaveJpeg(const std::filesystem::path& FileName, std::int32_t& Quality, const std::string& Comment,
                    PictureSurface& PictureBox, const YieldHook& yield)
{
    JpegEncoder& e = TheEncoder();
    if (e.Busy == 1)
        return JpegResult::Ok;  // a save is running; a nested one does nothing
    e.Busy = 1;

    SaveStage stage = SaveStage::Entered;
    std::int32_t savedBorderStyle = 0;
    bool savedAutoRedraw = false;
    std::shared_ptr<const Snapshot> capture;
    TemporaryFile file;
    JpegResult result = JpegResult::Unexpected;
    try {
        savedBorderStyle = PictureBox.BorderStyle();
        PictureBox.SetBorderStyle(0);
        savedAutoRedraw = PictureBox.AutoRedraw();
        PictureBox.SetAutoRedraw(true);
        stage = SaveStage::SurfaceChanged;

        capture = CapturePicture(PictureBox, e.ImageWidth, e.ImageHeight);
        if (!capture) {
            result = JpegResult::PictureTooLarge;
        } else {
            stage = SaveStage::Captured;
            if (IsBadFileName(FileName)) {
                result = JpegResult::BadFileName;
            } else {
                result = file.Create(FileName);
                if (result == JpegResult::Ok) {
                    stage = SaveStage::FileOpen;
                    result = EncodePicture(e, Quality, Comment, capture->Rows(), file, yield);
                    if (result == JpegResult::Ok)
                        result = file.Commit();
                }
            }
        }
    } catch (const std::bad_alloc&) {
        result = JpegResult::OutOfMemory;
    } catch (...) {
        result = JpegResult::Unexpected;
    }
    CleanUpSave(stage, PictureBox, file, capture, savedBorderStyle, savedAutoRedraw);
    e.Stream.Release();
    e.Busy = 0;
    return result;
}


// --- PendingJpeg ----------------------------------------------------------------

PendingJpeg::PendingJpeg() = default;
PendingJpeg::~PendingJpeg() = default;
PendingJpeg::PendingJpeg(PendingJpeg&& other) noexcept = default;
PendingJpeg& PendingJpeg::operator=(PendingJpeg&& other) noexcept = default;

JpegResult PendingJpeg::Encode(const std::filesystem::path& target, const PixelRows& picture, const YieldHook& yield)
{
    Discard();
    if (IsBadFileName(target))
        return JpegResult::BadFileName;
    try {
        auto file = std::make_unique<File>();
        JpegResult result = file->Create(target);
        if (result != JpegResult::Ok)
            return result;
        auto encoder = std::make_unique<JpegEncoder>();
        result = EncodePicture(*encoder, 50, std::string(), picture, *file, yield);
        if (result == JpegResult::Ok)
            result = file->Finish();
        if (result == JpegResult::Ok)
            file_ = std::move(file);
        return result;  // a file not kept is removed by its destructor
    } catch (const std::bad_alloc&) {
        return JpegResult::OutOfMemory;
    } catch (...) {
        return JpegResult::Unexpected;
    }
}

JpegResult PendingJpeg::Commit()
{
    if (!file_)
        return JpegResult::Unexpected;
    const JpegResult result = file_->Commit();
    file_.reset();
    return result;
}

void PendingJpeg::Discard()
{
    file_.reset();
}

bool PendingJpeg::Pending() const
{
    // Only a file that Encode finished is kept.
    return file_ != nullptr;
}

std::uint64_t PendingJpeg::Size() const
{
    return file_ ? file_->Written() : 0;
}

}  // namespace ModuleJPEG
