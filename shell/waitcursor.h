// The wait pointer for the moments the main thread works without returning
// to the event loop (walking a folder tree before a run), so the window does
// not look hung.
#pragma once

#include <QCursor>
#include <QGuiApplication>

namespace shell {

class WaitCursor {
public:
    WaitCursor()
    {
        if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
            QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        else
            shown_ = false;
    }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
    ~WaitCursor()
    {
        if (shown_)
            QGuiApplication::restoreOverrideCursor();
    }

private:
    bool shown_ = true;
};

}  // namespace shell
