// The averaging reduction in a form that takes the source one row at a time,
// top to bottom, so that a picture can be reduced while it is being decoded
// and the whole-picture reduction can be split into bands of target rows.
#pragma once

#include <QtGlobal>

#include <memory>

namespace pictures {

// The fixed part of one reduction from a source size to a target size: the
// weights along both axes and how sums become averages. Shared, read-only, by
// every RowReducer made from it (one per band).
class ReductionPlan;

// Null when a size is not positive or the sums could overflow their widest
// accumulator. Throws std::bad_alloc.
std::shared_ptr<const ReductionPlan> MakeReductionPlan(int sourceWidth, int sourceHeight, int width, int height);

// The memory a plan and one reducer made from it hold.
qint64 ReductionBytes(const ReductionPlan& plan);

// Where a reducer writes its target rows, one at a time, top to bottom.
class RowTarget {
public:
    virtual ~RowTarget() = default;
    // Memory for target row Y (4-byte pixels); null ends the reduction.
    virtual uchar* Row(int y) = 0;
    // Row Y is complete; false ends the reduction.
    virtual bool Written(int y) = 0;
};

// The rows of a picture in memory, whose row y starts at out + y * stride.
class ImageRows final : public RowTarget {
public:
    ImageRows(uchar* out, qsizetype stride) : out_(out), stride_(stride) {}
    uchar* Row(int y) override { return out_ + y * stride_; }
    bool Written(int) override { return true; }

private:
    uchar* out_;
    qsizetype stride_;
};

// Every target pixel is the average of the source pixels it covers, weighted
// by how much it covers them, rounded to the nearest level (halves upward).
class RowReducer {
public:
    // Makes target rows [firstRow, endRow) into Target, which must outlive
    // the reducer. Throws std::bad_alloc: nothing is allocated after
    // construction.
    RowReducer(std::shared_ptr<const ReductionPlan> plan, RowTarget& target, int firstRow, int endRow);
    ~RowReducer();
    RowReducer(RowReducer&&) noexcept;
    RowReducer& operator=(RowReducer&&) noexcept;

    // The source rows these target rows cover: Push takes them in order.
    int FirstSourceRow() const;
    int EndSourceRow() const;
    // True once every target row is written.
    bool Done() const;

    // Takes the next source row: the plan's source width of 4-byte pixels
    // (RGB32 or ARGB32; the results are opaque). A target row is written as
    // soon as its last source row has been taken. False when the target
    // ended the reduction.
    bool Push(const uchar* line);

    class Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace pictures
