// Viewer windows: each selected image in a borderless window of its own at
// full size, moved by dragging with the left button, closed by a double-click;
// at most 20 open at a time, all closed at once by "画像を閉じる(&C)".
#pragma once

#include <QWidget>

#include "shell/selection.h"

class QLabel;

class frmImage : public QWidget {
    Q_OBJECT

public:
    frmImage();
    ~frmImage() override;

    // Loads the file and sizes the window to the picture; false (with the
    // description in `error`) when the file cannot be loaded.
    bool LoadPicture(const QString& path, QString& error);

    QLabel* picMain;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QPoint dragOffset_;
    bool manualDrag_ = false;
    bool counted_ = false;
    friend void ShowCounted(frmImage*);
};

namespace basViewers {

inline constexpr int MaxViewers = 20;

// "画像を表示(&V)...": opens a viewer for every selected item, from position 0.
void mnuToolView_Click(const basMain::FileSelection& selection);

// "画像を閉じる(&C)": closes every viewer; none is left afterwards.
void mnuToolClose_Click();

}  // namespace basViewers
