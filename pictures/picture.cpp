// Picture services: JPEGs read with libjpeg, the other formats through
// QImageReader, all into opaque sRGB 32-bit rows; pictures shrunk row by row
// into a sink (a JPEG streamed from the decoder through the averaging
// reduction); the whole-picture reduction.
#include "pictures/picture.h"

#include <QCoreApplication>
#include <QColorSpace>
#include <QImageReader>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "pictures/jpegrows.h"
#include "pictures/picturefile.h"
#include "pictures/rowreducer.h"
#include "pictures/wholefile.h"

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
        ImageRows target(out.bits(), out.bytesPerLine());
        RowReducer reducer(plan, target, 0, height);
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
// refused before any pixel is decoded, and Ahead, when given, is told the
// header's size then (false stops the work). Qt's BMP and GIF readers fill
// what a cut file lacks and call it a success, so such a file is refused
// first.
LoadedPicture ReadWhole(QIODevice& device, const QString& path, const std::function<bool(QSize)>& ahead = {})
{
    if (!HoldsWholePicture(device) || !device.seek(0))
        return Failed<LoadedPicture>(UnreadableError(path));
    QImageReader reader(&device);
    reader.setAutoTransform(true);
    reader.setAllocationLimit(AllocationLimitMb);
    const QSize header = HeaderSize(reader);
    if (TooLarge(header))
        return Failed<LoadedPicture>(TooLargeError(path));
    if (ahead && !ahead(header)) {
        LoadedPicture stopped;
        stopped.Stopped = true;
        return stopped;
    }

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

// The rows a reducer makes, straight into a sink.
class SinkRows final : public RowTarget {
public:
    explicit SinkRows(ShrinkSink& sink) : sink_(sink) {}
    uchar* Row(int) override { return sink_.NextRow(); }
    bool Written(int) override { return sink_.RowDone(); }

private:
    ShrinkSink& sink_;
};

// Copies a row of Width pixels to Target's row Y (unless it is there already).
bool CopyRow(RowTarget& target, int y, const uchar* line, int width)
{
    uchar* const out = target.Row(y);
    if (!out)
        return false;
    if (out != line)
        std::memcpy(out, line, static_cast<std::size_t>(width) * 4);
    return target.Written(y);
}

ShrinkOutcome Ended()
{
    ShrinkOutcome ended;
    ended.Stopped = true;
    return ended;
}

// A picture loaded whole: the source, and a converted copy of it while
// loading at most.
qint64 WholeBytes(QSize header)
{
    return header.isValid() ? 8 * static_cast<qint64>(header.width()) * header.height() : 0;
}

// A picture loaded whole, reduced on this thread alone into the sink.
ShrinkOutcome ShrinkLoaded(LoadedPicture loaded, double ratio, ShrinkSink& sink, const std::atomic<bool>* stop,
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
    const QSize target(TargetLength(source.width(), ratio), TargetLength(source.height(), ratio));
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

// The reduced picture of a JPEG stored turned, given to the sink upright as
// the reader's automatic transform turns a picture: mirrored, then turned a
// quarter clockwise. The averaging grid is the same mirrored or turned, so
// turning the reduced picture gives the pixels of reducing the turned one.
bool SendUpright(const QImage& stored, QImageIOHandler::Transformations turn, ShrinkSink& sink,
                 const std::atomic<bool>* stop)
{
    const bool mirror = turn.testFlag(QImageIOHandler::TransformationMirror);
    const bool flip = turn.testFlag(QImageIOHandler::TransformationFlip);
    const bool rotate = turn.testFlag(QImageIOHandler::TransformationRotate90);
    const int w = stored.width();
    const int h = stored.height();
    const auto* pixels = reinterpret_cast<const QRgb*>(stored.constBits());
    const qsizetype stride = stored.bytesPerLine() / 4;
    for (int y = 0; y < (rotate ? w : h); ++y) {
        if (y % 64 == 0 && Raised(stop))
            return false;
        auto* out = reinterpret_cast<QRgb*>(sink.NextRow());
        if (!out)
            return false;
        for (int x = 0; x < (rotate ? h : w); ++x) {
            // (mx, my) in the mirrored picture, which the turn takes to (x, y).
            const int mx = rotate ? y : x;
            const int my = rotate ? h - 1 - x : y;
            out[x] = pixels[(flip ? h - 1 - my : my) * stride + (mirror ? w - 1 - mx : mx)];
        }
        if (!sink.RowDone())
            return false;
    }
    return true;
}

// A JPEG decoded row by row straight into the reduction in its stored
// orientation (the target sides swapped when it is stored sideways). Stored
// upright, the reduced rows go on into the sink as they are made (at the
// picture's own size the decoded rows do, decoded where they go); stored
// turned, the reduced picture is held and then given upright.
ShrinkOutcome StreamShrunk(QIODevice& device, const QString& path, double ratio, const std::atomic<bool>* stop,
                           ShrinkSink& sink)
{
    ShrinkOutcome result;
    QImageIOHandler::Transformations turn;
    QSize target;
    QImage held;
    SinkRows sinkRows(sink);
    std::optional<ImageRows> heldRows;
    RowTarget* rows = &sinkRows;
    std::optional<RowReducer> reducer;
    int width = 0;
    int copied = 0;
    bool tooLarge = false;
    bool ended = false;
    const auto begin = [&](const JpegHeader& header) {
        const QSize size = header.Size;
        if (TooLarge(size)) {
            tooLarge = true;
            return false;
        }
        turn = header.Turn;
        const bool upright = turn == QImageIOHandler::TransformationNone;
        const bool sideways = turn.testFlag(QImageIOHandler::TransformationRotate90);
        result.SourceSize = sideways ? size.transposed() : size;
        result.Space = header.Space;
        target = QSize(TargetLength(result.SourceSize.width(), ratio), TargetLength(result.SourceSize.height(), ratio));
        const QSize stored = sideways ? target.transposed() : target;
        std::shared_ptr<const ReductionPlan> plan;
        if (stored != size) {
            plan = MakeReductionPlan(size.width(), size.height(), stored.width(), stored.height());
            if (!plan)
                return false;
        }
        const qint64 heldBytes = upright ? 0 : 4 * static_cast<qint64>(stored.width()) * stored.height();
        ended = !sink.Reserve(header.DecoderBytes + (plan ? ReductionBytes(*plan) : 0) + heldBytes, target) ||
                (upright && !sink.Begin(result.SourceSize, target));
        if (ended)
            return false;
        if (!upright) {
            held = QImage(stored, QImage::Format_RGB32);
            if (held.isNull())
                return false;
            rows = &heldRows.emplace(held.bits(), held.bytesPerLine());
        }
        width = size.width();
        if (plan)
            reducer.emplace(plan, *rows, 0, stored.height());
        return true;
    };
    const auto row = [&](const uchar* line) {
        ended = !(reducer ? reducer->Push(line) : CopyRow(*rows, copied++, line, width));
        return !ended;
    };
    // At the picture's own size the rows are decoded where they go.
    const auto into = [&]() -> uchar* { return reducer ? nullptr : rows->Row(copied); };

    switch (DecodeJpegRows(device, stop, begin, row, into)) {
    case JpegRowsResult::Done:
        break;
    case JpegRowsResult::Stopped:
        return Ended();
    case JpegRowsResult::Unsupported:  // Qt's reader refuses these layouts too
    case JpegRowsResult::Corrupt:
        return Failed<ShrinkOutcome>(UnreadableError(path));
    case JpegRowsResult::OutOfMemory:
        return Failed<ShrinkOutcome>(NoMemoryError(path));
    case JpegRowsResult::Declined:
        if (ended)
            return Ended();
        return Failed<ShrinkOutcome>(tooLarge ? TooLargeError(path) : SurfaceError(path));
    }
    if (turn != QImageIOHandler::TransformationNone &&
        !(sink.Begin(result.SourceSize, target) && SendUpright(held, turn, sink, stop)))
        return Ended();
    return result;
}

// Collects the rows of a shrunk picture into an image.
class ImageSink final : public ShrinkSink {
public:
    bool Reserve(qint64, QSize) override { return true; }
    bool Begin(QSize, QSize target) override
    {
        Image = QImage(target, QImage::Format_RGB32);
        Failed = Image.isNull() && !target.isEmpty();
        return !Failed;
    }
    uchar* NextRow() override { return row_ < Image.height() ? Image.scanLine(row_) : nullptr; }
    bool RowDone() override
    {
        ++row_;
        return true;
    }

    QImage Image;
    bool Failed = false;  // the image could not be allocated

private:
    int row_ = 0;
};

// What a picture collected into an image came to.
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

// A picture loaded whole: a JPEG streamed at its own size (Stop read every
// few rows), anything else through Qt's readers (Stop read once it is in).
LoadedPicture ReadOpened(QFile& file, const QString& path, const std::atomic<bool>* stop)
{
    if (!IsJpeg(file)) {
        LoadedPicture whole = ReadWhole(file, path);
        whole.Stopped = whole.Ok() && Raised(stop);
        return whole;
    }
    ImageSink sink;
    ReducedPicture streamed = Collected(StreamShrunk(file, path, 1.0, stop, sink), sink, path);
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

ShrinkOutcome ShrinkPicture(const QString& path, double ratio, ShrinkSink& sink, const std::atomic<bool>* stop)
{
    // A test's loader stands in for the files; the reduction is the real one.
    if (LoaderOverride())
        return ShrinkLoaded(LoaderOverride()(path, stop), ratio, sink, stop, path);
    try {
        OpenedPictureFile opened = OpenPictureFile(path);
        if (!opened.File)
            return Failed<ShrinkOutcome>(std::move(*opened.Error));
        QFile& file = *opened.File;
        if (IsJpeg(file))
            return StreamShrunk(file, path, ratio, stop, sink);
        // BMP, GIF and anything else Qt reads: whole, then reduced.
        const auto reserve = [&](QSize header) {
            return sink.Reserve(WholeBytes(header),
                                QSize(TargetLength(header.width(), ratio), TargetLength(header.height(), ratio)));
        };
        return ShrinkLoaded(ReadWhole(file, path, reserve), ratio, sink, stop, path);
    } catch (const std::bad_alloc&) {
        return Failed<ShrinkOutcome>(NoMemoryError(path));
    }
}

ReducedPicture LoadReducedPicture(const QString& path, double ratio, const std::atomic<bool>* stop)
{
    ImageSink sink;
    return Collected(ShrinkPicture(path, ratio, sink, stop), sink, path);
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
