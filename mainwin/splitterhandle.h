// The handle between the folder pane and the file pane (imgSplitter). The
// window lays it under the lists, where it is grabbed in the gap between them.
// While the left button holds it a grey bar (picSplitter) follows the mouse,
// 500 twips inside the window's edges; letting go asks for the panes to be
// laid out where the bar is.
#pragma once

#include <QWidget>

class SplitterHandle final : public QWidget {
    Q_OBJECT
public:
    // The bar is made beside the handle, a child of parent too.
    explicit SplitterHandle(QWidget* parent);

    // The position the panes are laid out for (the handle's left), twips.
    double Left() const { return left_; }
    void SetLeft(double left) { left_ = left; }

signals:
    // Let go with the bar's left at left, twips.
    void Dropped(double left);

protected:
    bool event(QEvent* event) override;

private:
    QWidget* bar_ = nullptr;
    double left_ = 2040;  // designed position
    double barLeft_ = 0;
    bool moving_ = false;
};
