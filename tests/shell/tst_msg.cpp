// Message boxes: the save-error texts no run shows, a failed write's file on
// the real box, and the real question box answering No to a bare Enter.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "jpeg/jpeg.h"
#include "shell/msg.h"
#include "scriptedmessages.h"

class TstMsg : public QObject {
    Q_OBJECT

private slots:
    void init() { responder_ = ScriptedMessages(); }

    // The texts of the failures a run cannot provoke, and nothing for the rest.
    void saveErrors()
    {
        const QList<std::pair<int, QString>> codes = {
            {-2, "メモリが足りません。"}, {-6, "ファイル名が不正です。"},
            {-7, "対象となる画像が大きすぎて、保存が出来ません。"}, {-8, "予期しないエラーが発生しました。"},
            {0, ""}, {-1, ""}, {-9, ""}, {1, ""}};
        for (const auto& [code, text] : codes) {
            responder_.shown.clear();
            QCOMPARE(basMain::ShowSaveError(scripted_, static_cast<ModuleJPEG::JpegResult>(code), "/out/a.jpg"), text.isEmpty());
            QCOMPARE(responder_.Texts(), text.isEmpty() ? QStringList() : QStringList(text));
        }
    }

    // A failed write names its file on the real box's second line, shown as
    // plain text whatever characters the name holds.
    void saveErrorNamesTheFile()
    {
        const QString path = QStringLiteral("/out/<b>写真</b>.jpg");
        QStringList plainLines;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            for (const QLabel* label : box->findChildren<QLabel*>())
                if (label->textFormat() == Qt::PlainText && !label->text().isEmpty())
                    plainLines << label->text();
            box->accept();
        });
        QVERIFY(!basMain::ShowSaveError(boxes_, ModuleJPEG::JpegResult::PermissionDenied, path));
        QVERIFY2(plainLines.contains(QDir::toNativeSeparators(path)), qPrintable(plainLines.join('|')));
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
        // the box could skip.
        QTimer::singleShot(0, this, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                title = box->windowTitle();
                buttons = box->defaultButton()->text();
                QTest::keyClick(box, Qt::Key_Return);
            }
        });
        QCOMPARE(boxes_.ShowSkipQuestion(QStringLiteral("書き込み出来ません。"), QStringLiteral("/out/a.jpg")), MsgAnswer::No);
        QCOMPARE(title + '/' + buttons, QStringLiteral("エラー/中止"));

    }

private:
    ScriptedMessages responder_;
    clsMsg scripted_{&responder_};
    clsMsg boxes_;  // the real boxes
};

QTEST_MAIN(TstMsg)
#include "tst_msg.moc"
