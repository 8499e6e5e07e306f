// Viewer windows and the image information dialog, driven offscreen.
#include <QtTest>

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include "dialogs/frmimage.h"
#include "dialogs/frmoption.h"
#include "shell/basmain.h"
#include "shell/msg.h"
#include "scriptedmessages.h"

namespace {

class Selection final : public basMain::FileSelection {
public:
    int ListCount() const override { return static_cast<int>(names.size()); }
    bool Selected(int i) const override { return selected.value(i); }
    QString List(int i) const override { return names.value(i); }
    QString FolderText() const override { return folder; }
    QStringList names;
    QList<bool> selected;
    QString folder;
};

QList<frmImage*> OpenViewers()
{
    QList<frmImage*> viewers;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* v = qobject_cast<frmImage*>(w); v && v->isVisible())
            viewers << v;
    return viewers;
}

}  // namespace

class ViewerWindows : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    ScriptedMessages script;

    Selection Files(int count, const QString& stem = QStringLiteral("p"))
    {
        Selection s;
        s.folder = dir.path();
        for (int i = 0; i < count; ++i) {
            s.names << QStringLiteral("%1%2.bmp").arg(stem).arg(i, 2, 10, QLatin1Char('0'));
            s.selected << true;
        }
        return s;
    }

private slots:
    void initTestCase()
    {
        for (int i = 0; i < 25; ++i) {
            QImage image(30 + i, 20, QImage::Format_RGB32);
            image.fill(Qt::darkCyan);
            QVERIFY(image.save(dir.filePath(QStringLiteral("p%1.bmp").arg(i, 2, 10, QLatin1Char('0')))));
        }
        QImage large(640, 480, QImage::Format_RGB32);
        large.fill(Qt::yellow);
        QVERIFY(large.save(dir.filePath(QStringLiteral("large.jpg"))));
        QFile bad(dir.filePath(QStringLiteral("bad.jpg")));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("not a picture");
        bad.close();
        Msg().SetResponder(&script);
    }
    void cleanupTestCase() { Msg().SetResponder(nullptr); }
    void init() { script.shown.clear(); }
    void cleanup()
    {
        basViewers::mnuToolClose_Click();
        QCOMPARE(basMain::ViewerCount, qint16(0));
    }

    void nothingSelectedOpensNothing()
    {
        Selection s = Files(3);
        s.selected.fill(false);
        basViewers::mnuToolView_Click(s);
        QVERIFY(OpenViewers().isEmpty());
        QVERIFY(script.shown.isEmpty());
    }

    void twentyAtMostThenOneMessage()
    {
        basViewers::mnuToolView_Click(Files(25));
        QCOMPARE(OpenViewers().size(), 20);
        QCOMPARE(basMain::ViewerCount, qint16(20));
        QCOMPARE(script.shown.size(), 1);
        QCOMPARE(script.shown.first().text, QStringLiteral("一度に表示可能な画像は 20 までです。"));
        QCOMPARE(script.shown.first().kind, MsgKind::Warning);

        // Full: nothing opens. A double-click closes one and makes room for one.
        basViewers::mnuToolView_Click(Files(1));
        QCOMPARE(OpenViewers().size(), 20);
        QCOMPARE(script.shown.size(), 2);
        frmImage* first = OpenViewers().first();
        QTest::mouseDClick(first, Qt::LeftButton);
        QTRY_COMPARE(basMain::ViewerCount, qint16(19));
        basViewers::mnuToolView_Click(Files(1));
        QCOMPARE(basMain::ViewerCount, qint16(20));

        basViewers::mnuToolClose_Click();
        QCOMPARE(basMain::ViewerCount, qint16(0));
        QVERIFY(OpenViewers().isEmpty());
    }

    void viewerIsTheBarePictureAndMovesWithTheLeftButton()
    {
        basViewers::mnuToolView_Click(Files(1));
        QCOMPARE(OpenViewers().size(), 1);
        frmImage* v = OpenViewers().first();
        QCOMPARE(v->size(), QSize(30, 20));  // outer size = picture size
        QVERIFY(v->windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(!v->picMain->pixmap().isNull());

        const QPoint start = v->pos();
        QTest::mousePress(v, Qt::RightButton, {}, QPoint(5, 5));
        QTest::mouseMove(v, QPoint(15, 12));
        QTest::mouseRelease(v, Qt::RightButton, {}, QPoint(15, 12));
        QCOMPARE(v->pos(), start);

        // Esc does nothing to a viewer.
        QTest::keyClick(v, Qt::Key_Escape);
        QVERIFY(v->isVisible());
    }

    void unreadableFileStopsTheCommandAndKeepsEarlierViewers()
    {
        Selection s = Files(3);
        s.names[1] = QStringLiteral("bad.jpg");
        basViewers::mnuToolView_Click(s);
        QCOMPARE(OpenViewers().size(), 1);
        QCOMPARE(basMain::ViewerCount, qint16(1));
        QCOMPARE(script.shown.size(), 1);
        QCOMPARE(script.shown.first().kind, MsgKind::Error);
    }

    void informationShowsTheFirstSelectedImage()
    {
        Selection s = Files(2);
        s.names.prepend(QStringLiteral("large.jpg"));
        s.selected.prepend(false);
        s.names.append(QStringLiteral("large.jpg"));
        s.selected.append(true);
        s.selected[2] = false;  // selected: p00.bmp (first) and large.jpg (last)

        QString name, width, height;
        bool okIsDefault = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<frmOption*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            name = dialog->findChild<QLabel*>(QStringLiteral("lblFileNm"))->text();
            width = dialog->findChild<QLabel*>(QStringLiteral("lblWidth"))->text();
            height = dialog->findChild<QLabel*>(QStringLiteral("lblHeight"))->text();
            okIsDefault = dialog->cmdOK->isDefault();
            QTest::keyClick(dialog, Qt::Key_Escape);  // not the cancel button
            QVERIFY(dialog->isVisible());
            QTest::keyClick(dialog, Qt::Key_Return);
        });
        basViewers::mnuToolOption_Click(s, nullptr);
        QCOMPARE(name, QStringLiteral("p00.bmp"));
        QCOMPARE(width, QStringLiteral("30"));
        QCOMPARE(height, QStringLiteral("20"));
        QVERIFY(okIsDefault);
        QCOMPARE(basMain::InfoFilePath, basMain::JoinPath(dir.path(), QStringLiteral("p00.bmp")));

        // 640 x 480 reads as such at any twips per pixel.
        Selection one;
        one.folder = dir.path();
        one.names = {QStringLiteral("large.jpg")};
        one.selected = {true};
        QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
        basViewers::mnuToolOption_Click(one, nullptr);
        QCOMPARE(basMain::InfoWidth, 640);
        QCOMPARE(basMain::InfoHeight, 480);
    }

    void informationWithoutSelectionOrWithABadFile()
    {
        Selection none = Files(2);
        none.selected.fill(false);
        basViewers::mnuToolOption_Click(none, nullptr);  // no dialog: would block this test
        QVERIFY(script.shown.isEmpty());

        Selection bad;
        bad.folder = dir.path();
        bad.names = {QStringLiteral("bad.jpg")};
        bad.selected = {true};
        basViewers::mnuToolOption_Click(bad, nullptr);
        QCOMPARE(script.shown.size(), 1);
        QCOMPARE(script.shown.first().kind, MsgKind::Error);
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY(w->objectName() != QLatin1String("frmWork"));
    }
};

QTEST_MAIN(ViewerWindows)
#include "tst_viewers.moc"
