// The output-folder picker: a directories-only folder dialog, or the picker the
// caller was given in its place (a test's, to choose a folder or cancel), and
// the output-folder dialog that remembers the folder last confirmed.
#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "base/settings.h"

class QWidget;

namespace shell {

// Returns the chosen folder, or nothing when the user cancelled. An empty
// picker stands for the real dialog.
using FolderPicker = std::function<std::optional<QString>(QWidget* owner, const QString& prompt)>;

// Shows picker with prompt. On a confirmed folder sets folder to its path
// (a root keeps its trailing separator, any other folder has none) and returns
// true; on cancel returns false and leaves folder unchanged.
// The dialog starts in folder when that names a folder, else in the home folder.
bool BrowseForFolder(const FolderPicker& picker, QWidget* owner, QString& folder, const QString& prompt);

// The real output-folder picker: the dialog opens at the last output folder
// the user confirmed (settings [Path] OutputFolder) while it is still a
// folder, else at home, and remembers the folder confirmed. Never the source
// folder by default: there a bare Enter would confirm writing over the
// originals.
FolderPicker OutputFolderDialog(const base::SettingsStore& settings);

// BrowseForFolder for a run's output folder, picked by picker (in the
// program, OutputFolderDialog). folder is set only on a confirmed folder.
bool BrowseForOutputFolder(const FolderPicker& picker, QWidget* owner, QString& folder, const QString& prompt);

// A chosen path as BrowseForFolder returns it: native separators, no trailing
// separator except at a root.
QString FolderPathForCaller(const QString& chosen);

}  // namespace shell
