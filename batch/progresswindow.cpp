// The progress window.
#include "batch/progresswindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "batch/summary.h"
#include "shell/twips.h"

ProgressWindow::ProgressWindow(QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    using shell::TwipsRect;
    setObjectName(QStringLiteral("frmProgress"));
    setWindowTitle(tr("サイズを変更しています..."));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(TwipsRect(0, 0, 4185, 2490).size());

    lblMsg = new QLabel(tr("サイズ変更中..."), this);
    lblMsg->setObjectName(QStringLiteral("lblMsg"));
    lblMsg->setGeometry(TwipsRect(300, 210, 3555, 255));

    pgbMain = new QProgressBar(this);
    pgbMain->setObjectName(QStringLiteral("pgbMain"));
    pgbMain->setGeometry(TwipsRect(240, 480, 3675, 375));
    pgbMain->setRange(0, 100);
    pgbMain->setValue(0);
    pgbMain->setTextVisible(false);

    const auto label = [this](const char* name, const QRect& geometry, Qt::Alignment align) {
        auto* l = new QLabel(this);
        l->setObjectName(QLatin1String(name));
        l->setGeometry(geometry);
        l->setAlignment(align | Qt::AlignVCenter);
        l->setTextFormat(Qt::PlainText);  // a file name is shown as it is
        return l;
    };
    lblCount = label("lblCount", TwipsRect(300, 960, 3555, 255), Qt::AlignLeft);
    lblFile = label("lblFile", TwipsRect(300, 1260, 3555, 255), Qt::AlignLeft);
    lblElapsed = label("lblElapsed", TwipsRect(300, 1560, 1700, 255), Qt::AlignLeft);
    lblLeft = label("lblLeft", TwipsRect(2055, 1560, 1800, 255), Qt::AlignRight);

    cmdCancel = new QPushButton(tr("中止"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setGeometry(TwipsRect(2835, 1920, 1080, 375));
    // Enter must not stop a long run by accident; Space on the focused button,
    // a click or Esc do.
    cmdCancel->setAutoDefault(false);
    connect(cmdCancel, &QPushButton::clicked, this, &ProgressWindow::StopAsked);

    if (owner) {
        const QRect frame = owner->frameGeometry();
        move(frame.center() - rect().center());
    }
    qApp->installEventFilter(this);
}

ProgressWindow::~ProgressWindow()
{
    qApp->removeEventFilter(this);
}

void ProgressWindow::ShowProgress(const batch::RunProgress& state)
{
    pgbMain->setRange(0, state.Total);
    pgbMain->setValue(state.Done);
    QString count = QStringLiteral("%1 / %2").arg(state.Done).arg(state.Total);
    // In the words the run's summary ends with.
    if (state.UpToDate > 0)
        count += QCoreApplication::translate("batch", "（%n 個は最新）", nullptr, state.UpToDate);
    lblCount->setText(count);
    lblFile->setText(lblFile->fontMetrics().elidedText(state.LastFile, Qt::ElideMiddle, lblFile->width()));
    lblElapsed->setText(tr("経過 %1").arg(batch::ClockText(state.ElapsedMs)));
    lblLeft->setText(state.Waiting ? tr("応答待ち")
                     : state.LeftMs ? tr("残り %1").arg(batch::GuessText(*state.LeftMs))
                                    : QString());
}

void ProgressWindow::ShowStopping()
{
    cmdCancel->setEnabled(false);
}

void ProgressWindow::closeEvent(QCloseEvent* event)
{
    // A close (the close box, Alt+F4) asks the run to stop; the run takes the
    // window down when it has ended, and never closes it otherwise.
    event->ignore();
    emit StopAsked();
}

void ProgressWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        emit StopAsked();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool ProgressWindow::eventFilter(QObject* watched, QEvent* event)
{
    // A viewer opened or brought forward during the run would hide this
    // window: it is raised over it again. Modal boxes (the run's own
    // questions among them) stay in front.
    if (event->type() == QEvent::Show || event->type() == QEvent::WindowActivate) {
        auto* window = qobject_cast<QWidget*>(watched);
        if (window && window != this && window->isWindow() && !window->isModal() &&
            (window->windowType() == Qt::Window || window->windowType() == Qt::Tool))
            QTimer::singleShot(0, this, [this] { raise(); });
    }
    return false;
}
