// The main window's commands.
#include "mainwin/commands.h"

#include "dialogs/viewerwindow.h"
#include "dialogs/pictureinfodialog.h"
#include "mainwin/filelist.h"
#include "mainwin/mainwindow.h"
#include "shell/selection.h"

namespace mainwin::commands {
namespace {

// The main window's selection as the commands see it.
class WindowSelection final : public shell::FileSelection {
public:
    explicit WindowSelection(const MainWindow& window) : window_(window) {}
    int ListCount() const override { return window_.FilList().ListCount(); }
    bool Selected(int index) const override { return window_.FilList().Selected(index); }
    QString List(int index) const override { return window_.FilList().List(index); }
    QString FolderText() const override { return window_.cboDirText(); }

private:
    const MainWindow& window_;
};

}  // namespace

void Install(MainWindow& window)
{
    auto selection = std::make_shared<WindowSelection>(window);
    dialogs::Viewers& viewers = window.Services().Viewers;
    window.SetCommandHandler(MainWindow::Command::View, [selection, &viewers] { viewers.ViewSelected(*selection); });
    window.SetCommandHandler(MainWindow::Command::Close, [&viewers] { viewers.CloseViewers(); });
    window.SetCommandHandler(MainWindow::Command::Option, [selection, &window] {
        dialogs::ShowPictureInfo(*selection, &window, window.Services().Messages);
    });
}

QStringList SelectedPaths(const MainWindow& window)
{
    return shell::SelectedPaths(WindowSelection(window));
}

}  // namespace mainwin::commands
