// The run command's questions before a run.
#include <QCoreApplication>

#include "batch/request.h"

#include "base/numtext.h"
#include "shell/folderpicker.h"
#include "shell/msg.h"

namespace basBatch {

std::optional<RunRequest> AskForRun(const QStringList& selectedPaths, const QString& ratioText,
                                    const Output::Settings& output, const std::function<void()>& closeViewers,
                                    QWidget* owner, clsMsg& messages, const basMain::FolderPicker& picker)
{
    if (selectedPaths.isEmpty()) {
        messages.ShowMessage(QCoreApplication::translate("basBatch", "ファイルが選択されていません。"));
        return std::nullopt;
    }
    const QString question =
        output.Size == Output::SizeMode::Box
            ? QCoreApplication::translate("basBatch", "幅 %1 × 高さ %2 ピクセル以内で縮小を開始します。")
                  .arg(output.Box.width())
                  .arg(output.Box.height())
            : QCoreApplication::translate("basBatch", "縮小率 %1 で縮小を開始します。").arg(ratioText);
    if (messages.ShowQuestion(question) != MsgAnswer::Yes)
        return std::nullopt;

    if (closeViewers)
        closeViewers();

    // The picker opens at the last output folder, never at the source folder,
    // where a bare Enter would confirm writing over the originals.
    RunRequest request;
    if (!basMain::BrowseForOutputFolder(picker, owner, request.OutputFolder,
                                        QCoreApplication::translate("basBatch", "縮小した画像を出力するフォルダを選択してください。")))
        return std::nullopt;
    request.Paths = selectedPaths;
    request.Ratio = basMain::Val(ratioText) / 100.0;
    request.Output = output;
    return request;
}

}  // namespace basBatch
