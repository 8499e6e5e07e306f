// The output-folder picker: a directories-only folder dialog, or the picker the
// caller was given in its place (a test's, to choose a folder or cancel), and
// the output folder it remembers between runs.
#pragma once

#include <QString>
#include <functional>
#include <optional>

class QWidget;

namespace basMain {

// Returns the chosen folder, or nothing when the user cancelled. An empty
// picker stands for the real dialog.
using FolderPicker = std::function<std::optional<QString>(QWidget* owner, const QString& prompt)>;

// Shows picker with Prompt. On a confirmed folder sets Folder to its path
// (a root keeps its trailing separator, any other folder has none) and returns
// true; on cancel returns false and leaves Folder unchanged.
// The dialog starts in Folder when that names a folder, else in the home folder.
bool BrowseForFolder(const FolderPicker& picker, QWidget* Owner, QString& Folder, const QString& Prompt);

// The folder the output picker opens at: the last output folder the user
// confirmed (settings [Path] OutputFolder) while it is still a folder, else
// the home folder. Never the source folder by default: there a bare Enter
// would confirm writing over the originals.
QString OutputFolderStart();

// BrowseForFolder for a run's output folder: opens at OutputFolderStart() and
// remembers a confirmed folder. Folder is set only on a confirmed folder.
bool BrowseForOutputFolder(const FolderPicker& picker, QWidget* Owner, QString& Folder, const QString& Prompt);

// A chosen path as BrowseForFolder returns it: native separators, no trailing
// separator except at a root.
QString FolderPathForCaller(const QString& chosen);

}  // namespace basMain
