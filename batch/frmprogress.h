// The progress window of a batch run: a small tool window with a caption, a
// label and a bar, no close button and no cancel.
#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;

class frmProgress : public QWidget {
    Q_OBJECT

public:
    explicit frmProgress(QWidget* owner = nullptr);

    QLabel* lblMsg;
    QProgressBar* pgbMain;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    friend void AllowProgressClose(frmProgress*);
    bool closable_ = false;
};

// Lets the run (or the main window's closing) close the window, which the
// user cannot.
void AllowProgressClose(frmProgress* window);
