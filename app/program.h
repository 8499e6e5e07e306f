// The program after its application object and its translations exist:
// the program's state and services, the font, the icon, the main window with
// the batch run wired to it, and the event loop, which ends once the main
// window is gone.
// main() and the tests of the whole program share it.
#pragma once

#include <QStringList>

#include "app/usersettings.h"
#include "base/language.h"
#include "batch/engine.h"
#include "pictures/pictureformats.h"
#include "shell/folderpicker.h"

class QApplication;
class MessageResponder;
class MainWindow;

namespace batch {
class BatchRun;
}
namespace output {
class MetadataLibrary;
}

// What the program is built from that main() makes or a test replaces.
struct Services {
    // Loads and reduces a run's pictures (empty: the real loader).
    batch::PictureReducer Reducer;
    // exiv2, set up, for the runs that keep the metadata (none: each of
    // their pictures fails).
    const output::MetadataLibrary* Metadata = nullptr;
    // Answers the message boxes (none: the real boxes). Not owned.
    MessageResponder* Messages = nullptr;
    // Where the window's settings are kept.
    base::SettingsStore Settings = UserSettings();
    // Picks a run's output folder (empty: the real dialog, which remembers
    // the folder last confirmed in Settings).
    shell::FolderPicker Picker;
    // The picture files the window lists and opens besides JPEG, BMP and GIF
    // (main() asks libheif and Qt once).
    pictures::PictureFormats Formats;
};

// Wires run to window: "サイズ変更" asks for a run (with the window's output
// settings and services) and starts it, "フォルダをサブフォルダごと縮小" a run
// over the path box's folder tree, and during the run "サイズ変更" brings its
// progress window forward; its end reads the list again, keeping the
// pictures not written selected; the window's closing stops it.
void ConnectRun(MainWindow& window, batch::BatchRun& run);

// Opens the main window on Paths (a folder, or pictures to select in their
// folder; see MainWindow::OpenPaths) and returns the event loop's exit status.
// language is the one whose translations are installed (base::Translations):
// it chooses the help page.
int RunZembrik(QApplication& app, base::Language language, const QStringList& paths = {},
               const Services& services = {});
