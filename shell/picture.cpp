// Picture services: JPEGs read with libjpeg (streamed straight into the
// averaging reduction, or whole), the other formats through QImageReader, all
// into an opaque sRGB 32-bit image; the whole-picture reduction.
#include "shell/picture.h"

#include <QCoreApplication>
#include <QColorSpace>
#include <QImageReader>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "shell/jpegrows.h"
#include "shell/picturefile.h"
#include "shell/rowreducer.h"
#include "shell/wholefile.h"

namespace basMain {
namespace {

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
    return PictureFileError(PictureErrorNumber::InvalidPicture, QCoreApplication::translate("basMain", "画像ファイルを読み込めません。"), path);
}

PictureError TooLargeError(const QString& path)
{
    return PictureFileError(PictureErrorNumber::OutOfMemory, QCoreApplication::translate("basMain", "画像が大きすぎて読み込めません。"), path);
}

PictureError NoMemoryError(const QString& path)
{
    return PictureFileError(PictureErrorNumber::OutOfMemory, QCoreApplication::translate("basMain", "メモリが足りません。"), path);
}

// The box could not make its image of the picture.
PictureError SurfaceError(const QString& path)
{
    return PictureFileError(PictureErrorNumber::SurfaceTooLarge, QCoreApplication::translate("basMain", "画像が大きすぎて扱えません。"), path);
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

// The whole-picture reduction, reading Stop every few rows. A null image when
// the target cannot be allocated, a size is not positive or Stop was raised.
QImage Reduce(const QImage& source, int width, int height, const std::atomic<bool>* stop)
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
        RowReducer reducer(plan, out.bits(), out.bytesPerLine(), 0, height);
        for (int y = reducer.FirstSourceRow(); y < reducer.EndSourceRow(); ++y) {
            if (stop && y % 64 == 0 && stop->load(std::memory_order_relaxed))
                return {};
            reducer.Push(src.constScanLine(y));
        }
        return reducer.Done() ? out : QImage();
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
// refused before any pixel is decoded. Qt's BMP and GIF readers fill what a
// cut file lacks and call it a success, so such a file is refused first.
LoadedPicture ReadWhole(QIODevice& device, const QString& path)
{
    if (!HoldsWholePicture(device) || !device.seek(0))
        return Failed<LoadedPicture>(UnreadableError(path));
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

// JPEGs are read here with libjpeg, everything else by Qt's readers: Qt's
// JPEG reader reads the header in time that grows with the square of its
// segments, and cannot be stopped. A JPEG is what Qt's reader takes for one:
// a file that begins with the start-of-image marker.
bool IsJpeg(QFile& file)
{
    return file.peek(2) == "\xFF\xD8";
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
    result.Image = Reduce(loaded.Image, width, height, stop);
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

// How reading a JPEG through DecodeJpegRows went, a bomb refused before
// Begin is asked.
struct JpegRead {
    std::optional<PictureError> Error;
    bool Stopped = false;
    QImageIOHandler::Transformations Turn;  // to make the stored picture upright
};

JpegRead ReadJpeg(QIODevice& device, const QString& path, const std::atomic<bool>* stop,
                  const std::function<bool(const JpegHeader&)>& begin, const std::function<void(const uchar*)>& row)
{
    JpegRead read;
    bool tooLarge = false;
    const auto checked = [&](const JpegHeader& header) {
        read.Turn = header.Turn;
        tooLarge = TooLarge(header.Size);
        return !tooLarge && begin(header);
    };
    switch (DecodeJpegRows(device, stop, checked, row)) {
    case JpegRowsResult::Done:
        break;
    case JpegRowsResult::Stopped:
        read.Stopped = true;
        break;
    case JpegRowsResult::Unsupported:  // Qt's reader refuses these layouts too
    case JpegRowsResult::Corrupt:
        read.Error = UnreadableError(path);
        break;
    case JpegRowsResult::OutOfMemory:
        read.Error = NoMemoryError(path);
        break;
    case JpegRowsResult::Declined:
        read.Error = tooLarge ? TooLargeError(path) : SurfaceError(path);
        break;
    }
    return read;
}

// A JPEG decoded row by row straight into the reduction (at the picture's
// own size the rows are the pixels), in its stored orientation (the target
// sides swapped when it is stored sideways), then turned upright.
ReducedPicture StreamReduced(QIODevice& device, const QString& path, double ratio, const std::atomic<bool>* stop)
{
    QSize sourceSize;
    QImage stored;
    std::optional<RowReducer> reducer;  // none at the picture's own size
    int nextRow = 0;
    const auto begin = [&](const JpegHeader& header) {
        const bool sideways = header.Turn.testFlag(QImageIOHandler::TransformationRotate90);
        sourceSize = sideways ? header.Size.transposed() : header.Size;
        const int width = TargetLength(sourceSize.width(), ratio);
        const int height = TargetLength(sourceSize.height(), ratio);
        const QSize target = sideways ? QSize(height, width) : QSize(width, height);
        const std::shared_ptr<const ReductionPlan> plan =
            target == header.Size ? nullptr
                                  : MakeReductionPlan(header.Size.width(), header.Size.height(), target.width(), target.height());
        if (target != header.Size && !plan)
            return false;
        stored = QImage(target, QImage::Format_RGB32);
        if (stored.isNull())
            return false;
        stored.setColorSpace(header.Space);
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
    const JpegRead read = ReadJpeg(device, path, stop, begin, row);
    ReducedPicture result;
    result.Error = read.Error;
    result.Stopped = read.Stopped;
    if (result.Ok()) {
        result.Image = Upright(std::move(stored), read.Turn);
        if (result.Image.isNull())
            result.Error = SurfaceError(path);
        else
            result.SourceSize = sourceSize;
    }
    return result;
}

// A picture loaded whole: a JPEG streamed at its own size (Stop read every
// few rows), anything else through Qt's readers (Stop read once it is in).
LoadedPicture ReadOpened(QFile& file, const QString& path, const std::atomic<bool>* stop)
{
    if (!IsJpeg(file)) {
        LoadedPicture whole = ReadWhole(file, path);
        whole.Stopped = whole.Ok() && Raised(stop);
        return whole;
    }
    ReducedPicture streamed = StreamReduced(file, path, 1.0, stop);
    LoadedPicture result;
    result.Image = std::move(streamed.Image);
    result.Error = std::move(streamed.Error);
    result.Stopped = streamed.Stopped;
    return result;
}

LoadedPicture Decode(const QString& path, const std::atomic<bool>* stop)
{
    OpenedPictureFile opened = OpenPictureFile(path);
    if (!opened.File)
        return Failed<LoadedPicture>(std::move(*opened.Error));
    try {
        return ReadOpened(*opened.File, path, stop);
    } catch (const std::bad_alloc&) {
        return Failed<LoadedPicture>(NoMemoryError(path));
    }
}

}  // namespace

LoadedPicture DecodePicture(const QString& path)
{
    return Decode(path, nullptr);
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
    QFile& file = *opened.File;
    QSize size;
    QImageIOHandler::Transformations turn;
    if (IsJpeg(file)) {
        JpegHeader header;
        switch (ReadJpegHeader(file, nullptr, header)) {
        case JpegRowsResult::Done:
            break;
        case JpegRowsResult::OutOfMemory:
            return Failed<PictureInfo>(NoMemoryError(path));
        default:
            return Failed<PictureInfo>(UnreadableError(path));
        }
        size = header.Size;
        turn = header.Turn;
    } else {
        if (!HoldsWholePicture(file) || !file.seek(0))
            return Failed<PictureInfo>(UnreadableError(path));
        QImageReader reader(&file);
        size = HeaderSize(reader);
        turn = reader.transformation();
    }
    if (size.isValid() && turn.testFlag(QImageIOHandler::TransformationRotate90))
        size.transpose();
    // A reader that cannot tell the size from the header (or a file that is
    // no picture) is read whole, which also gives the error loading gives.
    // (A regular file, as opened, always seeks.)
    if (!size.isValid())
        return measure(file.seek(0) ? ReadWhole(file, path) : Failed<LoadedPicture>(UnreadableError(path)));
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
        if (IsJpeg(file))
            return StreamReduced(file, path, ratio, stop);
        // BMP, GIF and anything else Qt reads: whole, then reduced.
        return ReduceLoaded(ReadWhole(file, path), ratio, stop, path);
    } catch (const std::bad_alloc&) {
        return Failed<ReducedPicture>(NoMemoryError(path));
    }
}

LoadedPicture LoadPicture(const QString& path, const std::atomic<bool>* stop)
{
    return LoaderOverride() ? LoaderOverride()(path, stop) : Decode(path, stop);
}

void SetPictureLoader(PictureLoader loader)
{
    LoaderOverride() = std::move(loader);
}

QImage StretchHalftone(const QImage& source, int width, int height)
{
    return Reduce(source, width, height, nullptr);
}

}  // namespace basMain
