// Program-wide values and the small shared routines every window uses: the
// application identity, the viewer count, the help file path, the values the
// image information dialog shows, file-name splitting and path joining.
#pragma once

#include <QString>
#include <QtGlobal>
#include <filesystem>

namespace basMain {

inline const QString AppTitle = QStringLiteral("Zembrik");
// The project's version, given by the build (CMake's project version).
inline constexpr int VersionMajor = ZEMBRIK_VERSION_MAJOR;
inline constexpr int VersionMinor = ZEMBRIK_VERSION_MINOR;
inline constexpr int VersionRevision = ZEMBRIK_VERSION_PATCH;

// Number of open viewer windows.
extern qint16 ViewerCount;
// The help file: beside the executable, or in the installed data folder.
extern QString HelpFilePath;

// Written by the image information command, read by its dialog.
extern QString InfoFileName;
extern QString InfoFilePath;
extern qint32 InfoWidth;
extern qint32 InfoHeight;

// Sets the program-wide values at start-up (the main window is shown by main()).
void InitProgramValues();

// The help page of a program whose executable lies in appFolder: beside it,
// as in the build folder, else where an installation puts it, found relative
// to the executable so that a moved installation still finds it. The path
// beside the executable when neither exists.
QString HelpFileIn(const QString& appFolder);

// The folder of the executable, without a trailing separator except at a root.
QString AppFolder();

// Whether the window system tells the program where its windows are and lets
// it place them. Wayland does neither: only the compositor knows.
bool WindowPositionsKnown();

// The platform's path separator: "/" here, "\" on Windows.
QString Separator();

// Plain concatenation of folder, separator and name, as every command joins a
// path: a root that already ends in the separator gives a doubled one.
QString JoinPath(const QString& folder, const QString& name);

// Splits a file name at its last "." into base name and extension (with the
// dot). A name without a dot is trimmed of surrounding blanks and has no
// extension. FileName is taken by value, so it may be the same variable as BaseName.
void SplitFileName(QString FileName, QString& Extension, QString& BaseName);

// A path as the standard library's file functions take it: the file-system
// encoding of the name on Unix, the UTF-16 name on Windows.
std::filesystem::path ToFsPath(const QString& path);

}  // namespace basMain
