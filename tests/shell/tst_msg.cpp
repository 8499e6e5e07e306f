// Message boxes: titles and kinds, the save-error texts, and the real
// question box answering No to a bare Enter.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "shell/msg.h"

namespace {

struct Shown {
    MsgKind kind;
    QString title;
    QString text;
};

class ScriptedResponder final : public MessageResponder {
public:
    MsgAnswer Show(MsgKind kind, const QString& title, const QString& text) override
    {
        shown.append({kind, title, text});
        return answer;
    }
    QList<Shown> shown;
    MsgAnswer answer = MsgAnswer::Yes;
};

}  // namespace

class TstMsg : public QObject {
    Q_OBJECT

private slots:
    void init() { Msg().SetResponder(&responder_); responder_ = ScriptedResponder(); }
    void cleanup() { Msg().SetResponder(nullptr); }

    void kindsAndTitles()
    {
        Msg().ShowError(QStringLiteral("e"));
        Msg().ShowMessage(QStringLiteral("w"));
        Msg().ShowInformation(QStringLiteral("i"));
        responder_.answer = MsgAnswer::No;
        QCOMPARE(Msg().ShowQuestion(QStringLiteral("q")), MsgAnswer::No);
        responder_.answer = MsgAnswer::Yes;
        QCOMPARE(Msg().ShowQuestion(QStringLiteral("q")), MsgAnswer::Yes);

        const QList<Shown>& s = responder_.shown;
        QCOMPARE(s.size(), 5);
        QCOMPARE(s[0].kind, MsgKind::Error);
        QCOMPARE(s[0].title, QStringLiteral("エラー"));
        QCOMPARE(s[1].kind, MsgKind::Warning);
        QCOMPARE(s[1].title, QStringLiteral("警告"));
        QCOMPARE(s[2].kind, MsgKind::Information);
        QCOMPARE(s[2].title, QStringLiteral("情報"));
        QCOMPARE(s[3].kind, MsgKind::Question);
        QCOMPARE(s[3].title, QStringLiteral("質問"));
        QCOMPARE(s[2].text, QStringLiteral("i"));
        QCOMPARE(static_cast<int>(MsgAnswer::Yes), 6);
        QCOMPARE(static_cast<int>(MsgAnswer::No), 7);
    }

    void saveErrors_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("-2") << -2 << QStringLiteral("メモリが足りません。");
        QTest::newRow("-3") << -3 << QStringLiteral("ディスク容量が足りません。");
        QTest::newRow("-4") << -4 << QStringLiteral("書き込み出来ません。");
        QTest::newRow("-5") << -5 << QStringLiteral("ディスクがセットされていません。");
        QTest::newRow("-6") << -6 << QStringLiteral("ファイル名が不正です。");
        QTest::newRow("-7") << -7 << QStringLiteral("対象となる画像が大きすぎて、保存が出来ません。");
        QTest::newRow("-8") << -8 << QStringLiteral("予期しないエラーが発生しました。");
    }
    void saveErrors()
    {
        QFETCH(int, code);
        QFETCH(QString, text);
        QVERIFY(!basMain::ShowSaveError(static_cast<ModuleJPEG::JpegResult>(code)));
        QCOMPARE(responder_.shown.size(), 1);
        QCOMPARE(responder_.shown[0].kind, MsgKind::Error);
        QCOMPARE(responder_.shown[0].title, QStringLiteral("エラー"));
        QCOMPARE(responder_.shown[0].text, text);
    }

    void nonFailuresShowNothing()
    {
        for (const int code : {0, -1, -9, 1})
            QVERIFY2(basMain::ShowSaveError(static_cast<ModuleJPEG::JpegResult>(code)), qPrintable(QString::number(code)));
        QVERIFY(responder_.shown.isEmpty());
    }

    // The real box: Esc must not close it (only Yes or No may), and Enter
    // straight away answers No, the default button.
    void realQuestionDefaultsToNo()
    {
        Msg().SetResponder(nullptr);
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
        QCOMPARE(Msg().ShowQuestion(QStringLiteral("続けますか?")), MsgAnswer::No);
        QCOMPARE(title, QStringLiteral("質問"));
        QCOMPARE(buttons, QStringLiteral("はい(&Y)/いいえ(&N)"));
        QVERIFY(survivedEscape);
    }

    void realErrorBoxClosesOnEnter()
    {
        Msg().SetResponder(nullptr);
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            icon = box->icon();
            QTest::keyClick(box, Qt::Key_Return);
        });
        Msg().ShowError(QStringLiteral("x"));
        QCOMPARE(icon, QMessageBox::Critical);
    }

private:
    ScriptedResponder responder_;
};

QTEST_MAIN(TstMsg)
#include "tst_msg.moc"
