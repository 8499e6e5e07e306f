// Zembrik's baseline JPEG encoder: rows in, bytes out. A picture goes in row
// by row (or band by band, 16 rows at a time), each band of 16 rows is coded
// as soon as it is complete, and the coded bytes leave through a small buffer
// into a sink, so a picture of any size needs one band of pixels and 64 KiB of
// output. PendingJpeg is the file API the program writes through. Standard
// library only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace ModuleJPEG {

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

// A file's modification time as file systems store it: seconds since 1970
// (UTC) and the nanoseconds within the second, apart, so that every time a
// file system stores fits (one count of nanoseconds ends in 2262, ext4's
// times in 2446).
struct FileTime {
    std::int64_t Seconds = 0;
    std::int32_t Nanoseconds = 0;  // 0 to 999,999,999
    friend bool operator==(const FileTime&, const FileTime&) = default;
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

// A file made in two steps, for a run that writes many files on several
// threads and puts them in place in a set order. Start creates the file in
// the target's folder, on Linux with no name, elsewhere under a short
// temporary name (".zembrik-XXXXXXXX.tmp", so it fits wherever the target's
// name fits), and the rows are encoded into it as they come; Finish completes
// it and flushes its data to disk; Commit gives an unnamed file that temporary
// name and renames it over the target, whose permission bits (and group,
// where allowed) it keeps. A temporary not committed is removed by Discard or
// the destructor; an unnamed one leaves nothing even when the process is
// killed. Objects are independent: any number may encode at once, each
// holding its file open until it is committed or discarded.
class PendingJpeg {
public:
    PendingJpeg();
    ~PendingJpeg();
    PendingJpeg(PendingJpeg&& other) noexcept;
    PendingJpeg& operator=(PendingJpeg&& other) noexcept;

    JpegResult Start(const std::filesystem::path& target, std::int32_t width, std::int32_t height,
                     std::int32_t quality = 50);
    // As JpegWriter's.
    std::uint32_t* NextRow();
    JpegResult RowDone();
    JpegResult PutRows(const PixelRows& rows);

    // What Finish does to the file besides completing it.
    struct Finishing {
        // Given the complete file's bytes, changes them (the source's
        // metadata added, say) before they are made durable; a failure it
        // returns fails the save.
        std::function<JpegResult(std::vector<std::uint8_t>& bytes)> Edit;
        // The file's modification time, once its bytes are final.
        std::optional<FileTime> ModificationTime;
    };
    // On failure (rows missing included) no temporary remains.
    JpegResult Finish(const Finishing& finishing = {});
    // Puts the finished file in place of the target; on failure the
    // temporary is removed and the target left as it was.
    JpegResult Commit();
    void Discard();
    // A finished file waits for Commit.
    bool Pending() const;
    // The bytes of the file waiting for Commit; 0 when none is.
    std::uint64_t Size() const;

    class File;

private:
    std::unique_ptr<File> file_;
    std::unique_ptr<JpegWriter> writer_;
};

// Makes the names of the files put in a folder durable, as a file's data is
// made durable before it is put in place: once after the last file of a run.
JpegResult SyncFolder(const std::filesystem::path& folder);

// A whole picture held in memory, encoded into a sink or into memory (the
// bytes PendingJpeg writes for the same pixels).
JpegResult EncodeJpeg(const PixelRows& picture, ByteSink& sink, std::int32_t quality = 50);
JpegResult EncodeJpegToMemory(const PixelRows& picture, std::vector<std::uint8_t>& out, std::int32_t quality = 50);

}  // namespace ModuleJPEG
