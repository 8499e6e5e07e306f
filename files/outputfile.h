// The file a save writes, put in place only once it is complete. Only this
// library's own files include this header.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "files/pendingjpeg.h"

namespace files {

// A file written in the target's folder and put in place of the target by
// Commit; removed again if it is not committed. On Linux it has no name at
// all until Commit (O_TMPFILE): a finished file waiting for its turn leaves
// nothing behind when the process is killed. Commit names it with a short
// temporary name (".zembrik-XXXXXXXX.tmp") and renames that over the target,
// as a file system without unnamed files, and Windows, gets from the start;
// on Windows it is marked to be removed when closed until Commit, which
// puts it in place of an existing file with ReplaceFileW. Only a file this
// object created is ever removed.
class OutputFile final : public jpeg::ByteSink {
public:
    ~OutputFile() override;

    jpeg::JpegResult Create(const std::filesystem::path& target);
    jpeg::JpegResult Put(const std::uint8_t* data, std::size_t size) override;
    // Reads the bytes written back, hands them to edit and writes what it
    // leaves in their place.
    jpeg::JpegResult Rewrite(const std::function<jpeg::JpegResult(std::vector<std::uint8_t>&)>& edit);
    // The modification time Finish gives the file.
    void SetModificationTime(FileTime time) { time_ = time; }
    // Makes the data durable; a named temporary is closed too, unless
    // closing would remove it (Windows).
    jpeg::JpegResult Finish();
    // Puts the finished file in place of the target, keeping the target's
    // permission bits (and group, where allowed), on Windows its attributes
    // and security.
    jpeg::JpegResult Commit();
    std::uint64_t Written() const { return written_; }
    void Discard();

private:
    jpeg::JpegResult CreateNamed(const std::filesystem::path& folder);
    jpeg::JpegResult Name();

    std::filesystem::path target_;
    std::filesystem::path temp_;  // set only once this object has made it
    std::FILE* file_ = nullptr;
    bool unnamed_ = false;        // file_ has no name yet
    bool removedOnClose_ = false; // Windows removes file_ when it is closed
    std::uint64_t written_ = 0;
    std::optional<FileTime> time_;  // not yet given to the file
};

}  // namespace files
