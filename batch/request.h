// What a batch run is asked to do, as a plain value, and the questions the
// window's run commands ask before they make one: the selection (or the
// folder tree), the size (the ratio or the size box), then the output folder.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "batch/collection.h"
#include "output/outputsettings.h"
#include "shell/folderpicker.h"

class QWidget;
class MessageBoxes;

namespace batch {

struct RunRequest {
    QStringList Paths;     // the pictures, in list order
    double Ratio = 1.0;    // 0.5 halves width and height
    QString OutputFolder;  // where the JPEG files go
    output::Settings Output;  // the size box in place of the ratio, the quality, what is kept, the suffix
    // A run over a folder tree, in place of Paths: the folder whose pictures
    // (those NameFilters take), its subfolders' included, go into the output
    // folder's mirror of it. Empty for a run of Paths.
    QString Tree;
    QStringList NameFilters;
};

// The pictures of a request and where each goes: its paths into its output
// folder, or its tree walked (hidden entries, links to folders and the output
// folder left out) and mirrored there. With Output.SkipUpToDate, the pictures
// whose output is up to date are counted, not listed; with several sizes, a
// picture is up to date when its output is in each size's subfolder.
Collection CollectRequest(const RunRequest& request);

// The run command's questions: a warning when nothing is selected; "縮小率
// <ratioText> で縮小を開始します。" (ratioText as the ratio box shows it), or
// with the size box in force "幅 1920 × 高さ 1080 ピクセル以内で縮小を開始し
// ます。"; on Yes the viewers are closed (closeViewers), whatever comes next;
// then the output folder is picked over owner with picker. Nothing when the
// user declines or cancels. The request carries output. The questions are
// asked through messages.
std::optional<RunRequest> AskForRun(const QStringList& selectedPaths, const QString& ratioText,
                                    const output::Settings& output, const std::function<void()>& closeViewers,
                                    QWidget* owner, MessageBoxes& messages, const shell::FolderPicker& picker);

// The tree command's questions, as AskForRun's: a warning when the folder
// and its subfolders hold no picture nameFilters take; "3 個のフォルダにある
// 12 個の画像を、縮小率 <ratioText> で縮小します。" (or within the size box),
// counting the folders that hold pictures; then as AskForRun. The request
// names folder as its tree.
std::optional<RunRequest> AskForTreeRun(const QString& folder, const QStringList& nameFilters,
                                        const QString& ratioText, const output::Settings& output,
                                        const std::function<void()>& closeViewers, QWidget* owner,
                                        MessageBoxes& messages, const shell::FolderPicker& picker);

}  // namespace batch
