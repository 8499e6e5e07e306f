// The main window: drive list and folder list on the left, path box and
// file list on the right, a splitter between them, the toolbar with the ratio
// box, the status bar and the menu bar. It lays them out (layout.h), keeps its
// settings (mainsettings.h) and ties the boxes and lists together; the menus
// and toolbar buttons are built by menus.h, and the drive list, the path box,
// the ratio box and the splitter handle their own input.
#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>

#include "output/outputsettings.h"
#include "pictures/pictureformats.h"
#include "shell/folderpicker.h"

class DriveComboBox;
class FileListBox;
class FolderListBox;
class PathComboBox;
class QComboBox;
class QLabel;
class QStatusBar;
class QToolBar;
class RatioComboBox;
class SplitterHandle;
class MessageBoxes;
namespace mainwin::layout {
struct PaneLayout;
}
namespace shell {
class Help;
}
namespace dialogs {
class Viewers;
}

// What the window and its commands draw on: made by the program (a test makes
// its own), each outliving the window.
struct WindowServices {
    MessageBoxes& Messages;
    shell::Help& Help;
    dialogs::Viewers& Viewers;
    shell::FolderPicker Picker;  // the run's output folder (empty: the dialog, remembering nothing)
    base::SettingsStore Settings;  // where the window's rectangle, folder and output settings are kept
};

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // The commands whose work lives outside the main window. Progress is
    // what "サイズ変更" does while a run is going on: bring its window forward.
    // TreeRun runs over the path box's folder and its subfolders.
    enum class Command { Run, View, Close, Option, Progress, TreeRun };

    // Lists and opens the pictures of Formats besides JPEG, BMP and GIF.
    explicit MainWindow(const WindowServices& services, const pictures::PictureFormats& formats = {},
                     QWidget* parent = nullptr);
    ~MainWindow() override;

    const WindowServices& Services() const { return services_; }

    // Plugs in the work of a command; an empty function makes it do nothing.
    void SetCommandHandler(Command command, std::function<void()> handler);

    // The selection and the folder its items lie in, for the commands.
    FileListBox& FilList() const { return *filList_; }
    FolderListBox& dirList() const { return *dirList_; }
    QComboBox& drvList() const;
    QComboBox& cboDir() const;
    QComboBox& cboRitu() const;
    QString cboDirText() const;
    QString cboRituText() const;
    // The name patterns of the pictures the window lists.
    const QStringList& PictureNames() const { return pictureNames_; }
    // Rewrites the ratio box into its normal form, as leaving it does.
    void NormaliseRatioBox();
    // What a run writes, as "出力の設定" last confirmed it (or the settings
    // file had it at start). While its size box is in force the ratio box is
    // disabled and its tooltip names the box.
    const output::Settings& OutputSettings() const { return outputSettings_; }

    // The status bar's one line of text.
    QString StatusText() const;
    void SetStatusText(const QString& text);

    // The splitter position (the handle's left), twips.
    double SplitterLeft() const;
    // Lays the panes out for splitter position x (clamped), twips.
    void ArrangeControls(double x);

    // While a run is going on its menu item shows disabled, F5 and the
    // toolbar button give Progress, and nothing dropped is taken.
    void SetRunGoingOn(bool on);
    bool RunGoingOn() const { return runGoingOn_; }
    // After a run: the list is read again and the status cleared; those of
    // unwritten (full paths) that lie in the folder shown stay selected.
    void RefreshAfterRun(const QStringList& unwritten);

    // Shows the folder named by paths (a folder, or the folder of the first
    // picture file) with the given pictures of it selected, as "open with" and
    // a drop do; returns the paths it could not use.
    QStringList OpenPaths(const QStringList& paths);
    // Tells the user which of the paths given could not be opened; nothing
    // for none.
    void ReportUnopened(const QStringList& names);

signals:
    // The window is closing: a run going on must end now.
    void Closing();

public slots:
    virtual void ShrinkSelected();
    virtual void ShrinkFolderTree();
    virtual void Quit();
    virtual void InvertSelection();
    virtual void SelectAllFiles();
    virtual void ViewSelected();
    virtual void CloseViewers();
    virtual void ShowPictureInfo();
    virtual void EditOutputSettings();
    virtual void ShowHelpContents();
    virtual void SearchHelp();
    virtual void ShowAbout();

    void DriveChosen();
    void FolderChosen();
    void ShowSelectionCount();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    class ClientArea;

    void Restore();
    void Unload();
    void BuildControls();
    void PlaceControls(const mainwin::layout::PaneLayout& p);
    void ClientResized();
    // Takes the lists to a folder entered in the path box.
    void GoToFolder(const QString& folder);
    // False, with a warning, when the lists are not at the folder entered.
    bool FolderReached(const QString& folder);
    void RunCommand(Command command);
    bool ApplyTypedPath();
    // Leaves the path box's text as moving the focus out does; false, with a
    // warning, when that did not reach the folder typed.
    bool GoToTypedPath();
    void ApplyOutputSettings();

    WindowServices services_;
    ClientArea* client_ = nullptr;
    QToolBar* tlbMain_ = nullptr;
    RatioComboBox* cboRitu_ = nullptr;
    QWidget* picTitles_ = nullptr;
    DriveComboBox* drvList_ = nullptr;
    PathComboBox* cboDir_ = nullptr;
    FolderListBox* dirList_ = nullptr;
    FileListBox* filList_ = nullptr;
    SplitterHandle* imgSplitter_ = nullptr;
    QStatusBar* stbMain_ = nullptr;
    QLabel* stbText_ = nullptr;

    output::Settings outputSettings_;

    const QStringList pictureNames_;  // the name patterns of the pictures listed and opened
    bool unloaded_ = false;
    bool loading_ = false;
    bool runGoingOn_ = false;
    std::array<std::function<void()>, 6> handlers_;
};
