// The selection's paths.
#include "shell/selection.h"

#include "shell/program.h"

namespace shell {

QStringList SelectedPaths(const FileSelection& selection)
{
    QStringList paths;
    const QString folder = selection.FolderText();
    for (int i = 0; i < selection.ListCount(); ++i) {
        if (selection.Selected(i))
            paths.append(base::JoinPath(folder, selection.List(i)));
    }
    return paths;
}

}  // namespace shell
