// The progress window of a batch run: a small tool window with a caption, a
// label and a bar, the count of pictures done (and of those up to date), the
// picture written last, the time taken and the time left, and a button "中止"
// (Esc and the close box do the same). It opens centred over its owner and
// stays in front of the program's other windows (the viewers) while it is up.
#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace batch {
struct RunProgress;
}

class ProgressWindow : public QWidget {
    Q_OBJECT

public:
    explicit ProgressWindow(QWidget* owner = nullptr);
    ~ProgressWindow() override;

    void ShowProgress(const batch::RunProgress& state);
    // The run is stopping: 中止 has been heard and is pressed no more.
    void ShowStopping();

    QLabel* lblMsg;
    QProgressBar* pgbMain;
    QLabel* lblCount;
    QLabel* lblFile;
    QLabel* lblElapsed;
    QLabel* lblLeft;
    QPushButton* cmdCancel;

signals:
    // 中止, Esc or the close box: the run decides, and closes the window.
    void StopAsked();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};
