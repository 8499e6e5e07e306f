// The About box: its texts, its size, and Enter and Esc closing it.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "dialogs/frmabout.h"
#include "shell/twips.h"

class TstFrmAbout : public QObject {
    Q_OBJECT

private slots:
    void texts()
    {
        frmAbout box;
        QCOMPARE(box.windowTitle(), QStringLiteral("Zembrik\u3000のバージョン情報"));
        QCOMPARE(box.findChild<QLabel*>("lblTitle")->text(), QStringLiteral("Zembrik"));
        QCOMPARE(box.findChild<QLabel*>("lblVersion")->text(), QStringLiteral("Version 1.1.0"));
        QCOMPARE(box.findChild<QLabel*>("lblDescription")->text(),
                 QStringLiteral("指定したフォルダ内の JPEG・BMP・GIF 画像を、一括でサイズ変更し、JPEG 形式で保存します。\n"
                                "デジカメで撮った画像を、ホームページに掲載する目的でファイルサイズを小さくする場合などにご利用ください。"));
        QCOMPARE(box.findChild<QLabel*>("lblDisclaimer")->text().count(QLatin1Char('\n')), 2);
        QVERIFY(!box.findChild<QLabel*>("Image1")->pixmap().isNull());
        auto* ok = box.findChild<QPushButton*>("cmdOK");
        QCOMPARE(ok->text(), QStringLiteral("OK"));
        QVERIFY(ok->isDefault());
        QVERIFY(!(box.windowFlags() & Qt::WindowCloseButtonHint));
        const int tx = basMain::TwipsPerPixelX();
        const int ty = basMain::TwipsPerPixelY();
        QCOMPARE(box.size(), QSize(basMain::TwipsToPixels(5730, tx), basMain::TwipsToPixels(3555, ty)));
        // The white line of the separator lies one pixel below the grey one.
        QCOMPARE(box.findChild<QWidget*>("Line1_0")->y(), box.findChild<QWidget*>("Line1_1")->y() + 1);
    }

    void versionLine()
    {
        QCOMPARE(frmAbout::VersionLine(1, 2, 3), QStringLiteral("Version 1.2.3"));
    }

    void enterAndEscClose_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Enter") << int(Qt::Key_Return);
        QTest::newRow("Esc") << int(Qt::Key_Escape);
    }
    void enterAndEscClose()
    {
        QFETCH(int, key);
        QString seen;
        QTimer::singleShot(0, this, [&] {
            QWidget* box = QApplication::activeModalWidget();
            if (!box)
                return;
            seen = box->objectName();
            QTest::keyClick(box, Qt::Key(key));
        });
        frmAbout::ShowModal();  // returns only when the key closed the box
        QCOMPARE(seen, QStringLiteral("frmAbout"));
        QVERIFY(!QApplication::activeModalWidget());
    }
};

QTEST_MAIN(TstFrmAbout)
#include "tst_frmabout.moc"
