// The help window: a contents list and a keyword search beside a browser that
// shows the help page.
#include "shell/help.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QUrl>
#include <QVBoxLayout>

#include "shell/program.h"
#include "shell/icons.h"

namespace shell {
namespace {

const QString KeywordsAnchor = QStringLiteral("keywords");
constexpr int AnchorRole = Qt::UserRole;

QString Folded(const QString& text)
{
    return text.normalized(QString::NormalizationForm_KC).toCaseFolded();
}

}  // namespace

class Help::Window final : public QWidget {
    Q_DECLARE_TR_FUNCTIONS(HelpViewer)

public:
    Window()
    {
        setObjectName(QStringLiteral("frmHelp"));
        setWindowTitle(tr("%1 ヘルプ").arg(base::AppTitle));
        setWindowIcon(ProgramIcon());
        setAttribute(Qt::WA_DeleteOnClose);
        // Help alone never keeps the program running once the main window is gone.
        setAttribute(Qt::WA_QuitOnClose, false);

        tabs_ = new QTabWidget;
        tabs_->setObjectName(QStringLiteral("tabHelp"));

        contents_ = new QListWidget;
        contents_->setObjectName(QStringLiteral("lstContents"));
        tabs_->addTab(contents_, tr("目次"));

        auto* search = new QWidget;
        auto* prompt = new QLabel(tr("探したい語を入力してください(&K):"));
        keyword_ = new QLineEdit;
        keyword_->setObjectName(QStringLiteral("txtKeyword"));
        keyword_->setClearButtonEnabled(true);
        prompt->setBuddy(keyword_);
        keywords_ = new QListWidget;
        keywords_->setObjectName(QStringLiteral("lstKeywords"));
        auto* show = new QPushButton(tr("表示(&D)"));
        show->setObjectName(QStringLiteral("cmdShow"));
        auto* searchLayout = new QVBoxLayout(search);
        searchLayout->addWidget(prompt);
        searchLayout->addWidget(keyword_);
        searchLayout->addWidget(keywords_, 1);
        searchLayout->addWidget(show, 0, Qt::AlignRight);
        tabs_->addTab(search, tr("キーワード"));

        page_ = new QTextBrowser;
        page_->setObjectName(QStringLiteral("txtPage"));
        page_->setOpenExternalLinks(true);

        auto* splitter = new QSplitter;
        splitter->addWidget(tabs_);
        splitter->addWidget(page_);
        splitter->setStretchFactor(1, 1);
        splitter->setSizes({220, 560});
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(4, 4, 4, 4);
        layout->addWidget(splitter);
        resize(800, 560);

        connect(contents_, &QListWidget::itemActivated, this, &Window::GoToItem);
        connect(contents_, &QListWidget::itemClicked, this, &Window::GoToItem);
        connect(keywords_, &QListWidget::itemActivated, this, &Window::GoToItem);
        connect(keywords_, &QListWidget::itemClicked, this, &Window::GoToItem);
        connect(keyword_, &QLineEdit::textChanged, this, &Window::Filter);
        connect(keyword_, &QLineEdit::returnPressed, this, &Window::Search);
        connect(show, &QPushButton::clicked, this, &Window::Search);
    }

    // Loads the help file when it is not shown yet (the first time, or after
    // it was missing or moved).
    void Load(const QString& helpFilePath)
    {
        const QString path = QDir::cleanPath(QDir::fromNativeSeparators(helpFilePath));
        if (path == loadedPath_)
            return;
        if (QFileInfo(path).isFile()) {
            page_->setSource(QUrl::fromLocalFile(path));
            loadedPath_ = path;
        } else {
            // No message box: the help window itself says what is wrong.
            page_->setHtml(tr("<h2>ヘルプ ファイルが見つかりません</h2><p>%1</p>")
                               .arg(QDir::toNativeSeparators(path).toHtmlEscaped()));
            loadedPath_.clear();
        }
        const HelpIndex index = ReadHelpIndex(*page_->document());
        Fill(contents_, index.Topics);
        allKeywords_ = index.Keywords;
        Fill(keywords_, allKeywords_);
        // The pane never cuts a title short: it is at least as wide as the longest.
        for (QListWidget* list : {contents_, keywords_})
            list->setMinimumWidth(list->sizeHintForColumn(0) + 2 * list->frameWidth() +
                                  list->verticalScrollBar()->sizeHint().width());
        Filter(keyword_->text());
    }

    void ShowContents()
    {
        tabs_->setCurrentIndex(0);
        page_->verticalScrollBar()->setValue(0);
        contents_->setFocus();
    }

    void ShowSearch()
    {
        tabs_->setCurrentIndex(1);
        keyword_->clear();
        Filter(QString());
        keyword_->setFocus();
    }

private:
    static void Fill(QListWidget* list, const QList<HelpTopic>& topics)
    {
        list->clear();
        for (const HelpTopic& topic : topics) {
            auto* item = new QListWidgetItem(topic.Title, list);
            item->setData(AnchorRole, topic.Anchor);
        }
    }

    void GoToItem(QListWidgetItem* item)
    {
        if (item)
            page_->scrollToAnchor(item->data(AnchorRole).toString());
    }

    void Filter(const QString& text)
    {
        Fill(keywords_, FilterKeywords(allKeywords_, text));
        if (keywords_->count() > 0)
            keywords_->setCurrentRow(0);
    }

    // Enter in the search field: the first matching keyword, or else the next
    // place in the page where the text stands.
    void Search()
    {
        const QString text = keyword_->text().trimmed();
        if (QListWidgetItem* item = keywords_->currentItem(); item && !text.isEmpty()) {
            GoToItem(item);
            return;
        }
        if (text.isEmpty())
            return;
        if (!page_->find(text)) {
            page_->moveCursor(QTextCursor::Start);
            page_->find(text);
        }
    }

    QTabWidget* tabs_ = nullptr;
    QListWidget* contents_ = nullptr;
    QLineEdit* keyword_ = nullptr;
    QListWidget* keywords_ = nullptr;
    QTextBrowser* page_ = nullptr;
    QList<HelpTopic> allKeywords_;
    QString loadedPath_;
};

Help::~Help()
{
    delete window_;
}

Help::Window* Help::Open(QWidget* form)
{
    if (!window_) {
        // No parent: the help window is a window of its own, not one that
        // stays above the main window or is minimised with it.
        window_ = new Window;
        const QScreen* screen = form ? form->screen() : QGuiApplication::primaryScreen();
        if (screen) {
            QRect place = window_->frameGeometry();
            place.moveCenter(screen->availableGeometry().center());
            window_->move(place.topLeft());
        }
    }
    window_->Load(program_.HelpFilePath);
    window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->show();
    window_->raise();
    window_->activateWindow();
    return window_;
}

void Help::ShowHelpContents(QWidget* form)
{
    Open(form)->ShowContents();
}

void Help::ShowHelpSearch(QWidget* form)
{
    Open(form)->ShowSearch();
}

void Help::CloseHelp()
{
    if (window_)
        window_->close();
}

QWidget* Help::HelpWindow() const
{
    return window_;
}

HelpIndex ReadHelpIndex(const QTextDocument& page)
{
    HelpIndex index;
    bool inKeywords = false;
    for (QTextBlock block = page.begin(); block.isValid(); block = block.next()) {
        QString anchor;
        QList<HelpTopic> links;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            if (anchor.isEmpty() && !format.anchorNames().isEmpty())
                anchor = format.anchorNames().first();
            const QString href = format.anchorHref();
            if (format.isAnchor() && href.startsWith(QLatin1Char('#')) && href.size() > 1)
                links.append({fragment.text().trimmed(), href.mid(1)});
        }
        if (block.blockFormat().headingLevel() == 2 && !anchor.isEmpty()) {
            index.Topics.append({block.text().trimmed(), anchor});
            inKeywords = anchor == KeywordsAnchor;
        } else if (inKeywords) {
            index.Keywords.append(links);
        }
    }
    return index;
}

QList<HelpTopic> FilterKeywords(const QList<HelpTopic>& keywords, const QString& text)
{
    const QString wanted = Folded(text.trimmed());
    if (wanted.isEmpty())
        return keywords;
    // What starts with the text is what the user is spelling; a match inside
    // a word comes after it.
    QList<HelpTopic> starting;
    QList<HelpTopic> inside;
    for (const HelpTopic& keyword : keywords) {
        const QString title = Folded(keyword.Title);
        if (title.startsWith(wanted))
            starting.append(keyword);
        else if (title.contains(wanted))
            inside.append(keyword);
    }
    return starting + inside;
}

}  // namespace shell
