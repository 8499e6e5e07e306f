// Path helpers and names kept as bytes.
#include "base/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QUrl>

#include <algorithm>
#include <utility>
#include <vector>

#ifdef Q_OS_WIN
#include <windows.h>
#endif
#ifdef Q_OS_UNIX
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace base {

QString Separator()
{
    return QString(QDir::separator());
}

QString JoinPath(const QString& folder, const QString& name)
{
    return folder + Separator() + name;
}

void SplitFileName(QString fileName, QString& extension, QString& baseName)
{
    extension.clear();
    baseName.clear();
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0) {
        // Only blanks are trimmed, as the name may legitimately hold other spaces.
        qsizetype begin = 0;
        qsizetype end = fileName.size();
        while (begin < end && fileName.at(begin) == QLatin1Char(' ')) ++begin;
        while (end > begin && fileName.at(end - 1) == QLatin1Char(' ')) --end;
        baseName = fileName.mid(begin, end - begin);
        return;
    }
    extension = fileName.mid(dot);
    baseName = fileName.left(dot);
}

namespace {

// The code point of the valid UTF-8 sequence at the start of Bytes and its
// length, or a length of 0 (overlong forms, surrogates and values beyond
// U+10FFFF are not valid).
std::pair<char32_t, int> Utf8At(QByteArrayView bytes)
{
    const auto byte = [&](qsizetype i) { return i < bytes.size() ? static_cast<uchar>(bytes[i]) : 0u; };
    const unsigned lead = byte(0);
    if (lead < 0x80)
        return {lead, 1};
    const int length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    char32_t code = lead & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return {0, 0};
        code = code << 6 | (byte(i) & 0x3F);
    }
    const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (length == 0 || code < least[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
        return {0, 0};
    return {code, length};
}

// The name with a replacement character for each byte kept as a lone
// surrogate: what pattern matching (which wants valid UTF-16) is given.
QString WithReplacements(QString name)
{
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name.at(i).isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate())
            ++i;  // a pair
        else if (name.at(i).isSurrogate())
            name[i] = QChar::ReplacementCharacter;
    }
    return name;
}

}  // namespace

bool NameMatches(const QStringList& nameFilters, const QString& name)
{
    return QDir::match(nameFilters, WithReplacements(name));
}

QStringList CommandLine(int argc, char** argv)
{
    QStringList args;
#if defined(_WIN32)
    if (QCoreApplication::instance())
        return QCoreApplication::arguments();  // the UTF-16 command line
    for (int i = 0; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
#else
    for (int i = 0; i < argc; ++i)
        args.append(FromFsName(argv[i]));
#endif
    return args;
}

QString LocalPathOf(const QUrl& url)
{
#if defined(_WIN32)
    return url.toLocalFile();
#else
    if (!url.isLocalFile())
        return url.toLocalFile();
    // toLocalFile() reads the bytes as UTF-8 and loses those that are not.
    const QByteArray path = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    const QString host = url.host();
    return host.isEmpty() ? FromFsName(path) : QStringLiteral("//") + host + FromFsName(path);
#endif
}

QString FromFsName(QByteArrayView name)
{
    QString decoded;
    decoded.reserve(name.size());
    while (!name.isEmpty()) {
        const auto [code, length] = Utf8At(name);
        if (length == 0) {
            decoded.append(QChar(0xDC00 + static_cast<uchar>(name[0])));
            name = name.sliced(1);
            continue;
        }
        if (QChar::requiresSurrogates(code)) {
            decoded.append(QChar(QChar::highSurrogate(code)));
            decoded.append(QChar(QChar::lowSurrogate(code)));
        } else {
            decoded.append(QChar(static_cast<char16_t>(code)));
        }
        name = name.sliced(length);
    }
    return decoded;
}

std::optional<QByteArray> ToFsName(const QString& name)
{
    QByteArray bytes;
    qsizetype run = 0;  // where the characters UTF-8 encodes as they are begin
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        if (c != 0 && !QChar::isSurrogate(c))
            continue;
        if (c < 0xDC80 || c > 0xDCFF)
            return std::nullopt;
        bytes.append(QStringView(name).sliced(run, i - run).toUtf8());
        bytes.append(static_cast<char>(c - 0xDC00));
        run = i + 1;
    }
    bytes.append(QStringView(name).sliced(run).toUtf8());
    return bytes;
}

#ifdef Q_OS_WIN
namespace {

std::wstring LongForm(const std::wstring& path)
{
    // Long enough that a temporary's name beside it (16 characters more than
    // the shortest name) or a folder made there would pass Windows' 260.
    constexpr DWORD kLong = 240;
    if (path.starts_with(L"\\\\?\\") || path.starts_with(L"\\\\.\\"))
        return path;  // already in the long form, or a device
    if (path.find(L'\0') != std::wstring::npos)
        return path;  // as it is, for the name check to refuse: Windows would cut it short
    // The limit holds for the full name, a relative one resolved; the long
    // form is taken as it stands, so ".", ".." and "/" are resolved first,
    // as Windows resolves them in short names.
    std::wstring full(MAX_PATH, L'\0');
    DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length >= full.size()) {
        full.resize(length);
        length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    }
    if (length < kLong || length >= full.size())
        return path;  // short, or not a path GetFullPathNameW takes
    full.resize(length);
    if (full.starts_with(L"\\\\"))
        return L"\\\\?\\UNC\\" + full.substr(2);  // \\server\share\...
    return L"\\\\?\\" + full;
}

}  // namespace
#endif

std::filesystem::path ToFsPath(const QString& path)
{
#ifdef Q_OS_WIN
    // Names of 260 characters and more reach Windows only in their long form
    // "\\?\C:\..." (unless the user has turned that limit off), which Qt's
    // own file access takes care of but the C++ library does not.
    return std::filesystem::path(LongForm(path.toStdWString()));
#else
    const std::optional<QByteArray> encoded = ToFsName(path);
    if (!encoded)
        return {};
    return std::filesystem::path(std::string(encoded->constData(), static_cast<std::size_t>(encoded->size())));
#endif
}

QStringList FilesIn(const QString& folder, const QStringList& nameFilters)
{
#ifdef Q_OS_UNIX
    const std::optional<QByteArray> path = ToFsName(folder);
    DIR* dir = path ? ::opendir(path->constData()) : nullptr;
    if (!dir)
        return {};
    // In the order the folder gives them, sorted below exactly as QDir
    // sorts them: by the lower-case names, with the same algorithm.
    std::vector<std::pair<QString, QString>> found;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;  // hidden, and the folder itself and its parent
        QString name = FromFsName(entry->d_name);
        struct stat status {};
        if (!NameMatches(nameFilters, name) || ::fstatat(::dirfd(dir), entry->d_name, &status, 0) != 0 ||
            !S_ISREG(status.st_mode))
            continue;
        found.emplace_back(name.toLower(), std::move(name));
    }
    ::closedir(dir);
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    QStringList names;
    for (auto& entry : found)
        names.append(std::move(entry.second));
    return names;
#else
    QDir dir(folder);
    dir.setNameFilters(nameFilters);
    dir.setFilter(QDir::Files);
    dir.setSorting(QDir::Name | QDir::IgnoreCase);
    return dir.entryList();
#endif
}

}  // namespace base
