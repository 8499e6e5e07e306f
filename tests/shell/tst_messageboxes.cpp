// Message boxes: a failed write's file on the real box, and the real boxes
// that ask answering No to a bare Enter.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>
#include <QTimer>
#include <optional>
#include <QtTest>

#include "shell/messageboxes.h"

class TstMsg : public QObject {
    Q_OBJECT

private slots:
    // A failed write names its file on the real box's second line, shown as
    // plain text whatever characters the name holds; the box does not wait.
    void saveErrorNamesTheFile()
    {
        const QString path = QStringLiteral("/out/<b>写真</b>.jpg");
        bool closed = false;
        const QPointer<QWidget> box = boxes_.OpenError(QStringLiteral("書き込み出来ません。"), path, this, [&] { closed = true; });
        QVERIFY(box && box->isVisible() && !closed);
        QStringList plainLines;
        for (const QLabel* label : box->findChildren<QLabel*>())
            if (label->textFormat() == Qt::PlainText && !label->text().isEmpty())
                plainLines << label->text();
        QVERIFY2(plainLines.contains(path), qPrintable(plainLines.join('|')));
        box->close();
        QVERIFY(closed);
    }

    // The real boxes that ask. The question: Esc must not close it (only Yes
    // or No may), and Enter straight away answers No, the default button.
    void realQuestionDefaultsToNo()
    {
        QString title;
        QString buttons;
        bool survivedEscape = false;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            title = box->windowTitle();
            buttons = box->button(QMessageBox::Yes)->text() + QLatin1Char('/') + box->button(QMessageBox::No)->text();
            QTest::keyClick(box, Qt::Key_Escape);
            survivedEscape = box->isVisible();
            QTest::keyClick(box, Qt::Key_Return);
        });
        QCOMPARE(boxes_.ShowQuestion(QStringLiteral("続けますか?")), MsgAnswer::No);
        QCOMPARE(title, QStringLiteral("質問"));
        QCOMPARE(buttons, QStringLiteral("はい(&Y)/いいえ(&N)"));
        QVERIFY(survivedEscape);

        // A failed picture's box: Enter is 中止, as it ended the run before
        // the box could skip; Alt+S skips.
        for (const auto& [key, modifier, answer] : {std::tuple{Qt::Key_Return, Qt::NoModifier, MsgAnswer::No},
                                                    {Qt::Key_S, Qt::AltModifier, MsgAnswer::Yes}}) {
            std::optional<MsgAnswer> given;
            const QPointer<QWidget> box = boxes_.OpenSkipQuestion(QStringLiteral("書き込み出来ません。"), QStringLiteral("/out/a.jpg"), this,
                                                                  [&given](MsgAnswer a) { given = a; });
            box->activateWindow();
            QVERIFY(box && QTest::qWaitForWindowActive(box));
            title = box->windowTitle() + '/' + qobject_cast<QMessageBox*>(box.data())->defaultButton()->text();
            QTest::keyClick(box, key, modifier);
            QTRY_VERIFY(given);  // an access key clicks a moment later
            QCOMPARE(*given, answer);
            QCOMPARE(title, QStringLiteral("エラー/中止(&C)"));
        }
    }

private:
    MessageBoxes boxes_;  // the real boxes
};

QTEST_MAIN(TstMsg)
#include "tst_messageboxes.moc"
