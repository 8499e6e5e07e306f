// Viewer windows.
#include "dialogs/frmimage.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <QFileInfo>

#include "shell/basmain.h"
#include "shell/msg.h"
#include "shell/picture.h"

frmImage::frmImage() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmImage"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    picMain = new QLabel(this);
    picMain->setObjectName(QStringLiteral("picMain"));
    // The label leaves the mouse to the window, which moves and closes it.
    picMain->setAttribute(Qt::WA_TransparentForMouseEvents);
    picMain->move(1, 1);  // inside the one-pixel border
}

frmImage::~frmImage()
{
    if (counted_)
        --basMain::ViewerCount;
}

bool frmImage::LoadPicture(const QString& path, QString& error)
{
    const basMain::LoadedPicture loaded = basMain::LoadPicture(path);
    if (!loaded.Ok()) {
        error = loaded.Error->Description;
        return false;
    }
    picMain->setPixmap(QPixmap::fromImage(loaded.Image));
    picMain->resize(loaded.Image.size());
    // The window's outer size is the picture's: no scaling, no scrolling.
    resize(loaded.Image.size());
    setWindowTitle(QFileInfo(path).fileName());
    return true;
}

void ShowCounted(frmImage* viewer)
{
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        viewer->move(area.center() - viewer->rect().center());
    }
    viewer->show();
    viewer->counted_ = true;
    ++basMain::ViewerCount;
}

void frmImage::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void frmImage::mousePressEvent(QMouseEvent* event)
{
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void frmImage::mouseMoveEvent(QMouseEvent* event)
{
    // The move starts only when the pointer moves with the left button alone
    // held, so a click or a double-click never starts one; the right button,
    // or both, do not move the window.
    if (event->buttons() != Qt::LeftButton) {
        manualDrag_ = false;
        return;
    }
    if (manualDrag_) {
        move(event->globalPosition().toPoint() - dragOffset_);
        return;
    }
    // The window system moves the window itself where it can; elsewhere the
    // window follows the pointer.
    if (windowHandle() && windowHandle()->startSystemMove())
        return;
    manualDrag_ = true;
    move(event->globalPosition().toPoint() - dragOffset_);
}

void frmImage::mouseReleaseEvent(QMouseEvent*)
{
    manualDrag_ = false;
}

void frmImage::mouseDoubleClickEvent(QMouseEvent*)
{
    close();
}

namespace basViewers {

void mnuToolView_Click(const basMain::FileSelection& selection)
{
    const int count = selection.ListCount();
    for (int i = 0; i < count; ++i) {
        if (!selection.Selected(i))
            continue;
        if (basMain::ViewerCount >= MaxViewers) {
            Msg().ShowMessage(QStringLiteral("一度に表示可能な画像は ") + QString::number(MaxViewers) +
                              QStringLiteral(" までです。"));
            return;
        }
        const QString path = basMain::JoinPath(selection.FolderText(), selection.List(i));
        auto* viewer = new frmImage;
        QString error;
        if (!viewer->LoadPicture(path, error)) {
            delete viewer;  // never shown, never counted
            Msg().ShowError(error);
            return;
        }
        ShowCounted(viewer);
    }
}

void mnuToolClose_Click()
{
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->objectName() == QLatin1String("frmImage"))
            delete window;  // at once, so the count is 0 when this returns
}

}  // namespace basViewers
