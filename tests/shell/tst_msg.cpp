// Message boxes: titles and kinds, the save-error texts, and the real
// question box answering No to a bare Enter.
#include <QApplication>
#include <QDir>
#include <QLabel>
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

        const QList<Shown> expected = {{MsgKind::Error, QStringLiteral("エラー"), QStringLiteral("e")},
                                       {MsgKind::Warning, QStringLiteral("警告"), QStringLiteral("w")},
                                       {MsgKind::Information, QStringLiteral("情報"), QStringLiteral("i")},
                                       {MsgKind::Question, QStringLiteral("質問"), QStringLiteral("q")}};
        QCOMPARE(responder_.shown.size(), 5);
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(responder_.shown[i].kind, expected[i].kind);
            QCOMPARE(responder_.shown[i].title, expected[i].title);
            QCOMPARE(responder_.shown[i].text, expected[i].text);
        }
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
        for (const int code : {0, -1, -9, 1}) {
            QVERIFY2(basMain::ShowSaveError(static_cast<ModuleJPEG::JpegResult>(code)), qPrintable(QString::number(code)));
            QVERIFY(basMain::ShowSaveError(static_cast<ModuleJPEG::JpegResult>(code), QStringLiteral("/out/a.jpg")));
        }
        QVERIFY(responder_.shown.isEmpty());
    }

    // A failed write names its file on the real box's second line, shown as
    // plain text whatever characters the name holds.
    void saveErrorNamesTheFile()
    {
        const QString path = QStringLiteral("/out/<b>写真</b>.jpg");
        Msg().SetResponder(nullptr);
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
        QVERIFY(!basMain::ShowSaveError(ModuleJPEG::JpegResult::PermissionDenied, path));
        QVERIFY2(plainLines.contains(QDir::toNativeSeparators(path)), qPrintable(plainLines.join('|')));
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

private:
    ScriptedResponder responder_;
};

QTEST_MAIN(TstMsg)
#include "tst_msg.moc"
