// Zembrik's baseline JPEG encoder: the one entry SaveJpeg, the surface it reads
// and the result codes it returns. Standard library only; the picture comes in
// through PictureSurface and the event loop is reached through a YieldHook, so
// this module knows nothing of any GUI toolkit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ModuleJPEG {

// Outcome of a save. Failure codes start at -2; -1 is never returned.
enum class JpegResult : std::int32_t {
    Ok = 0,                  // written (or a save was already running: nothing done)
    OutOfMemory = -2,
    DiskFull = -3,
    PermissionDenied = -4,
    DeviceUnavailable = -5,  // device gone, disk not ready, folder not found
    BadFileName = -6,        // a name the file system refuses (on Windows also '*' or '?'), or empty
    PictureTooLarge = -7,    // the surface could not give a snapshot of its picture
    Unexpected = -8,         // anything else, including a save stopped by its yield hook
    // A folder has the target's name. (-9 is left free: callers have always
    // taken it for a value that is no failure code.)
    FolderInTheWay = -10,
};

// Rows of 32-bit pixels 0xAARRGGBB (red in bits 16..23); alpha is ignored.
struct PixelRows {
    const std::uint32_t* first = nullptr;
    std::ptrdiff_t stride = 0;  // in pixels, from one row to the next
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// A frozen copy of a surface's picture: it stays unchanged until released, even
// if the surface is redrawn or destroyed meanwhile.
class Snapshot {
public:
    virtual ~Snapshot() = default;
    virtual PixelRows Rows() const = 0;
};

// What the encoder needs of a picture box.
class PictureSurface {
public:
    virtual ~PictureSurface() = default;
    virtual std::int32_t BorderStyle() const = 0;
    virtual void SetBorderStyle(std::int32_t style) = 0;
    virtual bool AutoRedraw() const = 0;
    virtual void SetAutoRedraw(bool on) = 0;
    // Null when the snapshot cannot be made (the picture is too large).
    virtual std::shared_ptr<const Snapshot> Capture() = 0;
};

// A surface over pixels the caller owns; for tools and tests without a GUI.
class MemorySurface final : public PictureSurface {
public:
    MemorySurface(std::int32_t width, std::int32_t height, std::vector<std::uint32_t> pixels);
    std::int32_t BorderStyle() const override { return borderStyle_; }
    void SetBorderStyle(std::int32_t style) override { borderStyle_ = style; }
    bool AutoRedraw() const override { return autoRedraw_; }
    void SetAutoRedraw(bool on) override { autoRedraw_ = on; }
    std::shared_ptr<const Snapshot> Capture() override;

private:
    std::shared_ptr<std::vector<std::uint32_t>> pixels_;
    std::int32_t width_;
    std::int32_t height_;
    std::int32_t borderStyle_ = 0;
    bool autoRedraw_ = false;
};

// Called after each row of 16-pixel blocks; the GUI lets pending events run.
enum class YieldAction { Continue, Abort };
using YieldHook = std::function<YieldAction()>;

// Receives the encoded bytes in file order.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual JpegResult Put(const std::uint8_t* data, std::size_t size) = 0;
};

// Encodes the surface's picture as a baseline JFIF file and replaces FileName
// with it only once it is complete: on any failure an existing file of that
// name is left untouched and no temporary file remains. For the user-interface
// thread: it shares one encoder state among all its calls. Quality scales the
// quantisation tables as libjpeg does (1 to 100, 50 the default); Comment is
// accepted and not used (the comment text is fixed). A call
// made while another save runs (from inside its yield hook) returns Ok at once.
JpegResult SaveJpeg(const std::filesystem::path& FileName, std::int32_t& Quality,
                    const std::string& Comment, PictureSurface& PictureBox,
                    const YieldHook& yield = {});

// A file made in two steps, for a run that writes many files on several
// threads and puts them in place in a set order. Encode writes the whole file
// in the target's folder and flushes it to disk: on Linux as a file with no
// name, elsewhere under a short temporary name (".zembrik-XXXXXXXX.tmp", so it
// fits wherever the target's name fits); Commit gives an unnamed file that
// temporary name and renames it over the target. A temporary not committed is
// removed by Discard or the destructor; an unnamed one leaves nothing even
// when the process is killed. Objects are independent: any number may encode
// at once, each holding its file open until it is committed or discarded.
class PendingJpeg {
public:
    PendingJpeg();
    ~PendingJpeg();
    PendingJpeg(PendingJpeg&& other) noexcept;
    PendingJpeg& operator=(PendingJpeg&& other) noexcept;

    // The bytes are those SaveJpeg writes for the same pixels. On failure (an
    // abort by the hook included) no temporary remains.
    JpegResult Encode(const std::filesystem::path& target, const PixelRows& picture, const YieldHook& yield = {});
    // Puts the encoded file in place of the target; on failure the temporary
    // is removed and the target left as it was.
    JpegResult Commit();
    void Discard();
    // An encoded file waits for Commit.
    bool Pending() const;
    // The bytes of the file waiting for Commit; 0 when none is.
    std::uint64_t Size() const;

    class File;

private:
    std::unique_ptr<File> file_;
};

// Encodes pixels straight into a sink, with no file and no surface; the bytes
// are those SaveJpeg writes for the same pixels.
JpegResult EncodeJpeg(const PixelRows& picture, ByteSink& sink, const YieldHook& yield = {});

// The same, into memory.
JpegResult EncodeJpegToMemory(const PixelRows& picture, std::vector<std::uint8_t>& out);

}  // namespace ModuleJPEG
