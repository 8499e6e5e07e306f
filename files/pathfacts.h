// What the file system says of a path, and the folders made for outputs:
// through stat and the C++ library on Unix, through Windows' own calls there,
// where the C library Zembrik links (msvcrt) takes no name in the long form
// "\\?\..." that names of 260 characters and more need.
#pragma once

#include <cstdint>
#include <filesystem>
#include <system_error>

#include "files/pendingjpeg.h"

namespace files {

enum class PathKind { Missing, File, Folder, Other };

struct PathFacts {
    PathKind Kind = PathKind::Missing;  // also when the system cannot say
    std::uintmax_t Size = 0;            // of a file
    FileTime Modified;  // since 1970, as the file system stores it
};

// Links are followed. Why the system could not say goes to error, if given.
PathFacts FactsOf(const std::filesystem::path& path, std::error_code* error = nullptr);

// Makes the folder and every missing one above it; a file in the way is an
// error, a folder already there is not.
std::error_code MakeFolders(const std::filesystem::path& path);

}  // namespace files
