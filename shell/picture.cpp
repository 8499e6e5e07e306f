// Picture services: decoding through QImageReader into an opaque sRGB 32-bit
// image, JPEGs streamed straight into the averaging reduction, the picture box
// the encoder reads, and the whole-picture reduction.
#include "shell/picture.h"

#include <QColorSpace>
#include <QImageReader>
#include <QSemaphore>
#include <QThreadPool>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "shell/jpegrows.h"
#include "shell/picturefile.h"
#include "shell/rowreducer.h"

// ThreadSanitizer cannot see the ordering Qt's thread pool and semaphores
// give, as Qt is not built with it; the reduction's bands tell it what they
// rely on.
#if defined(__SANITIZE_THREAD__)
#define ZEMBRIK_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ZEMBRIK_TSAN 1
#endif
#endif
#if defined(ZEMBRIK_TSAN)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

namespace basMain {
namespace {

// What one thread wrote before Handed(key) is seen by another after Taken(key).
void Handed([[maybe_unused]] void* key)
{
#if defined(ZEMBRIK_TSAN)
    __tsan_release(key);
#endif
}

void Taken([[maybe_unused]] void* key)
{
#if defined(ZEMBRIK_TSAN)
    __tsan_acquire(key);
#endif
}

// Room for the largest accepted picture at 4 bytes a pixel, plus what a
// decoder may need beside it; Qt's default (256 MB) refuses 100 MP photos.
constexpr int AllocationLimitMb = static_cast<int>(MaxPicturePixels * 4 / (1024 * 1024)) + 64;

PictureLoader& LoaderOverride()
{
    static PictureLoader loader;
    return loader;
}

// The ways loading a picture fails, each naming its file.
PictureError UnreadableError(const QString& path)
{
    return PictureFileError(PictureErrorNumber::InvalidPicture, QStringLiteral("画像ファイルを読み込めません。"), path);
}

PictureError TooLargeError(const QString& path)
{
    return PictureFileError(PictureErrorNumber::OutOfMemory, QStringLiteral("画像が大きすぎて読み込めません。"), path);
}

PictureError NoMemoryError(const QString& path)
{
    return PictureFileError(PictureErrorNumber::OutOfMemory, QStringLiteral("メモリが足りません。"), path);
}

// The box could not make its image of the picture.
PictureError SurfaceError(const QString& path)
{
    return PictureFileError(PictureErrorNumber::SurfaceTooLarge, QStringLiteral("画像が大きすぎて扱えません。"), path);
}

template <typename Result>
Result Failed(PictureError error)
{
    Result result;
    result.Error = std::move(error);
    return result;
}

// Pixels of a premultiplied image put on white: c + (255 - alpha) is exactly
// c * alpha / 255 + 255 * (1 - alpha / 255) for the unpremultiplied colour.
QImage CompositeOnWhite(QImage image)
{
    image.convertTo(QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = line[x];
            const int lift = 255 - qAlpha(p);
            line[x] = qRgb(qRed(p) + lift, qGreen(p) + lift, qBlue(p) + lift);
        }
    }
    image.reinterpretAsFormat(QImage::Format_RGB32);
    return image;
}

}  // namespace

QImage ToOpaqueRgb32(QImage image)
{
    if (image.isNull())
        return image;
    try {
        // The encoder writes no profile, so the pixels themselves must be sRGB.
        const QColorSpace space = image.colorSpace();
        if (space.isValid() && space != QColorSpace(QColorSpace::SRgb)) {
            if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32)
                image.convertTo(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
            if (image.isNull())
                return {};
            image.convertToColorSpace(QColorSpace(QColorSpace::SRgb));
        }
        if (image.hasAlphaChannel())
            return CompositeOnWhite(std::move(image));
        image.convertTo(QImage::Format_RGB32);
        return image;
    } catch (const std::bad_alloc&) {
        return {};
    }
}

namespace {

// The whole-picture reduction. Bands of target rows are independent: with
// Share, large pictures share them out over Qt's global thread pool as Qt's
// own scaling does, the caller taking a band. Without it (the caller is one of
// several workers already) one thread does all, reading Stop every few rows.
// A null image when the target cannot be allocated, a size is not positive or
// Stop was raised.
QImage Reduce(const QImage& source, int width, int height, bool share, const std::atomic<bool>* stop)
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
        QThreadPool* pool = QThreadPool::globalInstance();
        const qint64 work = static_cast<qint64>(src.width()) * src.height();
        const int bands =
            !share || work < 1'000'000 ? 1 : std::clamp(pool->maxThreadCount(), 1, std::max(1, height / 16));
        // Taken once here: scanLine() would detach, which is not safe from
        // several threads. The reducers are made here too, so no allocation
        // can fail inside a pool thread.
        uchar* const bits = out.bits();
        std::vector<RowReducer> reducers;
        reducers.reserve(static_cast<std::size_t>(bands));
        for (int band = 0; band < bands; ++band) {
            reducers.emplace_back(plan, bits, out.bytesPerLine(), static_cast<int>(static_cast<qint64>(height) * band / bands),
                                  static_cast<int>(static_cast<qint64>(height) * (band + 1) / bands));
        }
        const auto run = [&src, stop](RowReducer& reducer) {
            for (int y = reducer.FirstSourceRow(); y < reducer.EndSourceRow(); ++y) {
                if (stop && y % 64 == 0 && stop->load(std::memory_order_relaxed))
                    return;
                reducer.Push(src.constScanLine(y));
            }
        };
        QSemaphore done;
        Handed(&reducers);
        for (int band = 1; band < bands; ++band) {
            const auto task = [&, band] {
                Taken(&reducers);
                run(reducers[static_cast<std::size_t>(band)]);
                Handed(&done);
                done.release();
            };
            // A busy pool is no reason to wait: the band then runs here.
            if (!pool->tryStart(task))
                task();
        }
        run(reducers[0]);
        done.acquire(bands - 1);
        Taken(&done);
        for (const RowReducer& reducer : reducers) {
            if (!reducer.Done())
                return {};
        }
        return out;
    } catch (const std::bad_alloc&) {
        return {};
    }
}

bool Raised(const std::atomic<bool>* stop)
{
    return stop && stop->load(std::memory_order_relaxed);
}

bool TooLarge(QSize size)
{
    return size.isValid() && static_cast<qint64>(size.width()) * size.height() > MaxPicturePixels;
}

// The size a header gives. A BMP stored top down gives its height as
// negative; the picture is as high all the same.
QSize HeaderSize(QImageReader& reader)
{
    QSize size = reader.size();
    if (reader.format() == "bmp")
        size.setHeight(qAbs(size.height()));
    return size;
}

// A whole picture through Qt's readers. The header comes first: a bomb is
// refused before any pixel is decoded.
LoadedPicture ReadWhole(QIODevice& device, const QString& path)
{
    QImageReader reader(&device);
    reader.setAutoTransform(true);
    reader.setAllocationLimit(AllocationLimitMb);
    const QSize header = HeaderSize(reader);
    if (TooLarge(header))
        return Failed<LoadedPicture>(TooLargeError(path));

    QImage image;
    try {
        // Qt's BMP reader leaves the pixels a run-length picture skips as the
        // image it reads into had them: it is handed a cleared one of the
        // header's size, so no stale memory reaches a written file.
        if (reader.format() == "bmp" && !header.isEmpty()) {
            image = QImage(header, reader.imageFormat());
            image.fill(0);
        }
        if (!reader.read(&image))
            return Failed<LoadedPicture>(UnreadableError(path));
    } catch (const std::bad_alloc&) {
        return Failed<LoadedPicture>(NoMemoryError(path));
    }
    // Some headers understate the picture (a GIF's logical screen, a BMP
    // stored top down): the decoded size is held to the same limit.
    if (TooLarge(image.size()))
        return Failed<LoadedPicture>(TooLargeError(path));
    image = ToOpaqueRgb32(std::move(image));
    if (image.isNull())
        return Failed<LoadedPicture>(NoMemoryError(path));

    LoadedPicture result;
    result.Image = std::move(image);
    return result;
}

// A picture loaded whole, reduced on this thread alone.
ReducedPicture ReduceLoaded(LoadedPicture loaded, double ratio, const std::atomic<bool>* stop, const QString& path)
{
    ReducedPicture result;
    if (!loaded.Ok()) {
        result.Error = std::move(loaded.Error);
        return result;
    }
    if (Raised(stop)) {
        result.Stopped = true;
        return result;
    }
    result.SourceSize = loaded.Image.size();
    const int width = TargetLength(result.SourceSize.width(), ratio);
    const int height = TargetLength(result.SourceSize.height(), ratio);
    if (width <= 0 || height <= 0)
        return result;  // an empty picture stays empty
    result.Image = Reduce(loaded.Image, width, height, false, stop);
    if (result.Image.isNull()) {
        if (Raised(stop))
            result.Stopped = true;
        else
            result.Error = SurfaceError(path);
    }
    return result;
}

// The stored picture turned upright as the reader's automatic transform turns
// it: mirrored, then turned a quarter clockwise. The averaging grid is the
// same mirrored or turned, so turning the reduced picture gives the pixels of
// reducing the turned one.
QImage Upright(QImage image, QImageIOHandler::Transformations turn)
{
    const bool horizontal = turn.testFlag(QImageIOHandler::TransformationMirror);
    const bool vertical = turn.testFlag(QImageIOHandler::TransformationFlip);
    if (horizontal || vertical)
        image = image.mirrored(horizontal, vertical);
    if (!turn.testFlag(QImageIOHandler::TransformationRotate90) || image.isNull())
        return image;
    QImage turned = image.transformed(QTransform().rotate(90));
    turned.setColorSpace(image.colorSpace());  // which the turn drops
    return turned;
}

// A JPEG decoded row by row straight into the reduction, in its stored
// orientation (the target sides swapped when it is stored sideways), then
// turned upright. Nothing when the streaming decoder cannot take the file.
std::optional<ReducedPicture> StreamReduced(QIODevice& device, const QString& path, double ratio,
                                            const std::atomic<bool>* stop, QImageIOHandler::Transformations turn)
{
    const bool sideways = turn.testFlag(QImageIOHandler::TransformationRotate90);
    QSize sourceSize;
    QImage stored;
    std::optional<RowReducer> reducer;  // none at the picture's own size: the rows are the pixels
    int nextRow = 0;
    bool tooLarge = false;
    const auto begin = [&](QSize size, const QColorSpace& space) {
        if (TooLarge(size)) {
            tooLarge = true;
            return false;
        }
        sourceSize = sideways ? size.transposed() : size;
        const int width = TargetLength(sourceSize.width(), ratio);
        const int height = TargetLength(sourceSize.height(), ratio);
        const QSize target = sideways ? QSize(height, width) : QSize(width, height);
        const std::shared_ptr<const ReductionPlan> plan =
            target == size ? nullptr : MakeReductionPlan(size.width(), size.height(), target.width(), target.height());
        if (target != size && !plan)
            return false;
        stored = QImage(target, QImage::Format_RGB32);
        if (stored.isNull())
            return false;
        stored.setColorSpace(space);
        if (plan)
            reducer.emplace(plan, stored.bits(), stored.bytesPerLine(), 0, target.height());
        return true;
    };
    const auto row = [&](const uchar* line) {
        if (reducer)
            reducer->Push(line);
        else
            std::memcpy(stored.scanLine(nextRow++), line, static_cast<std::size_t>(stored.width()) * 4);
    };

    ReducedPicture result;
    switch (DecodeJpegRows(device, stop, begin, row)) {
    case JpegRowsResult::Done:
        break;
    case JpegRowsResult::Unsupported:
        return std::nullopt;
    case JpegRowsResult::Corrupt:
        return Failed<ReducedPicture>(UnreadableError(path));
    case JpegRowsResult::OutOfMemory:
        return Failed<ReducedPicture>(NoMemoryError(path));
    case JpegRowsResult::Declined:
        return Failed<ReducedPicture>(tooLarge ? TooLargeError(path) : SurfaceError(path));
    case JpegRowsResult::Stopped:
        result.Stopped = true;
        return result;
    }
    result.Image = Upright(std::move(stored), turn);
    if (result.Image.isNull())
        return Failed<ReducedPicture>(SurfaceError(path));
    result.SourceSize = sourceSize;
    return result;
}

}  // namespace

LoadedPicture DecodePicture(const QString& path)
{
    OpenedPictureFile opened = OpenPictureFile(path);
    if (!opened.File) {
        LoadedPicture failed;
        failed.Error = std::move(opened.Error);
        return failed;
    }
    return ReadWhole(*opened.File, path);
}

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

PictureInfo ReadPictureSize(const QString& path)
{
    PictureInfo info;
    const auto measure = [&info](LoadedPicture loaded) {
        if (!loaded.Ok())
            info.Error = std::move(loaded.Error);
        else
            info.Size = loaded.Image.size();
        return info;
    };
    // A test's loader stands in for the files.
    if (LoaderOverride())
        return measure(LoaderOverride()(path, nullptr));
    OpenedPictureFile opened = OpenPictureFile(path);
    if (!opened.File) {
        info.Error = std::move(opened.Error);
        return info;
    }
    QSize size;
    {
        QImageReader reader(opened.File.get());
        size = HeaderSize(reader);
        if (size.isValid() && reader.transformation().testFlag(QImageIOHandler::TransformationRotate90))
            size.transpose();
    }
    // A reader that cannot tell the size from the header (or a file that is
    // no picture) is read whole, which also gives the error loading gives.
    // (A regular file, as opened, always seeks.)
    if (!size.isValid())
        return measure(opened.File->seek(0) ? ReadWhole(*opened.File, path) : Failed<LoadedPicture>(UnreadableError(path)));
    if (TooLarge(size))
        return Failed<PictureInfo>(TooLargeError(path));
    info.Size = size;
    return info;
}

ReducedPicture LoadReducedPicture(const QString& path, double ratio, const std::atomic<bool>* stop)
{
    // A test's loader stands in for the files; the reduction is the real one.
    if (LoaderOverride())
        return ReduceLoaded(LoaderOverride()(path, stop), ratio, stop, path);
    try {
        OpenedPictureFile opened = OpenPictureFile(path);
        if (!opened.File)
            return Failed<ReducedPicture>(std::move(*opened.Error));
        QFile& file = *opened.File;
        bool jpeg = false;
        QImageIOHandler::Transformations turn = QImageIOHandler::TransformationNone;
        {
            // Qt's reader tells what the file is and how its EXIF turns it.
            QImageReader reader(&file);
            jpeg = reader.format() == "jpeg";
            if (jpeg)
                turn = reader.transformation();
        }
        if (jpeg && file.seek(0)) {
            if (std::optional<ReducedPicture> streamed = StreamReduced(file, path, ratio, stop, turn))
                return std::move(*streamed);
            // Colour layouts other than grey, RGB and CMYK (a two-component
            // file, say) fall back to Qt's reader, which reads or refuses them.
        }
        // BMP, GIF and anything else Qt reads: whole, then reduced.
        if (!file.seek(0))
            return Failed<ReducedPicture>(UnreadableError(path));
        return ReduceLoaded(ReadWhole(file, path), ratio, stop, path);
    } catch (const std::bad_alloc&) {
        return Failed<ReducedPicture>(NoMemoryError(path));
    }
}

LoadedPicture LoadPicture(const QString& path, const std::atomic<bool>* stop)
{
    if (LoaderOverride())
        return LoaderOverride()(path, stop);
    if (!stop)
        return DecodePicture(path);
    // At its own size the reduction gives the decoded pixels themselves.
    ReducedPicture streamed = LoadReducedPicture(path, 1.0, stop);
    LoadedPicture result;
    if (streamed.Stopped) {
        result.Stopped = true;
        return result;
    }
    if (streamed.Error)
        return DecodePicture(path);  // a truncated JPEG still shows its rows; other errors come again
    result.Image = std::move(streamed.Image);
    return result;
}

void SetPictureLoader(PictureLoader loader)
{
    LoaderOverride() = std::move(loader);
}

QImage StretchHalftone(const QImage& source, int width, int height)
{
    return Reduce(source, width, height, true, nullptr);
}

}  // namespace basMain
