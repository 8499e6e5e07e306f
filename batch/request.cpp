// The run commands' questions before a run.
#include <QCoreApplication>
#include <QFileInfo>
#include <QSet>
#include <QStringList>

#include "batch/request.h"

#include "base/numtext.h"
#include "shell/folderpicker.h"
#include "shell/messageboxes.h"
#include "shell/waitcursor.h"

namespace batch {
namespace {

// After the question: the viewers closed, the output folder picked, the
// request made. Nothing when the picker is cancelled.
std::optional<RunRequest> PickOutputFolder(const QString& ratioText, const output::Settings& output,
                                           const std::function<void()>& closeViewers, QWidget* owner,
                                           const shell::FolderPicker& picker)
{
    if (closeViewers)
        closeViewers();

    // The picker opens at the last output folder, never at the source folder,
    // where a bare Enter would confirm writing over the originals.
    RunRequest request;
    if (!shell::BrowseForOutputFolder(picker, owner, request.OutputFolder,
                                        QCoreApplication::translate("batch", "縮小した画像を出力するフォルダを選択してください。")))
        return std::nullopt;
    request.Ratio = base::Val(ratioText) / 100.0;
    request.Output = output;
    return request;
}

// Several sizes as the run's question names them: "1920 × 1080、1280 × 960".
QString SizesText(const output::Settings& output)
{
    QStringList sizes;
    for (const QSize box : output::AllBoxes(output))
        sizes << QStringLiteral("%1 × %2").arg(box.width()).arg(box.height());
    return sizes.join(QCoreApplication::translate("batch", "、"));
}

}  // namespace

Collection CollectRequest(const RunRequest& request)
{
    TreeOptions options;
    options.Recursive = !request.Tree.isEmpty();
    // A tree that is gone holds nothing; the walk would take it for a file.
    if (options.Recursive && !QFileInfo(request.Tree).isDir())
        return {};
    options.Update = request.Output.SkipUpToDate;
    return Collect(options.Recursive ? QStringList{request.Tree} : request.Paths, request.OutputFolder,
                   request.NameFilters, options, request.Output, output::BoxFolderNames(request.Output));
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
        !output::BoxFolderNames(output).isEmpty()
            ? QCoreApplication::translate("batch", "幅 × 高さ %1 ピクセル以内の各大きさで縮小を開始します。").arg(SizesText(output))
        : output.Size == output::SizeMode::Box
            ? QCoreApplication::translate("batch", "幅 %1 × 高さ %2 ピクセル以内で縮小を開始します。")
                  .arg(output.Box.width())
                  .arg(output.Box.height())
            : QCoreApplication::translate("batch", "縮小率 %1 で縮小を開始します。").arg(ratioText);
    if (messages.ShowQuestion(question) != MsgAnswer::Yes)
        return std::nullopt;

    std::optional<RunRequest> request = PickOutputFolder(ratioText, output, closeViewers, owner, picker);
    if (request)
        request->Paths = selectedPaths;
    return request;
}

std::optional<RunRequest> AskForTreeRun(const QString& folder, const QStringList& nameFilters,
                                        const QString& ratioText, const output::Settings& output,
                                        const std::function<void()>& closeViewers, QWidget* owner,
                                        MessageBoxes& messages, const shell::FolderPicker& picker)
{
    // Counted as the run will find them, but for the output folder, which
    // is not chosen yet and which the run leaves out.
    RunRequest counted;
    counted.Tree = folder;
    counted.NameFilters = nameFilters;
    std::vector<TreePicture> found;
    {
        const shell::WaitCursor waiting;  // a large tree takes a moment
        found = CollectRequest(counted).Pictures;
    }
    if (found.empty()) {
        messages.ShowMessage(QCoreApplication::translate("batch", "このフォルダとサブフォルダには画像がありません。"));
        return std::nullopt;
    }
    QSet<QString> folders;
    for (const TreePicture& picture : found)
        folders.insert(QFileInfo(picture.Source).path());
    // The counts are phrases of their own, each with its plural.
    const QString inFolders = QCoreApplication::translate("batch", "%n 個のフォルダ", nullptr, int(folders.size()));
    const QString pictures = QCoreApplication::translate("batch", "%n 個の画像", nullptr, int(found.size()));
    const QString question =
        !output::BoxFolderNames(output).isEmpty()
            ? QCoreApplication::translate("batch", "%1にある %2を、幅 × 高さ %3 ピクセル以内の各大きさで縮小します。")
                  .arg(inFolders, pictures, SizesText(output))
        : output.Size == output::SizeMode::Box
            ? QCoreApplication::translate("batch", "%1にある %2を、幅 %3 × 高さ %4 ピクセル以内で縮小します。")
                  .arg(inFolders, pictures)
                  .arg(output.Box.width())
                  .arg(output.Box.height())
            : QCoreApplication::translate("batch", "%1にある %2を、縮小率 %3 で縮小します。")
                  .arg(inFolders, pictures, ratioText);
    if (messages.ShowQuestion(question) != MsgAnswer::Yes)
        return std::nullopt;

    std::optional<RunRequest> request = PickOutputFolder(ratioText, output, closeViewers, owner, picker);
    if (request) {
        request->Tree = folder;
        request->NameFilters = nameFilters;
    }
    return request;
}

}  // namespace batch
