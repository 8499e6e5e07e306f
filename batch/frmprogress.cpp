// The progress window.
#include "batch/frmprogress.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>

#include "shell/twips.h"


frmProgress::frmProgress(QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("frmProgress"));
    setWindowTitle(QStringLiteral("サイズを変更しています..."));
    setAttribute(Qt::WA_DeleteOnClose);
    const QRect client = basMain::TwipsRect(0, 0, 4185, 975);
    setFixedSize(client.size());

    lblMsg = new QLabel(QStringLiteral("サイズ変更中..."), this);
    lblMsg->setObjectName(QStringLiteral("lblMsg"));
    lblMsg->setGeometry(basMain::TwipsRect(300, 210, 3555, 255));

    pgbMain = new QProgressBar(this);
    pgbMain->setObjectName(QStringLiteral("pgbMain"));
    pgbMain->setGeometry(basMain::TwipsRect(240, 480, 3675, 375));
    pgbMain->setRange(0, 100);
    pgbMain->setValue(0);
    pgbMain->setTextVisible(false);

    if (owner) {
        const QRect frame = owner->frameGeometry();
        move(frame.center() - rect().center());
    }
}

void frmProgress::closeEvent(QCloseEvent* event)
{
    // No close button, and the window manager's close (Alt+F4) does nothing
    // either; the program itself may close it.
    if (event->spontaneous())
        event->ignore();
    else
        event->accept();
}
