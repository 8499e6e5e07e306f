// The JPEG reader: decoded with libjpeg row by row straight into the
// reduction, so neither the full-size nor the reduced picture of a JPEG
// stored upright is ever held; several sizes share one entropy decoding.
#include <QImage>
#include <QImageIOHandler>

#include <new>
#include <optional>
#include <vector>

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
class StreamShrink {
public:
    StreamShrink(const QString& path, const SizeRule& rule, const std::atomic<bool>* stop, ShrinkSink& sink)
        : path_(path), rule_(rule), stop_(stop), sink_(sink), sinkRows_(sink)
    {
    }
    StreamShrink(const StreamShrink&) = delete;
    StreamShrink& operator=(const StreamShrink&) = delete;

    // The decode's callbacks, which refer to this object.
    JpegRowsOutput Output()
    {
        return {[this](const JpegHeader& header, int& denominator) { return Begin(header, denominator); },
                [this](const uchar* line) { return Row(line); },
                // At the picture's own size the rows are decoded where they go.
                [this]() -> uchar* { return reducer_ ? nullptr : rows_->Row(copied_); }};
    }

    // What the decode's result comes to.
    ShrinkOutcome Finish(JpegRowsResult decoded)
    {
        switch (decoded) {
        case JpegRowsResult::Done:
            break;
        case JpegRowsResult::Stopped:
            return Ended();
        case JpegRowsResult::Unsupported:  // Qt's reader refuses these layouts too
        case JpegRowsResult::Corrupt:
            return Failed<ShrinkOutcome>(UnreadableError(path_));
        case JpegRowsResult::OutOfMemory:
            return Failed<ShrinkOutcome>(NoMemoryError(path_));
        case JpegRowsResult::Declined:
            if (ended_)
                return Ended();
            return Failed<ShrinkOutcome>(tooLarge_ ? TooLargeError(path_) : SurfaceError(path_));
        }
        if (turn_ != QImageIOHandler::TransformationNone &&
            !(sink_.Begin(result_.SourceSize, target_) && SendUpright(held_, turn_, sink_, stop_)))
            return Ended();
        return result_;
    }

private:
    bool Begin(const JpegHeader& header, int& denominator)
    {
        const QSize size = header.Size;
        if (TooLarge(size)) {
            tooLarge_ = true;
            return false;
        }
        turn_ = header.Turn;
        const bool upright = turn_ == QImageIOHandler::TransformationNone;
        const bool sideways = turn_.testFlag(QImageIOHandler::TransformationRotate90);
        result_.SourceSize = sideways ? size.transposed() : size;
        result_.Space = header.Space;
        target_ = TargetSize(rule_, result_.SourceSize);
        const QSize stored = sideways ? target_.transposed() : target_;
        if (rule_.ScaledDecode)
            denominator = JpegScaleFor(size, stored);
        const QSize decoded = JpegScaledSize(size, denominator);
        std::shared_ptr<const ReductionPlan> plan;
        if (stored != decoded) {
            plan = MakeReductionPlan(decoded.width(), decoded.height(), stored.width(), stored.height());
            if (!plan)
                return false;
        }
        const qint64 heldBytes = upright ? 0 : 4 * static_cast<qint64>(stored.width()) * stored.height();
        ended_ = !sink_.Reserve(header.DecoderBytes + (plan ? ReductionBytes(*plan) : 0) + heldBytes, target_) ||
                 (upright && !sink_.Begin(result_.SourceSize, target_));
        if (ended_)
            return false;
        if (!upright) {
            held_ = QImage(stored, QImage::Format_RGB32);
            if (held_.isNull())
                return false;
            rows_ = &heldRows_.emplace(held_.bits(), held_.bytesPerLine());
        }
        width_ = decoded.width();
        if (plan)
            reducer_.emplace(plan, *rows_, 0, stored.height());
        return true;
    }

    bool Row(const uchar* line)
    {
        ended_ = !(reducer_ ? reducer_->Push(line) : CopyRow(*rows_, copied_++, line, width_));
        return !ended_;
    }

    const QString& path_;
    const SizeRule& rule_;
    const std::atomic<bool>* const stop_;
    ShrinkSink& sink_;
    ShrinkOutcome result_;
    QImageIOHandler::Transformations turn_;
    QSize target_;
    QImage held_;
    SinkRows sinkRows_;
    std::optional<ImageRows> heldRows_;
    RowTarget* rows_ = &sinkRows_;
    std::optional<RowReducer> reducer_;
    int width_ = 0;
    int copied_ = 0;
    bool tooLarge_ = false;
    bool ended_ = false;
};

ShrinkOutcome StreamShrunk(QIODevice& device, const QString& path, const SizeRule& rule, const std::atomic<bool>* stop,
                           ShrinkSink& sink)
{
    StreamShrink shrink(path, rule, stop, sink);
    const JpegRowsOutput output = shrink.Output();
    return shrink.Finish(DecodeJpegRows(device, stop, output.Begin, output.Row, output.Into));
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

    // The other sizes each follow the decode at a scale of their own.
    ShrinkOutcome ShrinkAlongside(const SizeRule& size, ShrinkSink& sink, SizesAlongside& others) override
    {
        StreamShrink shrink(path_, size, stop_, sink);
        std::vector<std::unique_ptr<StreamShrink>> following;
        std::vector<std::size_t> which;
        JpegFollowers followers;
        followers.Outputs = [&] {
            which = others.Which();
            std::vector<JpegRowsOutput> outputs;
            for (const std::size_t k : which) {
                following.push_back(std::make_unique<StreamShrink>(path_, others.Rules[k], stop_, *others.Sinks[k]));
                outputs.push_back(following.back()->Output());
            }
            return outputs;
        };
        const JpegRowsOutput output = shrink.Output();
        const JpegRowsResult decoded =
            DecodeJpegRows(file_, stop_, output.Begin, output.Row, output.Into, &followers);
        ShrinkOutcome outcome = shrink.Finish(decoded);
        for (std::size_t i = 0; i < followers.Results.size(); ++i)
            others.Outcomes[which[i]] = following[i]->Finish(followers.Results[i]);
        return outcome;
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
