// Every message box of the program goes through a clsMsg that the program
// makes and hands to the code that shows boxes: four kinds of box with fixed
// titles (Japanese, or their translation) and icons. A test makes its own over a scripted responder
// instead of real boxes. ShowSaveError turns a failed save into its message.
#pragma once

#include <QCoreApplication>
#include <QPointer>
#include <QString>
#include <QtGlobal>
#include <cstdint>

class QWidget;

namespace ModuleJPEG {
enum class JpegResult : std::int32_t;
}

// The button that closed a question box.
enum class MsgAnswer : qint16 { Yes = 6, No = 7 };

// SkipQuestion: an error box that asks whether to pass over the picture it
// is about and go on (Yes, "スキップ") or stop (No, "中止", the default).
enum class MsgKind { Error, Warning, Information, Question, SkipQuestion };

// Shows one box and returns the button pressed (OK boxes return Yes). detail
// is the box's informative second line (the file it is about), empty for none.
class MessageResponder {
public:
    virtual ~MessageResponder() = default;
    virtual MsgAnswer Show(MsgKind kind, const QString& title, const QString& text, const QString& detail) = 0;
};

class clsMsg {
    Q_DECLARE_TR_FUNCTIONS(clsMsg)

public:
    // responder replaces the real message boxes (nullptr: the real ones). Not owned.
    explicit clsMsg(MessageResponder* responder = nullptr) : responder_(responder) {}

    // vstrDetail, when given, is the box's informative second line.
    void ShowError(const QString& vstrMessage, const QString& vstrDetail = {});
    void ShowMessage(const QString& vstrMessage, const QString& vstrDetail = {});
    void ShowInformation(const QString& vstrInformation, const QString& vstrDetail = {});
    MsgAnswer ShowQuestion(const QString& vstrQuestion);
    // An error box that also asks whether to skip the picture and go on.
    MsgAnswer ShowSkipQuestion(const QString& vstrMessage, const QString& vstrDetail = {});

    // The window the boxes are centred over: the program's main window, set
    // by the program at its start. Until then, and once it is gone, the
    // active window.
    void SetOwner(QWidget* owner);

private:
    MsgAnswer Show(MsgKind kind, const QString& title, const QString& text, const QString& detail = {});
    MessageResponder* responder_ = nullptr;
    QPointer<QWidget> owner_;
};

namespace basMain {

// Shows through messages the error box for a failing result, naming the file that could not be
// written on its second line, and returns false; returns true without a box
// for success and for every value that is not a failure code.
bool ShowSaveError(clsMsg& messages, ModuleJPEG::JpegResult Result, const QString& Path);

}  // namespace basMain
