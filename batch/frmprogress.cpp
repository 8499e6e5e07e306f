// The progress window.
#include "batch/frmprogress.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>

#include "shell/twips.h"

namespace {

QRect Twips(int left, int top, int width, int height)
{
    const int tx = basMain::TwipsPerPixelX(), ty = basMain::TwipsPerPixelY();
    return QRect(basMain::TwipsToPixels(left, tx), basMain::TwipsToPixels(top, ty),
                 basMain::TwipsToPixels(width, tx), basMain::TwipsToPixels(height, ty));
}

}  // namespace

frmProgress::frmProgress(QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("frmProgress"));
    setWindowTitle(QStringLiteral("サイズを変更しています..."));
    setAttribute(Qt::WA_DeleteOnClose);
    const QRect client = Twips(0, 0, 4185, 975);
    setFixedSize(client.size());

    lblMsg = new QLabel(QStringLiteral("サイズ変更中..."), this);
    lblMsg->setObjectName(QStringLiteral("lblMsg"));
    lblMsg->setGeometry(Twips(300, 210, 3555, 255));

    pgbMain = new QProgressBar(this);
    pgbMain->setObjectName(QStringLiteral("pgbMain"));
    pgbMain->setGeometry(Twips(240, 480, 3675, 375));
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
    // No close button, and Alt+F4 does not stop a run either.
    if (closable_)
        event->accept();
    else
        event->ignore();
}

void AllowProgressClose(frmProgress* window)
{
    if (window)
        window->closable_ = true;
}
