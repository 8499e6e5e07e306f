// The main window driven through its real widgets on the offscreen platform:
// start-up from the settings, layout, splitter, navigation and completion,
// the file list and its selection, the ratio box, toolbar, keys, a run
// started with F5, stopped and taken up again, and unload.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDirIterator>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QtTest>
#include <memory>

#include "app/program.h"
#include "base/language.h"
#include "batch/progresswindow.h"
#include "batch/run.h"
#include "dialogs/viewerwindow.h"
#include "dialogs/outputsettingsdialog.h"
#include "mainwin/filelist.h"
#include "mainwin/folderlist.h"
#include "mainwin/mainwindow.h"
#include "mainwin/openwith.h"
#include "shell/program.h"
#include "shell/folderpicker.h"
#include "shell/help.h"
#include "shell/messageboxes.h"
#include "shell/twips.h"
#include "scriptedmessages.h"
#include "testimages.h"
#include "heldpicture.h"

class TestMainWindow : public QObject {
    Q_OBJECT

    QTemporaryDir store_;
    const base::SettingsStore settings_{store_.filePath("Zembrik.ini")};
    QTemporaryDir tree_;
    ScriptedMessages messages_;
    MessageBoxes msg_{&messages_};
    shell::ProgramState program_;
    shell::Help help_{program_};
    dialogs::Viewers viewers_{program_, msg_};
    shell::FolderPicker picker_;  // set by the tests that run
    std::unique_ptr<MainWindow> w_;

    WindowServices Services() { return {msg_, help_, viewers_, picker_, settings_}; }
    QSettings Store() const { return settings_.Open(); }

    // A main window opened on folder, shown and active.
    MainWindow& Open(const QString& folder)
    {
        Store().setValue("Path/Path", folder);
        w_ = std::make_unique<MainWindow>(Services());
        w_->show();
        w_->activateWindow();
        if (!QTest::qWaitForWindowActive(w_.get()))
            qWarning("main window not active");
        return *w_;
    }

    static bool Focus(QWidget& widget)
    {
        widget.setFocus();
        return QTest::qWaitFor([&] { return widget.hasFocus(); });
    }

    QString Sub(const char* name) const { return tree_.path() + QLatin1Char('/') + QString::fromLatin1(name); }

private slots:
    void initTestCase()
    {
        QDir dir(tree_.path());
        for (const char* name : {"photos", "photos/2024", "photos/2025", "photos/.cache", "photos/album.jpg", "empty", "other"})
            QVERIFY(dir.mkpath(QString::fromLatin1(name)));
        for (const char* name : {"c.jpg", "a.JPG", "B.gif", "d.bmp", "e.jpeg", "f.png", ".g.jpg", "h.jpg.txt"})
            testimages::Write(Sub("photos/") + QString::fromLatin1(name), {});
        testimages::Write(Sub("other/x.jpg"), {});
        // Listed only where they can be read; the content does not matter to the list.
        for (const char* name : {"i.HEIC", "j.heif", "k.avif", "l.webp", "m.Tif", "n.tiff"})
            QVERIFY(QFile(Sub("photos/") + QString::fromLatin1(name)).open(QIODevice::WriteOnly));
    }

    void cleanup()
    {
        w_.reset();
        picker_ = {};
        messages_.shown.clear();
        Store().clear();
    }

    void startsInStoredFolder()
    {
        Store().setValue("Splitter/Splitter", "2700");
        Store().setValue("Settings/MainWidth", "7000");
        MainWindow& w = Open(Sub("photos"));
        QCOMPARE(w.FilList().Path(), Sub("photos"));
        QCOMPARE(w.dirList().Path(), Sub("photos"));
        QCOMPARE(w.cboDirText(), Sub("photos"));
        QCOMPARE(w.drvList().currentData().toString(), QString("/"));
        QCOMPARE(w.FilList().ListCount(), 5);  // pictures by name, no other file, hidden file or folder
        QCOMPARE(w.FilList().List(1), QString("B.gif"));  // letter case ignored
        {
            MainWindow every(Services(), pictures::PictureFormats{true, true, true, true, true});
            QVERIFY(every.FilList().SetPath(Sub("photos")) == std::nullopt);
            QStringList listed;
            for (int i = 0; i < every.FilList().ListCount(); ++i)
                listed << every.FilList().List(i);
            QCOMPARE(listed, QStringList({"a.JPG", "B.gif", "c.jpg", "d.bmp", "e.jpeg", "f.png", "i.HEIC", "j.heif",
                                          "k.avif", "l.webp", "m.Tif", "n.tiff"}));
            const pictures::PictureFormats noAv1{true, false, false, false, false};
            QCOMPARE(MainWindow(Services(), noAv1).OpenPaths({Sub("photos/k.avif")}),
                     QStringList{Sub("photos/k.avif")});  // no AV1 decoder: not opened
        }
        QCOMPARE(w.SplitterLeft(), 2700.0);
        QCOMPARE(w.width(), qRound(7000.0 / shell::TwipsPerPixelX()));

        // The caret starts in the drive list, and Tab follows the designed order.
        QCOMPARE(QApplication::focusWidget(), &w.drvList());
        for (QWidget* next : QList<QWidget*>{&w.dirList(), &w.cboDir(), &w.FilList(), &w.cboRitu()}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }

    }

    // The first start, and a stored folder that is gone, open the Pictures
    // folder the desktop names, else the home folder, without a message.
    void startsInPicturesElseHome()
    {
        const QByteArray home = qgetenv("HOME"), configHome = qgetenv("XDG_CONFIG_HOME");
        const auto restore = qScopeGuard([&] { qputenv("HOME", home), qputenv("XDG_CONFIG_HOME", configHome); });
        qputenv("XDG_CONFIG_HOME", store_.path().toLocal8Bit());  // beside the settings
        qputenv("HOME", Sub("other").toLocal8Bit());
        QFile dirs(store_.filePath("user-dirs.dirs"));
        QVERIFY(dirs.open(QIODevice::WriteOnly) && dirs.write("XDG_PICTURES_DIR=" + Sub("photos").toUtf8()) && dirs.flush());
        const auto opens = [&](const QString& stored) {
            stored.isEmpty() ? Store().remove("Path/Path") : Store().setValue("Path/Path", stored);
            return MainWindow(Services()).FilList().Path();
        };
        QCOMPARE(opens({}), Sub("photos"));
        QCOMPARE(opens(Sub("deleted-long-ago")), Sub("photos"));
        QVERIFY(dirs.remove());
        QCOMPARE(opens({}), Sub("other"));
        QVERIFY(messages_.shown.isEmpty());
    }

    void layoutAndSplitter()
    {
        MainWindow& w = Open(Sub("photos"));
        const int tpp = shell::TwipsPerPixelX();
        // At the smallest size the window allows, with the splitter as far
        // right as it goes, nothing overlaps and the file list keeps room.
        w.resize(w.minimumSize());
        QTRY_COMPARE(w.size(), w.minimumSize());
        w.ArrangeControls(1e9);
        auto* dir = w.findChild<QWidget*>("dirList");
        auto* fil = w.findChild<QWidget*>("FilList");
        QVERIFY(dir->geometry().right() < fil->x());
        QVERIFY(fil->width() > 0 && fil->geometry().right() < w.centralWidget()->width());
        QVERIFY(fil->geometry().bottom() < w.findChild<QStatusBar*>("stbMain")->y());
        QVERIFY(w.cboRitu().geometry().right() <= w.centralWidget()->width());

        // Dragging the handle out of the window leaves each pane 2000 twips;
        // the bar shows only while the button is down.
        w.resize(qRound(6500.0 / tpp), w.height());
        QTRY_COMPARE(w.width(), qRound(6500.0 / tpp));
        w.ArrangeControls(3000);
        auto* handle = w.findChild<QWidget*>("imgSplitter");
        auto* bar = w.findChild<QWidget*>("picSplitter");
        auto drag = [&](int x) {
            for (const auto type : {QEvent::MouseButtonPress, QEvent::MouseMove, QEvent::MouseButtonRelease}) {
                const QPointF at(type == QEvent::MouseButtonPress ? 1 : x, 5);
                QMouseEvent e(type, at, handle->mapToGlobal(at), Qt::LeftButton,
                              type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
                QCoreApplication::sendEvent(handle, &e);
                QCOMPARE(bar->isVisible(), type != QEvent::MouseButtonRelease);
            }
        };
        drag(-handle->x() - 50);
        QCOMPARE(w.SplitterLeft(), 2000.0);
        drag(w.width());
        QCOMPARE(w.SplitterLeft(), w.width() * double(tpp) - 2000);
    }

    void pathBoxCompletesAndNavigates()
    {
        MainWindow& w = Open(Sub("other"));
        QComboBox& box = w.cboDir();
        QLineEdit* edit = box.lineEdit();
        QVERIFY(Focus(box));
        edit->selectAll();
        const QString typed = Sub("photos") + "/";
        QTest::keyClicks(&box, typed);
        // The sub-folders are listed, hidden ones left out, and the first completes the text.
        QCOMPARE(edit->text(), Sub("photos/2024"));
        QCOMPARE(edit->selectedText(), QString("2024"));
        QVERIFY(box.findText(Sub("photos/.cache")) < 0);
        QCOMPARE(box.findText(Sub("photos/2025")) >= 0, true);
        const int items = box.count();
        QTest::keyClick(&box, Qt::Key_5);  // "5": no match, text stays as typed
        QCOMPARE(edit->text(), typed + "5");
        QTest::keyClick(&box, Qt::Key_Backspace);
        QTest::keyClick(&box, Qt::Key_Backspace);
        // Deleting does not complete again.
        QCOMPARE(edit->text(), Sub("photos"));
        QTest::keyClick(&box, Qt::Key_Slash);
        QCOMPARE(box.count(), items);  // no duplicates on a second listing
        QTest::keyClick(&box, Qt::Key_Backspace);
        QCOMPARE(edit->text(), typed);

        // Enter goes there as leaving the box does; the box keeps the focus
        // with its text selected, to type another.
        QTest::keyClick(&box, Qt::Key_Return);
        QCOMPARE(w.FilList().Path(), Sub("photos"));
        QCOMPARE(w.dirList().Path(), Sub("photos"));
        QCOMPARE(w.cboDirText(), Sub("photos"));
        QCOMPARE(box.count(), 1);
        QVERIFY(box.hasFocus());
        QCOMPARE(edit->selectedText(), Sub("photos"));

        // A folder that does not exist: leaving the box says nothing, Enter
        // (the keypad's too) says so; the lists stay, the box keeps the text.
        box.setEditText(Sub("nothere"));
        QVERIFY(Focus(w.FilList()));
        QCOMPARE(w.FilList().Path(), Sub("photos"));
        QCOMPARE(w.cboDirText(), Sub("nothere"));
        QVERIFY(messages_.shown.isEmpty());
        QVERIFY(Focus(box));
        QTest::keyClick(&box, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(messages_.Titled(), QStringList("警告:パスが見つかりません。"));
        QCOMPARE(w.FilList().Path(), Sub("photos"));
        QCOMPARE(edit->selectedText(), Sub("nothere"));
        messages_.shown.clear();

        // A completion only proposes: leaving the box, or a command, takes
        // what was typed unless End or Enter took the proposal first.
        for (const auto& [key, reached] : {std::pair{Qt::Key_End, "photos/2024"}, {Qt::Key_Tab, "photos"},
                                           {Qt::Key_Return, "photos/2024"}, {Qt::Key_F5, "photos"}}) {
            QVERIFY(Focus(box));
            edit->selectAll();
            QTest::keyClicks(&box, typed);
            QTest::keyClick(&box, key);
            QTest::keyClick(&box, Qt::Key_Tab);
            QTRY_COMPARE(w.FilList().Path(), Sub(reached));
        }

        // Losing the window's activation (or focus going to another window) validates nothing.
        QVERIFY(Focus(box));
        box.setEditText(Sub("empty"));
        emit qApp->focusChanged(&box, nullptr);
        QWidget elsewhere;
        emit qApp->focusChanged(&box, &elsewhere);
        QCOMPARE(w.FilList().Path(), Sub("photos"));
    }

    void folderAndDriveChanges()
    {
        MainWindow& w = Open(Sub("photos"));
        // The folder list leads the file list and the path box, and clears the status.
        w.SetStatusText("old");
        QVERIFY(!w.dirList().SetPath(Sub("other"), "/"));
        QCOMPARE(w.FilList().Path(), Sub("other"));
        QCOMPARE(w.cboDirText(), Sub("other"));
        QCOMPARE(w.StatusText(), QString());
        QVERIFY(w.dirList().SetPath(Sub("nothere"), "/").has_value());
        QVERIFY(!w.dirList().SetPath(Sub("photos"), "/"));
        QComboBox& drives = w.drvList();
        // A volume that is not there: one error box, the lists keep their folder.
        drives.addItem("/no/such/volume", "/no/such/volume");
        drives.setCurrentIndex(drives.count() - 1);
        QCOMPARE(messages_.Titled(), QStringList("エラー:デバイスの準備ができていません。"));
        QCOMPARE(w.FilList().Path(), Sub("photos"));
        // The system root: lists and path box at its root, status cleared.
        w.SetStatusText("3 個のオブジェクトを選択");
        drives.setCurrentIndex(0);
        QCOMPARE(w.dirList().Path(), QString("/"));
        QCOMPARE(w.FilList().Path(), QString("/"));
        QCOMPARE(w.cboDirText(), QString("/"));
        QCOMPARE(w.StatusText(), QString());
        // A typed hidden folder is still reached when the focus leaves the box.
        QVERIFY(Focus(w.cboDir()));
        w.cboDir().setEditText(Sub("photos/.cache/"));
        w.FilList().setFocus();
        QTRY_COMPARE(w.FilList().Path(), Sub("photos/.cache"));
        QCOMPARE(w.cboDir().itemText(0), Sub("photos/.cache"));
        QCOMPARE(messages_.shown.size(), 1);
    }

    void selectionCommands()
    {
        MainWindow& w = Open(Sub("photos"));
        FileListBox& list = w.FilList();
        QSignalSpy clicks(&list, &FileListBox::Click);  // once per command, not per file
        w.SelectAllFiles();
        QCOMPARE(w.StatusText(), QString("5 個のオブジェクトを選択"));
        list.SetSelected(2, false);
        QCOMPARE(w.StatusText(), QString("4 個のオブジェクトを選択"));
        w.InvertSelection();
        QCOMPARE(clicks.count(), 3);
        QCOMPARE(w.StatusText(), QString("1 個のオブジェクトを選択"));
        QVERIFY(list.Selected(2));

        // Refresh re-reads and clears the selection; an empty folder leaves the text alone.
        testimages::Write(Sub("photos/new.jpg"), {});
        list.Refresh();
        QFile::remove(Sub("photos/new.jpg"));
        QCOMPARE(list.ListCount(), 6);
        QCOMPARE(list.SelectedCount(), 0);
        w.dirList().SetPath(Sub("empty"), "/");
        QCOMPARE(w.StatusText(), QString());
        w.SelectAllFiles();
        w.InvertSelection();
        QCOMPARE(w.StatusText(), QString());
    }

    void ratioBoxKeys()
    {
        MainWindow& w = Open(Sub("photos"));
        QComboBox& box = w.cboRitu();
        QLineEdit* edit = box.lineEdit();
        // Only digits and one point reach the box (a leading 0 does not);
        // leaving it normalises, an empty box to 100%.
        const QList<std::array<QString, 3>> typed = {
            {"0.5", ".5", "1.0%"}, {"1a-2 .5.", "12.5", "12.5%"}, {"7\b", "", "100.0%"}};
        for (const auto& [keys, kept, normal] : typed) {
            box.setFocus();
            edit->selectAll();
            for (const QChar c : keys)
                c == '\b' ? QTest::keyClick(&box, Qt::Key_Backspace) : QTest::keyClicks(&box, QString(c));
            QCOMPARE(edit->text(), kept);
            w.FilList().setFocus();
            QTRY_COMPARE(w.cboRituText(), normal);
        }

        // A second point is refused even when the whole text is selected.
        box.setFocus();
        edit->setText("1.5");
        edit->selectAll();
        QTest::keyClick(&box, Qt::Key_Period);
        QCOMPARE(edit->text(), QString("1.5"));
        // Delete erases like Backspace; arrows do nothing; Home then 0 loses the 0 again.
        edit->setText("123");
        QTest::keyClick(&box, Qt::Key_Delete);
        QTest::keyClick(&box, Qt::Key_Left);
        QTest::keyClick(&box, Qt::Key_Down);
        QTest::keyClick(&box, Qt::Key_9);
        QCOMPARE(edit->text(), QString("129"));
        edit->setText("100.0%");
        QTest::keyClick(&box, Qt::Key_Home);
        QTest::keyClick(&box, Qt::Key_0);
        QCOMPARE(edit->text(), QString("100.0%"));
        // Ctrl+C still copies; Ctrl+V pastes nothing.
        edit->selectAll();
        QTest::keyClick(&box, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("100.0%"));
        QTest::keyClick(&box, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(edit->text(), QString("100.0%"));
        // A program-made change normalises on request.
        edit->setText("7");
        w.NormaliseRatioBox();
        QCOMPARE(w.cboRituText(), QString("7.0%"));
    }

    void toolbarAndKeys()
    {
        MainWindow& w = Open(Sub("photos"));
        // Each button is its menu command's own action.
        auto* toolbar = w.findChild<QToolBar*>("tlbMain");
        QStringList buttons;
        for (QAction* a : toolbar->actions())
            if (!a->isSeparator())
                buttons << toolbar->widgetForAction(a)->objectName() + ":" + a->objectName();
        QCOMPARE(buttons, QStringList({"tlbMain_RUN:mnuFileRun", "tlbMain_VIEW:mnuToolView", "tlbMain_CLOSE:mnuToolClose",
                                       "tlbMain_OPTION:mnuToolOption"}));

        QString ran;
        for (const auto& [c, letter] : {std::pair{MainWindow::Command::Run, 'R'}, {MainWindow::Command::View, 'V'},
                                        {MainWindow::Command::Close, 'C'}, {MainWindow::Command::Option, 'O'}})
            w.SetCommandHandler(c, [&ran, letter = letter] { ran += QLatin1Char(letter); });
        for (QAction* a : toolbar->actions())
            a->trigger();
        QTest::mouseClick(w.findChild<QToolButton*>("tlbMain_VIEW"), Qt::LeftButton);
        w.FilList().setFocus();
        QTest::keyClick(&w.FilList(), Qt::Key_F5);
        QTest::keyClick(&w.FilList(), Qt::Key_F2);
        QCOMPARE(ran, QString("RVCOVRV"));

        // During a run the menu shows the item disabled; F5 and the button
        // bring the run's window forward instead.
        w.SetCommandHandler(MainWindow::Command::Progress, [&ran] { ran += QLatin1Char('P'); });
        w.SetRunGoingOn(true);
        auto* file = w.findChild<QMenu*>("mnuFile");
        auto* run = w.findChild<QAction*>("mnuFileRun");
        emit file->aboutToShow();
        QVERIFY(!run->isEnabled());
        emit file->aboutToHide();
        QTest::keyClick(&w.FilList(), Qt::Key_F5);
        QTest::mouseClick(w.findChild<QToolButton*>("tlbMain_RUN"), Qt::LeftButton);
        QVERIFY(run->isEnabled());
        QCOMPARE(ran, QString("RVCOVRVPP"));

        // In the boxes Ctrl+A selects their text, elsewhere every file;
        // Ctrl+R inverts the list's selection from anywhere.
        QVERIFY(Focus(w.cboDir()));
        QTest::keyClick(&w.cboDir(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(w.cboDir().lineEdit()->selectedText(), Sub("photos"));
        QVERIFY(Focus(w.cboRitu()));
        QTest::keyClick(&w.cboRitu(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(w.cboRitu().lineEdit()->selectedText(), QString("100.0%"));
        QCOMPARE(w.FilList().SelectedCount(), 0);
        w.FilList().SetSelected(0, true);
        QTest::keyClick(&w.cboRitu(), Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(w.FilList().SelectedCount(), 4);
        QVERIFY(!w.FilList().Selected(0));
        QTest::keyClick(&w.FilList(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(w.FilList().SelectedCount(), 5);
    }

    // "出力の設定" after "画像情報": a size box confirmed there disables the
    // ratio box, whose tooltip names it, and the run asks for it; it is
    // saved at once and in force at the next start.
    void outputSettingsFromTheMenu()
    {
        MainWindow& w = Open(Sub("photos"));
        batch::BatchRun run(&w, msg_);
        ConnectRun(w, run);
        QStringList items;
        for (const QAction* a : w.findChild<QMenu*>("mnuTool")->actions())
            items << a->objectName();
        QCOMPARE(items.last(2), QStringList({"mnuToolOption", "mnuToolOutput"}));
        QVERIFY(w.cboRitu().isEnabled());
        QCOMPARE(w.cboRitu().toolTip(), QString("縮小率"));

        QTimer::singleShot(0, [] {
            auto* dialog = dynamic_cast<OutputSettingsDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialog->optBox->setChecked(true);
            dialog->txtWidth->setValue(640);
            dialog->txtHeight->setValue(480);
            QTest::mouseClick(dialog->cmdOK, Qt::LeftButton);
        });
        w.findChild<QAction*>("mnuToolOutput")->trigger();
        QVERIFY(!w.cboRitu().isEnabled());
        QCOMPARE(w.cboRitu().toolTip(), QString("幅 640 × 高さ 480 ピクセル以内"));
        messages_.answer = MsgAnswer::No;
        w.FilList().SelectAll();
        w.findChild<QAction*>("mnuFileRun")->trigger();
        messages_.answer = MsgAnswer::Yes;
        QCOMPARE(messages_.Titled(), QStringList("質問:幅 640 × 高さ 480 ピクセル以内で縮小を開始します。"));
        QCOMPARE(Store().value("Output/BoxWidth").toString(), QString("640"));

        w_.reset();
        QVERIFY(!Open(Sub("photos")).cboRitu().isEnabled());
    }

    // A command started while a typed path has not been left applies it first;
    // a typed path that is no folder stops it with a warning, lists unchanged.
    void commandsApplyTheTypedPath()
    {
        MainWindow& w = Open(Sub("photos"));
        QStringList ran;
        for (const auto c : {MainWindow::Command::Run, MainWindow::Command::View, MainWindow::Command::Option, MainWindow::Command::Close})
            w.SetCommandHandler(c, [&, c] { ran << QString::number(int(c)) + w.cboDirText(); });
        w.FilList().SetSelected(0, true);
        QVERIFY(Focus(w.cboDir()));
        w.cboDir().setEditText(Sub("other/"));
        QTest::keyClick(&w.cboDir(), Qt::Key_F5);
        QCOMPARE(ran, QStringList("0" + Sub("other")));
        QCOMPARE(w.FilList().SelectedCount(), 0);
        for (const char* typed : {"nothere", "other/x.jpg"}) {
            w.cboDir().setEditText(Sub(typed));
            QTest::keyClick(&w.cboDir(), Qt::Key_F2);
            w.findChild<QAction*>("mnuToolOption")->trigger();
            QCOMPARE(w.cboDirText(), Sub(typed));
        }
        w.findChild<QAction*>("mnuToolClose")->trigger();  // needs no folder
        QCOMPARE(ran.size(), 2);
        QCOMPARE(w.FilList().Path(), Sub("other"));
        QCOMPARE(messages_.Titled(), QStringList(4, "警告:パスが見つかりません。"));
    }

    void opensGivenPathsAndDrops()
    {
        // As main() opens it: on pictures, before it shows; what is no picture is handed back.
        Store().setValue("Path/Path", Sub("other"));
        w_ = std::make_unique<MainWindow>(Services());
        QSignalSpy clicks(&w_->FilList(), &FileListBox::Click);  // once for all the pictures, not per file
        QCOMPARE(w_->OpenPaths({Sub("photos/c.jpg"), Sub("other/x.jpg"), Sub("photos/a.JPG"), Sub("photos/f.png")}),
                 QStringList({Sub("photos/f.png")}));
        QCOMPARE(clicks.size(), 1);
        // What could not be opened is named in one warning, ten names at most.
        w_->ReportUnopened(QStringList(mainwin::openwith::MaxListed, "nosuch.jpg") << "a" << "b");
        QCOMPARE(messages_.Titled(), QStringList("警告:指定されたファイルを開けません。"));
        QCOMPARE(messages_.shown.first().detail, QString("nosuch.jpg\n").repeated(mainwin::openwith::MaxListed) + "ほか 2 個");
        w_->show();
        w_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w_.get()));
        MainWindow& w = *w_;
        QCOMPARE(w.FilList().Path(), Sub("photos"));
        QCOMPARE(w.cboDirText(), Sub("photos"));
        QVERIFY(w.FilList().Selected(0) && w.FilList().Selected(2));  // a.JPG and c.jpg
        QCOMPARE(w.StatusText(), QString("2 個のオブジェクトを選択"));

        // A folder dropped from a file manager is shown with nothing selected.
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(Sub("other"))});
        auto drop = [&] {
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&w, &enter);
            QDropEvent event(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            if (enter.isAccepted())
                QApplication::sendEvent(&w, &event);
            return enter.isAccepted() && event.isAccepted();
        };
        QVERIFY(drop());
        QCOMPARE(w.cboDirText(), Sub("other"));
        QCOMPARE(w.FilList().ListCount(), 1);
        QCOMPARE(w.FilList().SelectedCount(), 0);
        // A picture made since, dropped on the folder shown: the list is read again to select it.
        testimages::Write(Sub("other/y.jpg"), {});
        mime.setUrls({QUrl::fromLocalFile(Sub("other/y.jpg"))});
        QVERIFY(drop());
        QFile::remove(Sub("other/y.jpg"));
        QCOMPARE(w.FilList().ListCount(), 2);
        QVERIFY(w.FilList().Selected(1) && !w.FilList().Selected(0));
        // Dropped text is no path.
        mime.setUrls({});
        mime.setText(Sub("photos"));
        QVERIFY(!drop());
    }

    // F5 with a ratio typed and not yet left: the run uses it normalised,
    // writes every selected picture and leaves the list read again. Then
    // 中止 while b.jpg is in work: a.jpg is written, b.jpg and d.jpg (c.bmp
    // was not selected) stay selected after the list is read again, for F5
    // to take up. F5 during the run brings its window forward.
    void f5RunsTheSelectionAndAStopLeavesTheRestSelected()
    {
        QTemporaryDir photos, whole, stopped;
        for (const char* name : {"a.jpg", "b.jpg", "c.bmp", "d.jpg"})
            QVERIFY(QImage(1001, 751, QImage::Format_RGB32).save(photos.filePath(name)));
        QString out = whole.path();
        picker_ = [&](QWidget*, const QString&) { return std::optional<QString>(out); };
        std::atomic<bool> bInWork{false};
        MainWindow& w = Open(photos.path());
        batch::BatchRun run(&w, msg_, HoldUntilStopped("b.jpg", bInWork));
        ConnectRun(w, run);
        w.cboRitu().setFocus();
        w.cboRitu().lineEdit()->selectAll();
        QTest::keyClicks(w.cboRitu().lineEdit(), "50");
        QTest::keyClick(&w, Qt::Key_A, Qt::ControlModifier);
        w.FilList().SetSelected(1, false);
        QTest::keyClick(&w, Qt::Key_F5);
        QCOMPARE(messages_.Titled().first(), QString("質問:縮小率 50.0% で縮小を開始します。"));
        QTRY_COMPARE(messages_.Titled().last(), QString("情報:サイズの変換が終了しました。"));
        QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList({"a.jpg", "c.jpg", "d.jpg"}));
        QCOMPARE(QImageReader(whole.filePath("c.jpg")).size(), QSize(500, 376));
        QCOMPARE(w.FilList().SelectedCount(), 0);
        QCOMPARE(w.StatusText(), QString());

        out = stopped.path();
        w.activateWindow();  // the progress window had it
        QTRY_COMPARE(QApplication::activeWindow(), &w);
        w.FilList().SelectAll();
        w.FilList().SetSelected(2, false);
        QTest::keyClick(&w, Qt::Key_F5);
        QVERIFY(run.isRunning() && QApplication::overrideCursor()->shape() == Qt::BusyCursor);
        auto* progress = w.findChild<ProgressWindow*>();
        QVERIFY(progress);
        w.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &w);
        QTest::keyClick(&w, Qt::Key_F5);
        QTRY_COMPARE(QApplication::activeWindow(), progress);
        QTRY_VERIFY(bInWork && QFile::exists(stopped.filePath("a.jpg")));
        QTest::mouseClick(progress->cmdCancel, Qt::LeftButton);
        QTRY_VERIFY(!run.isRunning());
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(messages_.Titled().last(), QString("情報:中止しました。"));
        QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList{"a.jpg"});
        QVERIFY(!w.FilList().Selected(0) && w.FilList().Selected(1) && !w.FilList().Selected(2) && w.FilList().Selected(3));
        QCOMPARE(w.StatusText(), QString("2 個のオブジェクトを選択"));
    }

    // "フォルダをサブフォルダごと縮小", after the run in the File menu: the
    // path box's folder with its subfolders, hidden ones and other files left
    // out, mirrored into the output folder, which is made as needed. A name
    // met in two folders is no clash there.
    void treeCommandMirrorsTheFolder()
    {
        QTemporaryDir photos, out;
        QDir root(photos.path());
        QVERIFY(root.mkpath("sub folder/deeper") && root.mkpath(".hidden"));
        for (const char* name : {"a.jpg", "sub folder/a.bmp", "sub folder/deeper/c.jpg", ".hidden/d.jpg"})
            QVERIFY(QImage(40, 30, QImage::Format_RGB32).save(root.filePath(QString::fromUtf8(name))));
        QVERIFY(testimages::Write(root.filePath("sub folder/notes.txt"), "not a picture"));
        picker_ = [&](QWidget*, const QString&) { return std::optional<QString>(out.path()); };
        MainWindow& w = Open(photos.path());
        batch::BatchRun run(&w, msg_);
        ConnectRun(w, run);
        QStringList items;
        for (const QAction* a : w.findChild<QMenu*>("mnuFile")->actions())
            items << a->objectName();
        QCOMPARE(items.first(2), QStringList({"mnuFileRun", "mnuFileTree"}));

        w.findChild<QAction*>("mnuFileTree")->trigger();
        QTRY_COMPARE(messages_.Titled().last(), QString("情報:サイズの変換が終了しました。"));
        QCOMPARE(messages_.Titled().first(), QString("質問:3 個のフォルダにある 3 個の画像を、縮小率 100.0% で縮小します。"));
        QCOMPARE(messages_.shown.size(), 2);
        QStringList written;
        QDirIterator files(out.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext())
            written << QDir(out.path()).relativeFilePath(files.next());
        written.sort();
        QCOMPARE(written, QStringList({"a.jpg", "sub folder/a.jpg", "sub folder/deeper/c.jpg"}));
        QCOMPARE(QImageReader(out.filePath("sub folder/deeper/c.jpg")).size(), QSize(40, 30));

        messages_.shown.clear();
        w.OpenPaths({Sub("empty")});
        w.findChild<QAction*>("mnuFileTree")->trigger();
        QCOMPARE(messages_.Titled(), QStringList("警告:このフォルダとサブフォルダには画像がありません。"));
    }

    // The window built under each language: its menus, a warning and a
    // question with their titles, and the status line.
    void speaksItsLanguage_data()
    {
        QTest::addColumn<bool>("english");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("Japanese") << false << QStringList{"ファイル(&F)|表示(&V)|ツール(&T)|ヘルプ(&H)|サイズ変更(&R)...|"
                                                           "フォルダをサブフォルダごと縮小(&T)...",
                                                           "警告:ファイルが選択されていません。",
                                                           "質問:縮小率 100.0% で縮小を開始します。", "5 個のオブジェクトを選択"};
        QTest::newRow("English") << true << QStringList{"&File|&View|&Tools|&Help|&Resize...|Shrink Folder and &Subfolders...",
                                                        "Warning:No file is selected.",
                                                        "Question:Start shrinking at a reduction ratio of 100.0%?",
                                                        "5 items selected"};
    }
    void speaksItsLanguage()
    {
        QFETCH(bool, english);
        const base::Translations texts(english ? base::Language::English : base::Language::Japanese);
        MainWindow& w = Open(Sub("photos"));
        batch::BatchRun run(&w, msg_);
        ConnectRun(w, run);
        QStringList menus;
        const QList<QAction*> actions = w.menuBar()->actions() << w.findChild<QAction*>("mnuFileRun")
                                                               << w.findChild<QAction*>("mnuFileTree");
        for (const QAction* menu : actions)
            menus << menu->text();
        messages_.answer = MsgAnswer::No;
        QTest::keyClick(&w, Qt::Key_F5);
        QTest::keyClick(&w, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(&w, Qt::Key_F5);
        messages_.answer = MsgAnswer::Yes;
        QTEST(QStringList(menus.join('|')) + messages_.Titled() << w.StatusText(), "shown");
    }

    // A stored rectangle far larger than any screen opens on the screen,
    // and the numbers written back are whole.
    void unloadClosesOthersAndSaves()
    {
        Store().setValue("Settings/MainHeight", "2147483647");
        Store().setValue("Settings/MainLeft", "-2147483648");
        MainWindow& w = Open(Sub("photos"));
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY2(screen.contains(QRect(w.pos(), w.size())), qPrintable(QString("%1,%2 %3x%4").arg(w.x()).arg(w.y()).arg(w.width()).arg(w.height())));
        auto* viewer = new QWidget;
        viewer->setAttribute(Qt::WA_DeleteOnClose);
        viewer->show();
        QPointer<QWidget> watch(viewer);
        w.ArrangeControls(2600);
        w.findChild<QAction*>("mnuFileEnd")->trigger();
        QVERIFY(!w.isVisible());
        QTRY_VERIFY(watch.isNull());
        QCOMPARE(Store().value("Splitter/Splitter").toString(), QString("2600"));
        QCOMPARE(Store().value("Path/Path").toString(), Sub("photos"));
        QCOMPARE(Store().value("Settings/MainWidth").toDouble(), w.width() * double(shell::TwipsPerPixelX()));
        for (const char* key : {"Settings/MainHeight", "Settings/MainLeft", "Settings/MainTop"})
            QCOMPARE(Store().value(key).toString(), QString::number(Store().value(key).toLongLong()));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
