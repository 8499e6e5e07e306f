// Zembrik's baseline JPEG encoder: rows in, bytes out. A picture goes in row
// by row (or band by band, 16 rows at a time), each band of 16 rows is coded
// as soon as it is complete, and the coded bytes leave through a small buffer
// into a sink, so a picture of any size needs one band of pixels and 64 KiB of
// output. Standard library only: where the bytes go is the sink's business.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace jpeg {

// Outcome of a save. Failure codes start at -2; -1 is never returned.
enum class JpegResult : std::int32_t {
    Ok = 0,
    OutOfMemory = -2,
    DiskFull = -3,
    PermissionDenied = -4,
    DeviceUnavailable = -5,  // device gone, disk not ready, folder not found
    BadFileName = -6,        // a name the file system refuses (on Windows also '*' or '?'), or empty
    PictureTooLarge = -7,    // too large to encode (a side above 65,500 pixels)
    Unexpected = -8,         // anything else
    // A folder has the target's name. (-9 is left free: callers have always
    // taken it for a value that is no failure code.)
    FolderInTheWay = -10,
    // The finished file cannot take its name: the output folder is now on
    // another file system than the one it was written on (a link to it was
    // changed during the run).
    OtherDevice = -11,
};

// Rows of 32-bit pixels 0xAARRGGBB (red in bits 16..23); alpha is ignored.
struct PixelRows {
    const std::uint32_t* first = nullptr;
    std::ptrdiff_t stride = 0;  // in pixels, from one row to the next
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Receives the encoded bytes in file order.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual JpegResult Put(const std::uint8_t* data, std::size_t size) = 0;
};

struct JpegEncoder;

// One picture, encoded as its rows arrive: Start writes the header segments,
// every 16th row (and the last) codes a band of 16-pixel blocks, Finish ends
// the scan. Rows come either through NextRow and RowDone (the writer holds
// the band) or through PutRows (rows the caller holds are read in place).
// After a failure every later call returns the same failure.
class JpegWriter {
public:
    JpegWriter();
    ~JpegWriter();
    JpegWriter(const JpegWriter&) = delete;
    JpegWriter& operator=(const JpegWriter&) = delete;

    // Sink must outlive the writing. Quality picks the quantisation tables.
    JpegResult Start(ByteSink& sink, std::int32_t width, std::int32_t height, std::int32_t quality = 50);
    // Room for the next row, Width pixels to be filled before RowDone; null
    // once every row has been given or after a failure.
    std::uint32_t* NextRow();
    JpegResult RowDone();
    // Rows of the picture, the next ones in order.
    JpegResult PutRows(const PixelRows& rows);
    // After the last row: pads the scan, writes EOI and hands every byte to
    // the sink. Fails if rows are missing.
    JpegResult Finish();

    // The memory a writer holds for a picture of this width.
    static std::size_t BytesFor(std::int32_t width);

private:
    JpegResult CodeBand(const PixelRows& band);
    JpegResult Fail(JpegResult result);

    std::unique_ptr<JpegEncoder> state_;
    std::vector<std::uint32_t> band_;
    ByteSink* sink_ = nullptr;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::int32_t rowsTaken_ = 0;  // rows of the picture given so far
    std::int32_t bandRows_ = 0;   // of them, rows waiting in band_
    std::size_t worstMcu_ = 0;
    JpegResult result_ = JpegResult::Unexpected;  // Unexpected until Start succeeds
};

// A whole picture held in memory, encoded into a sink or into memory (the
// bytes a JpegWriter gives for the same pixels).
JpegResult EncodeJpeg(const PixelRows& picture, ByteSink& sink, std::int32_t quality = 50);
JpegResult EncodeJpegToMemory(const PixelRows& picture, std::vector<std::uint8_t>& out, std::int32_t quality = 50);

}  // namespace jpeg
