// The main window's run end to end: F5 on the real file list and ratio box,
// with scripted message boxes and folder picker.
#include <QtTest>

#include <QComboBox>
#include <QImageReader>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <memory>

#include "batch/run.h"
#include "mainwin/filelist.h"
#include "mainwin/frmmain.h"
#include "shell/folderpicker.h"
#include "shell/msg.h"
#include "scriptedmessages.h"

namespace {

void SaveImage(const QString& path, int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(QColor(90, 160, 220));
    QVERIFY(image.save(path));
}

int Visible(const QString& objectName)
{
    int count = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == objectName && w->isVisible())
            ++count;
    return count;
}

}  // namespace

class MainWindowCommands : public QObject {
    Q_OBJECT

    QTemporaryDir store_;
    QTemporaryDir photos_;
    QTemporaryDir out_;
    ScriptedMessages script_;
    std::unique_ptr<frmMain> w_;

    frmMain& Open(const QString& folder)
    {
        QSettings(QSettings::IniFormat, QSettings::UserScope, "Zembrik", "Zembrik").setValue("Path/Path", folder);
        w_ = std::make_unique<frmMain>();
        w_->show();
        w_->activateWindow();
        [[maybe_unused]] const bool active = QTest::qWaitForWindowActive(w_.get());
        return *w_;
    }

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, store_.path());
        Msg().SetResponder(&script_);
        basMain::SetFolderPicker([this](QWidget*, const QString&) { return std::optional<QString>(out_.path()); });
        SaveImage(photos_.filePath("a.jpg"), 1001, 751);
        SaveImage(photos_.filePath("b.bmp"), 64, 48);
        SaveImage(photos_.filePath("c.jpg"), 40, 30);
    }
    void cleanupTestCase()
    {
        Msg().SetResponder(nullptr);
        basMain::SetFolderPicker({});
    }
    void init() { script_.shown.clear(); }
    void cleanup()
    {
        w_.reset();
        for (const QString& f : QDir(out_.path()).entryList(QDir::Files | QDir::Hidden))
            QFile::remove(out_.filePath(f));
    }

    void f5RunsOnTheSelectionWithTheTypedRatio()
    {
        frmMain& w = Open(photos_.path());
        QCOMPARE(w.FilList().ListCount(), 3);
        // Typed into the ratio box and not yet left: the run normalises it first.
        w.cboRitu().setFocus();
        w.cboRitu().lineEdit()->selectAll();
        QTest::keyClicks(w.cboRitu().lineEdit(), "50");
        QTest::keyClick(&w, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(w.FilList().SelectedCount(), 3);
        QTest::keyClick(&w, Qt::Key_F5);

        QCOMPARE(script_.Texts().first(), QStringLiteral("縮小率 50.0% で縮小を開始します。"));
        QCOMPARE(script_.Texts().last(), QStringLiteral("サイズの変換が終了しました。"));
        QCOMPARE(QImageReader(out_.filePath("a.jpg")).size(), QSize(500, 376));
        QCOMPARE(QDir(out_.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"a.jpg", "b.jpg", "c.jpg"}));
        QCOMPARE(w.FilList().SelectedCount(), 0);
        QCOMPARE(w.StatusText(), QString());
        QCOMPARE(w.cboRituText(), QStringLiteral("50.0%"));
        QCOMPARE(Visible("frmProgress"), 0);
        QVERIFY(!QApplication::overrideCursor());
    }
};

QTEST_MAIN(MainWindowCommands)
#include "tst_mainwin_commands.moc"
