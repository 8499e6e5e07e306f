// Picture services: decoding through QImageReader into an opaque sRGB 32-bit
// image, the picture box the encoder reads, and the averaging reduction.
#include "shell/picture.h"

#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSemaphore>
#include <QThreadPool>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <numeric>
#include <vector>

#include "shell/twips.h"

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

LoadedPicture Failure(PictureErrorNumber number, const QString& message, const QString& path)
{
    LoadedPicture result;
    result.Error = PictureError{number, message + QStringLiteral(" (") + QDir::toNativeSeparators(path) +
                                            QLatin1Char(')')};
    return result;
}

// The box could not make its image of the picture (error 480).
PictureError SurfaceError()
{
    return PictureError{PictureErrorNumber::SurfaceTooLarge, QStringLiteral("画像が大きすぎて扱えません。")};
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

LoadedPicture DecodePicture(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return Failure(PictureErrorNumber::FileNotFound, QStringLiteral("ファイルが見つかりません。"), path);
    {
        // QImageReader reports an unreadable file as "not found"; say what it is.
        QFile probe(path);
        if (info.isDir() || !probe.open(QIODevice::ReadOnly))
            return Failure(PictureErrorNumber::InvalidPicture, QStringLiteral("画像ファイルを開けません。"), path);
    }

    QImageReader reader(path);
    reader.setAutoTransform(true);
    reader.setAllocationLimit(AllocationLimitMb);
    // The header alone tells the size: a bomb is refused before any pixel is decoded.
    const QSize size = reader.size();
    if (size.isValid() && static_cast<qint64>(size.width()) * size.height() > MaxPicturePixels) {
        return Failure(PictureErrorNumber::OutOfMemory,
                       QStringLiteral("画像が大きすぎて読み込めません。"), path);
    }

    QImage image;
    try {
        if (!reader.read(&image))
            return Failure(PictureErrorNumber::InvalidPicture, QStringLiteral("画像ファイルを読み込めません。"), path);
    } catch (const std::bad_alloc&) {
        return Failure(PictureErrorNumber::OutOfMemory, QStringLiteral("メモリが足りません。"), path);
    }
    image = ToOpaqueRgb32(std::move(image));
    if (image.isNull())
        return Failure(PictureErrorNumber::OutOfMemory, QStringLiteral("メモリが足りません。"), path);

    LoadedPicture result;
    result.Image = std::move(image);
    return result;
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
    // Until the header reader exists: the whole picture, measured.
    PictureInfo info;
    LoadedPicture loaded = LoadPicture(path);
    if (!loaded.Ok())
        info.Error = std::move(loaded.Error);
    else
        info.Size = loaded.Image.size();
    return info;
}

ReducedPicture LoadReducedPicture(const QString& path, double ratio, const std::atomic<bool>* stop)
{
    ReducedPicture result;
    LoadedPicture loaded = LoadPicture(path);
    if (!loaded.Ok()) {
        result.Error = std::move(loaded.Error);
        return result;
    }
    if (stop && stop->load(std::memory_order_relaxed)) {
        result.Stopped = true;
        return result;
    }
    result.SourceSize = loaded.Image.size();
    const int width = TargetLength(result.SourceSize.width(), ratio);
    const int height = TargetLength(result.SourceSize.height(), ratio);
    if (width <= 0 || height <= 0)
        return result;  // an empty picture stays empty
    result.Image = StretchHalftone(loaded.Image, width, height);
    if (result.Image.isNull())
        result.Error = Failure(PictureErrorNumber::SurfaceTooLarge, SurfaceError().Description, path).Error;
    return result;
}

LoadedPicture LoadPicture(const QString& path)
{
    return LoaderOverride() ? LoaderOverride()(path) : DecodePicture(path);
}

void SetPictureLoader(PictureLoader loader)
{
    LoaderOverride() = std::move(loader);
}

namespace {

// Where each target pixel along one axis takes its source pixels from. Target
// pixel i covers source [i * src / dst, (i + 1) * src / dst); in units of
// 1 / dst source pixel every edge is a whole number, so each weight is the
// exact overlap, and all weights of one target pixel add up to Total.
struct Taps {
    std::vector<int> First;      // first source pixel of each target pixel
    std::vector<int> Offset;     // index into Weight of each target pixel; one extra at the end
    std::vector<std::uint32_t> Weight;
    std::uint64_t Total = 0;
    // The same weights, Stride to every target pixel, the missing ones zero:
    // a loop of fixed length is what the compiler unrolls.
    int Stride = 0;
    std::vector<std::uint32_t> Padded;
};

Taps MakeTaps(int src, int dst)
{
    Taps taps;
    const std::int64_t g = std::gcd(static_cast<std::int64_t>(src), static_cast<std::int64_t>(dst));
    taps.Total = static_cast<std::uint64_t>(src / g);
    taps.First.resize(static_cast<std::size_t>(dst));
    taps.Offset.resize(static_cast<std::size_t>(dst) + 1);
    taps.Weight.reserve(static_cast<std::size_t>(dst) + static_cast<std::size_t>(src) + 1);
    for (int i = 0; i < dst; ++i) {
        const std::int64_t lo = static_cast<std::int64_t>(i) * src;
        const std::int64_t hi = lo + src;
        const std::int64_t j0 = lo / dst;
        const std::int64_t j1 = (hi - 1) / dst;
        taps.First[static_cast<std::size_t>(i)] = static_cast<int>(j0);
        taps.Offset[static_cast<std::size_t>(i)] = static_cast<int>(taps.Weight.size());
        for (std::int64_t j = j0; j <= j1; ++j) {
            const std::int64_t overlap = std::min(hi, (j + 1) * dst) - std::max(lo, j * dst);
            taps.Weight.push_back(static_cast<std::uint32_t>(overlap / g));
        }
    }
    taps.Offset[static_cast<std::size_t>(dst)] = static_cast<int>(taps.Weight.size());
    for (int i = 0; i < dst; ++i)
        taps.Stride = std::max(taps.Stride, taps.Offset[static_cast<std::size_t>(i) + 1] - taps.Offset[static_cast<std::size_t>(i)]);
    taps.Padded.assign(static_cast<std::size_t>(dst) * static_cast<std::size_t>(taps.Stride), 0u);
    for (int i = 0; i < dst; ++i) {
        for (int k = taps.Offset[static_cast<std::size_t>(i)]; k < taps.Offset[static_cast<std::size_t>(i) + 1]; ++k) {
            taps.Padded[static_cast<std::size_t>(i) * static_cast<std::size_t>(taps.Stride) +
                        static_cast<std::size_t>(k - taps.Offset[static_cast<std::size_t>(i)])] =
                taps.Weight[static_cast<std::size_t>(k)];
        }
    }
    return taps;
}

// sum / total rounded to the nearest integer, halves upward, exactly: the
// floating-point guess is corrected in integers.
inline std::uint32_t RoundedQuotient(std::uint64_t sum, std::uint64_t total, double inverse)
{
    std::uint64_t q = static_cast<std::uint64_t>(static_cast<double>(sum) * inverse + 0.5);
    if (2 * sum >= (2 * q + 1) * total)
        ++q;
    else if (q > 0 && 2 * sum < (2 * q - 1) * total)
        --q;
    return static_cast<std::uint32_t>(q);
}

// The four byte sums of each target pixel of one row, then their averages.
// FixedTaps is the padded tap count when known at compile time, else 0.
template <typename Column, typename Sum, int FixedTaps>
void AverageAcross(const Column* column, const Taps& across, int width, std::uint32_t* target,
                   const uchar* rounded, std::uint64_t total, double inverse, bool nudgeExact)
{
    const int stride = FixedTaps > 0 ? FixedTaps : across.Stride;
    const double half = 0.5 + 1e-9;
    for (int tx = 0; tx < width; ++tx) {
        const Column* acc = column + static_cast<std::size_t>(across.First[static_cast<std::size_t>(tx)]) * 4;
        const std::uint32_t* weight = across.Padded.data() + static_cast<std::size_t>(tx) * static_cast<std::size_t>(stride);
        Sum s[4] = {0, 0, 0, 0};
        for (int k = 0; k < stride; ++k, acc += 4) {
            const Sum wx = weight[k];
            s[0] += wx * acc[0];
            s[1] += wx * acc[1];
            s[2] += wx * acc[2];
            s[3] += wx * acc[3];
        }
        std::uint32_t pixel;
        auto* bytes = reinterpret_cast<uchar*>(&pixel);
        if (rounded) {
            for (int c = 0; c < 4; ++c)
                bytes[c] = rounded[s[c]];
        } else {
            for (int c = 0; c < 4; ++c) {
                bytes[c] = static_cast<uchar>(
                    nudgeExact ? static_cast<std::uint32_t>(static_cast<double>(s[c]) * inverse + half)
                               : RoundedQuotient(s[c], total, inverse));
            }
        }
        target[tx] = pixel | 0xFF000000u;
    }
}

// One target row at a time: the covered source rows are summed with their
// vertical weights into Column (every byte of a pixel alike, the alpha byte
// too, which keeps the loops free of byte-order cases and lets them
// vectorise), then the covered columns with their horizontal weights into Sum.
// Column must hold 255 x the vertical total, Sum 255 x both totals.
template <typename Column, typename Sum>
void ReduceRows(const QImage& src, uchar* outBits, qsizetype outStride, int width, const Taps& across,
                const Taps& down, int firstRow, int endRow, std::vector<Column>& column, const uchar* rounded)
{
    const std::uint64_t total = across.Total * down.Total;
    const double inverse = 1.0 / static_cast<double>(total);
    // A quotient that is not a tie lies at least 1 / (2 total) from one, far
    // beyond the error of the product, so a nudge below that distance makes
    // truncation round exact ties upward and leaves every other value alone.
    const bool nudgeExact = total <= (std::uint64_t{1} << 28);
    const std::size_t rowBytes = static_cast<std::size_t>(src.width()) * 4;
    for (int ty = firstRow; ty < endRow; ++ty) {
        std::fill(column.begin(), column.begin() + static_cast<std::ptrdiff_t>(rowBytes), Column{0});
        const int y0 = down.First[static_cast<std::size_t>(ty)];
        const int begin = down.Offset[static_cast<std::size_t>(ty)];
        const int end = down.Offset[static_cast<std::size_t>(ty) + 1];
        for (int k = begin; k < end; ++k) {
            const Column wy = static_cast<Column>(down.Weight[static_cast<std::size_t>(k)]);
            const uchar* line = src.constScanLine(y0 + (k - begin));
            Column* acc = column.data();
            for (std::size_t b = 0; b < rowBytes; ++b)
                acc[b] = static_cast<Column>(acc[b] + wy * line[b]);
        }
        auto* target = reinterpret_cast<std::uint32_t*>(outBits + ty * outStride);
        switch (across.Stride) {
        case 2: AverageAcross<Column, Sum, 2>(column.data(), across, width, target, rounded, total, inverse, nudgeExact); break;
        case 3: AverageAcross<Column, Sum, 3>(column.data(), across, width, target, rounded, total, inverse, nudgeExact); break;
        case 4: AverageAcross<Column, Sum, 4>(column.data(), across, width, target, rounded, total, inverse, nudgeExact); break;
        default: AverageAcross<Column, Sum, 0>(column.data(), across, width, target, rounded, total, inverse, nudgeExact); break;
        }
    }
}

// Bands of target rows are independent; large pictures share them out over
// Qt's global thread pool as Qt's own scaling does, the caller taking a band.
template <typename Column, typename Sum>
void Reduce(const QImage& src, QImage& out, const Taps& across, const Taps& down)
{
    QThreadPool* pool = QThreadPool::globalInstance();
    const qint64 work = static_cast<qint64>(src.width()) * src.height();
    const int bands = work < 1'000'000 ? 1 : std::clamp(pool->maxThreadCount(), 1, std::max(1, out.height() / 16));
    // Buffers are made here (with room for the padded taps past the last
    // column), so no allocation can fail inside a pool thread.
    std::vector<std::vector<Column>> columns(static_cast<std::size_t>(bands),
                                             std::vector<Column>((static_cast<std::size_t>(src.width()) +
                                                                  static_cast<std::size_t>(across.Stride)) * 4));
    // With few weights every possible sum fits a small table of its average.
    const std::uint64_t total = across.Total * down.Total;
    std::vector<uchar> table;
    if (255 * total < 65536) {
        table.resize(static_cast<std::size_t>(255 * total + 1));
        for (std::uint64_t sum = 0; sum < table.size(); ++sum)
            table[static_cast<std::size_t>(sum)] = static_cast<uchar>((2 * sum + total) / (2 * total));
    }
    const uchar* const rounded = table.empty() ? nullptr : table.data();
    // Taken once here: scanLine() would detach, which is not safe from several threads.
    uchar* const bits = out.bits();
    const qsizetype stride = out.bytesPerLine();
    const int width = out.width();
    QSemaphore done;
    for (int band = 1; band < bands; ++band) {
        const int first = static_cast<int>(static_cast<qint64>(out.height()) * band / bands);
        const int end = static_cast<int>(static_cast<qint64>(out.height()) * (band + 1) / bands);
        const auto task = [&, band, first, end] {
            ReduceRows<Column, Sum>(src, bits, stride, width, across, down, first, end,
                                    columns[static_cast<std::size_t>(band)], rounded);
            done.release();
        };
        // A busy pool is no reason to wait: the band then runs here.
        if (!pool->tryStart(task))
            task();
    }
    ReduceRows<Column, Sum>(src, bits, stride, width, across, down, 0,
                            static_cast<int>(static_cast<qint64>(out.height()) / bands), columns[0], rounded);
    done.acquire(bands - 1);
}

}  // namespace

QImage StretchHalftone(const QImage& source, int width, int height)
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
        const Taps across = MakeTaps(src.width(), width);
        const Taps down = MakeTaps(src.height(), height);
        constexpr std::uint64_t max32 = std::numeric_limits<std::uint32_t>::max();
        if (down.Total > max32 / 255)
            return {};
        QImage out(width, height, QImage::Format_RGB32);
        if (out.isNull())
            return {};
        // The narrowest accumulators that cannot overflow: narrow lanes are
        // what makes the loops fast.
        if (down.Total <= 65535 / 255 && 255 * down.Total * across.Total <= max32)
            Reduce<std::uint16_t, std::uint32_t>(src, out, across, down);
        else if (255 * down.Total * across.Total <= max32)
            Reduce<std::uint32_t, std::uint32_t>(src, out, across, down);
        else
            Reduce<std::uint32_t, std::uint64_t>(src, out, across, down);
        return out;
    } catch (const std::bad_alloc&) {
        return {};
    }
}

namespace {

// Shares the box's image: taking it copies no pixel, and a later change of the
// box detaches the box's copy, so the snapshot keeps what it saw.
class ImageSnapshot final : public ModuleJPEG::Snapshot {
public:
    explicit ImageSnapshot(QImage image) : image_(std::move(image)) {}
    ModuleJPEG::PixelRows Rows() const override
    {
        ModuleJPEG::PixelRows rows;
        if (image_.isNull())
            return rows;
        rows.first = reinterpret_cast<const std::uint32_t*>(image_.constBits());
        rows.stride = image_.bytesPerLine() / 4;
        rows.width = image_.width();
        rows.height = image_.height();
        return rows;
    }

private:
    const QImage image_;
};

}  // namespace

PictureBox::PictureBox() = default;

std::optional<PictureError> PictureBox::LoadFile(const QString& path)
{
    LoadedPicture loaded = LoadPicture(path);
    if (!loaded.Ok())
        return loaded.Error;
    if (!SetPicture(std::move(loaded.Image)))
        return Failure(PictureErrorNumber::SurfaceTooLarge, SurfaceError().Description, path).Error;
    return std::nullopt;
}

bool PictureBox::SetPicture(QImage image)
{
    const bool empty = image.isNull();
    QImage opaque = ToOpaqueRgb32(std::move(image));
    if (opaque.isNull() && !empty)
        return false;
    image_ = std::move(opaque);
    return true;
}

double PictureBox::Width() const
{
    return static_cast<double>(image_.width()) * TwipsPerPixelX();
}

double PictureBox::Height() const
{
    return static_cast<double>(image_.height()) * TwipsPerPixelY();
}

std::optional<PictureError> PictureBox::StretchTo(int width, int height)
{
    if (width == image_.width() && height == image_.height())
        return std::nullopt;
    if (width <= 0 || height <= 0) {
        image_ = QImage();
        return std::nullopt;
    }
    QImage reduced = StretchHalftone(image_, width, height);
    if (reduced.isNull())
        return SurfaceError();
    image_ = std::move(reduced);
    return std::nullopt;
}

std::shared_ptr<const ModuleJPEG::Snapshot> PictureBox::Capture()
{
    try {
        if (!image_.isNull() && image_.format() != QImage::Format_RGB32) {
            QImage converted = image_.convertToFormat(QImage::Format_RGB32);
            if (converted.isNull())
                return nullptr;
            return std::make_shared<ImageSnapshot>(std::move(converted));
        }
        return std::make_shared<ImageSnapshot>(image_);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace basMain
