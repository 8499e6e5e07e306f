// The row-streaming averaging reduction: exact integer sums of covered source
// pixels, weighted by coverage, divided with exact rounding.
#include "pictures/rowreducer.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <numeric>
#include <vector>

namespace pictures {
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

    int Count(int i) const { return Offset[static_cast<std::size_t>(i) + 1] - Offset[static_cast<std::size_t>(i)]; }
    int Last(int i) const { return First[static_cast<std::size_t>(i)] + Count(i) - 1; }
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
        taps.Stride = std::max(taps.Stride, taps.Count(i));
    taps.Padded.assign(static_cast<std::size_t>(dst) * static_cast<std::size_t>(taps.Stride), 0u);
    for (int i = 0; i < dst; ++i) {
        for (int k = 0; k < taps.Count(i); ++k) {
            taps.Padded[static_cast<std::size_t>(i) * static_cast<std::size_t>(taps.Stride) + static_cast<std::size_t>(k)] =
                taps.Weight[static_cast<std::size_t>(taps.Offset[static_cast<std::size_t>(i)] + k)];
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

// The narrowest accumulators that cannot overflow: narrow lanes are what
// makes the loops fast.
enum class Lanes { Narrow, Wide, Widest };

}  // namespace

class ReductionPlan {
public:
    int SourceWidth = 0;
    Taps Across;
    Taps Down;
    std::uint64_t Total = 0;
    double Inverse = 0;
    // A quotient that is not a tie lies at least 1 / (2 total) from one, far
    // beyond the error of the product, so a nudge below that distance makes
    // truncation round exact ties upward and leaves every other value alone.
    bool NudgeExact = false;
    // With few weights every possible sum fits a small table of its average.
    std::vector<uchar> Rounded;
    Lanes Width = Lanes::Narrow;
    // A whole-number reduction by a power of two on both axes (50% or 25% of
    // an even-sized photo, the commonest case): each target pixel is the
    // plain sum of Step columns, and the average a shift, halves upward.
    int Step = 0;
    int Shift = 0;
};

std::shared_ptr<const ReductionPlan> MakeReductionPlan(int sourceWidth, int sourceHeight, int width, int height)
{
    if (sourceWidth <= 0 || sourceHeight <= 0 || width <= 0 || height <= 0)
        return nullptr;
    auto plan = std::make_shared<ReductionPlan>();
    plan->SourceWidth = sourceWidth;
    plan->Across = MakeTaps(sourceWidth, width);
    plan->Down = MakeTaps(sourceHeight, height);
    constexpr std::uint64_t max32 = std::numeric_limits<std::uint32_t>::max();
    if (plan->Down.Total > max32 / 255)
        return nullptr;
    plan->Total = plan->Across.Total * plan->Down.Total;
    plan->Inverse = 1.0 / static_cast<double>(plan->Total);
    plan->NudgeExact = plan->Total <= (std::uint64_t{1} << 28);
    if (255 * plan->Total < 65536) {
        plan->Rounded.resize(static_cast<std::size_t>(255 * plan->Total + 1));
        for (std::uint64_t sum = 0; sum < plan->Rounded.size(); ++sum)
            plan->Rounded[static_cast<std::size_t>(sum)] = static_cast<uchar>((2 * sum + plan->Total) / (2 * plan->Total));
    }
    const auto powerOfTwoStep = [](int src, int dst) {
        return src % dst == 0 && (src / dst & (src / dst - 1)) == 0 ? src / dst : 0;
    };
    const int across = powerOfTwoStep(sourceWidth, width);
    const int down = powerOfTwoStep(sourceHeight, height);
    if ((across == 2 || across == 4) && down > 0) {
        plan->Step = across;
        plan->Shift = std::countr_zero(static_cast<unsigned>(across * down));
    }
    if (plan->Down.Total <= 65535 / 255 && 255 * plan->Total <= max32)
        plan->Width = Lanes::Narrow;
    else if (255 * plan->Total <= max32)
        plan->Width = Lanes::Wide;
    else
        plan->Width = Lanes::Widest;
    return plan;
}

qint64 ReductionBytes(const ReductionPlan& plan)
{
    const auto tapBytes = [](const Taps& taps) {
        return static_cast<qint64>((taps.First.capacity() + taps.Offset.capacity()) * sizeof(int) +
                                   (taps.Weight.capacity() + taps.Padded.capacity()) * sizeof(std::uint32_t));
    };
    const qint64 columnBytes = plan.Width == Lanes::Narrow ? 2 : 4;
    // Two column buffers of four sums per source pixel (and the padding).
    const qint64 columns = 2 * (static_cast<qint64>(plan.SourceWidth) + plan.Across.Stride) * 4 * columnBytes;
    return static_cast<qint64>(sizeof(ReductionPlan)) + tapBytes(plan.Across) + tapBytes(plan.Down) +
           static_cast<qint64>(plan.Rounded.capacity()) + columns;
}

class RowReducer::Impl {
public:
    Impl(std::shared_ptr<const ReductionPlan> plan, RowTarget& target, int firstRow, int endRow)
        : plan_(std::move(plan)), target_(target), first_(firstRow), end_(endRow), cursor_(firstRow),
          next_(plan_->Down.First[static_cast<std::size_t>(firstRow)])
    {
    }
    virtual ~Impl() = default;
    virtual bool Push(const uchar* line) = 0;

    int FirstSourceRow() const { return plan_->Down.First[static_cast<std::size_t>(first_)]; }
    int EndSourceRow() const { return plan_->Down.Last(end_ - 1) + 1; }
    bool Done() const { return cursor_ >= end_; }

protected:
    const std::shared_ptr<const ReductionPlan> plan_;
    RowTarget& target_;
    const int first_;
    const int end_;
    int cursor_;  // the first target row not yet written
    int next_;    // the source row Push takes next
};

namespace {

// The same for a whole-number reduction by Step, a power of two on both
// axes: every weight is one, so the sums are plain and the average a shift;
// written so that the compiler vectorises it.
template <typename Column, int Step>
void AverageAcrossEvenly(const ReductionPlan& plan, const Column* column, std::uint32_t* target)
{
    const int width = static_cast<int>(plan.Across.First.size());
    const unsigned shift = static_cast<unsigned>(plan.Shift);
    const std::uint32_t half = (1u << shift) >> 1;
    auto* bytes = reinterpret_cast<uchar*>(target);
    for (int tx = 0; tx < width; ++tx) {
        const Column* acc = column + static_cast<std::size_t>(tx) * Step * 4;
        for (int c = 0; c < 4; ++c) {
            std::uint32_t sum = 0;
            for (int k = 0; k < Step; ++k)
                sum += acc[k * 4 + c];
            bytes[static_cast<std::size_t>(tx) * 4 + static_cast<std::size_t>(c)] =
                static_cast<uchar>((sum + half) >> shift);
        }
    }
    for (int tx = 0; tx < width; ++tx)
        target[tx] |= 0xFF000000u;
}

// The four byte sums of each target pixel of one row, then their averages.
// FixedTaps is the padded tap count when known at compile time, else 0.
template <typename Column, typename Sum, int FixedTaps>
void AverageAcross(const ReductionPlan& plan, const Column* column, std::uint32_t* target)
{
    const Taps& across = plan.Across;
    const int stride = FixedTaps > 0 ? FixedTaps : across.Stride;
    const int width = static_cast<int>(across.First.size());
    const uchar* const rounded = plan.Rounded.empty() ? nullptr : plan.Rounded.data();
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
                    plan.NudgeExact ? static_cast<std::uint32_t>(static_cast<double>(s[c]) * plan.Inverse + half)
                                    : RoundedQuotient(s[c], plan.Total, plan.Inverse));
            }
        }
        target[tx] = pixel | 0xFF000000u;
    }
}

// Each source row is summed with its vertical weight into the column sums of
// the target rows it covers (every byte of a pixel alike, the alpha byte too,
// which keeps the loops free of byte-order cases and lets them vectorise);
// a target row whose last source row has arrived is summed across and
// written. A source row covers at most two target rows that stay open past
// it, so two column buffers, taken by the target row's parity, are enough.
// Column must hold 255 x the vertical total, Sum 255 x both totals.
template <typename Column, typename Sum>
class ReducerOf final : public RowReducer::Impl {
public:
    ReducerOf(std::shared_ptr<const ReductionPlan> plan, RowTarget& target, int firstRow, int endRow)
        : Impl(std::move(plan), target, firstRow, endRow)
    {
        // Zeros past the last column meet the padded taps' zero weights.
        const std::size_t size =
            (static_cast<std::size_t>(plan_->SourceWidth) + static_cast<std::size_t>(plan_->Across.Stride)) * 4;
        columns_[0].assign(size, Column{0});
        columns_[1].assign(size, Column{0});
    }

    bool Push(const uchar* line) override
    {
        const Taps& down = plan_->Down;
        const int y = next_++;
        const std::size_t rowBytes = static_cast<std::size_t>(plan_->SourceWidth) * 4;
        for (int ty = cursor_; ty < end_ && down.First[static_cast<std::size_t>(ty)] <= y; ++ty) {
            Column* acc = columns_[ty & 1].data();
            const int k = y - down.First[static_cast<std::size_t>(ty)];
            const Column wy = static_cast<Column>(down.Weight[static_cast<std::size_t>(down.Offset[static_cast<std::size_t>(ty)] + k)]);
            if (k == 0) {
                for (std::size_t b = 0; b < rowBytes; ++b)
                    acc[b] = static_cast<Column>(wy * line[b]);
            } else {
                for (std::size_t b = 0; b < rowBytes; ++b)
                    acc[b] = static_cast<Column>(acc[b] + wy * line[b]);
            }
            if (k + 1 == down.Count(ty)) {
                uchar* const out = target_.Row(ty);
                if (!out)
                    return false;
                Across(acc, reinterpret_cast<std::uint32_t*>(out));
                cursor_ = ty + 1;
                if (!target_.Written(ty))
                    return false;
            }
        }
        return true;
    }

private:
    void Across(const Column* acc, std::uint32_t* target) const
    {
        if (plan_->Step == 2)
            return AverageAcrossEvenly<Column, 2>(*plan_, acc, target);
        if (plan_->Step == 4)
            return AverageAcrossEvenly<Column, 4>(*plan_, acc, target);
        switch (plan_->Across.Stride) {
        case 2: AverageAcross<Column, Sum, 2>(*plan_, acc, target); break;
        case 3: AverageAcross<Column, Sum, 3>(*plan_, acc, target); break;
        case 4: AverageAcross<Column, Sum, 4>(*plan_, acc, target); break;
        default: AverageAcross<Column, Sum, 0>(*plan_, acc, target); break;
        }
    }

    std::vector<Column> columns_[2];
};

}  // namespace

RowReducer::RowReducer(std::shared_ptr<const ReductionPlan> plan, RowTarget& target, int firstRow, int endRow)
{
    switch (plan->Width) {
    case Lanes::Narrow:
        impl_ = std::make_unique<ReducerOf<std::uint16_t, std::uint32_t>>(std::move(plan), target, firstRow, endRow);
        break;
    case Lanes::Wide:
        impl_ = std::make_unique<ReducerOf<std::uint32_t, std::uint32_t>>(std::move(plan), target, firstRow, endRow);
        break;
    case Lanes::Widest:
        impl_ = std::make_unique<ReducerOf<std::uint32_t, std::uint64_t>>(std::move(plan), target, firstRow, endRow);
        break;
    }
}

RowReducer::~RowReducer() = default;
RowReducer::RowReducer(RowReducer&&) noexcept = default;
RowReducer& RowReducer::operator=(RowReducer&&) noexcept = default;

int RowReducer::FirstSourceRow() const { return impl_->FirstSourceRow(); }
int RowReducer::EndSourceRow() const { return impl_->EndSourceRow(); }
bool RowReducer::Done() const { return impl_->Done(); }
bool RowReducer::Push(const uchar* line) { return impl_->Push(line); }

}  // namespace pictures
