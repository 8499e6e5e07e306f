// Writing a JPEG file: the encoder's bytes go into a file beside the target
// that takes the target's place only once it is complete and on disk, so a
// failed save never destroys the file it would have replaced (which may be
// the user's original photo).
#pragma once

#include <compare>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "jpeg/jpeg.h"

namespace files {

// A file's modification time as file systems store it: seconds since 1970
// (UTC) and the nanoseconds within the second, apart, so that every time a
// file system stores fits (one count of nanoseconds ends in 2262, ext4's
// times in 2446).
struct FileTime {
    std::int64_t Seconds = 0;
    std::int32_t Nanoseconds = 0;  // 0 to 999,999,999
    friend auto operator<=>(const FileTime&, const FileTime&) = default;
};

class OutputFile;

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

    jpeg::JpegResult Start(const std::filesystem::path& target, std::int32_t width, std::int32_t height,
                     std::int32_t quality = 50);
    // As JpegWriter's.
    std::uint32_t* NextRow();
    jpeg::JpegResult RowDone();
    jpeg::JpegResult PutRows(const jpeg::PixelRows& rows);

    // What Finish does to the file besides completing it.
    struct Finishing {
        // Given the complete file's bytes, changes them (the source's
        // metadata added, say) before they are made durable; a failure it
        // returns fails the save.
        std::function<jpeg::JpegResult(std::vector<std::uint8_t>& bytes)> Edit;
        // The file's modification time, once its bytes are final.
        std::optional<FileTime> ModificationTime;
    };
    // On failure (rows missing included) no temporary remains.
    jpeg::JpegResult Finish(const Finishing& finishing = {});
    // Puts the finished file in place of the target; on failure the
    // temporary is removed and the target left as it was.
    jpeg::JpegResult Commit();
    void Discard();
    // A finished file waits for Commit.
    bool Pending() const;
    // The bytes of the file waiting for Commit; 0 when none is.
    std::uint64_t Size() const;

private:
    std::unique_ptr<OutputFile> file_;
    std::unique_ptr<jpeg::JpegWriter> writer_;
};

// Makes the names of the files put in a folder durable, as a file's data is
// made durable before it is put in place: once after the last file of a run.
jpeg::JpegResult SyncFolder(const std::filesystem::path& folder);

}  // namespace files
