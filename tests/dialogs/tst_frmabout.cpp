// The About box: Enter and Esc both close it.
#include <QApplication>
#include <QTimer>
#include <QtTest>

#include "dialogs/frmabout.h"

class TstFrmAbout : public QObject {
    Q_OBJECT

private slots:
    void enterAndEscClose()
    {
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
            QString seen;
            QTimer::singleShot(0, this, [&] {
                if (QWidget* box = QApplication::activeModalWidget()) {
                    seen = box->objectName();
                    QTest::keyClick(box, key);
                }
            });
            frmAbout::ShowModal();  // returns only when the key closed the box
            QCOMPARE(seen, QStringLiteral("frmAbout"));
            QVERIFY(!QApplication::activeModalWidget());
        }
    }
};

QTEST_MAIN(TstFrmAbout)
#include "tst_frmabout.moc"
