// The load interface: each file opened safely and read by the reader its
// first bytes call for (picturereader.h), into opaque sRGB 32-bit rows; the
// whole-picture reduction.
#include "pictures/picture.h"

#include <cmath>
#include <new>

#include "pictures/heifreader.h"
#include "pictures/orientation.h"
#include "pictures/picturefile.h"
#include "pictures/picturereader.h"
#include "pictures/rowreducer.h"

namespace pictures {
namespace {

// The whole-picture reduction. A null image when the target cannot be
// allocated or a size is not positive.
QImage Reduce(const QImage& source, int width, int height)
{
    if (source.isNull() || width <= 0 || height <= 0)
        return {};
    if (width == source.width() && height == source.height())
        return source;
    try {
        const QImage src = source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32
                               ? source
                               : source.convertToFormat(QImage::Format_RGB32);
        if (src.isNull())
            return {};
        const std::shared_ptr<const ReductionPlan> plan = MakeReductionPlan(src.width(), src.height(), width, height);
        if (!plan)
            return {};
        QImage out(width, height, QImage::Format_RGB32);
        if (out.isNull())
            return {};
        out.setColorSpace(src.colorSpace());
        ImageRows target(out.bits(), out.bytesPerLine());
        RowReducer reducer(plan, target, 0, height);
        for (int y = reducer.FirstSourceRow(); y < reducer.EndSourceRow(); ++y)
            reducer.Push(src.constScanLine(y));
        return reducer.Done() ? out : QImage();
    } catch (const std::bad_alloc&) {
        return {};
    }
}

// The reader a file's first bytes call for. JPEGs are read with libjpeg (Qt's
// JPEG reader reads the header in time that grows with the square of its
// segments, and cannot be stopped); a JPEG is what Qt's reader takes for one,
// a file that begins with the start-of-image marker.
std::unique_ptr<PictureReader> ReaderFor(QFile& file, const QString& path, const std::atomic<bool>* stop)
{
    const QByteArray head = file.peek(64);
    if (head.startsWith("\xFF\xD8"))
        return JpegPictureReader(file, path, stop);
    if (pictures::HeifReader::IsHeif(head))
        return HeifPictureReader(file, path, stop);
    return QtPictureReader(file, path, stop);
}

// Read opens the file and gives its reader to Use; what became of it, or why
// the file could not be opened.
template <typename Result, typename Use>
Result Read(const QString& path, const std::atomic<bool>* stop, Use use)
{
    try {
        OpenedPictureFile opened = OpenPictureFile(path);
        if (!opened.File)
            return Failed<Result>(std::move(*opened.Error));
        return use(*ReaderFor(*opened.File, path, stop));
    } catch (const std::bad_alloc&) {
        return Failed<Result>(NoMemoryError(path));
    }
}

}  // namespace

int TargetLength(int length, double ratio)
{
    // nearbyint rounds halves to even in the default rounding mode.
    const double scaled = std::nearbyint(static_cast<double>(length) * ratio);
    if (!(scaled >= 1.0))  // also catches NaN
        return length > 0 ? 1 : 0;
    if (scaled >= static_cast<double>(length))
        return length;
    return static_cast<int>(scaled);
}

SizeRule RatioRule(double ratio)
{
    return {[ratio](QSize upright) {
        return QSize(TargetLength(upright.width(), ratio), TargetLength(upright.height(), ratio));
    }};
}

PictureInfo ReadPictureSize(const QString& path)
{
    return Read<PictureInfo>(path, nullptr, [](PictureReader& reader) { return reader.Measure(); });
}

ShrinkOutcome ShrinkPicture(const QString& path, const SizeRule& size, ShrinkSink& sink, const std::atomic<bool>* stop)
{
    return Read<ShrinkOutcome>(path, stop, [&](PictureReader& reader) { return reader.Shrink(size, sink); });
}

ShrinkOutcome ShrinkPictureAlongside(const QString& path, const SizeRule& size, ShrinkSink& sink,
                                     SizesAlongside& others, const std::atomic<bool>* stop)
{
    return Read<ShrinkOutcome>(path, stop,
                               [&](PictureReader& reader) { return reader.ShrinkAlongside(size, sink, others); });
}

ReducedPicture LoadReducedPicture(const QString& path, const SizeRule& size, const std::atomic<bool>* stop)
{
    ImageSink sink;
    return Collected(ShrinkPicture(path, size, sink, stop), sink, path);
}

ReducedPicture LoadReducedPicture(const QString& path, double ratio, const std::atomic<bool>* stop)
{
    return LoadReducedPicture(path, RatioRule(ratio), stop);
}

QByteArray ContainerExifOf(const QString& path)
{
    try {
        OpenedPictureFile opened = OpenPictureFile(path);
        if (!opened.File)
            return {};
        if (!pictures::HeifReader::IsHeif(opened.File->peek(64)))
            return ContainerExif(*opened.File);
        const pictures::HeifReader reader(*opened.File);
        return reader.Error() == pictures::HeifError::None ? reader.Exif() : QByteArray();
    } catch (const std::bad_alloc&) {
        return {};
    }
}

LoadedPicture LoadPicture(const QString& path, const std::atomic<bool>* stop)
{
    return Read<LoadedPicture>(path, stop, [](PictureReader& reader) { return reader.Load(); });
}

QImage StretchHalftone(const QImage& source, int width, int height)
{
    return Reduce(source, width, height);
}

}  // namespace pictures
