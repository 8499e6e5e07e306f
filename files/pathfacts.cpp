// Path facts and folder making: one stat on Unix, on Windows without the C library.
#include "files/pathfacts.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>

#include <cerrno>
#endif

namespace files {

#if defined(_WIN32)
namespace {

// Counted from 1601 in steps of 100 ns; a count of nanoseconds would end
// in 2262.
FileTime TimeOf(FILETIME time)
{
    const std::uint64_t ticks = (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return {static_cast<std::int64_t>(ticks / 10000000) - 11644473600LL, static_cast<std::int32_t>(ticks % 10000000) * 100};
}

PathFacts FactsFrom(DWORD attributes, DWORD sizeHigh, DWORD sizeLow, FILETIME written)
{
    PathFacts facts;
    facts.Kind = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Folder
                 : (attributes & FILE_ATTRIBUTE_DEVICE)  ? PathKind::Other
                                                         : PathKind::File;
    if (facts.Kind == PathKind::File)
        facts.Size = (static_cast<std::uintmax_t>(sizeHigh) << 32) | sizeLow;
    facts.Modified = TimeOf(written);
    return facts;
}

}  // namespace

PathFacts FactsOf(const std::filesystem::path& path, std::error_code* error)
{
    const auto failed = [error] {
        if (error)
            *error = std::error_code(static_cast<int>(GetLastError()), std::system_category());
        return PathFacts{};
    };
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (path.empty() || !GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return failed();
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return FactsFrom(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow, data.ftLastWriteTime);
    // A link: what it leads to. Asking for attributes only is not refused
    // by another program's sharing mode.
    const HANDLE file = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return failed();
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info)) {
        const PathFacts none = failed();
        CloseHandle(file);
        return none;
    }
    CloseHandle(file);
    return FactsFrom(info.dwFileAttributes, info.nFileSizeHigh, info.nFileSizeLow, info.ftLastWriteTime);
}

std::error_code MakeFolders(const std::filesystem::path& path)
{
    if (path.empty())
        return std::make_error_code(std::errc::no_such_file_or_directory);
    if (CreateDirectoryW(path.c_str(), nullptr))
        return {};
    DWORD error = GetLastError();
    if (error == ERROR_PATH_NOT_FOUND) {
        // Made from the top down. The string is cut rather than parsed:
        // the C++ library reads the long form's "\\?\" as a server name.
        const std::wstring& name = path.native();
        const std::size_t cut = name.find_last_of(L"\\/", name.find_last_not_of(L"\\/"));
        if (cut == std::wstring::npos || cut == 0 || name.compare(0, cut, L"\\\\?") == 0)
            return std::error_code(static_cast<int>(error), std::system_category());
        if (const std::error_code above = MakeFolders(std::filesystem::path(name.substr(0, cut))))
            return above;
        if (CreateDirectoryW(path.c_str(), nullptr))
            return {};
        error = GetLastError();
    }
    if (error == ERROR_ALREADY_EXISTS && FactsOf(path).Kind == PathKind::Folder)
        return {};
    if (error == ERROR_ALREADY_EXISTS)
        return std::make_error_code(std::errc::file_exists);
    return std::error_code(static_cast<int>(error), std::system_category());
}

#else

PathFacts FactsOf(const std::filesystem::path& path, std::error_code* error)
{
    struct stat status {};
    if (path.empty() || ::stat(path.c_str(), &status) != 0) {
        if (error)
            *error = std::error_code(path.empty() ? ENOENT : errno, std::generic_category());
        return {};
    }
    PathFacts facts;
    facts.Kind = S_ISREG(status.st_mode) ? PathKind::File : S_ISDIR(status.st_mode) ? PathKind::Folder : PathKind::Other;
    if (facts.Kind == PathKind::File)
        facts.Size = static_cast<std::uintmax_t>(status.st_size);
#if defined(__APPLE__)
    const timespec written = status.st_mtimespec;
#else
    const timespec written = status.st_mtim;
#endif
    facts.Modified = {static_cast<std::int64_t>(written.tv_sec), static_cast<std::int32_t>(written.tv_nsec)};
    return facts;
}

std::error_code MakeFolders(const std::filesystem::path& path)
{
    std::error_code error;
    std::filesystem::create_directories(path, error);
    return error;
}

#endif

}  // namespace files
