// The folder picker.
#include "shell/folderpicker.h"

#include <QDir>
#include <QFileDialog>

namespace basMain {
namespace {

FolderPicker& Override()
{
    static FolderPicker picker;
    return picker;
}

std::optional<QString> ShowDialog(QWidget* owner, const QString& prompt)
{
    const QString chosen = QFileDialog::getExistingDirectory(
        owner, prompt, QString(), QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (chosen.isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(chosen);
}

}  // namespace

void SetFolderPicker(FolderPicker picker)
{
    Override() = std::move(picker);
}

bool BrowseForFolder(QWidget* Owner, QString& Folder, const QString& Prompt)
{
    const std::optional<QString> chosen = Override() ? Override()(Owner, Prompt) : ShowDialog(Owner, Prompt);
    if (!chosen || chosen->isEmpty())
        return false;
    Folder = *chosen;
    return true;
}

}  // namespace basMain
