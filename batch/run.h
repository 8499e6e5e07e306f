// The batch run: every selected image of the main window's file list shrunk
// by the ratio and written as a JPEG into a folder the user picks, with a
// progress window. The shrink engine does the work on worker threads while
// the window stays live. It reads the main window only through RunHost, so
// tests drive it without the real window.
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include "batch/engine.h"
#include "shell/selection.h"

class QWidget;

namespace basBatch {

// What the run needs of the main window beyond its selection.
class RunHost : public basMain::FileSelection {
public:
    // Normalises the ratio box as leaving it does, then returns its text.
    virtual QString NormalisedRatioText() = 0;
    virtual void SetStatusText(const QString& text) = 0;
    // Re-reads the folder; the selection is cleared.
    virtual void RefreshFileList() = 0;
    virtual void CloseAllViewers() = 0;
    // The window that owns the question, the picker and the progress window.
    virtual QWidget* Window() = 0;
};

// The run (menu "サイズ変更(&R)...", F5, toolbar "RUN"). The plan is taken
// once the output folder is chosen, and checked: replacing a selected
// original, or two selected pictures writing one name, is asked about first
// (only the last picture of a name is then shrunk). What the user does in
// the window after that does not change the run. The window's event loop runs throughout. A second
// run started while one is going on is refused silently.
void RunBatch(RunHost& host);

// Replaces how the window's run loads and reduces pictures (tests); an empty
// function restores basMain::LoadReducedPicture. Called on worker threads.
void SetRunReducer(PictureReducer reducer);

bool BatchRunning();

// Ends a running batch without touching the host again: the workers stop at
// their next row of blocks, no temporary file is left, nothing more is put in
// place, the progress window closes and RunBatch returns. For the main
// window's closing.
void StopBatch();

}  // namespace basBatch
