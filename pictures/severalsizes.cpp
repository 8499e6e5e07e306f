// Several sizes from one decode: the picture's rows at its own size, each
// pushed into one reduction per size on its way into that size's sink. A
// size whose rule lets a JPEG be decoded at a smaller scale, and that would
// be, is made from that scale's own rows, so that it gets the rows it would
// get alone: from the same entropy decoding where the file allows it, from a
// decode of its own after the others where not (jpegrows.h says when).
#include <QFile>

#include <cstring>
#include <new>
#include <optional>

#include "pictures/jpegrows.h"
#include "pictures/picturereader.h"
#include "pictures/rowreducer.h"

namespace pictures {
namespace {

class FanOut final : public ShrinkSink {
public:
    // Scaled: the picture is a JPEG, and the sizes whose rules allow it and
    // whose decode would be scaled are left out (Deferred).
    FanOut(const std::vector<SizeRule>& sizes, const std::vector<ShrinkSink*>& sinks, bool scaled)
        : sizes_(sizes), scaled_(scaled)
    {
        outs_.reserve(sinks.size());  // the reducers point at their rows
        for (ShrinkSink* sink : sinks)
            outs_.emplace_back(*sink);
    }

    // Source is the upright picture's size, as the rows come.
    bool Reserve(qint64 bytes, QSize source) override
    {
        if (!Plan(source))
            return false;
        bool any = false;
        bool first = true;
        for (std::size_t k = 0; k < outs_.size(); ++k) {
            Out& out = outs_[k];
            if (out.Deferred)
                continue;
            const qint64 own = out.Plan ? ReductionBytes(*out.Plan) : 0;
            // The row they all read comes with the decode.
            out.Live = out.Sink->Reserve(own + (first ? bytes + 4 * static_cast<qint64>(source.width()) : 0), out.Target);
            first = false;
            any = any || out.Live;
        }
        return any;
    }

    bool Begin(QSize source, QSize) override
    {
        // A reader whose header does not tell the size knows it now.
        if (source != planned_ && !Plan(source))
            return false;
        width_ = source.width();
        row_.assign(static_cast<std::size_t>(width_) * 4, 0);
        bool any = false;
        for (Out& out : outs_) {
            out.Live = out.Live && out.Sink->Begin(source, out.Target);
            if (out.Live && out.Plan)
                out.Reducer.emplace(out.Plan, out.Rows, 0, out.Target.height());
            any = any || out.Live;
        }
        return any;
    }

    uchar* NextRow() override { return row_.data(); }

    bool RowDone() override
    {
        bool any = false;
        for (Out& out : outs_) {
            if (out.Live)
                out.Live = out.Reducer ? out.Reducer->Push(row_.data()) : CopyRow(out.Rows, y_, row_.data(), width_);
            any = any || out.Live;
        }
        ++y_;
        return any;
    }

    bool Live(std::size_t k) const { return outs_[k].Live; }
    bool Deferred(std::size_t k) const { return outs_[k].Deferred; }

private:
    // Each size's target and reduction from a picture of this size.
    bool Plan(QSize source)
    {
        planned_ = source;
        for (std::size_t k = 0; k < outs_.size(); ++k) {
            Out& out = outs_[k];
            out.Target = TargetSize(sizes_[k], source);
            out.Plan.reset();
            // The scale is the same worked out upright or as stored.
            out.Deferred = scaled_ && sizes_[k].ScaledDecode && !source.isEmpty() && JpegScaleFor(source, out.Target) > 1;
            if (out.Deferred)
                continue;
            if (out.Target != source && !source.isEmpty()) {
                out.Plan = MakeReductionPlan(source.width(), source.height(), out.Target.width(), out.Target.height());
                if (!out.Plan)
                    return false;
            }
        }
        return true;
    }

    struct Out {
        explicit Out(ShrinkSink& sink) : Sink(&sink), Rows(sink) {}
        ShrinkSink* Sink;
        SinkRows Rows;
        QSize Target;
        std::shared_ptr<const ReductionPlan> Plan;
        std::optional<RowReducer> Reducer;
        bool Live = false;
        bool Deferred = false;
    };

    const std::vector<SizeRule>& sizes_;
    const bool scaled_;
    std::vector<Out> outs_;
    std::vector<uchar> row_;
    QSize planned_;
    int width_ = 0;
    int y_ = 0;
};

}  // namespace

std::vector<ShrinkOutcome> ShrinkPictureToSizes(const QString& path, const std::vector<SizeRule>& sizes,
                                                const std::vector<ShrinkSink*>& sinks, const std::atomic<bool>* stop)
{
    std::vector<ShrinkOutcome> outcomes(sinks.size());
    bool scaled = false;
    for (const SizeRule& size : sizes)
        scaled = scaled || size.ScaledDecode;
    if (scaled) {
        QFile file(path);
        scaled = file.open(QIODevice::ReadOnly) && file.peek(2) == QByteArrayLiteral("\xFF\xD8");
    }
    ShrinkOutcome whole;
    std::optional<FanOut> fanOut;
    // The sizes left out follow the decode at their own scales where the
    // file lets them, and are decoded again alone where not.
    SizesAlongside alongside{{}, sizes, sinks, std::vector<std::optional<ShrinkOutcome>>(sinks.size())};
    alongside.Which = [&] {
        std::vector<std::size_t> deferred;
        for (std::size_t k = 0; k < sinks.size(); ++k)
            if (fanOut->Deferred(k))
                deferred.push_back(k);
        return deferred;
    };
    try {
        fanOut.emplace(sizes, sinks, scaled);
        whole = ShrinkPictureAlongside(path, RatioRule(1.0), *fanOut, alongside, stop);
    } catch (const std::bad_alloc&) {
        whole = Failed<ShrinkOutcome>(NoMemoryError(path));
    }
    // The decode above ended by its sinks (at the header when every size was
    // left out): those left out are still to be made.
    const bool endedBySinks = whole.Stopped && !Raised(stop) && fanOut;
    for (std::size_t k = 0; k < outcomes.size(); ++k) {
        if (alongside.Outcomes[k]) {
            outcomes[k] = std::move(*alongside.Outcomes[k]);
            continue;
        }
        if (fanOut && fanOut->Deferred(k) && (whole.Ok() || endedBySinks)) {
            outcomes[k] = ShrinkPicture(path, sizes[k], *sinks[k], stop);
            continue;
        }
        outcomes[k] = whole;
        // A sink that ended its own size while the others went on.
        if (whole.Ok() && !fanOut->Live(k))
            outcomes[k].Stopped = true;
    }
    return outcomes;
}

}  // namespace pictures
