// Every message box of the program goes through a MessageBoxes that the program
// makes and hands to the code that shows boxes: four kinds of box with fixed
// titles (Japanese, or their translation) and icons, shown and waited for, or
// opened for an answer that comes later. A test makes its own over a
// scripted responder instead of real boxes.
#pragma once

#include <QCoreApplication>
#include <QPointer>
#include <QString>
#include <QtGlobal>
#include <functional>

class QWidget;

// The button that closed a question box.
enum class MsgAnswer { Yes, No };

// SkipQuestion: an error box that asks whether to pass over the picture it
// is about and go on (Yes, "スキップ(&S)") or stop (No, "中止(&C)", the default).
enum class MsgKind { Error, Warning, Information, Question, SkipQuestion };

// Shows one box and returns the button pressed (OK boxes return Yes). detail
// is the box's informative second line (the file it is about), empty for none.
class MessageResponder {
public:
    virtual ~MessageResponder() = default;
    virtual MsgAnswer Show(MsgKind kind, const QString& title, const QString& text, const QString& detail) = 0;
    // Opens one box and returns at once; answered is called once with the
    // button pressed when the box has closed, whatever closed it, on
    // context's thread and unless context is gone by then. Returns the box,
    // for its owner to close (none: nothing to close). Here: Show at once,
    // its answer given from the event loop, as a real box's would be.
    virtual QPointer<QWidget> Open(MsgKind kind, const QString& title, const QString& text, const QString& detail,
                                   QObject* context, std::function<void(MsgAnswer)> answered);
};

class MessageBoxes {
    Q_DECLARE_TR_FUNCTIONS(MessageBoxes)

public:
    // responder replaces the real message boxes (nullptr: the real ones). Not owned.
    explicit MessageBoxes(MessageResponder* responder = nullptr) : responder_(responder) {}

    // Shown and waited for: only for a command the user started (a menu, a
    // button, a key), never from a signal's handler or a timer.
    // detail, when given, is the box's informative second line.
    void ShowError(const QString& message, const QString& detail = {});
    void ShowMessage(const QString& message, const QString& detail = {});
    void ShowInformation(const QString& information, const QString& detail = {});
    MsgAnswer ShowQuestion(const QString& question);

    // Boxes that do not wait, for work that goes on meanwhile or waits for
    // the answer as a state of its own, and for every box opened from a
    // signal rather than by a command: each returns the box (none under a
    // test's responder) and calls answered (or closed) once it has closed,
    // as long as context (the object waiting for it) lives.
    // An error box that also asks whether to skip the picture and go on.
    QPointer<QWidget> OpenSkipQuestion(const QString& message, const QString& detail, QObject* context,
                                       std::function<void(MsgAnswer)> answered);
    QPointer<QWidget> OpenError(const QString& message, const QString& detail, QObject* context,
                                std::function<void()> closed);
    QPointer<QWidget> OpenMessage(const QString& message, const QString& detail, QObject* context,
                                  std::function<void()> closed);
    QPointer<QWidget> OpenInformation(const QString& information, const QString& detail, QObject* context,
                                      std::function<void()> closed = {});

    // The window the boxes are centred over: the program's main window, set
    // by the program at its start. Until then, and once it is gone, the
    // active window.
    void SetOwner(QWidget* owner);

private:
    MsgAnswer Show(MsgKind kind, const QString& title, const QString& text, const QString& detail = {});
    QPointer<QWidget> Open(MsgKind kind, const QString& title, const QString& text, const QString& detail,
                           QObject* context, std::function<void()> closed);
    MessageResponder* responder_ = nullptr;
    QPointer<QWidget> owner_;
};
