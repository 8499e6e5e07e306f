// The run command's questions before a run.
#include <QCoreApplication>
#include <QFileInfo>

#include "batch/request.h"

#include "base/numtext.h"
#include "shell/folderpicker.h"
#include "shell/messageboxes.h"

namespace batch {

Collection CollectRequest(const RunRequest& request)
{
    TreeOptions options;
    options.Recursive = !request.Tree.isEmpty();
    // A tree that is gone holds nothing; the walk would take it for a file.
    if (options.Recursive && !QFileInfo(request.Tree).isDir())
        return {};
    options.Update = request.Output.SkipUpToDate;
    return Collect(options.Recursive ? QStringList{request.Tree} : request.Paths, request.OutputFolder,
                   request.NameFilters, options, request.Output);
}

std::optional<RunRequest> AskForRun(const QStringList& selectedPaths, const QString& ratioText,
                                    const output::Settings& output, const std::function<void()>& closeViewers,
                                    QWidget* owner, MessageBoxes& messages, const shell::FolderPicker& picker)
{
    if (selectedPaths.isEmpty()) {
        messages.ShowMessage(QCoreApplication::translate("batch", "ファイルが選択されていません。"));
        return std::nullopt;
    }
    const QString question =
        output.Size == output::SizeMode::Box
            ? QCoreApplication::translate("batch", "幅 %1 × 高さ %2 ピクセル以内で縮小を開始します。")
                  .arg(output.Box.width())
                  .arg(output.Box.height())
            : QCoreApplication::translate("batch", "縮小率 %1 で縮小を開始します。").arg(ratioText);
    if (messages.ShowQuestion(question) != MsgAnswer::Yes)
        return std::nullopt;

    if (closeViewers)
        closeViewers();

    // The picker opens at the last output folder, never at the source folder,
    // where a bare Enter would confirm writing over the originals.
    RunRequest request;
    if (!shell::BrowseForOutputFolder(picker, owner, request.OutputFolder,
                                        QCoreApplication::translate("batch", "縮小した画像を出力するフォルダを選択してください。")))
        return std::nullopt;
    request.Paths = selectedPaths;
    request.Ratio = base::Val(ratioText) / 100.0;
    request.Output = output;
    return request;
}

}  // namespace batch
