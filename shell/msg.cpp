// The message class and the save-error messages.
#include "shell/msg.h"

#include <QApplication>
#include <QMessageBox>

namespace {

class BoxResponder final : public MessageResponder {
public:
    MsgAnswer Show(MsgKind kind, const QString& title, const QString& text) override
    {
        QMessageBox box(QApplication::activeWindow());
        box.setWindowTitle(title);
        box.setText(text);
        switch (kind) {
        case MsgKind::Error: box.setIcon(QMessageBox::Critical); break;
        case MsgKind::Warning: box.setIcon(QMessageBox::Warning); break;
        case MsgKind::Information: box.setIcon(QMessageBox::Information); break;
        case MsgKind::Question: box.setIcon(QMessageBox::Question); break;
        }
        if (kind == MsgKind::Question) {
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::No);
            // Only Yes and No close the box: Esc and the frame's close do nothing.
            box.setEscapeButton(static_cast<QAbstractButton*>(nullptr));
        } else {
            box.setStandardButtons(QMessageBox::Ok);
        }
        box.setWindowModality(Qt::ApplicationModal);
        const int button = box.exec();
        return button == QMessageBox::Yes || kind != MsgKind::Question ? MsgAnswer::Yes : MsgAnswer::No;
    }
};

}  // namespace

void clsMsg::ShowError(const QString& vstrMessage)
{
    Show(MsgKind::Error, QStringLiteral("エラー"), vstrMessage);
}

void clsMsg::ShowMessage(const QString& vstrMessage)
{
    Show(MsgKind::Warning, QStringLiteral("警告"), vstrMessage);
}

void clsMsg::ShowInformation(const QString& vstrInformation)
{
    Show(MsgKind::Information, QStringLiteral("情報"), vstrInformation);
}

MsgAnswer clsMsg::ShowQuestion(const QString& vstrQuestion)
{
    return Show(MsgKind::Question, QStringLiteral("質問"), vstrQuestion);
}

void clsMsg::SetResponder(MessageResponder* responder)
{
    responder_ = responder;
}

MsgAnswer clsMsg::Show(MsgKind kind, const QString& title, const QString& text)
{
    if (responder_)
        return responder_->Show(kind, title, text);
    BoxResponder boxes;
    return boxes.Show(kind, title, text);
}

clsMsg& Msg()
{
    static clsMsg instance;
    return instance;
}

namespace basMain {

QString SaveErrorText(ModuleJPEG::JpegResult result)
{
    using ModuleJPEG::JpegResult;
    switch (result) {
    case JpegResult::OutOfMemory: return QStringLiteral("メモリが足りません。");
    case JpegResult::DiskFull: return QStringLiteral("ディスク容量が足りません。");
    case JpegResult::PermissionDenied: return QStringLiteral("書き込み出来ません。");
    case JpegResult::DeviceUnavailable: return QStringLiteral("ディスクがセットされていません。");
    case JpegResult::BadFileName: return QStringLiteral("ファイル名が不正です。");
    case JpegResult::PictureTooLarge:
        return QStringLiteral("対象となる画像が大きすぎて、保存が出来ません。");
    case JpegResult::Unexpected: return QStringLiteral("予期しないエラーが発生しました。");
    case JpegResult::Ok: break;
    }
    return {};
}

bool ShowSaveError(ModuleJPEG::JpegResult Result)
{
    const QString text = SaveErrorText(Result);
    if (text.isEmpty())
        return true;
    Msg().ShowError(text);
    return false;
}

}  // namespace basMain
