// The main window's commands.
#include "mainwin/commands.h"

#include <QComboBox>

#include "batch/run.h"
#include "dialogs/frmimage.h"
#include "dialogs/frmoption.h"
#include "mainwin/filelist.h"
#include "mainwin/frmmain.h"

namespace frmMainCommands {
namespace {

// The main window as the commands see it.
class WindowHost final : public basBatch::RunHost {
public:
    explicit WindowHost(frmMain& window) : window_(window) {}
    int ListCount() const override { return window_.FilList().ListCount(); }
    bool Selected(int index) const override { return window_.FilList().Selected(index); }
    QString List(int index) const override { return window_.FilList().List(index); }
    QString FolderText() const override { return window_.cboDirText(); }
    QString NormalisedRatioText() override
    {
        window_.NormaliseRatioBox();
        return window_.cboRituText();
    }
    void SetStatusText(const QString& text) override { window_.SetStatusText(text); }
    void RefreshFileList() override { window_.FilList().Refresh(); }
    void CloseAllViewers() override { basViewers::mnuToolClose_Click(); }
    QWidget* Window() override { return &window_; }

private:
    frmMain& window_;
};

}  // namespace

void Install(frmMain& window)
{
    auto host = std::make_shared<WindowHost>(window);
    window.SetCommandHandler(frmMain::Command::Run, [host] { basBatch::RunBatch(*host); });
    window.SetCommandHandler(frmMain::Command::View, [host] { basViewers::mnuToolView_Click(*host); });
    window.SetCommandHandler(frmMain::Command::Close, [] { basViewers::mnuToolClose_Click(); });
    window.SetCommandHandler(frmMain::Command::Option, [host] { basViewers::mnuToolOption_Click(*host, host->Window()); });
}

}  // namespace frmMainCommands
