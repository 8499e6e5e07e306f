// The encoding of one captured picture: tables, header segments, the MCU loop
// (rows of 16-pixel MCUs top to bottom, left to right within a row, a yield
// after each row) and the end of the scan. The scan data is gathered in
// memory, sized once for the worst case, and reaches the sink in one piece.
#include <limits>
#include <new>
#include <stdexcept>

#include "jpeg/internal/encoder.h"

namespace ModuleJPEG {

JpegResult EncodePicture(JpegEncoder& e, std::int32_t quality, const std::string& comment,
                         const PixelRows& picture, ByteSink& sink, const YieldHook& yield)
{
    try {
        e.ImageWidth = picture.width;
        e.ImageHeight = picture.height;
        InitTables(quality, e.Tables);

        const std::size_t mcuColumns = picture.width > 0 ? (static_cast<std::size_t>(picture.width) + 15) / 16 : 0;
        const std::size_t mcuRows = picture.height > 0 ? (static_cast<std::size_t>(picture.height) + 15) / 16 : 0;
        const std::size_t worstMcu = WorstCaseMcuBytes(e.Tables);
        const std::size_t mcus = mcuColumns * mcuRows;
        // Room for every MCU at its worst, the bits still gathered, the padding
        // byte with its stuffing and the two EOI bytes.
        constexpr std::size_t kTail = 16;
        if (mcus != 0 && mcus > (std::numeric_limits<std::size_t>::max() - kTail) / worstMcu)
            return JpegResult::OutOfMemory;
        if (!e.Stream.Reset(mcus * worstMcu + kTail))
            return JpegResult::OutOfMemory;
        e.PrevDc[0] = e.PrevDc[1] = e.PrevDc[2] = 0;

        for (JpegResult r : {WriteJfifHeader(sink), WriteComment(sink, comment), WriteDqt(sink, e.Tables),
                             WriteDht(sink), WriteSof0(sink, e.ImageWidth, e.ImageHeight), WriteSos(sink)}) {
            if (r != JpegResult::Ok) {
                e.Stream.Release();
                return r;
            }
        }

        for (e.McuY = 0; e.McuY < e.ImageHeight; e.McuY += 16) {
            for (e.McuX = 0; e.McuX < e.ImageWidth; e.McuX += 16) {
                if (e.Stream.Remaining() < worstMcu + 8) {
                    e.Stream.Release();
                    return JpegResult::Unexpected;  // cannot happen: sized for the worst case
                }
                SampleMcu(e, picture, e.McuX, e.McuY);
                TransformMcu(e);
                EncodeBlock(e, 0, e.CoefY(0));
                EncodeBlock(e, 0, e.CoefY(1));
                EncodeBlock(e, 0, e.CoefY(2));
                EncodeBlock(e, 0, e.CoefY(3));
                EncodeBlock(e, 1, e.CoefCb());
                EncodeBlock(e, 2, e.CoefCr());
            }
            if (yield && yield() == YieldAction::Abort) {
                e.Stream.Release();
                return JpegResult::Unexpected;
            }
        }
        return WriteEoi(sink, e.Stream);
    } catch (const std::bad_alloc&) {
        e.Stream.Release();
        return JpegResult::OutOfMemory;
    } catch (const std::exception&) {
        e.Stream.Release();
        return JpegResult::Unexpected;
    }
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

JpegResult EncodeJpeg(const PixelRows& picture, ByteSink& sink, const YieldHook& yield)
{
    std::unique_ptr<JpegEncoder> encoder(new (std::nothrow) JpegEncoder);
    if (!encoder)
        return JpegResult::OutOfMemory;
    return EncodePicture(*encoder, 50, std::string(), picture, sink, yield);
}

JpegResult EncodeJpegToMemory(const PixelRows& picture, std::vector<std::uint8_t>& out)
{
    out.clear();
    try {
        VectorSink sink(out);
        return EncodeJpeg(picture, sink);
    } catch (const std::bad_alloc&) {
        return JpegResult::OutOfMemory;
    }
}

}  // namespace ModuleJPEG
