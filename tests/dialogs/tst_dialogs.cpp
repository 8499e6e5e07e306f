// Viewer windows, the image information dialog, the About box and the output
// settings dialog, driven offscreen.
#include <QtTest>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSemaphore>
#include <QSpinBox>
#include <QTemporaryDir>
#include <atomic>

#include "dialogs/aboutdialog.h"
#include "dialogs/viewerwindow.h"
#include "dialogs/pictureinfodialog.h"
#include "dialogs/outputsettingsdialog.h"
#include "pictures/picture.h"
#include "shell/program.h"
#include "shell/messageboxes.h"
#include "fakeselection.h"
#include "scriptedmessages.h"
#include "testimages.h"
#include "waitfor.h"

namespace {

using Selection = FakeSelection<>;

QList<ViewerWindow*> OpenViewers()
{
    QList<ViewerWindow*> viewers;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* v = qobject_cast<ViewerWindow*>(w); v && v->isVisible())
            viewers << v;
    return viewers;
}

// A mouse event at a point of the screen, as the window system reports it.
void Mouse(QWidget* w, QEvent::Type type, QPoint global, Qt::MouseButton button, Qt::MouseButtons held)
{
    QMouseEvent event(type, w->mapFromGlobal(global), global, button, held, {});
    QApplication::sendEvent(w, &event);
}

// A viewer whose window system takes over every move it is offered.
struct SystemMoved final : ViewerWindow {
    using ViewerWindow::ViewerWindow;
    int started = 0;
    bool StartSystemMove() override { return ++started, true; }
};

// Orientation 6 (turn a quarter clockwise to display) as an APP1 Exif segment.
const QByteArray Orientation6 = QByteArray::fromHex(
    "ffe10022457869660000" "49492a0008000000" "0100120103000100000006000000" "00000000");

}  // namespace

class ViewerWindows : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    ScriptedMessages script;
    MessageBoxes messages{&script};
    shell::ProgramState program;
    QSemaphore gate;  // a held loader waits here for each picture
    std::atomic<bool> holdLoads = false;
    std::atomic<bool> untilStopped = false;  // the loader waits for the stop flag, as a decoder reads it
    std::atomic<bool> decoding = false;
    std::atomic<int> loads = 0;
    // Declared last: its decode thread uses the members above until it ends.
    dialogs::Viewers viewers{program, messages, [this](const QString& path, const std::atomic<bool>* stop) {
        ++loads;
        if (holdLoads)
            gate.acquire();
        if (untilStopped && stop) {
            decoding = true;
            WaitFor(*stop);
            decoding = false;
            return pictures::LoadedPicture{{}, std::nullopt, true};
        }
        return pictures::LoadPicture(path);
    }};

    Selection Files(int count)
    {
        Selection s;
        s.folder = dir.path();
        for (int i = 0; i < count; ++i) {
            s.names << QStringLiteral("p%1.bmp").arg(i, 2, 10, QLatin1Char('0'));
            s.selected << true;
        }
        return s;
    }
    void Open(const Selection& s)
    {
        viewers.ViewSelected(s);
        QTRY_VERIFY(!viewers.Opening());
    }

private slots:
    void initTestCase()
    {
        for (int i = 0; i < 25; ++i) {
            QImage image(30 + i, 20, QImage::Format_RGB32);
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    image.setPixel(x, y, qRgb(8 * x, 10 * y, 200));
            QVERIFY(image.save(dir.filePath(QStringLiteral("p%1.bmp").arg(i, 2, 10, QLatin1Char('0')))));
        }
        QImage sideways(40, 20, QImage::Format_RGB32);
        sideways.fill(Qt::yellow);
        QVERIFY(testimages::Write(dir.filePath("turned.jpg"), testimages::JpegWith(testimages::Saved(sideways, "jpeg"), Orientation6)));
        QVERIFY(testimages::Write(dir.filePath("bad.jpg"), "not a picture"));
    }
    void init()
    {
        script.shown.clear();
        loads = 0;
    }
    void cleanup()
    {
        holdLoads = false;
        gate.release(100);  // nothing may stay blocked in a loader
        viewers.CloseViewers();
        QCOMPARE(program.ViewerCount, qint16(0));
        QTRY_VERIFY(OpenViewers().isEmpty());
        gate.acquire(gate.available());
    }

    void viewersAppearWhenDecodedInListOrder()
    {
        holdLoads = true;
        viewers.ViewSelected(Files(2));
        viewers.ViewSelected(Files(1));  // a second command queues behind
        QVERIFY(viewers.Opening());
        QVERIFY(OpenViewers().isEmpty());  // the window thread did not wait
        QCOMPARE(program.ViewerCount, qint16(0));

        QList<ViewerWindow*> shown;  // each as its picture comes, in the order asked for
        for (const int width : {30, 31, 30}) {
            gate.release();
            QTRY_COMPARE(program.ViewerCount, qint16(shown.size() + 1));
            for (ViewerWindow* v : OpenViewers())
                if (!shown.contains(v))
                    shown << v;
            QCOMPARE(shown.last()->width(), width);
        }
        QCOMPARE(shown.first()->picMain->Picture().pixel(3, 2), qRgb(24, 20, 200));  // p00.bmp's own pixels
    }

    void closingWhileOpeningShowsNothingLater()
    {
        holdLoads = true;
        viewers.ViewSelected(Files(3));
        QTRY_COMPARE(loads.load(), 1);  // the first picture is being decoded
        viewers.CloseViewers();
        QVERIFY(!viewers.Opening());

        // The main window closes every window, the hidden one being filled too.
        viewers.ViewSelected(Files(3));
        for (QWidget* w : QApplication::topLevelWidgets())
            w->close();
        QVERIFY(!viewers.Opening());

        // A later picture waits behind the abandoned decode, which is dropped
        // when it comes back.
        Selection later = Files(6);
        later.selected.fill(false);
        later.selected[5] = true;
        viewers.ViewSelected(later);
        gate.release();
        QTRY_COMPARE(loads.load(), 2);
        QCoreApplication::processEvents();
        gate.release();
        QTRY_VERIFY(!viewers.Opening());
        QCOMPARE(OpenViewers().size(), 1);
        QCOMPARE(OpenViewers().first()->width(), 35);
        QCOMPARE(program.ViewerCount, qint16(1));
    }

    // "画像を閉じる" (a run, the program's end) stops the decode in flight
    // rather than waiting for it: its memory goes at once.
    void closingStopsTheDecodeInFlight()
    {
        untilStopped = true;
        viewers.ViewSelected(Files(2));
        QTRY_VERIFY(decoding);
        viewers.CloseViewers();
        QTRY_VERIFY(!decoding);
        untilStopped = false;
        Open(Files(1));  // the next picture decodes as ever
        QCOMPARE(OpenViewers().size(), 1);
    }

    void twentyAtMostThenOneMessage()
    {
        Open(Files(25));
        QCOMPARE(OpenViewers().size(), 20);
        QCOMPARE(program.ViewerCount, qint16(20));
        QCOMPARE(script.shown.size(), 1);
        QCOMPARE(script.shown.first().text, QStringLiteral("一度に表示可能な画像は 20 までです。"));
        QCOMPARE(script.shown.first().kind, MsgKind::Warning);

        // Full: nothing opens. A double-click closes one and makes room for one.
        viewers.ViewSelected(Files(1));
        QCOMPARE(OpenViewers().size(), 20);
        QCOMPARE(script.shown.size(), 2);
        QTest::mouseDClick(OpenViewers().first(), Qt::LeftButton);
        QTRY_COMPARE(program.ViewerCount, qint16(19));
        Open(Files(1));
        QCOMPARE(program.ViewerCount, qint16(20));
    }

    // Without a selection the viewers and the information do nothing (a
    // dialog would block this test); an unreadable file is an error, and the
    // viewers opened before it stay.
    void nothingSelectedOrAnUnreadableFile()
    {
        Selection s = Files(3);
        s.selected.fill(false);
        viewers.ViewSelected(s);
        dialogs::ShowPictureInfo(s, nullptr, messages);
        QVERIFY(!viewers.Opening());
        QVERIFY(script.shown.isEmpty());

        s.selected.fill(true);
        s.names[1] = QStringLiteral("bad.jpg");
        Open(s);
        QCOMPARE(OpenViewers().size(), 1);
        QCOMPARE(program.ViewerCount, qint16(1));
        s.names[0] = QStringLiteral("bad.jpg");
        dialogs::ShowPictureInfo(s, nullptr, messages);
        QCOMPARE(script.shown.size(), 2);
        QVERIFY(script.shown[0].kind == MsgKind::Error && script.shown[1].kind == MsgKind::Error);
    }

    void leftDragMovesUntilTheRelease()
    {
        Open(Files(1));
        ViewerWindow* v = OpenViewers().first();
        const QPoint start = v->pos();
        const QPoint grip = start + QPoint(5, 5);

        // The right button does not move it; Esc does nothing to a viewer.
        Mouse(v, QEvent::MouseButtonPress, grip, Qt::RightButton, Qt::RightButton);
        Mouse(v, QEvent::MouseMove, grip + QPoint(9, 9), Qt::NoButton, Qt::RightButton);
        Mouse(v, QEvent::MouseButtonRelease, grip + QPoint(9, 9), Qt::RightButton, {});
        QTest::keyClick(v, Qt::Key_Escape);
        QCOMPARE(v->pos(), start);
        QVERIFY(v->isVisible());

        // The left button: the window keeps the grip under the pointer from
        // the first motion on, and stops at the release.
        Mouse(v, QEvent::MouseButtonPress, grip, Qt::LeftButton, Qt::LeftButton);
        Mouse(v, QEvent::MouseMove, grip + QPoint(3, 2), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(v->pos(), start + QPoint(3, 2));
        Mouse(v, QEvent::MouseMove, grip + QPoint(40, -25), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(v->pos(), start + QPoint(40, -25));
        Mouse(v, QEvent::MouseButtonRelease, grip + QPoint(40, -25), Qt::LeftButton, {});
        Mouse(v, QEvent::MouseMove, grip + QPoint(90, 90), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(v->pos(), start + QPoint(40, -25));

        // Where the window system moves it, the move is handed over once per
        // press: motions it reports afterwards, as if the button were still
        // down, start nothing.
        SystemMoved moved(program);
        moved.move(start);
        Mouse(&moved, QEvent::MouseButtonPress, grip, Qt::LeftButton, Qt::LeftButton);
        for (int i = 1; i <= 3; ++i)
            Mouse(&moved, QEvent::MouseMove, grip + QPoint(i, i), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(moved.started, 1);
        QCOMPARE(moved.pos(), start + QPoint(1, 1));
        Mouse(&moved, QEvent::MouseButtonPress, grip, Qt::LeftButton, Qt::LeftButton);
        Mouse(&moved, QEvent::MouseMove, grip + QPoint(2, 0), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(moved.started, 2);
    }

    void informationShowsTheFirstSelectedImageUpright()
    {
        Selection s = Files(2);
        s.names.prepend(QStringLiteral("turned.jpg"));
        s.selected.prepend(false);
        s.names.append(QStringLiteral("turned.jpg"));
        s.selected.append(true);
        s.selected[2] = false;  // selected: p00.bmp (first) and turned.jpg (last)

        // The dialog as it shows, answered by Enter (OK, the default; Esc is no cancel button).
        const auto shown = [&] {
            QString seen;
            QTimer::singleShot(0, [&] {
                auto* dialog = qobject_cast<PictureInfoDialog*>(QApplication::activeModalWidget());
                QVERIFY(dialog && dialog->cmdOK->isDefault());
                for (const char* label : {"lblFileNm", "lblWidth", "lblHeight"})
                    seen += dialog->findChild<QLabel*>(QLatin1String(label))->text() + ' ';
                QTest::keyClick(dialog, Qt::Key_Escape);
                QVERIFY(dialog->isVisible());
                QTest::keyClick(dialog, Qt::Key_Return);
            });
            dialogs::ShowPictureInfo(s, nullptr, messages);
            return seen;
        };
        QCOMPARE(shown(), QStringLiteral("p00.bmp 30 20 "));
        // Stored 40 x 20 and marked to be turned a quarter: shown as 20 x 40.
        s.selected.fill(false);
        s.selected[3] = true;
        QCOMPARE(shown(), QStringLiteral("turned.jpg 20 40 "));
    }

    void aboutClosesOnEnterAndEsc()
    {
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
            QString seen;
            QTimer::singleShot(0, this, [&] {
                if (QWidget* box = QApplication::activeModalWidget()) {
                    seen = box->objectName();
                    QTest::keyClick(box, key);
                }
            });
            AboutDialog::ShowModal();  // returns only when the key closed the box
            QCOMPARE(seen, QStringLiteral("frmAbout"));
            QVERIFY(!QApplication::activeModalWidget());
        }
    }

    void outputSettingsRefuseABadSuffixOrSize()
    {
        // GPS kept, though it means nothing without the metadata.
        const output::Settings given{output::SizeMode::Box, QSize(1280, 960), 85, false, true, false, QStringLiteral("_小"), true,
                                     {QSize(640, 480)}, 500 * 1024, false};
        ScriptedMessages replies;
        MessageBoxes messages(&replies);
        OutputSettingsDialog dialog(given, messages);
        QCOMPARE(dialog.Result(), given);
        QVERIFY(!dialog.chkKeepGps->isEnabled());
        dialog.chkKeepMetadata->click();
        QVERIFY(dialog.chkKeepGps->isEnabled());
        emit dialog.cboPreset->activated(3);
        dialog.chkSkipUpToDate->click();

        dialog.txtSuffix->setText(QStringLiteral("a/b"));
        dialog.txtMoreBoxes[1]->setText(QStringLiteral("800×"));
        dialog.show();
        QTest::keyClick(&dialog, Qt::Key_Return);
        QVERIFY(dialog.isVisible());
        dialog.txtSuffix->setText(QStringLiteral("_small"));
        QTest::keyClick(&dialog, Qt::Key_Return);
        QVERIFY(dialog.isVisible());
        QCOMPARE(replies.Titled(), QStringList({QStringLiteral("警告:ファイル名に使えない文字（/）が含まれています。"),
                                                QStringLiteral("警告:大きさ（800×）が正しくありません。幅x高さで、各辺 1〜65500 ピクセルの数を入力してください。")}));
        QCOMPARE(dialog.focusWidget(), dialog.txtMoreBoxes[1]);
        // Empty fields and a size given twice add nothing.
        dialog.txtMoreBoxes[0]->clear();
        dialog.txtMoreBoxes[1]->setText(QStringLiteral(" 800x600 "));
        dialog.txtMoreBoxes[2]->setText(QStringLiteral("3840X2160"));
        dialog.txtMaxKilobytes->setValue(0);
        QTest::keyClick(&dialog, Qt::Key_Return);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        const output::Settings changed{output::SizeMode::Box, QSize(3840, 2160), 85, true, true, false, QStringLiteral("_small"), false,
                                       {QSize(800, 600)}, 0, false};
        QCOMPARE(dialog.Result(), changed);

        // What the dialog gives is what the settings file gives back, and
        // nothing of the two is stored while they are unused.
        QTemporaryDir folder;
        QSettings store(folder.filePath("z.ini"), QSettings::IniFormat);
        for (const output::Settings& shown : {given, changed}) {
            output::WriteSettings(store, OutputSettingsDialog(shown, messages).Result());
            QCOMPARE(output::ReadSettings(store), shown);
        }
        QVERIFY(!store.contains("Output/MaxKilobytes"));
        dialog.txtMoreBoxes[1]->clear();
        output::WriteSettings(store, dialog.Result());
        QVERIFY(!store.contains("Output/MoreBoxes"));
        dialog.optRatio->click();
        QCOMPARE(dialog.Result().Size, output::SizeMode::Ratio);

        QTimer::singleShot(0, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape); });
        QVERIFY(!OutputSettingsDialog::Ask(given, messages));
    }
};

QTEST_MAIN(ViewerWindows)
#include "tst_dialogs.moc"
