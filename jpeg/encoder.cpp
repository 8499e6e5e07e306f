// The writer: tables and header segments at the start, then each band of 16
// rows coded as soon as it is complete (MCUs left to right), its bytes handed
// on whenever the small stream buffer may not hold the next MCU, and the end
// of the scan. Coding is sequential with no restart markers, so the bytes are
// those of coding the whole picture at once.
#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "jpeg/internal/encoder.h"

namespace jpeg {

JpegWriter::JpegWriter() = default;
JpegWriter::~JpegWriter() = default;

std::size_t JpegWriter::BytesFor(std::int32_t width)
{
    return sizeof(JpegEncoder) + JpegStream::kBufferBytes +
           16 * static_cast<std::size_t>(std::max(width, 0)) * sizeof(std::uint32_t);
}

JpegResult JpegWriter::Fail(JpegResult result)
{
    if (result != JpegResult::Ok) {
        result_ = result;
        band_ = {};
        if (state_)
            state_->Stream.Release();
    }
    return result;
}

JpegResult JpegWriter::Start(ByteSink& sink, std::int32_t width, std::int32_t height, std::int32_t quality)
{
    result_ = JpegResult::Unexpected;
    if (width < 0 || height < 0)
        return JpegResult::Unexpected;
    try {
        if (!state_)
            state_ = std::make_unique<JpegEncoder>();
        JpegEncoder& e = *state_;
        e.ImageWidth = width;
        e.ImageHeight = height;
        e.McuY = 0;
        e.PrevDc[0] = e.PrevDc[1] = e.PrevDc[2] = 0;
        InitTables(quality, e.Tables);
        DeriveTables(e.Tables);
        worstMcu_ = WorstCaseMcuBytes(e.Tables);
        if (!e.Stream.Reset(std::max(JpegStream::kBufferBytes, worstMcu_ + 16)))
            return Fail(JpegResult::OutOfMemory);
        band_ = {};  // made by the first NextRow: rows given whole bands at a time need none
    } catch (const std::bad_alloc&) {
        return Fail(JpegResult::OutOfMemory);
    }
    sink_ = &sink;
    width_ = width;
    height_ = height;
    rowsTaken_ = 0;
    bandRows_ = 0;
    for (JpegResult r : {WriteJfifHeader(sink), WriteComment(sink), WriteDqt(sink, state_->Tables), WriteDht(sink),
                         WriteSof0(sink, width, height), WriteSos(sink)}) {
        if (r != JpegResult::Ok)
            return Fail(r);
    }
    result_ = JpegResult::Ok;
    return result_;
}

JpegResult JpegWriter::CodeBand(const PixelRows& band)
{
    JpegEncoder& e = *state_;
    try {
        for (e.McuX = 0; e.McuX < width_; e.McuX += 16) {
            if (e.Stream.Remaining() < worstMcu_ + 8) {
                const JpegResult flushed = e.Stream.Flush(*sink_);
                if (flushed != JpegResult::Ok)
                    return Fail(flushed);
            }
            // Rows past the band's end repeat its last one: only the
            // picture's last band is short, and so the picture is padded to
            // whole MCUs by repeating its last row.
            SampleMcu(e, band, e.McuX, 0);
            TransformMcu(e);
            EncodeBlock(e, 0, e.CoefY(0));
            EncodeBlock(e, 0, e.CoefY(1));
            EncodeBlock(e, 0, e.CoefY(2));
            EncodeBlock(e, 0, e.CoefY(3));
            EncodeBlock(e, 1, e.CoefCb());
            EncodeBlock(e, 2, e.CoefCr());
        }
    } catch (const std::exception&) {
        return Fail(JpegResult::Unexpected);  // a coefficient outside the tables
    }
    e.McuY += 16;
    return JpegResult::Ok;
}

std::uint32_t* JpegWriter::NextRow()
{
    if (result_ != JpegResult::Ok || rowsTaken_ >= height_)
        return nullptr;
    if (band_.empty() && width_ > 0) {
        try {
            band_.assign(16 * static_cast<std::size_t>(width_), 0u);
        } catch (const std::bad_alloc&) {
            Fail(JpegResult::OutOfMemory);
            return nullptr;
        }
    }
    return band_.data() + static_cast<std::size_t>(bandRows_) * static_cast<std::size_t>(width_);
}

JpegResult JpegWriter::RowDone()
{
    if (result_ != JpegResult::Ok)
        return result_;
    if (rowsTaken_ >= height_)
        return Fail(JpegResult::Unexpected);
    ++rowsTaken_;
    if (++bandRows_ < 16 && rowsTaken_ < height_)
        return JpegResult::Ok;
    const int rows = bandRows_;
    bandRows_ = 0;
    return CodeBand({band_.data(), width_, width_, rows});
}

JpegResult JpegWriter::PutRows(const PixelRows& rows)
{
    if (result_ != JpegResult::Ok)
        return result_;
    if (rows.height < 0 || rows.height > height_ - rowsTaken_ || (rows.height > 0 && rows.width != width_))
        return Fail(JpegResult::Unexpected);
    for (std::int32_t y = 0; y < rows.height;) {
        const std::uint32_t* row = rows.first + y * rows.stride;
        const std::int32_t bandHeight = std::min(16, height_ - rowsTaken_);
        if (bandRows_ == 0 && rows.height - y >= bandHeight) {
            // A whole band in the caller's memory: coded where it is.
            rowsTaken_ += bandHeight;
            y += bandHeight;
            const JpegResult coded = CodeBand({row, rows.stride, width_, bandHeight});
            if (coded != JpegResult::Ok)
                return coded;
            continue;
        }
        if (width_ > 0) {
            std::uint32_t* const to = NextRow();
            if (!to)
                return result_;
            std::memcpy(to, row, static_cast<std::size_t>(width_) * sizeof(std::uint32_t));
        }
        const JpegResult done = RowDone();
        if (done != JpegResult::Ok)
            return done;
        ++y;
    }
    return JpegResult::Ok;
}

JpegResult JpegWriter::Finish()
{
    if (result_ != JpegResult::Ok)
        return result_;
    if (rowsTaken_ != height_)
        return Fail(JpegResult::Unexpected);
    const JpegResult written = WriteEoi(*sink_, state_->Stream);
    // A finished writer takes nothing more until it is started again.
    result_ = written == JpegResult::Ok ? JpegResult::Unexpected : written;
    band_ = {};
    state_->Stream.Release();
    return written;
}

namespace {

class VectorSink final : public ByteSink {
public:
    explicit VectorSink(std::vector<std::uint8_t>& out) : out_(out) {}
    JpegResult Put(const std::uint8_t* data, std::size_t size) override
    {
        out_.insert(out_.end(), data, data + size);
        return JpegResult::Ok;
    }

private:
    std::vector<std::uint8_t>& out_;
};

}  // namespace

JpegResult EncodeJpeg(const PixelRows& picture, ByteSink& sink, std::int32_t quality)
{
    try {
        JpegWriter writer;
        JpegResult result = writer.Start(sink, picture.width, picture.height, quality);
        if (result == JpegResult::Ok)
            result = writer.PutRows(picture);
        if (result == JpegResult::Ok)
            result = writer.Finish();
        return result;
    } catch (const std::bad_alloc&) {
        return JpegResult::OutOfMemory;
    }
}

JpegResult EncodeJpegToMemory(const PixelRows& picture, std::vector<std::uint8_t>& out, std::int32_t quality)
{
    out.clear();
    try {
        VectorSink sink(out);
        return EncodeJpeg(picture, sink, quality);
    } catch (const std::bad_alloc&) {
        return JpegResult::OutOfMemory;
    }
}

}  // namespace jpeg
