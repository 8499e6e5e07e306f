// The JPEG reader: decoded with libjpeg row by row straight into the
// reduction, so neither the full-size nor the reduced picture of a JPEG
// stored upright is ever held.
#include <QImage>
#include <QImageIOHandler>

#include <new>
#include <optional>

#include "pictures/jpegrows.h"
#include "pictures/picturereader.h"

namespace pictures {
namespace {

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
// orientation (the target sides swapped when it is stored sideways), at a
// smaller scale where the rule allows it (JpegScaleFor). Stored
// upright, the reduced rows go on into the sink as they are made (at the
// picture's own size the decoded rows do, decoded where they go); stored
// turned, the reduced picture is held and then given upright.
ShrinkOutcome StreamShrunk(QIODevice& device, const QString& path, const SizeRule& rule, const std::atomic<bool>* stop,
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
    const auto begin = [&](const JpegHeader& header, int& denominator) {
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
        target = TargetSize(rule, result.SourceSize);
        const QSize stored = sideways ? target.transposed() : target;
        if (rule.ScaledDecode)
            denominator = JpegScaleFor(size, stored);
        const QSize decoded = JpegScaledSize(size, denominator);
        std::shared_ptr<const ReductionPlan> plan;
        if (stored != decoded) {
            plan = MakeReductionPlan(decoded.width(), decoded.height(), stored.width(), stored.height());
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
        width = decoded.width();
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

class JpegReader final : public PictureReader {
public:
    JpegReader(QFile& file, const QString& path, const std::atomic<bool>* stop) : file_(file), path_(path), stop_(stop) {}

    PictureInfo Measure() override
    {
        JpegHeader header;
        switch (ReadJpegHeader(file_, nullptr, header)) {
        case JpegRowsResult::Done:
            break;
        case JpegRowsResult::OutOfMemory:
            return Failed<PictureInfo>(NoMemoryError(path_));
        default:
            return Failed<PictureInfo>(UnreadableError(path_));
        }
        PictureInfo info;
        info.Size = header.Turn.testFlag(QImageIOHandler::TransformationRotate90) ? header.Size.transposed() : header.Size;
        if (!info.Size.isValid())
            return Failed<PictureInfo>(UnreadableError(path_));
        if (TooLarge(info.Size))
            return Failed<PictureInfo>(TooLargeError(path_));
        return info;
    }

    // Streamed at its own size, read every few rows.
    LoadedPicture Load() override
    {
        ImageSink sink;
        ReducedPicture streamed = Collected(StreamShrunk(file_, path_, RatioRule(1.0), stop_, sink), sink, path_);
        LoadedPicture result;
        result.Image = std::move(streamed.Image);
        result.Error = std::move(streamed.Error);
        result.Stopped = streamed.Stopped;
        return result;
    }

    ShrinkOutcome Shrink(const SizeRule& size, ShrinkSink& sink) override
    {
        return StreamShrunk(file_, path_, size, stop_, sink);
    }

private:
    QFile& file_;
    const QString& path_;
    const std::atomic<bool>* const stop_;
};

}  // namespace

std::unique_ptr<PictureReader> JpegPictureReader(QFile& file, const QString& path, const std::atomic<bool>* stop)
{
    return std::make_unique<JpegReader>(file, path, stop);
}

}  // namespace pictures
