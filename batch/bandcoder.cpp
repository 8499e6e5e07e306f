// The rows of an item coded into its file.
#include "batch/bandcoder.h"

#include <QImage>

#include <cstring>

#include "base/paths.h"

namespace batch {

namespace {

// The frame header could say up to 65,535, but libjpeg (and with it nearly
// every program) opens no picture with a longer side than this.
constexpr int kMaxJpegSide = 65500;

}  // namespace

BandCoder::BandCoder(files::PendingJpeg& file, int width, int height)
    : file_(file), width_(width), height_(height)
{
    for (auto& band : bands_)
        band.assign(16 * static_cast<std::size_t>(width), 0u);
    thread_ = std::thread([this] { Run(); });
}

BandCoder::~BandCoder()
{
    {
        const std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

uchar* BandCoder::NextRow()
{
    return reinterpret_cast<uchar*>(bands_[filling_].data() + static_cast<std::size_t>(rowsInBand_) * width_);
}

jpeg::JpegResult BandCoder::RowDone(bool& bandDone)
{
    ++rowsGiven_;
    bandDone = ++rowsInBand_ == 16 || rowsGiven_ == height_;
    if (!bandDone)
        return jpeg::JpegResult::Ok;
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [&] { return !busy_; });
    if (result_ != jpeg::JpegResult::Ok)
        return result_;
    queued_ = {bands_[filling_].data(), width_, width_, rowsInBand_};
    busy_ = true;
    lock.unlock();
    wake_.notify_all();
    filling_ ^= 1;
    rowsInBand_ = 0;
    return jpeg::JpegResult::Ok;
}

jpeg::JpegResult BandCoder::Wait()
{
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [&] { return !busy_; });
    return result_;
}

void BandCoder::Run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return (busy_ && queued_.first) || quit_; });
        if (!busy_)
            return;
        const jpeg::PixelRows band = queued_;
        queued_.first = nullptr;
        lock.unlock();
        const jpeg::JpegResult coded = file_.PutRows(band);
        lock.lock();
        if (result_ == jpeg::JpegResult::Ok)
            result_ = coded;
        busy_ = false;
        wake_.notify_all();
    }
}

ItemRows::ItemRows(const QString& outputPath, int index, const output::Settings& output, const EngineOptions& options,
                   std::atomic<bool>& abandon, ItemOutcome& outcome, files::PendingJpeg& file,
                   ReserveFunction reserve, std::function<bool()> spareCore)
    : outputPath_(outputPath), index_(index), output_(output), options_(options), abandon_(abandon), outcome_(outcome),
      file_(file), reserve_(std::move(reserve)), spareCore_(std::move(spareCore))
{
}

bool ItemRows::Reserve(qint64 bytes, QSize target)
{
    if (reserved_ || !reserve_)
        return true;
    reserved_ = true;
    // The encoder's band and buffers come on top of the picture's needs,
    // and the two bands of a BandCoder.
    qint64 all = bytes + static_cast<qint64>(jpeg::JpegWriter::BytesFor(target.width())) +
                 2 * 16 * 4 * static_cast<qint64>(target.width());
    // The metadata is written into the finished file in memory, which
    // holds it about three times over; a byte a pixel is more than a
    // JPEG takes at any quality but of noise.
    if (output_.KeepMetadata)
        all += 3 * static_cast<qint64>(target.width()) * target.height();
    // Under a byte limit: the reduced picture, and a file encoded from it
    // at a time (a byte a pixel, as above).
    if (output_.MaxBytes > 0)
        all += 5 * static_cast<qint64>(target.width()) * target.height();
    if (!reserve_(all))
        return false;
    if (options_.Observer)
        options_.Observer(index_, WorkStep::MemoryReserved);
    return true;
}

bool ItemRows::Begin(QSize, QSize target)
{
    outcome_.TargetSize = target;
    height_ = target.height();
    if (target.width() > kMaxJpegSide || target.height() > kMaxJpegSide) {
        Failure = jpeg::JpegResult::PictureTooLarge;
        return false;
    }
    if (output_.MaxBytes > 0) {
        held_ = QImage(target, QImage::Format_RGB32);
        if (held_.isNull()) {
            Failure = jpeg::JpegResult::OutOfMemory;
            return false;
        }
        return true;
    }
    Failure = file_.Start(base::ToFsPath(outputPath_), target.width(), target.height(), output_.Quality);
    if (Failure != jpeg::JpegResult::Ok)
        return false;
    // Below a megapixel the hand-overs would cost more than they save.
    const bool large = static_cast<qint64>(target.width()) * target.height() >= (1 << 20);
    if (options_.CodeBandsAside || (large && spareCore_())) {
        try {
            coder_.emplace(file_, target.width(), target.height());
        } catch (const std::exception&) {
            // No thread or no room for its bands: the bands are coded here.
        }
    }
    return true;
}

uchar* ItemRows::NextRow()
{
    if (!held_.isNull())
        return rows_ < held_.height() ? held_.scanLine(rows_) : nullptr;
    return coder_ ? coder_->NextRow() : reinterpret_cast<uchar*>(file_.NextRow());
}

bool ItemRows::RowDone()
{
    bool bandDone = false;
    if (coder_) {
        Failure = coder_->RowDone(bandDone);
    } else if (!held_.isNull()) {
        bandDone = ++rows_ % 16 == 0 || rows_ == height_;
    } else {
        Failure = file_.RowDone();
        bandDone = ++rows_ % 16 == 0 || rows_ == height_;
    }
    if (Failure != jpeg::JpegResult::Ok)
        return false;
    if (!bandDone)
        return true;
    if (options_.Observer)
        options_.Observer(index_, WorkStep::RowEncoded);
    return !abandon_.load();
}

void ItemRows::Drain()
{
    if (!coder_)
        return;
    const jpeg::JpegResult coded = coder_->Wait();
    if (Failure == jpeg::JpegResult::Ok)
        Failure = coded;
    coder_.reset();
}

pictures::ShrinkOutcome SendWhole(pictures::ReducedPicture reduced, pictures::ShrinkSink& sink)
{
    pictures::ShrinkOutcome outcome;
    outcome.SourceSize = reduced.SourceSize;
    outcome.Error = std::move(reduced.Error);
    outcome.Stopped = reduced.Stopped;
    if (!outcome.Ok())
        return outcome;
    const QImage& image = reduced.Image;
    // Every reducer gives opaque RGB32, the layout the encoder reads directly.
    Q_ASSERT(image.isNull() || image.format() == QImage::Format_RGB32);
    outcome.Stopped = !sink.Begin(reduced.SourceSize, image.size());
    for (int y = 0; y < image.height() && !outcome.Stopped; ++y) {
        uchar* const row = sink.NextRow();
        if (row)
            std::memcpy(row, image.constScanLine(y), static_cast<std::size_t>(image.width()) * 4);
        outcome.Stopped = !row || !sink.RowDone();
    }
    return outcome;
}

}  // namespace batch
