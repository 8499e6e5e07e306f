// Viewer windows and the queue that opens them.
#include "dialogs/viewerwindow.h"

#include "base/workthread.h"

#include <QCoreApplication>
#include <QApplication>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QWindow>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "pictures/picture.h"
#include "shell/program.h"
#include "shell/messageboxes.h"

namespace dialogs {

// Opens the viewers of "画像を表示" one picture at a time, in list order. The
// picture is decoded on a worker thread; the next one is started only when the
// one before is shown or has failed, so the limit and a failing file stop a
// command exactly where they would if each picture were decoded on the spot.
class ViewerOpener final : public QObject {
public:
    ViewerOpener(shell::ProgramState& program, MessageBoxes& messages, pictures::PictureLoader load)
        : program_(program), messages_(messages), load_(std::move(load))
    {
    }
    ~ViewerOpener() override
    {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
            abandon_ = true;  // the decode in flight stops at its next rows
        }
        wake_.notify_one();
        if (worker_.joinable())
            worker_.join();
    }

    void Add(QStringList paths)
    {
        commands_.push_back(std::move(paths));
        Next();
    }

    // Nothing queued or being decoded will open. The caller disposes of the
    // hidden window that was waiting for its picture.
    void Cancel()
    {
        commands_.clear();
        loading_ = nullptr;
        std::lock_guard lock(mutex_);
        request_.reset();
        ++ticket_;  // a decode in flight is dropped when it comes back
        abandon_ = true;  // and stops at its next rows, handing its memory back
    }

    bool Busy() const { return loading_ || !commands_.empty(); }

    // The hidden window waiting for its picture, if any, and every viewer
    // this opener has shown that still exists.
    ViewerWindow* Loading() const { return loading_; }
    QList<QPointer<ViewerWindow>> Shown() const { return shown_; }

    // A window waiting for its picture only ends when the program closes the
    // viewers or itself: then nothing further may open.
    void ViewerEnding(const ViewerWindow* viewer)
    {
        if (viewer == loading_)
            Cancel();
    }

private:
    struct Decode {
        quint64 Ticket = 0;
        QString Path;
        pictures::LoadedPicture Picture;
    };

    void Next()
    {
        while (!loading_ && !waiting_ && !commands_.empty()) {
            QStringList& paths = commands_.front();
            if (paths.isEmpty()) {
                commands_.pop_front();
                continue;
            }
            if (program_.ViewerCount >= dialogs::MaxViewers) {
                commands_.pop_front();  // the rest of this command is not opened
                messages_.OpenMessage(
                    QCoreApplication::translate("dialogs", "一度に表示可能な画像は %1 までです。").arg(dialogs::MaxViewers),
                    {}, this, NextOnceClosed());
                return;
            }
            const QString path = paths.takeFirst();
            loading_ = new ViewerWindow(program_, this);  // hidden and uncounted until its picture is in
            loading_->setWindowTitle(QFileInfo(path).fileName());
            {
                std::lock_guard lock(mutex_);
                request_ = Decode{++ticket_, path, {}};
            }
            wake_.notify_one();
            if (!worker_.joinable())
                worker_ = base::StartWorkThread([this] { Work(); });
        }
    }

    // For a box the queue waits on: nothing further opens until it has
    // closed, and then the queue goes on where it stood.
    std::function<void()> NextOnceClosed()
    {
        waiting_ = true;
        // The box answers only while this opener lives (it is the box's context).
        return [this] {
            waiting_ = false;
            Next();
        };
    }

    // The worker thread: decodes the latest request, hands it back, waits for the next.
    void Work()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return quit_ || request_; });
            if (quit_)
                return;
            Decode decode = std::move(*request_);
            request_.reset();
            abandon_ = false;  // raised for an earlier request only
            lock.unlock();
            decode.Picture = load_(decode.Path, &abandon_);
            lock.lock();
            done_ = std::move(decode);
            QMetaObject::invokeMethod(this, &ViewerOpener::Loaded, Qt::QueuedConnection);
        }
    }

    void Loaded()
    {
        std::optional<Decode> decode;
        {
            std::lock_guard lock(mutex_);
            // Taken out even when stale: a cancelled picture may be hundreds of
            // megabytes, and nothing else would free it before the next view.
            decode = std::exchange(done_, std::nullopt);
            if (!decode || decode->Ticket != ticket_ || decode->Picture.Stopped)
                return;  // cancelled meanwhile
        }
        ViewerWindow* viewer = std::exchange(loading_, nullptr);
        if (decode->Picture.Ok()) {
            viewer->SetPicture(std::move(decode->Picture.Image));
            viewer->ShowCounted();
            shown_.removeAll(nullptr);
            shown_.append(viewer);
        } else {
            delete viewer;  // never shown, never counted
            if (!commands_.empty())
                commands_.pop_front();  // the failing item's command ends here
            messages_.OpenError(decode->Picture.Error->Description, {}, this, NextOnceClosed());
            return;
        }
        Next();
    }

    shell::ProgramState& program_;
    MessageBoxes& messages_;
    const pictures::PictureLoader load_;  // called on the worker thread only

    // Window thread only: each command's paths not yet started, oldest first,
    // the hidden window whose picture is being decoded, and those shown.
    std::deque<QStringList> commands_;
    ViewerWindow* loading_ = nullptr;
    QList<QPointer<ViewerWindow>> shown_;
    bool waiting_ = false;  // for a box this queue opened to close

    // Shared with the worker, under the mutex.
    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<Decode> request_;  // a newer request replaces an abandoned one
    std::optional<Decode> done_;
    quint64 ticket_ = 0;  // of the latest request
    bool quit_ = false;
    // Raised (under the mutex) when the decode in flight is no longer wanted;
    // read by the decoder without it.
    std::atomic<bool> abandon_{false};

    std::thread worker_;
};

}  // namespace dialogs

// --- The picture ------------------------------------------------------------------

ViewerPicture::ViewerPicture(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("picMain"));
    // Every pixel is painted here: nothing need be cleared behind it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The window takes the mouse, to move and close itself.
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ViewerPicture::SetPicture(QImage picture)
{
    picture_ = std::move(picture);
    painted_ = QRegion();
    update();
}

QRegion ViewerPicture::OnScreen() const
{
    // Where the window system does not say where the window is (Wayland),
    // nothing is known to be off screen, and no move is ever reported to paint
    // what comes into view later: all of it counts as on screen.
    if (!shell::WindowPositionsKnown())
        return rect();
    QRegion screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens += screen->geometry();
    return screens.translated(-mapToGlobal(QPoint(0, 0))) & rect();
}

void ViewerPicture::PaintNewlyVisible()
{
    const QRegion newly = OnScreen() - painted_;
    if (!newly.isEmpty())
        update(newly);
}

void ViewerPicture::paintEvent(QPaintEvent* event)
{
    // What is asked for and lies off screen stays unpainted until it comes
    // into view; even the frame, as each of its rows is a page of memory.
    const QRegion todo = event->region() & OnScreen();
    painted_ = (painted_ - event->region()) | todo;
    const QRect inside = rect().adjusted(1, 1, -1, -1);
    QPainter painter(this);
    for (const QRect& r : todo & inside)
        painter.drawImage(r.topLeft(), picture_, r.translated(-inside.topLeft()));
    for (const QRect& r : todo - inside)
        painter.fillRect(r, palette().color(QPalette::WindowText));
}

// --- The window -------------------------------------------------------------------

ViewerWindow::ViewerWindow(shell::ProgramState& program, dialogs::ViewerOpener* opener)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), program_(program), opener_(opener)
{
    setObjectName(QStringLiteral("frmImage"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_OpaquePaintEvent);  // picMain paints all of it
    picMain = new ViewerPicture(this);
}

ViewerWindow::~ViewerWindow()
{
    if (counted_)
        --program_.ViewerCount;
    else
        Ending();
}

void ViewerWindow::Ending()
{
    if (opener_)
        opener_->ViewerEnding(this);
}

void ViewerWindow::SetPicture(QImage picture)
{
    // The window's outer size is the picture's: no scaling, no scrolling. Its
    // one-pixel frame covers the picture's last columns and rows.
    const QSize size = picture.size();
    picMain->SetPicture(std::move(picture));
    resize(size);
    picMain->setGeometry(rect());
}

void ViewerWindow::ShowCounted()
{
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
    show();
    counted_ = true;
    ++program_.ViewerCount;
}

void ViewerWindow::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    picMain->PaintNewlyVisible();
}

void ViewerWindow::closeEvent(QCloseEvent* event)
{
    // Closed before it was shown: the program is closing the viewers or ending.
    if (!counted_)
        Ending();
    QWidget::closeEvent(event);
}

bool ViewerWindow::StartSystemMove()
{
    // Where the program may place its own windows (X11, Windows), the window
    // follows the pointer itself: exactly, and to the release, under any window
    // manager or none. A window manager's move starts where the pointer is when
    // it takes over, a few pixels past the press, and some (openbox) keep
    // moving after a release they missed. Wayland lets only the compositor move
    // a window.
    if (shell::WindowPositionsKnown())
        return false;
    return windowHandle() && windowHandle()->startSystemMove();
}

void ViewerWindow::mousePressEvent(QMouseEvent* event)
{
    // Only the left button alone starts a move; the right button, or both, do not.
    const bool left = event->button() == Qt::LeftButton && event->buttons() == Qt::LeftButton;
    drag_ = left ? Drag::Armed : Drag::None;
    dragOffset_ = event->globalPosition().toPoint() - pos();
}

void ViewerWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (drag_ == Drag::None)
        return;
    if (event->buttons() != Qt::LeftButton) {
        drag_ = Drag::None;
        return;
    }
    // The window keeps the pointer where the button went down, from the first
    // motion on.
    move(event->globalPosition().toPoint() - dragOffset_);
    if (drag_ == Drag::Armed) {
        // The move starts on the first motion, so a click or double-click never
        // starts one. Where the window system takes the move over, it ends it
        // on the release, which this window never sees: nothing more is done
        // until the next press, whatever button state later motions report.
        drag_ = StartSystemMove() ? Drag::None : Drag::Following;
    }
}

void ViewerWindow::mouseReleaseEvent(QMouseEvent*)
{
    drag_ = Drag::None;
}

void ViewerWindow::mouseDoubleClickEvent(QMouseEvent*)
{
    close();
}

// --- Commands ---------------------------------------------------------------------

namespace dialogs {

Viewers::Viewers(shell::ProgramState& program, MessageBoxes& messages, pictures::PictureLoader load)
    : opener_(std::make_unique<ViewerOpener>(program, messages, load ? std::move(load) : pictures::PictureLoader(pictures::LoadPicture)))
{
}

Viewers::~Viewers()
{
    // No viewer may outlive the state that counts it.
    CloseViewers();
}

void Viewers::ViewSelected(const shell::FileSelection& selection)
{
    QStringList paths = shell::SelectedPaths(selection);  // taken now: the list may change while they open
    if (!paths.isEmpty())
        opener_->Add(std::move(paths));
}

void Viewers::CloseViewers()
{
    ViewerWindow* hidden = opener_->Loading();
    opener_->Cancel();
    delete hidden;
    for (const QPointer<ViewerWindow>& viewer : opener_->Shown())
        delete viewer.data();  // at once, so the count is 0 when this returns
}

bool Viewers::Opening() const
{
    return opener_->Busy();
}

}  // namespace dialogs
