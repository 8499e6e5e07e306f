// The per-image path driven by arbitrary bytes, with its promises checked.
#include "fuzz/picturepath.h"

#include <QColorSpace>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QSize>
#include <cstring>
#include <vector>

#include <algorithm>

#include "jpeg/jpeg.h"
#include "pictures/heifreader.h"
#include "pictures/jpegrows.h"
#include "pictures/orientation.h"
#include "pictures/picture.h"
#include "pictures/picturereader.h"

namespace fuzz {
namespace {

// Pictures above this many pixels that the loader would still accept are
// only loaded one step, reduced to a tenth at most: held whole they would be
// slow and large, not wrong, and the search is for faults. A JPEG streams
// into the reduction, so this still tries how its time and memory are
// bounded up to the loader's limit (thousands of scans, floods of segments);
// the other formats are held whole and skipped there. Claims above the
// loader's own limit go through, so its refusal is exercised.
constexpr qint64 SearchMaxPixels = qint64{1} << 20;
constexpr double LargeMaxRatio = 0.1;

QString Signature(const QByteArray& file)
{
    if (file.startsWith("\xFF\xD8"))
        return QStringLiteral(".jpg");
    if (file.startsWith("BM"))
        return QStringLiteral(".bmp");
    if (file.startsWith("GIF8"))
        return QStringLiteral(".gif");
    if (pictures::HeifReader::IsHeif(file.left(64)))
        return QStringLiteral(".heic");
    return {};
}

// The pixels a file will decode to, as far as its header tells. Qt's reader
// reports less for two kinds: a top-down BMP's height as negative, and for a
// GIF the first frame's size while it decodes at least the GIF's whole screen.
struct Claim {
    qint64 Pixels = 0;
    bool Streamed = false;  // a JPEG, read row by row into the reduction
    QImageIOHandler::Transformations Turn;  // a JPEG's, from its Exif orientation
};

Claim ClaimOf(const QString& path, const QByteArray& file)
{
    Claim claim;
    if (file.startsWith("\xFF\xD8")) {
        // Qt's JPEG reader would take minutes over a flood of segments.
        QFile jpeg(path);
        pictures::JpegHeader header;
        if (jpeg.open(QIODevice::ReadOnly) && pictures::ReadJpegHeader(jpeg, nullptr, header) != pictures::JpegRowsResult::Corrupt)
            claim.Pixels = qint64{header.Size.width()} * header.Size.height();
        claim.Turn = header.Turn;
        claim.Streamed = true;
        return claim;
    }
    if (pictures::HeifReader::IsHeif(file.left(64))) {
        // The container alone; its own refusal of a bomb is what the path tries.
        QFile heif(path);
        if (heif.open(QIODevice::ReadOnly)) {
            const pictures::HeifReader reader(heif);
            claim.Pixels = qint64{reader.Size().width()} * reader.Size().height();
        }
        return claim;
    }
    QImageReader reader(path);
    const QSize size = reader.size();
    qint64 width = qAbs(size.width());
    qint64 height = qAbs(size.height());
    // By its name Qt takes a file for a GIF without looking at the signature.
    if (reader.format() == "gif" && file.size() >= 10) {
        const auto* screen = reinterpret_cast<const uchar*>(file.constData()) + 6;
        width = qMax(width, qint64{screen[0] | screen[1] << 8});
        height = qMax(height, qint64{screen[2] | screen[3] << 8});
    }
    claim.Pixels = width * height;
    return claim;
}

// A picture as compared with Qt's reader. A profile no reader can use
// carries no colours, and Qt's reader keeps its bytes on a picture it does
// not turn but drops them from one it turns: such a profile is left out.
QImage Comparable(QImage image)
{
    if (!image.colorSpace().isValid())
        image.setColorSpace(QColorSpace());
    return image;
}

QString SizeText(QSize size)
{
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

class MemorySink final : public jpeg::ByteSink {
public:
    jpeg::JpegResult Put(const std::uint8_t* data, std::size_t size) override
    {
        out.insert(out.end(), data, data + size);
        return jpeg::JpegResult::Ok;
    }
    std::vector<std::uint8_t> out;
};

// The rows one at a time, as a run gives them to the encoder.
jpeg::JpegResult EncodeRows(const QImage& image, std::vector<std::uint8_t>& out)
{
    MemorySink sink;
    jpeg::JpegWriter writer;
    jpeg::JpegResult result = writer.Start(sink, image.width(), image.height());
    for (int y = 0; y < image.height() && result == jpeg::JpegResult::Ok; ++y) {
        std::uint32_t* row = writer.NextRow();
        if (!row)
            return jpeg::JpegResult::Unexpected;
        std::memcpy(row, image.constScanLine(y), static_cast<std::size_t>(image.width()) * 4);
        result = writer.RowDone();
    }
    if (result == jpeg::JpegResult::Ok)
        result = writer.Finish();
    out = std::move(sink.out);
    return result;
}

// The encoder must take any reduced picture and give a stream a decoder reads
// back at the same size.
QString CheckEncoding(const QImage& image)
{
    std::vector<std::uint8_t> out;
    const jpeg::JpegResult result = EncodeRows(image, out);
    // The frame header has 16 bits for each side.
    if (image.width() > 0xFFFF || image.height() > 0xFFFF) {
        if (result == jpeg::JpegResult::Unexpected)
            return {};
        return QStringLiteral("encoding %1 gave %2, not the overflow failure")
            .arg(SizeText(image.size()))
            .arg(static_cast<int>(result));
    }
    if (result != jpeg::JpegResult::Ok)
        return QStringLiteral("encoding %1 failed with %2").arg(SizeText(image.size())).arg(static_cast<int>(result));
    if (out.size() < 4 || out[0] != 0xFF || out[1] != 0xD8 || out[out.size() - 2] != 0xFF || out.back() != 0xD9)
        return QStringLiteral("the encoded stream does not run from SOI to EOI");
    // libjpeg reads no side above 65500, though the frame header holds more.
    if (image.width() > 65500 || image.height() > 65500)
        return {};
    const QImage back = QImage::fromData(
        QByteArray::fromRawData(reinterpret_cast<const char*>(out.data()), static_cast<qsizetype>(out.size())), "JPEG");
    if (back.size() != image.size())
        return QStringLiteral("the encoded %1 reads back as %2").arg(SizeText(image.size()), SizeText(back.size()));
    return {};
}

// Several sizes from one decode (the smaller ones from scaled decodes that
// share its coded data): each size gets the verdict and pixels it gets alone.
QString SeveralSizesFault(const QString& path, double ratio)
{
    const std::vector<pictures::SizeRule> rules = {pictures::RatioRule(ratio),
                                                   {pictures::RatioRule(ratio / 3).Target, true},
                                                   {pictures::RatioRule(ratio / 9).Target, true}};
    std::vector<pictures::ImageSink> rows(rules.size());
    const std::vector<pictures::ShrinkSink*> sinks = {&rows[0], &rows[1], &rows[2]};
    const std::vector<pictures::ShrinkOutcome> together = pictures::ShrinkPictureToSizes(path, rules, sinks);
    for (std::size_t k = 0; k < rules.size(); ++k) {
        pictures::ReducedPicture alone = pictures::LoadReducedPicture(path, rules[k]);
        alone.Image.setColorSpace({});
        if (together[k].Ok() != alone.Ok() || (alone.Ok() && rows[k].Image != alone.Image))
            return QStringLiteral("size %1 of several: %2, alone: %3")
                .arg(k)
                .arg(together[k].Ok() ? SizeText(rows[k].Image.size()) : QStringLiteral("failed"),
                     alone.Ok() ? SizeText(alone.Image.size()) : QStringLiteral("failed"));
    }
    return {};
}

}  // namespace

PathInput SplitInput(const std::uint8_t* data, std::size_t size)
{
    PathInput input;
    if (size == 0) {
        input.Extension = QStringLiteral(".jpg");
        return input;
    }
    input.Ratio = (data[0] % 100 + 1) / 100.0;
    input.File = QByteArray(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    input.Extension = Signature(input.File);
    if (input.Extension.isEmpty()) {
        static const QString names[] = {QStringLiteral(".jpg"), QStringLiteral(".bmp"), QStringLiteral(".gif")};
        input.Extension = names[data[0] / 100];
    }
    return input;
}

QByteArray JoinInput(int percent, const QByteArray& file)
{
    return QByteArray(1, static_cast<char>(percent - 1)) + file;
}

QString RunPicturePath(const std::uint8_t* data, std::size_t size, const QString& folder)
{
    const PathInput input = SplitInput(data, size);
    const QString path = folder + QStringLiteral("/picture") + input.Extension;
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(input.File) != input.File.size())
            return QStringLiteral("cannot write ") + path;
    }
    const Claim claim = ClaimOf(path, input.File);
    const bool large = claim.Pixels > SearchMaxPixels && claim.Pixels <= pictures::MaxPicturePixels;
    if (large && !claim.Streamed)
        return {};
    const double ratio = large ? std::min(input.Ratio, LargeMaxRatio) : input.Ratio;

    const pictures::ReducedPicture reduced = pictures::LoadReducedPicture(path, ratio);
    // A box's rule may have a JPEG decoded at a smaller scale: the same size
    // and the same verdict, whatever the file holds.
    if (claim.Streamed) {
        const pictures::ReducedPicture scaled = pictures::LoadReducedPicture(path, {pictures::RatioRule(ratio).Target, true});
        if (scaled.Ok() != reduced.Ok() || scaled.Image.size() != reduced.Image.size())
            return QStringLiteral("decoded at a smaller scale: %1, in full: %2")
                .arg(scaled.Ok() ? SizeText(scaled.Image.size()) : QStringLiteral("failed"),
                     reduced.Ok() ? SizeText(reduced.Image.size()) : QStringLiteral("failed"));
    }
    if (reduced.Stopped)
        return QStringLiteral("stopped with no stop flag");
    if (reduced.Error)
        return reduced.Error->Description.isEmpty() ? QStringLiteral("a failure with no description") : QString();
    const QSize source = reduced.SourceSize;
    if (source.isEmpty())
        return reduced.Image.isNull() ? QString() : QStringLiteral("a picture reduced from nothing");
    if (qint64{source.width()} * source.height() > pictures::MaxPicturePixels)
        return QStringLiteral("%1 accepted above the pixel limit").arg(SizeText(source));
    const QSize target(pictures::TargetLength(source.width(), ratio), pictures::TargetLength(source.height(), ratio));
    if (reduced.Image.size() != target || reduced.Image.format() != QImage::Format_RGB32)
        return QStringLiteral("%1 reduced to %2 in format %3, not to %4")
            .arg(SizeText(source), SizeText(reduced.Image.size()))
            .arg(static_cast<int>(reduced.Image.format()))
            .arg(SizeText(target));

    if (large)
        return CheckEncoding(reduced.Image);
    if (claim.Streamed) {
        const QString several = SeveralSizesFault(path, ratio);
        if (!several.isEmpty())
            return several;
    }

    // The one-step load and reduction promises the pixels of the two steps;
    // for any format, this also catches pixels a reader leaves unset (two
    // loads that differ).
    const pictures::LoadedPicture whole = pictures::LoadPicture(path);
    if (whole.Ok() && whole.Image.size() != source)
        return QStringLiteral("loaded as %1 whole, %2 when reduced").arg(SizeText(whole.Image.size()), SizeText(source));
    if (whole.Ok() && pictures::StretchHalftone(whole.Image, target.width(), target.height()) != reduced.Image)
        return QStringLiteral("the one-step reduction of %1 differs from load and stretch").arg(SizeText(source));
    // A JPEG read here gives the pixels, orientation and colours Qt's reader
    // gives (which is slow only over floods of segments, far above this size).
    // Qt's reader takes an orientation stored as one SHORT only: one stored
    // otherwise (a LONG, several values) is turned as exiftool reads it.
    if (claim.Streamed && whole.Ok() && input.File.size() <= 64 * 1024) {
        QImageReader qt(path);
        qt.setAutoTransform(true);
        QImage read = qt.read();
        if (!read.isNull() && qt.transformation() == QImageIOHandler::TransformationNone)
            read = pictures::Turned(read, claim.Turn);
        const QImage theirs = Comparable(pictures::ToOpaqueSrgb(read));
        if (!theirs.isNull() && theirs != Comparable(whole.Image))
            return QStringLiteral("the JPEG reads as %1, Qt's reader gives another %2").arg(SizeText(source), SizeText(theirs.size()));
    }
    return CheckEncoding(reduced.Image);
}

}  // namespace fuzz
