// Viewer windows: each selected image in a borderless window of its own at
// full size, moved by dragging with the left button, closed by a double-click;
// at most 20 open at a time, all closed at once by "画像を閉じる(&C)".
//
// Pictures are decoded on a worker thread, one after another in list order,
// while every window stays live; a viewer appears when its picture is ready.
// While viewers are still opening:
// - another "画像を表示" queues behind the pictures already asked for, as if the
//   first command had finished;
// - "画像を閉じる" (and so a run, which closes the viewers first) and closing the
//   main window stop the opening: the picture being decoded and those queued
//   never appear, and the decode in flight stops within a few rows, giving
//   its memory back.
#pragma once

#include <QImage>
#include <QPointer>
#include <QRegion>
#include <QWidget>
#include <memory>

#include "pictures/picture.h"
#include "shell/selection.h"

class MessageBoxes;
namespace shell {
struct ProgramState;
}
namespace dialogs {
class ViewerOpener;
}

// A viewer's face: the picture inside a one-pixel frame. Where the window
// system reports the window's place, it paints only what lies on a screen:
// most of a 100-megapixel picture is off screen, and painting all of it at
// once would hold up the window thread.
class ViewerPicture final : public QWidget {
    Q_OBJECT

public:
    explicit ViewerPicture(QWidget* parent);

    // Takes the picture and its size.
    void SetPicture(QImage picture);
    const QImage& Picture() const { return picture_; }

    // Asks for the parts that have come onto a screen since they were painted
    // (after the window moved).
    void PaintNewlyVisible();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRegion OnScreen() const;

    QImage picture_;
    QRegion painted_;  // what the window's backing store holds of the picture
};

class ViewerWindow : public QWidget {
    Q_OBJECT

public:
    // Counted, once shown, in program.ViewerCount; opener is told when a
    // window it is opening ends before it is shown.
    explicit ViewerWindow(shell::ProgramState& program, dialogs::ViewerOpener* opener = nullptr);
    ~ViewerWindow() override;

    // Puts a decoded picture in the window, whose outer size becomes the picture's.
    void SetPicture(QImage picture);
    // Shows the window centred on the screen and counts it in the program's state.
    void ShowCounted();

    ViewerPicture* picMain;

protected:
    // Hands the move to the window system, which follows the pointer until the
    // button is released; false where the window moves itself. Tests replace it.
    virtual bool StartSystemMove();

    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Armed: the left button went down here and the pointer has not moved yet.
    // Following: this window moves itself with the pointer.
    enum class Drag { None, Armed, Following };

    void Ending();

    shell::ProgramState& program_;
    QPointer<dialogs::ViewerOpener> opener_;

    QPoint dragOffset_;  // pointer position relative to the window's corner
    Drag drag_ = Drag::None;
    bool counted_ = false;
};

namespace dialogs {

inline constexpr int MaxViewers = 20;

// The viewers of one program: the queue that opens them, each counted in
// program.ViewerCount while it exists, and the commands on them. The program
// makes it; the viewers it opened close when it ends. messages shows the
// limit's warning and the errors of pictures that cannot be shown. load
// decodes a picture on the opener's thread (LoadPicture when empty; a test
// gives one that fails or waits).
class Viewers {
public:
    Viewers(shell::ProgramState& program, MessageBoxes& messages, pictures::PictureLoader load = {});
    ~Viewers();
    Viewers(const Viewers&) = delete;
    Viewers& operator=(const Viewers&) = delete;

    // "画像を表示(&V)...": opens a viewer for every selected item, from position 0.
    // Returns at once; the viewers appear as their pictures are decoded.
    void ViewSelected(const shell::FileSelection& selection);

    // "画像を閉じる(&C)": closes every viewer and stops those still opening; none is
    // left afterwards and none appears later.
    void CloseViewers();

    // True while pictures asked for are still being decoded or waiting their turn.
    bool Opening() const;

private:
    std::unique_ptr<ViewerOpener> opener_;
};

}  // namespace dialogs
