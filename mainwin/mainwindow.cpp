// The main window.
#include "mainwin/mainwindow.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QSet>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>
#include <algorithm>

#include "base/numtext.h"
#include "dialogs/aboutdialog.h"
#include "dialogs/outputsettingsdialog.h"
#include "mainwin/commands.h"
#include "mainwin/drivecombobox.h"
#include "mainwin/drives.h"
#include "mainwin/filelist.h"
#include "mainwin/folderlist.h"
#include "mainwin/layout.h"
#include "mainwin/mainsettings.h"
#include "mainwin/menus.h"
#include "mainwin/openwith.h"
#include "mainwin/pathbox.h"
#include "mainwin/pathcombobox.h"
#include "mainwin/ratiocombobox.h"
#include "mainwin/splitterhandle.h"
#include "shell/program.h"
#include "shell/help.h"
#include "shell/icons.h"
#include "shell/messageboxes.h"
#include "shell/otherwindows.h"
#include "shell/twips.h"

using shell::PixelsX;
using shell::PixelsY;
using shell::TwipsX;
using shell::TwipsY;

// The window's client area, which lays the panes out again when its size changes.
class MainWindow::ClientArea final : public QWidget {
public:
    using QWidget::QWidget;
    std::function<void()> Resized;

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        if (Resized)
            Resized();
    }
};

MainWindow::MainWindow(const WindowServices& services, const pictures::PictureFormats& formats, QWidget* parent)
    : QMainWindow(parent), services_(services), pictureNames_(pictures::PictureNameFilters(formats))
{
    setObjectName(QStringLiteral("frmMain"));
    BuildControls();
    mainwin::menus::Build(*this, *tlbMain_);
    setWindowIcon(shell::ProgramIcon());
    Restore();
    mainwin::commands::Install(*this);
}

MainWindow::~MainWindow()
{
    // The children die after this body; what they report then must not reach
    // a half-destroyed window.
    client_->Resized = nullptr;
    disconnect(cboDir_, nullptr, this, nullptr);
    disconnect(imgSplitter_, nullptr, this, nullptr);
}

void MainWindow::BuildControls()
{
    client_ = new ClientArea(this);
    client_->setObjectName(QStringLiteral("client"));
    setCentralWidget(client_);

    tlbMain_ = new QToolBar(client_);
    tlbMain_->setObjectName(QStringLiteral("tlbMain"));
    tlbMain_->setMovable(false);
    tlbMain_->setFloatable(false);
    tlbMain_->setIconSize(QSize(16, 16));
    tlbMain_->setToolButtonStyle(Qt::ToolButtonIconOnly);

    cboRitu_ = new RatioComboBox(tlbMain_);

    picTitles_ = new QWidget(client_);
    picTitles_->setObjectName(QStringLiteral("picTitles"));

    drvList_ = new DriveComboBox(picTitles_);
    connect(drvList_, &QComboBox::currentIndexChanged, this, &MainWindow::DriveChosen);

    cboDir_ = new PathComboBox(picTitles_);
    connect(cboDir_, &PathComboBox::FolderEntered, this, &MainWindow::GoToFolder);
    connect(cboDir_, &PathComboBox::Confirmed, this, &MainWindow::FolderReached);

    dirList_ = new FolderListBox(client_);
    connect(dirList_, &FolderListBox::Change, this, &MainWindow::FolderChosen);

    filList_ = new FileListBox(pictureNames_, client_);
    connect(filList_, &FileListBox::Click, this, &MainWindow::ShowSelectionCount);

    imgSplitter_ = new SplitterHandle(client_);
    connect(imgSplitter_, &SplitterHandle::Dropped, this, &MainWindow::ArrangeControls);

    stbMain_ = new QStatusBar(client_);
    stbMain_->setObjectName(QStringLiteral("stbMain"));
    stbText_ = new QLabel(stbMain_);
    stbText_->setObjectName(QStringLiteral("stbMainText"));
    stbMain_->addWidget(stbText_, 1);

    // The handle lies under the lists, as an invisible image does: it is grabbed in the gap between them.
    imgSplitter_->lower();

    setTabOrder(drvList_, dirList_);
    setTabOrder(dirList_, cboDir_);
    setTabOrder(cboDir_, filList_);
    setTabOrder(filList_, cboRitu_);
    // The drive list leads the tab order and has the focus when the window opens.
    drvList_->setFocus();

    // Files dropped anywhere on the window open there.
    setAcceptDrops(true);
    // Last, so that a resize never meets a half-built window.
    client_->Resized = [this] { ClientResized(); };
}

void MainWindow::Restore()
{
    setWindowTitle(base::AppTitle);

    // Never smaller than the designed client area with its menu bar.
    const int tppX = shell::TwipsPerPixelX();
    const int tppY = shell::TwipsPerPixelY();
    const double menuTwips = TwipsY(menuBar()->sizeHint().height());
    setMinimumSize(mainwin::layout::MinTrackSize(mainwin::layout::DesignedClientWidth, tppX),
                   mainwin::layout::MinTrackSize(mainwin::layout::DesignedClientHeight + menuTwips, tppY));

    loading_ = true;
    const mainwin::settings::Loaded settings = mainwin::settings::Load(services_.Settings, mainwin::settings::FirstFolder());
    QPoint position = pos();
    QSize size = this->size();
    if (settings.Left)
        position.setX(PixelsX(*settings.Left));
    if (settings.Top)
        position.setY(PixelsY(*settings.Top));
    if (settings.Width)
        size.setWidth(PixelsX(*settings.Width));
    if (settings.Height)
        size.setHeight(PixelsY(*settings.Height));
    // A rectangle stored on a screen that is gone, or larger than the
    // screen, would open the window out of reach.
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.append(screen->availableGeometry());
    const QScreen* primary = QGuiApplication::primaryScreen();
    const mainwin::settings::Placement placed =
        mainwin::settings::PlaceOnScreens(QRect(position, size), screens, primary ? primary->availableGeometry() : QRect());
    // Where the window system places windows itself, a stored position is none.
    if (shell::WindowPositionsKnown() && (screens.isEmpty() || placed.OnScreen))
        move(placed.Rect.topLeft());
    resize(placed.Rect.size());
    if (settings.Splitter)
        imgSplitter_->SetLeft(*settings.Splitter);
    outputSettings_ = settings.Output;
    ApplyOutputSettings();

    // The drive is chosen quietly: its change would move the lists to the drive's root.
    const QString root = drvList_->RootOf(settings.Path);
    {
        const QSignalBlocker quiet(drvList_);
        drvList_->SetDrive(root);
    }
    dirList_->SetPath(settings.Path, root);
    if (filList_->Path().isEmpty())
        filList_->SetPath(settings.Path);
    cboDir_->SetFolder(filList_->Path());
    loading_ = false;
}

void MainWindow::SetCommandHandler(Command command, std::function<void()> handler)
{
    handlers_.at(static_cast<size_t>(command)) = std::move(handler);
}

void MainWindow::RunCommand(Command command)
{
    // The run, the viewers and image information build their paths from the
    // path box: a path typed there and not yet left is applied first.
    if (command != Command::Close && command != Command::Progress && !ApplyTypedPath())
        return;
    // Copied first: a handler may replace itself while it runs.
    const std::function<void()> handler = handlers_.at(static_cast<size_t>(command));
    if (handler)
        handler();
}

void MainWindow::SetRunGoingOn(bool on)
{
    runGoingOn_ = on;
}

void MainWindow::RefreshAfterRun(const QStringList& unwritten)
{
    filList_->Refresh();
    SetStatusText(QString());
    // The folder shown may have changed during the run.
    QSet<QString> names;
    for (const QString& path : unwritten) {
        const QFileInfo file(path);
        if (mainwin::path::SameFolder(file.path(), filList_->Path()))
            names.insert(file.fileName());
    }
    if (!names.isEmpty())
        filList_->SelectNames(names);
}

// Leaves the path box as moving the focus out of it would when its text is not
// the folder the lists show. False, with a warning, when the typed path did
// not take the lists there (no such folder, or only its drive's root was
// reached): the command would otherwise work on files of another folder that
// happen to have the selected names.
bool MainWindow::ApplyTypedPath()
{
    cboDir_->DropProposal();
    return mainwin::path::SameFolder(cboDir_->currentText(), filList_->Path()) || GoToTypedPath();
}

bool MainWindow::GoToTypedPath()
{
    return FolderReached(cboDir_->Validate());
}

bool MainWindow::FolderReached(const QString& folder)
{
    if (mainwin::path::SameFolder(folder, filList_->Path()))
        return true;
    services_.Messages.ShowMessage(tr("パスが見つかりません。"));
    return false;
}

QComboBox& MainWindow::drvList() const
{
    return *drvList_;
}

QComboBox& MainWindow::cboDir() const
{
    return *cboDir_;
}

QComboBox& MainWindow::cboRitu() const
{
    return *cboRitu_;
}

QString MainWindow::cboDirText() const
{
    return cboDir_->currentText();
}

QString MainWindow::cboRituText() const
{
    return cboRitu_->currentText();
}

QString MainWindow::StatusText() const
{
    return stbText_->text();
}

void MainWindow::SetStatusText(const QString& text)
{
    stbText_->setText(text);
}

// --- Layout -------------------------------------------------------------------

double MainWindow::SplitterLeft() const
{
    return imgSplitter_->Left();
}

void MainWindow::ArrangeControls(double x)
{
    const mainwin::layout::FrameSize frame{TwipsX(client_->width()), TwipsY(client_->height())};
    PlaceControls(mainwin::layout::ArrangeControls(x, frame));
    imgSplitter_->SetLeft(x);
}

void MainWindow::PlaceControls(const mainwin::layout::PaneLayout& p)
{
    const int clientWidth = client_->width();
    const int clientHeight = client_->height();

    // Docked strips span the client area whatever width the layout names.
    tlbMain_->setGeometry(0, 0, clientWidth, PixelsY(mainwin::layout::ToolbarHeight));
    cboRitu_->setGeometry(PixelsX(p.CboRituLeft), PixelsY(30), PixelsX(1185), PixelsY(315));
    picTitles_->setGeometry(0, PixelsY(mainwin::layout::TitlesTop), clientWidth, PixelsY(mainwin::layout::TitlesHeight));
    drvList_->setGeometry(PixelsX(30), 0, PixelsX(p.DrvListWidth), PixelsY(315));
    cboDir_->setGeometry(PixelsX(p.CboDirLeft), 0, PixelsX(p.CboDirWidth), PixelsY(315));
    dirList_->setGeometry(0, PixelsY(p.DirListTop), PixelsX(p.DirListWidth), PixelsY(p.DirListHeight));
    filList_->setGeometry(PixelsX(p.FilListLeft), PixelsY(p.FilListTop), PixelsX(p.FilListWidth), PixelsY(p.FilListHeight));
    imgSplitter_->setGeometry(PixelsX(p.SplitterLeft), PixelsY(p.SplitterTop), PixelsX(mainwin::layout::SplitterWidth),
                              PixelsY(p.SplitterHeight));
    const int statusHeight = PixelsY(mainwin::layout::StatusHeight);
    stbMain_->setGeometry(0, clientHeight - statusHeight, clientWidth, statusHeight);
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (TwipsX(width()) < mainwin::layout::MinimumWindowWidth)
        resize(PixelsX(mainwin::layout::MinimumWindowWidth), height());
}

void MainWindow::ClientResized()
{
    // Before the window is shown the client area has no real size yet;
    // clamping the stored splitter to it would lose the position.
    if (isMinimized())
        return;
    if (isVisible()) {
        ArrangeControls(SplitterLeft());
    } else {
        double x = SplitterLeft();
        PlaceControls(mainwin::layout::ArrangeControls(x, {TwipsX(client_->width()), TwipsY(client_->height())}));
    }
}

// --- Ratio box ------------------------------------------------------------------

void MainWindow::NormaliseRatioBox()
{
    cboRitu_->Normalise();
}

void MainWindow::ApplyOutputSettings()
{
    const bool box = outputSettings_.Size == output::SizeMode::Box;
    cboRitu_->setEnabled(!box);
    // Every size a run writes, one a line, as the settings list them.
    QStringList boxes;
    for (const QSize& size : output::AllBoxes(outputSettings_))
        boxes.append(output::BoxText(size));
    cboRitu_->setToolTip(box ? boxes.join(QLatin1Char('\n')) : tr("縮小率"));
}

// --- Navigation -----------------------------------------------------------------

void MainWindow::DriveChosen()
{
    SetStatusText(QString());
    const QString root = drvList_->Root();
    const QString reason = mainwin::drives::NotReadyReason(root);
    if (!reason.isEmpty()) {
        services_.Messages.ShowError(reason);
        return;
    }
    if (const std::optional<QString> error = dirList_->SetPath(root, root)) {
        services_.Messages.ShowError(*error);
        return;
    }
    cboDir_->SetText(root);
}

void MainWindow::FolderChosen()
{
    SetStatusText(QString());
    if (const std::optional<QString> error = filList_->SetPath(dirList_->Path())) {
        if (!loading_)  // start-up ignores its failures
            services_.Messages.ShowError(*error);
        return;
    }
    cboDir_->SetText(filList_->Path());
}

void MainWindow::GoToFolder(const QString& folder)
{
    const QString root = drvList_->RootOf(folder);
    if (root.isEmpty())
        return;  // not a path on any drive: the lists stay where they are
    drvList_->SetDrive(root);
    dirList_->SetPath(folder, root);  // a typed folder that does not exist is no error
}

// --- Selection ------------------------------------------------------------------

void MainWindow::ShowSelectionCount()
{
    if (filList_->ListCount() == 0)
        return;
    SetStatusText(tr("%n 個のオブジェクトを選択", nullptr, filList_->SelectedCount()));
}

void MainWindow::SelectAllFiles()
{
    filList_->SelectAll();
}

void MainWindow::InvertSelection()
{
    filList_->InvertSelection();
}

// --- Commands -------------------------------------------------------------------

void MainWindow::ShrinkSelected()
{
    RunCommand(runGoingOn_ ? Command::Progress : Command::Run);
}

void MainWindow::ShrinkFolderTree()
{
    RunCommand(runGoingOn_ ? Command::Progress : Command::TreeRun);
}

void MainWindow::ViewSelected()
{
    RunCommand(Command::View);
}

void MainWindow::CloseViewers()
{
    RunCommand(Command::Close);
}

void MainWindow::ShowPictureInfo()
{
    RunCommand(Command::Option);
}

void MainWindow::EditOutputSettings()
{
    const std::optional<output::Settings> confirmed = OutputSettingsDialog::Ask(outputSettings_, services_.Messages, this);
    if (!confirmed)
        return;
    outputSettings_ = *confirmed;
    mainwin::settings::SaveOutput(services_.Settings, outputSettings_);
    ApplyOutputSettings();
}

void MainWindow::Quit()
{
    close();
}

void MainWindow::ShowHelpContents()
{
    services_.Help.ShowHelpContents(this);
}

void MainWindow::SearchHelp()
{
    services_.Help.ShowHelpSearch(this);
}

void MainWindow::ShowAbout()
{
    AboutDialog::ShowModal();
}

// --- Open with and drop ---------------------------------------------------------

QStringList MainWindow::OpenPaths(const QStringList& paths)
{
    const mainwin::openwith::Request request = mainwin::openwith::Read(paths, pictureNames_);
    if (request.Folder.isEmpty())
        return request.Ignored;
    drvList_->Refresh();  // the folder may lie on a volume mounted since start-up
    const QString root = drvList_->RootOf(request.Folder);
    {
        // Quietly: the drive's change would move the lists to its root.
        const QSignalBlocker quiet(drvList_);
        drvList_->SetDrive(root);
    }
    const QString before = dirList_->Path();
    if (const std::optional<QString> error = dirList_->SetPath(request.Folder, root)) {
        services_.Messages.ShowError(*error);
        return request.Ignored;
    }
    // The folder shown already is read again, so that pictures added since are there.
    if (dirList_->Path() == before)
        FolderChosen();

    // At once: a Click per file would recount the selection each time.
    const int row = filList_->SelectNames(QSet<QString>(request.Names.begin(), request.Names.end()));
    if (QListWidgetItem* first = filList_->item(row)) {
        filList_->setCurrentItem(first, QItemSelectionModel::NoUpdate);
        filList_->scrollToItem(first);
    }
    return request.Ignored;
}

void MainWindow::ReportUnopened(const QStringList& names)
{
    if (names.isEmpty())
        return;
    const mainwin::openwith::Report report = mainwin::openwith::Unopened(names);
    services_.Messages.ShowMessage(report.Text, report.Detail);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    // Not while a run works through the folder shown.
    if (runGoingOn_)
        return;
    const QList<QUrl> urls = event->mimeData()->urls();
    if (std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); }))
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    if (runGoingOn_)
        return;
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            paths.append(base::LocalPathOf(url));
    }
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    const QStringList unopened = OpenPaths(paths);
    // Once the drop is over: the file manager waits for it to end.
    QMetaObject::invokeMethod(this, [this, unopened] { ReportUnopened(unopened); }, Qt::QueuedConnection);
}

// --- Unload ---------------------------------------------------------------------

void MainWindow::closeEvent(QCloseEvent* event)
{
    // A run going on stops first (its workers at their next row of blocks,
    // leaving no temporary file), then every other window closes: a question
    // or the folder picker open at this moment answers as cancelled.
    emit Closing();
    Unload();
    event->accept();
}

void MainWindow::Unload()
{
    if (unloaded_)
        return;
    unloaded_ = true;
    services_.Help.CloseHelp();

    // Every other window of the program goes with the main window.
    shell::CloseOtherWindows(*this);

    std::optional<mainwin::settings::WindowRect> rect;
    if (!isMinimized()) {
        rect = mainwin::settings::WindowRect{{}, {}, TwipsX(width()), TwipsY(height())};
        if (shell::WindowPositionsKnown()) {
            rect->Left = TwipsX(x());
            rect->Top = TwipsY(y());
        }
    }
    mainwin::settings::Save(services_.Settings, rect, SplitterLeft(), filList_->Path());
}
