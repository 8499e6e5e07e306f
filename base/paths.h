// File names and paths as every part of Zembrik handles them, window or
// not: path joining and splitting, names that are not UTF-8 kept as the bytes
// they are, and the listing of a folder's pictures.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

class QUrl;
#include <filesystem>
#include <optional>

namespace base {

// The platform's path separator: "/" here, "\" on Windows.
QString Separator();

// Plain concatenation of folder, separator and name, as every command joins a
// path: a root that already ends in the separator gives a doubled one.
QString JoinPath(const QString& folder, const QString& name);

// Splits a file name at its last "." into base name and extension (with the
// dot). A name without a dot is trimmed of surrounding blanks and has no
// extension. fileName is taken by value, so it may be the same variable as baseName.
void SplitFileName(QString fileName, QString& extension, QString& baseName);

// File names on Unix are bytes that need not be UTF-8 (a Shift_JIS or
// Latin-1 name), while Qt decodes them lossily. Names are decoded here as
// UTF-8, each byte that is not part of valid UTF-8 kept as a lone surrogate
// U+DC80..U+DCFF (as Python's "surrogateescape" does), so that every name the
// system gives (argv, a folder listing) comes back to the same bytes
// wherever it meets the file system again. A UTF-8 name decodes as Qt
// decodes it.
QString FromFsName(QByteArrayView name);

// The program's arguments as the system gave them: on Unix decoded by
// FromFsName, so a name that is not UTF-8 keeps its bytes; on Windows as Qt
// reads them once an application object exists.
QStringList CommandLine(int argc, char** argv);

// The path of a file:// URL (a drop, a file manager's open-with) with its
// percent-encoded bytes decoded by FromFsName on Unix.
QString LocalPathOf(const QUrl& url);

// The bytes of a name or path; nothing when it holds what no file name can
// (a lone surrogate outside U+DC80..U+DCFF, a NUL character).
std::optional<QByteArray> ToFsName(const QString& name);

// A path as the standard library's file functions take it: the bytes of
// ToFsName on Unix (an empty path when there are none), the UTF-16 name on
// Windows, there in the long form "\\?\C:\..." or "\\?\UNC\server\..."
// when it is long enough to meet the system's limit of 260 characters (the
// C library refuses that form: ask the file system through files/pathfacts.h).
std::filesystem::path ToFsPath(const QString& path);

// Whether a name (from FromFsName) matches one of the wildcard patterns, case
// ignored.
bool NameMatches(const QStringList& nameFilters, const QString& name);

// The names of the regular files of a folder (links to them included) that
// match one of the wildcard patterns, case ignored, hidden ones left out,
// sorted by name with case ignored, as QDir lists them; a name that is not
// UTF-8 is listed too, decoded by FromFsName.
QStringList FilesIn(const QString& folder, const QStringList& nameFilters);

}  // namespace base
