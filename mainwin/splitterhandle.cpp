// The splitter between the panes.
#include "mainwin/splitterhandle.h"

#include <QMouseEvent>
#include <QPalette>

#include "mainwin/layout.h"
#include "shell/twips.h"

using shell::PixelsX;
using shell::PixelsY;
using shell::TwipsX;
using shell::TwipsY;

SplitterHandle::SplitterHandle(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("imgSplitter"));
    setCursor(Qt::SizeHorCursor);

    bar_ = new QWidget(parent);
    bar_->setObjectName(QStringLiteral("picSplitter"));
    bar_->setAutoFillBackground(true);
    QPalette grey = bar_->palette();
    grey.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
    bar_->setPalette(grey);
    bar_->hide();
}

bool SplitterHandle::event(QEvent* event)
{
    auto* mouse = event->isPointerEvent() ? static_cast<QMouseEvent*>(event) : nullptr;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (mouse->button() != Qt::LeftButton)
            break;
        barLeft_ = left_;
        bar_->setGeometry(PixelsX(barLeft_), y(), PixelsX(mainwin::layout::SplitterBarWidth(TwipsX(width()))),
                          PixelsY(mainwin::layout::SplitterBarHeight(TwipsY(height()))));
        bar_->show();
        bar_->raise();
        moving_ = true;
        return true;
    case QEvent::MouseMove:
        if (!moving_)
            break;
        barLeft_ = mainwin::layout::SplitterBarLeft(left_, TwipsX(qRound(mouse->position().x())), TwipsX(window()->width()));
        bar_->move(PixelsX(barLeft_), bar_->y());
        return true;
    case QEvent::MouseButtonRelease:
        if (!moving_ || mouse->button() != Qt::LeftButton)
            break;
        emit Dropped(barLeft_);
        bar_->hide();
        moving_ = false;
        return true;
    default:
        break;
    }
    return QWidget::event(event);
}
