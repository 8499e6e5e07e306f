// The folder picker: Qt's directories-only file dialog, or the picker the
// caller passes in its place, and the one normal form every chosen path is returned in.
#include "shell/folderpicker.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include "base/settings.h"

namespace shell {
namespace {

std::optional<QString> ShowDialog(QWidget* owner, const QString& prompt, const QString& start)
{
    QFileDialog dialog(owner, prompt, start);
    dialog.setObjectName(QStringLiteral("dlgBrowseForFolder"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    dialog.setWindowModality(Qt::WindowModal);
    // Qt's own texts are English without its translations installed.
    dialog.setLabelText(QFileDialog::LookIn, QCoreApplication::translate("shell", "場所:"));
    dialog.setLabelText(QFileDialog::FileName, QCoreApplication::translate("shell", "フォルダ名:"));
    dialog.setLabelText(QFileDialog::FileType, QCoreApplication::translate("shell", "種類:"));
    dialog.setLabelText(QFileDialog::Accept, QCoreApplication::translate("shell", "選択"));
    dialog.setLabelText(QFileDialog::Reject, QCoreApplication::translate("shell", "キャンセル"));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen.first();
}

}  // namespace

QString FolderPathForCaller(const QString& chosen)
{
    // Callers join a separator and a file name to the folder, so a root keeps
    // its separator ("/", "C:\") and every other folder has none.
    QString path = QDir::cleanPath(QDir::fromNativeSeparators(chosen));
    if (QDir(path).isRoot() && !path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return QDir::toNativeSeparators(path);
}

bool BrowseForFolder(const FolderPicker& picker, QWidget* owner, QString& folder, const QString& prompt)
{
    // Start where the caller's folder is, when it names one; else at home.
    const QString start = !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::homePath();
    const std::optional<QString> chosen = picker ? picker(owner, prompt) : ShowDialog(owner, prompt, start);
    if (!chosen || chosen->trimmed().isEmpty())
        return false;
    folder = FolderPathForCaller(*chosen);
    return true;
}

namespace {

// The last output folder the user confirmed while it is still a folder, else
// the home folder. Never the source folder by default: there a bare Enter
// would confirm writing over the originals.
QString OutputFolderStart(const base::SettingsStore& settings)
{
    const QString remembered = settings.Open().value(QStringLiteral("Path/OutputFolder")).toString();
    if (!remembered.isEmpty() && QFileInfo(remembered).isDir())
        return remembered;
    return QDir::toNativeSeparators(QDir::homePath());
}

}  // namespace

FolderPicker OutputFolderDialog(const base::SettingsStore& settings)
{
    return [settings](QWidget* owner, const QString& prompt) {
        const std::optional<QString> chosen = ShowDialog(owner, prompt, OutputFolderStart(settings));
        if (chosen && !chosen->trimmed().isEmpty()) {
            QSettings store = settings.Open();
            store.setValue(QStringLiteral("Path/OutputFolder"), FolderPathForCaller(*chosen));
            store.sync();
        }
        return chosen;
    };
}

bool BrowseForOutputFolder(const FolderPicker& picker, QWidget* owner, QString& folder, const QString& prompt)
{
    QString chosen;
    if (!BrowseForFolder(picker, owner, chosen, prompt))
        return false;
    folder = chosen;
    return true;
}

}  // namespace shell
