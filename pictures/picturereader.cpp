// What the picture readers share: the errors, the reduction of a picture held
// whole into a sink, and the order a whole-picture reader goes in.
#include "pictures/picturereader.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstring>
#include <new>

#include "pictures/picturefile.h"

namespace pictures {

PictureError UnreadableError(const QString& path)
{
    return PictureFileError(PictureErrorNumber::InvalidPicture, QCoreApplication::translate("pictures", "画像ファイルを読み込めません。"), path);
}

PictureError TooLargeError(const QString& path)
{
    return PictureFileError(PictureErrorNumber::OutOfMemory, QCoreApplication::translate("pictures", "画像が大きすぎて読み込めません。"), path);
}

PictureError NoMemoryError(const QString& path)
{
    return PictureFileError(PictureErrorNumber::OutOfMemory, QCoreApplication::translate("pictures", "メモリが足りません。"), path);
}

PictureError SurfaceError(const QString& path)
{
    return PictureFileError(PictureErrorNumber::SurfaceTooLarge, QCoreApplication::translate("pictures", "画像が大きすぎて扱えません。"), path);
}

bool Raised(const std::atomic<bool>* stop)
{
    return stop && stop->load(std::memory_order_relaxed);
}

bool TooLarge(QSize size)
{
    return size.isValid() && static_cast<qint64>(size.width()) * size.height() > MaxPicturePixels;
}

ShrinkOutcome Ended()
{
    ShrinkOutcome ended;
    ended.Stopped = true;
    return ended;
}

bool CopyRow(RowTarget& target, int y, const uchar* line, int width)
{
    uchar* const out = target.Row(y);
    if (!out)
        return false;
    if (out != line)
        std::memcpy(out, line, static_cast<std::size_t>(width) * 4);
    return target.Written(y);
}

QSize TargetSize(const SizeRule& size, QSize upright)
{
    const QSize target = size.Target(upright);
    return QSize(std::clamp(target.width(), std::min(1, upright.width()), upright.width()),
                 std::clamp(target.height(), std::min(1, upright.height()), upright.height()));
}

ShrinkOutcome ShrinkLoaded(LoadedPicture loaded, const SizeRule& size, ShrinkSink& sink, const std::atomic<bool>* stop,
                           const QString& path)
{
    ShrinkOutcome result;
    if (loaded.Stopped)
        return Ended();
    if (!loaded.Ok()) {
        result.Error = std::move(loaded.Error);
        return result;
    }
    // Opaque RGB32 from the readers; a test's loader may give other layouts.
    const QImage source = loaded.Image.format() == QImage::Format_RGB32 || loaded.Image.format() == QImage::Format_ARGB32
                              ? loaded.Image
                              : loaded.Image.convertToFormat(QImage::Format_RGB32);
    result.SourceSize = source.size();
    result.Space = source.colorSpace();
    const QSize target = TargetSize(size, source.size());
    try {
        std::shared_ptr<const ReductionPlan> plan;
        if (target != source.size()) {
            plan = MakeReductionPlan(source.width(), source.height(), target.width(), target.height());
            if (!plan) {
                result.Error = SurfaceError(path);
                return result;
            }
        }
        if (Raised(stop) || !sink.Begin(result.SourceSize, target))
            return Ended();
        SinkRows rows(sink);
        std::optional<RowReducer> reducer;
        if (plan)
            reducer.emplace(plan, rows, 0, target.height());
        for (int y = 0; y < source.height(); ++y) {
            if (y % 64 == 0 && Raised(stop))
                return Ended();
            const uchar* line = source.constScanLine(y);
            if (!(reducer ? reducer->Push(line) : CopyRow(rows, y, line, source.width())))
                return Ended();
        }
    } catch (const std::bad_alloc&) {
        result.Error = SurfaceError(path);
    }
    return result;
}

bool ImageSink::Begin(QSize, QSize target)
{
    Image = QImage(target, QImage::Format_RGB32);
    Failed = Image.isNull() && !target.isEmpty();
    return !Failed;
}

uchar* ImageSink::NextRow()
{
    return row_ < Image.height() ? Image.scanLine(row_) : nullptr;
}

bool ImageSink::RowDone()
{
    ++row_;
    return true;
}

ReducedPicture Collected(ShrinkOutcome outcome, ImageSink& sink, const QString& path)
{
    ReducedPicture result;
    result.SourceSize = outcome.SourceSize;
    result.Error = std::move(outcome.Error);
    if (sink.Failed)
        result.Error = SurfaceError(path);
    else
        result.Stopped = outcome.Stopped;
    if (result.Ok()) {
        result.Image = std::move(sink.Image);
        result.Image.setColorSpace(outcome.Space);
    }
    return result;
}

const WholePictureReader::Header& WholePictureReader::HeaderRead()
{
    if (!header_)
        header_ = ReadHeader();
    return *header_;
}

PictureInfo WholePictureReader::Measure()
{
    const Header& header = HeaderRead();
    PictureInfo info;
    if (header.Error) {
        info.Error = header.Error;
    } else if (!header.Size.isValid()) {
        // A reader that cannot tell the size from the header (or a file that
        // is no picture) is read whole, which also gives the error loading gives.
        LoadedPicture loaded = Load();
        if (!loaded.Ok())
            info.Error = std::move(loaded.Error);
        else
            info.Size = loaded.Image.size();
    } else if (TooLarge(header.Size)) {
        info.Error = TooLargeError(path_);
    } else {
        info.Size = header.Size;
    }
    return info;
}

LoadedPicture WholePictureReader::Load()
{
    const Header& header = HeaderRead();
    if (header.Error)
        return Failed<LoadedPicture>(*header.Error);
    if (TooLarge(header.Size))
        return Failed<LoadedPicture>(TooLargeError(path_));
    LoadedPicture loaded;
    if (!header.Stopped)
        loaded = Decode();
    loaded.Stopped = loaded.Stopped || header.Stopped || (loaded.Ok() && Raised(stop_));
    return loaded;
}

ShrinkOutcome WholePictureReader::Shrink(const SizeRule& size, ShrinkSink& sink)
{
    const Header& header = HeaderRead();
    if (header.Error)
        return Failed<ShrinkOutcome>(*header.Error);
    if (TooLarge(header.Size))
        return Failed<ShrinkOutcome>(TooLargeError(path_));
    const QSize target = header.Size.isValid() ? TargetSize(size, header.Size) : QSize(0, 0);
    if (header.Stopped || !sink.Reserve(header.Bytes, target))
        return Ended();
    return ShrinkLoaded(Decode(), size, sink, stop_, path_);
}

}  // namespace pictures
