// The help window: one window reused, contents and an empty focused keyword
// search, the page's index, a missing file reported in the page only; the
// English page beside the Japanese one and the window in English.
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

#include "base/language.h"
#include "shell/program.h"
#include "shell/help.h"

class TstHelp : public QObject {
    Q_OBJECT

    shell::ProgramState program_;
    shell::Help help_{program_};

    template <typename T>
    T* Child(const char* name)
    {
        return help_.HelpWindow() ? help_.HelpWindow()->findChild<T*>(QLatin1String(name)) : nullptr;
    }

private slots:
    void cleanup()
    {
        help_.CloseHelp();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void contentsThenSearchReuseOneWindow()
    {
        // Beside an executable in a root folder the path holds a doubled separator.
        QTemporaryDir temp;
        QVERIFY(QFile::copy(QStringLiteral(ZEMBRIK_HELP_FILE), temp.path() + QStringLiteral("/Kolvane.html")));
        program_.HelpFilePath = temp.path() + QStringLiteral("//Kolvane.html");
        help_.ShowHelpContents(nullptr);
        QWidget* window = help_.HelpWindow();
        QVERIFY(window && window->isVisible());
        QVERIFY(!window->testAttribute(Qt::WA_QuitOnClose));
        QCOMPARE(Child<QTabWidget>("tabHelp")->currentIndex(), 0);
        auto* contents = Child<QListWidget>("lstContents");
        QVERIFY(contents->count() >= 10);  // the real page's topics
        QCOMPARE(contents->item(0)->text(), QStringLiteral("Zembrik について"));
        QVERIFY(contents->sizeHintForColumn(0) <= contents->viewport()->width());  // no title cut short
        QVERIFY(Child<QTextBrowser>("txtPage")->toPlainText().contains(QStringLiteral("縮小率")));

        auto* keyword = Child<QLineEdit>("txtKeyword");
        keyword->setText(QStringLiteral("old"));
        help_.ShowHelpSearch(nullptr);
        QCOMPARE(help_.HelpWindow(), window);
        QCOMPARE(Child<QTabWidget>("tabHelp")->currentIndex(), 1);
        QVERIFY(keyword->text().isEmpty());
        QCOMPARE(window->focusWidget(), keyword);
        auto* keywords = Child<QListWidget>("lstKeywords");
        const int all = keywords->count();
        QVERIFY(all >= 20);

        // Typing filters the list; Enter jumps to the first match's topic.
        auto* page = Child<QTextBrowser>("txtPage");
        page->verticalScrollBar()->setValue(0);
        keyword->setText(QStringLiteral("zembrik-batch"));
        QCOMPARE(keywords->count(), 1);
        // Letter case and full or half width do not matter; blanks find all.
        for (const char* text : {"jpeg", "ＪＰＥＧ"}) {
            keyword->setText(QString::fromUtf8(text));
            QCOMPARE(keywords->count(), 2);
        }
        keyword->setText(QStringLiteral("zzz"));
        QCOMPARE(keywords->count(), 0);
        keyword->setText(QStringLiteral(" "));
        QCOMPARE(keywords->count(), all);
        // Keywords that start with the text come before a match inside a word.
        keyword->setText(QStringLiteral("ドラ"));
        QCOMPARE(keywords->item(0)->text(), QStringLiteral("ドライブ"));
        QCOMPARE(keywords->item(keywords->count() - 1)->text(), QStringLiteral("コマンドライン"));
        QTest::keyClick(keyword, Qt::Key_Return);
        QVERIFY(page->verticalScrollBar()->value() > 0);

        QPointer<QWidget> closing = window;
        help_.CloseHelp();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!closing && !help_.HelpWindow());
    }

    // The English page has the Japanese page's topics and an index that
    // leads to the same places; the window's own texts are English too.
    void englishPageAndWindow()
    {
        const auto anchors = [](const char* path) {
            QFile file(QString::fromUtf8(path));
            QTextDocument page;
            page.setHtml(file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString());
            const shell::HelpIndex index = shell::ReadHelpIndex(page);
            QStringList topics, keywords;
            for (const shell::HelpTopic& topic : index.Topics)
                topics << topic.Anchor;
            for (const shell::HelpTopic& keyword : index.Keywords)
                keywords << keyword.Anchor;
            keywords.sort();
            return topics.join(' ') + " | " + keywords.join(' ');
        };
        QCOMPARE(anchors(ZEMBRIK_HELP_FILE_EN), anchors(ZEMBRIK_HELP_FILE));

        const base::Translations texts(base::Language::English);
        program_.HelpFilePath = QStringLiteral(ZEMBRIK_HELP_FILE_EN);
        help_.ShowHelpSearch(nullptr);
        auto* tabs = Child<QTabWidget>("tabHelp");
        QCOMPARE(help_.HelpWindow()->windowTitle() + "|" + tabs->tabText(0) + "|" + tabs->tabText(1),
                 QStringLiteral("Zembrik Help|Contents|Keywords"));
    }

    void helpFileBesideOrInstalled()
    {
        QTemporaryDir prefix;
        const QString bin = prefix.path() + QStringLiteral("/bin");
        const QString installed = prefix.path() + QStringLiteral("/share/zembrik/Kolvane.html");
        QVERIFY(QDir().mkpath(bin) && QDir().mkpath(prefix.path() + QStringLiteral("/share/zembrik")));
        // Neither there: the path beside the executable, for the window to name.
        QCOMPARE(shell::HelpFileIn(bin), bin + QStringLiteral("/Kolvane.html"));
        QVERIFY(QFile::copy(QStringLiteral(ZEMBRIK_HELP_FILE), installed));
        QCOMPARE(shell::HelpFileIn(bin), installed);
        // A page beside the executable (a build folder) comes first.
        QVERIFY(QFile::copy(QStringLiteral(ZEMBRIK_HELP_FILE), bin + QStringLiteral("/Kolvane.html")));
        QCOMPARE(shell::HelpFileIn(bin), bin + QStringLiteral("/Kolvane.html"));
    }

    void missingFileNoMessageBox()
    {
        QTemporaryDir temp;
        program_.HelpFilePath = temp.path() + QStringLiteral("//Kolvane.html");
        help_.ShowHelpContents(nullptr);
        help_.ShowHelpSearch(nullptr);
        QVERIFY(Child<QTextBrowser>("txtPage")->toPlainText().contains(QStringLiteral("見つかりません")));
        QCOMPARE(Child<QLineEdit>("txtKeyword")->text(), QString());
    }
};

QTEST_MAIN(TstHelp)
#include "tst_help.moc"
