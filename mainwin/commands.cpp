// The main window's commands.
#include "mainwin/commands.h"

#include "dialogs/frmimage.h"
#include "dialogs/frmoption.h"
#include "mainwin/filelist.h"
#include "mainwin/frmmain.h"
#include "shell/selection.h"

namespace frmMainCommands {
namespace {

// The main window's selection as the commands see it.
class WindowSelection final : public basMain::FileSelection {
public:
    explicit WindowSelection(const frmMain& window) : window_(window) {}
    int ListCount() const override { return window_.FilList().ListCount(); }
    bool Selected(int index) const override { return window_.FilList().Selected(index); }
    QString List(int index) const override { return window_.FilList().List(index); }
    QString FolderText() const override { return window_.cboDirText(); }

private:
    const frmMain& window_;
};

}  // namespace

void Install(frmMain& window)
{
    auto selection = std::make_shared<WindowSelection>(window);
    basViewers::Viewers& viewers = window.Services().Viewers;
    window.SetCommandHandler(frmMain::Command::View, [selection, &viewers] { viewers.mnuToolView_Click(*selection); });
    window.SetCommandHandler(frmMain::Command::Close, [&viewers] { viewers.mnuToolClose_Click(); });
    window.SetCommandHandler(frmMain::Command::Option, [selection, &window] {
        basViewers::mnuToolOption_Click(*selection, &window, window.Services().Messages);
    });
}

QStringList SelectedPaths(const frmMain& window)
{
    return basMain::SelectedPaths(WindowSelection(window));
}

}  // namespace frmMainCommands
