// The message class and the save-error messages.
#include "shell/messageboxes.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <memory>

namespace {

// A question box that only Yes and No can close: Esc and the frame's close
// request are swallowed, so the user has to answer.
class QuestionBox final : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->matches(QKeySequence::Cancel)) {
            event->accept();
            return;
        }
        QMessageBox::keyPressEvent(event);
    }
    // A button's own close is filtered out by QDialog before it gets here,
    // so only a close from outside reaches this. The user's (frame, Alt+F4)
    // is refused; the program's own, when it ends (its main window closed,
    // a signal), answers No.
    void closeEvent(QCloseEvent* event) override
    {
        if (event->spontaneous())
            event->ignore();
        else
            QMessageBox::closeEvent(event);
    }
};

class BoxResponder final : public MessageResponder {
    static QString SkipLine() { return QCoreApplication::translate("MessageBoxes", "この画像をスキップして、残りの画像を続けますか？"); }

public:
    explicit BoxResponder(QWidget* owner) : owner_(owner) {}

    MsgAnswer Show(MsgKind kind, const QString& title, const QString& text, const QString& detail) override
    {
        const std::unique_ptr<QMessageBox> box = Make(kind, title, text, detail);
        box->exec();
        return AnswerOf(kind, *box);
    }

    QPointer<QWidget> Open(MsgKind kind, const QString& title, const QString& text, const QString& detail,
                           QObject* context, std::function<void(MsgAnswer)> answered) override
    {
        QMessageBox* box = Make(kind, title, text, detail).release();
        box->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(box, &QDialog::finished, context,
                         [box, kind, answered = std::move(answered)] { answered(AnswerOf(kind, *box)); });
        // Not QDialog::open(), which would make it modal to the main window
        // alone: the viewers too wait for the answer, as under exec().
        box->show();
        return box;
    }

private:
    std::unique_ptr<QMessageBox> Make(MsgKind kind, const QString& title, const QString& text,
                                      const QString& detail) const
    {
        // Over the main window, not over whichever window is active: a viewer
        // that has just opened may cover the whole screen.
        QWidget* owner = owner_ && owner_->isVisible() ? owner_ : QApplication::activeWindow();
        if (kind == MsgKind::Question) {
            auto box = std::make_unique<QuestionBox>(owner);
            Prepare(*box, QMessageBox::Question, title, text, detail);
            box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box->setDefaultButton(QMessageBox::No);
            box->setEscapeButton(QMessageBox::No);  // what a close answers
            // Qt's own button texts are English without its translations installed.
            box->button(QMessageBox::Yes)->setText(QCoreApplication::translate("MessageBoxes", "はい(&Y)"));
            box->button(QMessageBox::No)->setText(QCoreApplication::translate("MessageBoxes", "いいえ(&N)"));
            // No close box in the frame either: the answer is Yes or No.
            box->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
            return box;
        }
        auto box = std::make_unique<QMessageBox>(owner);
        if (kind == MsgKind::SkipQuestion) {
            // Closed any way but by スキップ (Esc, the frame, the program
            // ending), it answers 中止, as the plain error box it replaces
            // ended the run.
            Prepare(*box, QMessageBox::Critical, title, text,
                    detail.isEmpty() ? SkipLine() : detail + QLatin1Char('\n') + SkipLine());
            box->addButton(QCoreApplication::translate("MessageBoxes", "スキップ(&S)"), QMessageBox::AcceptRole);
            QPushButton* stop = box->addButton(QCoreApplication::translate("MessageBoxes", "中止(&C)"), QMessageBox::RejectRole);
            box->setDefaultButton(stop);
            box->setEscapeButton(stop);
            return box;
        }
        Prepare(*box, kind == MsgKind::Error     ? QMessageBox::Critical
                      : kind == MsgKind::Warning ? QMessageBox::Warning
                                                 : QMessageBox::Information,
                title, text, detail);
        box->setStandardButtons(QMessageBox::Ok);
        return box;
    }

    // Yes for はい and スキップ; No for the other button, and for a box
    // closed without one (which a question's close refuses, unless the
    // program closes it). Boxes with OK alone answer Yes.
    static MsgAnswer AnswerOf(MsgKind kind, const QMessageBox& box)
    {
        if (kind != MsgKind::Question && kind != MsgKind::SkipQuestion)
            return MsgAnswer::Yes;
        QAbstractButton* clicked = box.clickedButton();
        const QMessageBox::ButtonRole role = clicked ? box.buttonRole(clicked) : QMessageBox::InvalidRole;
        return role == QMessageBox::YesRole || role == QMessageBox::AcceptRole ? MsgAnswer::Yes : MsgAnswer::No;
    }

    static void Prepare(QMessageBox& box, QMessageBox::Icon icon, const QString& title, const QString& text,
                        const QString& detail)
    {
        box.setWindowTitle(title);
        box.setText(text);
        box.setInformativeText(detail);
        box.setIcon(icon);
        box.setTextFormat(Qt::PlainText);  // file names and error texts are shown as they are
        // The informative line is a file name or a run's summary: plain text
        // (Qt would take a name with "<" in it for markup), kept on one line
        // rather than broken at a space in the middle of a size.
        if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
            label->setTextFormat(Qt::PlainText);
            label->setWordWrap(false);
        }
        box.setWindowModality(Qt::ApplicationModal);
    }

    QWidget* owner_;
};

}  // namespace

void MessageBoxes::ShowError(const QString& message, const QString& detail)
{
    Show(MsgKind::Error, tr("エラー"), message, detail);
}

void MessageBoxes::ShowMessage(const QString& message, const QString& detail)
{
    Show(MsgKind::Warning, tr("警告"), message, detail);
}

void MessageBoxes::ShowInformation(const QString& information, const QString& detail)
{
    Show(MsgKind::Information, tr("情報"), information, detail);
}

MsgAnswer MessageBoxes::ShowQuestion(const QString& question)
{
    return Show(MsgKind::Question, tr("質問"), question);
}

QPointer<QWidget> MessageBoxes::OpenSkipQuestion(const QString& message, const QString& detail, QObject* context,
                                           std::function<void(MsgAnswer)> answered)
{
    BoxResponder boxes(owner_);
    MessageResponder& responder = responder_ ? *responder_ : boxes;
    return responder.Open(MsgKind::SkipQuestion, tr("エラー"), message, detail, context, std::move(answered));
}

QPointer<QWidget> MessageBoxes::OpenError(const QString& message, const QString& detail, QObject* context,
                                    std::function<void()> closed)
{
    return Open(MsgKind::Error, tr("エラー"), message, detail, context, std::move(closed));
}

QPointer<QWidget> MessageBoxes::OpenMessage(const QString& message, const QString& detail, QObject* context,
                                      std::function<void()> closed)
{
    return Open(MsgKind::Warning, tr("警告"), message, detail, context, std::move(closed));
}

QPointer<QWidget> MessageBoxes::OpenInformation(const QString& information, const QString& detail, QObject* context,
                                          std::function<void()> closed)
{
    return Open(MsgKind::Information, tr("情報"), information, detail, context, std::move(closed));
}

QPointer<QWidget> MessageBoxes::Open(MsgKind kind, const QString& title, const QString& text, const QString& detail,
                               QObject* context, std::function<void()> closed)
{
    BoxResponder boxes(owner_);
    MessageResponder& responder = responder_ ? *responder_ : boxes;
    return responder.Open(kind, title, text, detail, context, [closed = std::move(closed)](MsgAnswer) {
        if (closed)
            closed();
    });
}

void MessageBoxes::SetOwner(QWidget* owner)
{
    owner_ = owner;
}

MsgAnswer MessageBoxes::Show(MsgKind kind, const QString& title, const QString& text, const QString& detail)
{
    BoxResponder boxes(owner_);
    MessageResponder& responder = responder_ ? *responder_ : boxes;
    return responder.Show(kind, title, text, detail);
}

QPointer<QWidget> MessageResponder::Open(MsgKind kind, const QString& title, const QString& text,
                                         const QString& detail, QObject* context,
                                         std::function<void(MsgAnswer)> answered)
{
    const MsgAnswer answer = Show(kind, title, text, detail);
    QMetaObject::invokeMethod(
        context, [answered = std::move(answered), answer] { answered(answer); }, Qt::QueuedConnection);
    return nullptr;
}
