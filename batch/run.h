// The batch run: every selected image of the main window's file list shrunk
// by the ratio and written as a JPEG into a folder the user picks, with a
// progress window. It reads the main window only through RunHost, so tests
// drive it without the real window.
#pragma once

#include <QString>
#include <QtGlobal>

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

// The run (menu "サイズ変更(&R)...", F5, toolbar "RUN"). A second run started
// while one is going on (during one of its yields) is refused silently.
void RunBatch(RunHost& host);

bool BatchRunning();

// Ends a running batch at its next yield without touching the host again:
// the file being written is abandoned (never left half written), the
// progress and work windows are closed. For the main window's closing.
void StopBatch();

}  // namespace basBatch
