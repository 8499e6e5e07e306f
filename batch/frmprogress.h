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
};
