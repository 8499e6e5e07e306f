// The main window.
#include "mainwin/frmmain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QSet>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <algorithm>

#include "base/numtext.h"
#include "dialogs/frmabout.h"
#include "dialogs/frmoutputsettings.h"
#include "mainwin/commands.h"
#include "mainwin/drives.h"
#include "mainwin/filelist.h"
#include "mainwin/folderlist.h"
#include "mainwin/layout.h"
#include "mainwin/mainsettings.h"
#include "mainwin/openwith.h"
#include "mainwin/pathbox.h"
#include "mainwin/ratiobox.h"
#include "shell/basmain.h"
#include "shell/help.h"
#include "shell/icons.h"
#include "shell/msg.h"
#include "shell/twips.h"

namespace {

int PxX(double twips)
{
    return qMax(0, basMain::TwipsToPixels(twips, basMain::TwipsPerPixelX()));
}

int PxY(double twips)
{
    return qMax(0, basMain::TwipsToPixels(twips, basMain::TwipsPerPixelY()));
}

double TwipsX(int pixels)
{
    return static_cast<double>(pixels) * basMain::TwipsPerPixelX();
}

double TwipsY(int pixels)
{
    return static_cast<double>(pixels) * basMain::TwipsPerPixelY();
}

bool Within(const QWidget* widget, const QWidget* box)
{
    return widget && (widget == box || box->isAncestorOf(widget));
}

// A combo box that tells before its list drops down: the drive list reads the
// mounted volumes again then, and the path box stops completing, so that an
// item picked from the list is not completed into a longer one.
class PopupCombo final : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> BeforePopup;

    void showPopup() override
    {
        if (BeforePopup)
            BeforePopup();
        QComboBox::showPopup();
    }
};

}  // namespace

frmMain::frmMain(const WindowServices& services, const pictures::PictureFormats& formats, QWidget* parent)
    : QMainWindow(parent), services_(services), pictureNames_(pictures::PictureNameFilters(formats))
{
    setObjectName(QStringLiteral("frmMain"));
    BuildControls();
    BuildMenus();
    BuildToolbar();
    Form_Load();
    frmMainCommands::Install(*this);
    connect(qApp, &QApplication::focusChanged, this, &frmMain::OnFocusChanged);
}

frmMain::~frmMain()
{
    // The children die after this body; their focus and child events must not
    // reach a half-destroyed window.
    destroying_ = true;
    disconnect(qApp, nullptr, this, nullptr);
}

void frmMain::BuildControls()
{
    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    setCentralWidget(client_);

    tlbMain_ = new QToolBar(client_);
    tlbMain_->setObjectName(QStringLiteral("tlbMain"));
    tlbMain_->setMovable(false);
    tlbMain_->setFloatable(false);
    tlbMain_->setIconSize(QSize(16, 16));
    tlbMain_->setToolButtonStyle(Qt::ToolButtonIconOnly);

    cboRitu_ = new QComboBox(tlbMain_);
    cboRitu_->setObjectName(QStringLiteral("cboRitu"));
    cboRitu_->setEditable(true);
    cboRitu_->setInsertPolicy(QComboBox::NoInsert);
    cboRitu_->setCompleter(nullptr);
    cboRitu_->addItems({QStringLiteral("10.0%"), QStringLiteral("25.0%"), QStringLiteral("50.0%"),
                        QStringLiteral("75.0%"), QStringLiteral("100.0%")});
    cboRitu_->setCurrentIndex(4);
    // Only ASCII digits may be typed; an input method would bypass the key filter.
    cboRitu_->setAttribute(Qt::WA_InputMethodEnabled, false);
    cboRitu_->lineEdit()->setAttribute(Qt::WA_InputMethodEnabled, false);
    cboRituEdit_ = cboRitu_->lineEdit();
    cboRitu_->installEventFilter(this);
    cboRituEdit_->installEventFilter(this);
    connect(cboRitu_->lineEdit(), &QLineEdit::textChanged, this, &frmMain::cboRitu_Change);

    picTitles_ = new QWidget(client_);
    picTitles_->setObjectName(QStringLiteral("picTitles"));

    auto* drives = new PopupCombo(picTitles_);
    drives->BeforePopup = [this] { RefreshDrives(); };
    drvList_ = drives;
    drvList_->setObjectName(QStringLiteral("drvList"));
    RefreshDrives();
    connect(drvList_, &QComboBox::currentIndexChanged, this, &frmMain::drvList_Change);

    auto* pathBox = new PopupCombo(picTitles_);
    pathBox->BeforePopup = [this] { SkipAutoComplete = true; };
    cboDir_ = pathBox;
    cboDir_->setObjectName(QStringLiteral("cboDir"));
    cboDir_->setEditable(true);
    cboDir_->setInsertPolicy(QComboBox::NoInsert);
    // Completion is the box's own (sub-folders, tail selected), not QCompleter's.
    cboDir_->setCompleter(nullptr);
    cboDirEdit_ = cboDir_->lineEdit();
    cboDir_->installEventFilter(this);
    cboDirEdit_->installEventFilter(this);
    connect(cboDir_->lineEdit(), &QLineEdit::textChanged, this, &frmMain::cboDir_Change);

    dirList_ = new FolderListBox(client_);
    connect(dirList_, &FolderListBox::Change, this, &frmMain::dirList_Change);

    filList_ = new FileListBox(pictureNames_, client_);
    connect(filList_, &FileListBox::Click, this, &frmMain::FilList_Click);

    imgSplitter_ = new QWidget(client_);
    imgSplitter_->setObjectName(QStringLiteral("imgSplitter"));
    imgSplitter_->setCursor(Qt::SizeHorCursor);
    imgSplitter_->installEventFilter(this);

    picSplitter_ = new QWidget(client_);
    picSplitter_->setObjectName(QStringLiteral("picSplitter"));
    picSplitter_->setAutoFillBackground(true);
    QPalette grey = picSplitter_->palette();
    grey.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
    picSplitter_->setPalette(grey);
    picSplitter_->hide();

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

    // Files dropped anywhere on the window open there; the boxes take typed text only.
    setAcceptDrops(true);
    cboRitu_->lineEdit()->setAcceptDrops(false);
    cboDir_->lineEdit()->setAcceptDrops(false);
    // Last, so that the filter never sees a half-built window.
    client_->installEventFilter(this);
}

QAction* frmMain::AddCommand(QMenu* menu, const char* name, const QString& caption, const QKeySequence& shortcut,
                             void (frmMain::*handler)())
{
    auto* action = new QAction(caption, this);
    action->setObjectName(QString::fromLatin1(name));
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    connect(action, &QAction::triggered, this, handler);
    menu->addAction(action);
    return action;
}

void frmMain::AddSeparator(QMenu* menu, const char* name)
{
    menu->addSeparator()->setObjectName(QString::fromLatin1(name));
}

void frmMain::BuildMenus()
{
    QMenu* file = menuBar()->addMenu(tr("ファイル(&F)"));
    file->setObjectName(QStringLiteral("mnuFile"));
    mnuFileRun_ = AddCommand(file, "mnuFileRun", tr("サイズ変更(&R)..."), QKeySequence(Qt::Key_F5),
                             &frmMain::mnuFileRun_Click);
    // The action is the toolbar button's and F5's too, which bring the
    // progress window forward during a run: only the menu shows it disabled.
    connect(file, &QMenu::aboutToShow, this, [this] { mnuFileRun_->setEnabled(!runGoingOn_); });
    connect(file, &QMenu::aboutToHide, this, [this] { mnuFileRun_->setEnabled(true); });
    AddSeparator(file, "mnuFileBar0");
    AddCommand(file, "mnuFileEnd", tr("終了(&X)"), {}, &frmMain::mnuFileEnd_Click);

    QMenu* view = menuBar()->addMenu(tr("表示(&V)"));
    view->setObjectName(QStringLiteral("mnuView"));
    AddCommand(view, "mnuViewReversal", tr("選択反転(&R)"), QKeySequence(Qt::CTRL | Qt::Key_R),
               &frmMain::mnuViewReversal_Click);
    AddSeparator(view, "mnuViewBar0");
    AddCommand(view, "mnuViewAll", tr("すべて選択(&A)"), QKeySequence(Qt::CTRL | Qt::Key_A),
               &frmMain::mnuViewAll_Click);

    QMenu* tool = menuBar()->addMenu(tr("ツール(&T)"));
    tool->setObjectName(QStringLiteral("mnuTool"));
    mnuToolView_ = AddCommand(tool, "mnuToolView", tr("画像を表示(&V)..."), QKeySequence(Qt::Key_F2),
                              &frmMain::mnuToolView_Click);
    mnuToolClose_ = AddCommand(tool, "mnuToolClose", tr("画像を閉じる(&C)"), {},
                               &frmMain::mnuToolClose_Click);
    AddSeparator(tool, "mnuToolBar0");
    mnuToolOption_ = AddCommand(tool, "mnuToolOption", tr("画像情報(&O)..."), {},
                                &frmMain::mnuToolOption_Click);
    AddCommand(tool, "mnuToolOutput", tr("出力の設定(&S)..."), {}, &frmMain::mnuToolOutput_Click);

    QMenu* help = menuBar()->addMenu(tr("ヘルプ(&H)"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    AddCommand(help, "mnuHelpAll", tr("ヘルプ(&H)..."), {}, &frmMain::mnuHelpAll_Click);
    AddCommand(help, "mnuHelpTopic", tr("トピックの検索(&C)..."), {}, &frmMain::mnuHelpTopic_Click);
    AddSeparator(help, "mnuHelpBar0");
    AddCommand(help, "mnuHelpVersion", tr("バージョン(&A)..."), {}, &frmMain::mnuHelpVersion_Click);
}

void frmMain::BuildToolbar()
{
    struct Button {
        QAction* action;
        const char* key;
        QString tip;
    };
    const Button buttons[] = {
        {mnuFileRun_, "RUN", tr("サイズ変更")},
        {mnuToolView_, "VIEW", tr("画像を表示")},
        {mnuToolClose_, "CLOSE", tr("画像を閉じる")},
        {mnuToolOption_, "OPTION", tr("画像情報")},
    };
    int position = 0;
    for (const Button& b : buttons) {
        // Separators after the first and the third button.
        if (position == 1 || position == 3)
            tlbMain_->addSeparator();
        b.action->setIcon(basMain::ToolbarIcon(QString::fromLatin1(b.key)));
        // The pictures belong to the toolbar; the menus show captions only.
        b.action->setIconVisibleInMenu(false);
        b.action->setToolTip(b.tip);
        tlbMain_->addAction(b.action);
        if (QWidget* button = tlbMain_->widgetForAction(b.action))
            button->setObjectName(QStringLiteral("tlbMain_") + QString::fromLatin1(b.key));
        ++position;
    }
    // Menus show no tooltips, so the shared action's tooltip is the button's alone.
    setWindowIcon(basMain::ProgramIcon());
}

void frmMain::Form_Load()
{
    setWindowTitle(basMain::AppTitle);

    // Never smaller than the designed client area with its menu bar.
    const int tppX = basMain::TwipsPerPixelX();
    const int tppY = basMain::TwipsPerPixelY();
    const double menuTwips = TwipsY(menuBar()->sizeHint().height());
    setMinimumSize(frmMainLayout::MinTrackSize(frmMainLayout::DesignedClientWidth, tppX),
                   frmMainLayout::MinTrackSize(frmMainLayout::DesignedClientHeight + menuTwips, tppY));

    loading_ = true;
    const frmMainSettings::Loaded settings = frmMainSettings::Load(frmMainSettings::FirstFolder());
    QPoint position = pos();
    QSize size = this->size();
    if (settings.Left)
        position.setX(PxX(*settings.Left));
    if (settings.Top)
        position.setY(PxY(*settings.Top));
    if (settings.Width)
        size.setWidth(PxX(*settings.Width));
    if (settings.Height)
        size.setHeight(PxY(*settings.Height));
    // A rectangle stored on a screen that is gone, or larger than the
    // screen, would open the window out of reach: it is brought onto the
    // screen it is most on, else given a size that fits the primary screen.
    const QRect wanted(position, size);
    const QList<QScreen*> screens = QGuiApplication::screens();
    const auto shared = [&](const QScreen* screen) {
        const QRect common = screen->availableGeometry().intersected(wanted);
        return qint64{common.width()} * common.height();
    };
    const auto most = std::max_element(screens.begin(), screens.end(),
                                       [&](const QScreen* a, const QScreen* b) { return shared(a) < shared(b); });
    const bool onScreen = most != screens.end() && shared(*most) > 0;
    if (most != screens.end()) {
        const QScreen* screen = onScreen ? *most : QGuiApplication::primaryScreen();
        const QRect fitted = frmMainSettings::OntoScreen(wanted, screen->availableGeometry());
        position = fitted.topLeft();
        size = fitted.size();
    }
    // Where the window system places windows itself, a stored position is none.
    if (basMain::WindowPositionsKnown() && (screens.isEmpty() || onScreen))
        move(position);
    resize(size);
    if (settings.Splitter)
        splitterLeft_ = *settings.Splitter;
    outputSettings_ = settings.Output;
    ApplyOutputSettings();

    // The drive is chosen quietly: its change would move the lists to the drive's root.
    const QString root = Drives::RootOf(settings.Path, driveRoots_);
    {
        const QSignalBlocker quiet(drvList_);
        SetDrive(root);
    }
    dirList_->SetPath(settings.Path, root);
    if (filList_->Path().isEmpty())
        filList_->SetPath(settings.Path);
    SkipAutoComplete = true;
    cboDir_->clear();
    cboDir_->addItem(filList_->Path());
    cboDir_->setEditText(filList_->Path());
    SkipAutoComplete = false;
    loading_ = false;
}

void frmMain::RefreshDrives()
{
    const QSignalBlocker quiet(drvList_);
    const QString current = drvList_->currentData().toString();
    driveRoots_ = Drives::MountedRoots();
    for (const QString& root : std::as_const(driveRoots_)) {
        if (drvList_->findData(root) < 0)
            drvList_->addItem(root, root);
    }
    // A volume gone since keeps its place while it is the chosen one.
    for (int i = drvList_->count() - 1; i >= 0; --i) {
        const QString root = drvList_->itemData(i).toString();
        if (!driveRoots_.contains(root) && root != current)
            drvList_->removeItem(i);
    }
    if (!current.isEmpty() && !driveRoots_.contains(current))
        driveRoots_.append(current);
}

void frmMain::SetDrive(const QString& root)
{
    if (root.isEmpty())
        return;
    int index = drvList_->findData(root);
    if (index < 0) {
        driveRoots_.append(root);
        drvList_->addItem(root, root);
        index = drvList_->count() - 1;
    }
    drvList_->setCurrentIndex(index);
}

void frmMain::SetPathBoxText(const QString& text)
{
    SkipAutoComplete = true;
    cboDir_->setEditText(text);
    SkipAutoComplete = false;
}

void frmMain::SetCommandHandler(Command command, std::function<void()> handler)
{
    handlers_.at(static_cast<size_t>(command)) = std::move(handler);
}

void frmMain::RunCommand(Command command)
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

void frmMain::SetRunGoingOn(bool on)
{
    runGoingOn_ = on;
}

void frmMain::RefreshAfterRun(const QStringList& unwritten)
{
    filList_->Refresh();
    SetStatusText(QString());
    // The folder shown may have changed during the run.
    QSet<QString> names;
    for (const QString& path : unwritten) {
        const QFileInfo file(path);
        if (PathBox::SameFolder(file.path(), filList_->Path()))
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
bool frmMain::ApplyTypedPath()
{
    DropProposal();
    return PathBox::SameFolder(cboDir_->currentText(), filList_->Path()) || GoToTypedPath();
}

bool frmMain::GoToTypedPath()
{
    const QString typed = PathBox::NavigationPath(cboDir_->currentText());
    cboDir_Validate();
    if (PathBox::SameFolder(typed, filList_->Path()))
        return true;
    services_.Messages.ShowMessage(tr("パスが見つかりません。"));
    return false;
}

QString frmMain::cboDirText() const
{
    return cboDir_->currentText();
}

QString frmMain::cboRituText() const
{
    return cboRitu_->currentText();
}

QString frmMain::StatusText() const
{
    return stbText_->text();
}

void frmMain::SetStatusText(const QString& text)
{
    stbText_->setText(text);
}

// --- Layout -------------------------------------------------------------------

void frmMain::ArrangeControls(double x)
{
    const frmMainLayout::FrameSize frame{TwipsX(client_->width()), TwipsY(client_->height())};
    PlaceControls(frmMainLayout::ArrangeControls(x, frame));
    splitterLeft_ = x;
}

void frmMain::PlaceControls(const frmMainLayout::PaneLayout& p)
{
    const int clientWidth = client_->width();
    const int clientHeight = client_->height();

    // Docked strips span the client area whatever width the layout names.
    tlbMain_->setGeometry(0, 0, clientWidth, PxY(frmMainLayout::ToolbarHeight));
    cboRitu_->setGeometry(PxX(p.CboRituLeft), PxY(30), PxX(1185), PxY(315));
    picTitles_->setGeometry(0, PxY(frmMainLayout::TitlesTop), clientWidth, PxY(frmMainLayout::TitlesHeight));
    drvList_->setGeometry(PxX(30), 0, PxX(p.DrvListWidth), PxY(315));
    cboDir_->setGeometry(PxX(p.CboDirLeft), 0, PxX(p.CboDirWidth), PxY(315));
    dirList_->setGeometry(0, PxY(p.DirListTop), PxX(p.DirListWidth), PxY(p.DirListHeight));
    filList_->setGeometry(PxX(p.FilListLeft), PxY(p.FilListTop), PxX(p.FilListWidth), PxY(p.FilListHeight));
    imgSplitter_->setGeometry(PxX(p.SplitterLeft), PxY(p.SplitterTop), PxX(frmMainLayout::SplitterWidth),
                              PxY(p.SplitterHeight));
    const int statusHeight = PxY(frmMainLayout::StatusHeight);
    stbMain_->setGeometry(0, clientHeight - statusHeight, clientWidth, statusHeight);
}

void frmMain::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (TwipsX(width()) < frmMainLayout::MinimumWindowWidth)
        resize(PxX(frmMainLayout::MinimumWindowWidth), height());
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (destroying_)
        return false;
    if (watched == client_ && event->type() == QEvent::Resize) {
        // Form_Resize. Before the window is shown the client area has no real
        // size yet; clamping the stored splitter to it would lose the position.
        if (isMinimized())
            return false;
        if (isVisible()) {
            ArrangeControls(splitterLeft_);
        } else {
            double x = splitterLeft_;
            PlaceControls(frmMainLayout::ArrangeControls(
                x, {TwipsX(client_->width()), TwipsY(client_->height())}));
        }
        return false;
    }

    if (watched == imgSplitter_) {
        // Other events reach the handle too (it is lowered while the window is built).
        auto* mouse = event->isPointerEvent() ? static_cast<QMouseEvent*>(event) : nullptr;
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            if (mouse->button() != Qt::LeftButton)
                break;
            barLeft_ = splitterLeft_;
            picSplitter_->setGeometry(PxX(barLeft_), imgSplitter_->y(),
                                      PxX(frmMainLayout::SplitterBarWidth(TwipsX(imgSplitter_->width()))),
                                      PxY(frmMainLayout::SplitterBarHeight(TwipsY(imgSplitter_->height()))));
            picSplitter_->show();
            picSplitter_->raise();
            splitterMoving_ = true;
            return true;
        case QEvent::MouseMove:
            if (!splitterMoving_)
                break;
            barLeft_ = frmMainLayout::SplitterBarLeft(splitterLeft_, TwipsX(qRound(mouse->position().x())),
                                                      TwipsX(width()));
            picSplitter_->move(PxX(barLeft_), picSplitter_->y());
            return true;
        case QEvent::MouseButtonRelease:
            if (!splitterMoving_ || mouse->button() != Qt::LeftButton)
                break;
            ArrangeControls(barLeft_);
            picSplitter_->hide();
            splitterMoving_ = false;
            return true;
        default:
            break;
        }
        return false;
    }

    // Compared as pointers only: the filter may run while the window is being built.
    const bool inRatio = watched != nullptr && (watched == cboRitu_ || watched == cboRituEdit_);
    const bool inPath = watched != nullptr && (watched == cboDir_ || watched == cboDirEdit_);
    if (!inRatio && !inPath)
        return QMainWindow::eventFilter(watched, event);

    if (inPath && event->type() == QEvent::FocusOut) {
        // Before the box drops the highlight. A drop-down list or another
        // window taking the focus leaves the proposal standing.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
            DropProposal();
        return false;
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (inPath) {
        // cboDir_KeyDown: deleting must not complete again what was just deleted.
        SkipAutoComplete = key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Delete;
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (proposal_) {
                cboDir_->lineEdit()->end(false);  // Enter takes the proposed tail
                proposal_.reset();
            }
            // Goes there as leaving the box does, saying so when it cannot;
            // the box keeps the focus, its text selected to type another.
            GoToTypedPath();
            cboDir_->lineEdit()->selectAll();
            return true;
        }
        return false;
    }
    return FilterRatioKey(key);
}

// --- Ratio box ------------------------------------------------------------------

bool frmMain::FilterRatioKey(QKeyEvent* key)
{
    switch (RatioBox::FilterKey(*key, cboRitu_->currentText())) {
    case RatioBox::KeyAction::Pass:
        return false;
    case RatioBox::KeyAction::Swallow:
        return true;
    case RatioBox::KeyAction::Backspace:
        cboRitu_->lineEdit()->backspace();
        return true;
    }
    return false;
}

void frmMain::cboRitu_Change()
{
    QLineEdit* edit = cboRitu_->lineEdit();
    const QString text = edit->text();
    const QString stripped = RatioBox::StripLeadingZeros(text);
    if (stripped != text)
        edit->setText(stripped);  // runs this step again, synchronously
    edit->deselect();
    edit->setCursorPosition(edit->text().size());
}

void frmMain::cboRitu_Validate()
{
    cboRitu_->lineEdit()->setText(basMain::NormaliseRatioText(cboRitu_->lineEdit()->text()));
}

void frmMain::NormaliseRatioBox()
{
    cboRitu_Validate();
}

void frmMain::ApplyOutputSettings()
{
    const bool box = outputSettings_.Size == Output::SizeMode::Box;
    cboRitu_->setEnabled(!box);
    cboRitu_->setToolTip(box ? Output::BoxText(outputSettings_.Box) : tr("縮小率"));
}

// --- Navigation -----------------------------------------------------------------

void frmMain::drvList_Change()
{
    SetStatusText(QString());
    const QString root = drvList_->currentData().toString();
    const QString reason = Drives::NotReadyReason(root);
    if (!reason.isEmpty()) {
        services_.Messages.ShowError(reason);
        return;
    }
    if (const std::optional<QString> error = dirList_->SetPath(root, root)) {
        services_.Messages.ShowError(*error);
        return;
    }
    SetPathBoxText(root);
}

void frmMain::dirList_Change()
{
    SetStatusText(QString());
    if (const std::optional<QString> error = filList_->SetPath(dirList_->Path())) {
        if (!loading_)  // start-up ignores its failures
            services_.Messages.ShowError(*error);
        return;
    }
    SetPathBoxText(filList_->Path());
}

void frmMain::cboDir_Change()
{
    if (SkipAutoComplete || completing_)
        return;
    QLineEdit* edit = cboDir_->lineEdit();
    const QString text = edit->text();
    const qsizetype caret = edit->cursorPosition();
    completing_ = true;

    QStringList items;
    for (int i = 0; i < cboDir_->count(); ++i)
        items.append(cboDir_->itemText(i));
    const QStringList added = PathBox::AppendNew(items, PathBox::SubFolderPaths(text));
    if (!added.isEmpty()) {
        // Adding to an empty list would replace the text with the first item.
        cboDir_->addItems(added);
        edit->setText(text);
    }

    const PathBox::Completion c = PathBox::Complete(items, text, caret);
    if (c.Index >= 0)
        cboDir_->setCurrentIndex(static_cast<int>(c.Index));
    edit->setText(c.Text);
    edit->setCursorPosition(static_cast<int>(c.Text.size()));
    edit->cursorBackward(true, static_cast<int>(c.Text.size() - c.Caret));
    proposal_ = c.Caret < c.Text.size() ? std::optional(c) : std::nullopt;
    completing_ = false;
}

void frmMain::DropProposal()
{
    // A completed tail still highlighted as it was proposed is not part of the
    // path: only what was typed is. End, Right, Enter or a click take it.
    const std::optional<PathBox::Completion> c = std::exchange(proposal_, std::nullopt);
    const QLineEdit* edit = cboDir_->lineEdit();
    if (c && edit->text() == c->Text && edit->selectionStart() == c->Caret &&
        edit->selectionLength() == c->Text.size() - c->Caret)
        SetPathBoxText(c->Text.left(c->Caret));
}

void frmMain::cboDir_Validate()
{
    const QString t = PathBox::NavigationPath(cboDir_->currentText());
    SkipAutoComplete = true;
    cboDir_->clear();
    cboDir_->addItem(t);
    cboDir_->setCurrentIndex(0);
    cboDir_->setEditText(t);
    SkipAutoComplete = false;

    const QString root = Drives::RootOf(t, driveRoots_);
    if (root.isEmpty())
        return;  // not a path on any drive: the lists stay where they are
    SetDrive(root);
    dirList_->SetPath(t, root);  // a typed folder that does not exist is no error
}

void frmMain::OnFocusChanged(QWidget* old, QWidget* now)
{
    // Only a move to another control of this window validates; losing the
    // activation (a message box, another program) does not.
    if (!now || now->window() != this)
        return;
    if (Within(old, cboDir_) && !Within(now, cboDir_))
        cboDir_Validate();
    else if (Within(old, cboRitu_) && !Within(now, cboRitu_))
        cboRitu_Validate();
}

// --- Selection ------------------------------------------------------------------

void frmMain::FilList_Click()
{
    if (filList_->ListCount() == 0)
        return;
    SetStatusText(tr("%n 個のオブジェクトを選択", nullptr, filList_->SelectedCount()));
}

void frmMain::mnuViewAll_Click()
{
    filList_->SelectAll();
}

void frmMain::mnuViewReversal_Click()
{
    filList_->InvertSelection();
}

// --- Commands -------------------------------------------------------------------

void frmMain::mnuFileRun_Click()
{
    RunCommand(runGoingOn_ ? Command::Progress : Command::Run);
}

void frmMain::mnuToolView_Click()
{
    RunCommand(Command::View);
}

void frmMain::mnuToolClose_Click()
{
    RunCommand(Command::Close);
}

void frmMain::mnuToolOption_Click()
{
    RunCommand(Command::Option);
}

void frmMain::mnuToolOutput_Click()
{
    const std::optional<Output::Settings> confirmed = frmOutputSettings::Ask(outputSettings_, services_.Messages, this);
    if (!confirmed)
        return;
    outputSettings_ = *confirmed;
    frmMainSettings::SaveOutput(outputSettings_);
    ApplyOutputSettings();
}

void frmMain::mnuFileEnd_Click()
{
    close();
}

void frmMain::mnuHelpAll_Click()
{
    services_.Help.ShowHelpContents(this);
}

void frmMain::mnuHelpTopic_Click()
{
    services_.Help.ShowHelpSearch(this);
}

void frmMain::mnuHelpVersion_Click()
{
    frmAbout::ShowModal();
}

// --- Open with and drop ---------------------------------------------------------

QStringList frmMain::OpenPaths(const QStringList& paths)
{
    const OpenWith::Request request = OpenWith::Read(paths, pictureNames_);
    if (request.Folder.isEmpty())
        return request.Ignored;
    RefreshDrives();  // the folder may lie on a volume mounted since start-up
    const QString root = Drives::RootOf(request.Folder, driveRoots_);
    {
        // Quietly: the drive's change would move the lists to its root.
        const QSignalBlocker quiet(drvList_);
        SetDrive(root);
    }
    const QString before = dirList_->Path();
    if (const std::optional<QString> error = dirList_->SetPath(request.Folder, root)) {
        services_.Messages.ShowError(*error);
        return request.Ignored;
    }
    // The folder shown already is read again, so that pictures added since are there.
    if (dirList_->Path() == before)
        dirList_Change();

    // At once: a Click per file would recount the selection each time.
    const int row = filList_->SelectNames(QSet<QString>(request.Names.begin(), request.Names.end()));
    if (QListWidgetItem* first = filList_->item(row)) {
        filList_->setCurrentItem(first, QItemSelectionModel::NoUpdate);
        filList_->scrollToItem(first);
    }
    return request.Ignored;
}

void frmMain::ReportUnopened(const QStringList& names)
{
    if (names.isEmpty())
        return;
    const OpenWith::Report report = OpenWith::Unopened(names);
    services_.Messages.ShowMessage(report.Text, report.Detail);
}

void frmMain::dragEnterEvent(QDragEnterEvent* event)
{
    // Not while a run works through the folder shown.
    if (runGoingOn_)
        return;
    const QList<QUrl> urls = event->mimeData()->urls();
    if (std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); }))
        event->acceptProposedAction();
}

void frmMain::dropEvent(QDropEvent* event)
{
    if (runGoingOn_)
        return;
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            paths.append(basMain::LocalPathOf(url));
    }
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    const QStringList unopened = OpenPaths(paths);
    // Once the drop is over: the file manager waits for it to end.
    QMetaObject::invokeMethod(this, [this, unopened] { ReportUnopened(unopened); }, Qt::QueuedConnection);
}

// --- Unload ---------------------------------------------------------------------

void frmMain::closeEvent(QCloseEvent* event)
{
    // A run going on stops first (its workers at their next row of blocks,
    // leaving no temporary file), then every other window closes: a question
    // or the folder picker open at this moment answers as cancelled.
    emit Closing();
    Form_Unload();
    event->accept();
}

void frmMain::Form_Unload()
{
    if (unloaded_)
        return;
    unloaded_ = true;
    services_.Help.CloseHelp();

    // Every other window of the program goes with the main window: viewers,
    // progress, work windows and dialogs. Menus and drop-down lists are not windows of their own.
    QList<QPointer<QWidget>> others;
    const QWidgetList all = QApplication::topLevelWidgets();
    for (qsizetype i = all.size() - 1; i >= 0; --i) {
        QWidget* w = all.at(i);
        const Qt::WindowType type = w->windowType();
        if (w != this && type != Qt::Popup && type != Qt::ToolTip && type != Qt::Desktop)
            others.append(w);
    }
    for (const QPointer<QWidget>& w : others) {
        if (w)
            w->close();
    }

    std::optional<frmMainSettings::WindowRect> rect;
    if (!isMinimized()) {
        rect = frmMainSettings::WindowRect{{}, {}, TwipsX(width()), TwipsY(height())};
        if (basMain::WindowPositionsKnown()) {
            rect->Left = TwipsX(x());
            rect->Top = TwipsY(y());
        }
    }
    frmMainSettings::Save(rect, splitterLeft_, filList_->Path());
}
