// The main window's menu bar and toolbar buttons.
#include "mainwin/menus.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include "mainwin/mainwindow.h"
#include "shell/icons.h"

namespace mainwin::menus {
namespace {

// The actions the toolbar shares with the menus.
struct ToolbarActions {
    QAction* Run;
    QAction* View;
    QAction* Close;
    QAction* Option;
};

QAction* AddCommand(MainWindow& window, QMenu* menu, const char* name, const QString& caption,
                    const QKeySequence& shortcut, void (MainWindow::*handler)())
{
    auto* action = new QAction(caption, &window);
    action->setObjectName(QString::fromLatin1(name));
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    QObject::connect(action, &QAction::triggered, &window, handler);
    menu->addAction(action);
    return action;
}

void AddSeparator(QMenu* menu, const char* name)
{
    menu->addSeparator()->setObjectName(QString::fromLatin1(name));
}

QMenu* AddMenu(MainWindow& window, const char* name, const QString& caption)
{
    QMenu* menu = window.menuBar()->addMenu(caption);
    menu->setObjectName(QString::fromLatin1(name));
    return menu;
}

// The texts keep the window's translation context: they are the window's captions.
ToolbarActions BuildMenus(MainWindow& window)
{
    ToolbarActions shared{};

    QMenu* file = AddMenu(window, "mnuFile", QCoreApplication::translate("MainWindow", "ファイル(&F)"));
    QAction* run = AddCommand(window, file, "mnuFileRun", QCoreApplication::translate("MainWindow", "サイズ変更(&R)..."),
                              QKeySequence(Qt::Key_F5), &MainWindow::ShrinkSelected);
    shared.Run = run;
    QAction* tree = AddCommand(window, file, "mnuFileTree",
                               QCoreApplication::translate("MainWindow", "フォルダをサブフォルダごと縮小(&T)..."), {},
                               &MainWindow::ShrinkFolderTree);
    // The run's action is the toolbar button's and F5's too, which bring the
    // progress window forward during a run: only the menu shows it disabled,
    // and the tree command with it.
    QObject::connect(file, &QMenu::aboutToShow, &window, [&window, run, tree] {
        run->setEnabled(!window.RunGoingOn());
        tree->setEnabled(!window.RunGoingOn());
    });
    QObject::connect(file, &QMenu::aboutToHide, &window, [run, tree] {
        run->setEnabled(true);
        tree->setEnabled(true);
    });
    AddSeparator(file, "mnuFileBar0");
    AddCommand(window, file, "mnuFileEnd", QCoreApplication::translate("MainWindow", "終了(&X)"), {},
               &MainWindow::Quit);

    QMenu* view = AddMenu(window, "mnuView", QCoreApplication::translate("MainWindow", "表示(&V)"));
    AddCommand(window, view, "mnuViewReversal", QCoreApplication::translate("MainWindow", "選択反転(&R)"),
               QKeySequence(Qt::CTRL | Qt::Key_R), &MainWindow::InvertSelection);
    AddSeparator(view, "mnuViewBar0");
    AddCommand(window, view, "mnuViewAll", QCoreApplication::translate("MainWindow", "すべて選択(&A)"),
               QKeySequence(Qt::CTRL | Qt::Key_A), &MainWindow::SelectAllFiles);

    QMenu* tool = AddMenu(window, "mnuTool", QCoreApplication::translate("MainWindow", "ツール(&T)"));
    shared.View = AddCommand(window, tool, "mnuToolView", QCoreApplication::translate("MainWindow", "画像を表示(&V)..."),
                             QKeySequence(Qt::Key_F2), &MainWindow::ViewSelected);
    shared.Close = AddCommand(window, tool, "mnuToolClose", QCoreApplication::translate("MainWindow", "画像を閉じる(&C)"),
                              {}, &MainWindow::CloseViewers);
    AddSeparator(tool, "mnuToolBar0");
    shared.Option = AddCommand(window, tool, "mnuToolOption", QCoreApplication::translate("MainWindow", "画像情報(&O)..."),
                               {}, &MainWindow::ShowPictureInfo);
    AddCommand(window, tool, "mnuToolOutput", QCoreApplication::translate("MainWindow", "出力の設定(&S)..."), {},
               &MainWindow::EditOutputSettings);

    QMenu* help = AddMenu(window, "mnuHelp", QCoreApplication::translate("MainWindow", "ヘルプ(&H)"));
    AddCommand(window, help, "mnuHelpAll", QCoreApplication::translate("MainWindow", "ヘルプ(&H)..."), {},
               &MainWindow::ShowHelpContents);
    AddCommand(window, help, "mnuHelpTopic", QCoreApplication::translate("MainWindow", "トピックの検索(&C)..."), {},
               &MainWindow::SearchHelp);
    AddSeparator(help, "mnuHelpBar0");
    AddCommand(window, help, "mnuHelpVersion", QCoreApplication::translate("MainWindow", "バージョン(&A)..."), {},
               &MainWindow::ShowAbout);
    return shared;
}

void AddButtons(QToolBar& toolbar, const ToolbarActions& actions)
{
    struct Button {
        QAction* action;
        const char* key;
        QString tip;
    };
    const Button buttons[] = {
        {actions.Run, "RUN", QCoreApplication::translate("MainWindow", "サイズ変更")},
        {actions.View, "VIEW", QCoreApplication::translate("MainWindow", "画像を表示")},
        {actions.Close, "CLOSE", QCoreApplication::translate("MainWindow", "画像を閉じる")},
        {actions.Option, "OPTION", QCoreApplication::translate("MainWindow", "画像情報")},
    };
    int position = 0;
    for (const Button& b : buttons) {
        // Separators after the first and the third button.
        if (position == 1 || position == 3)
            toolbar.addSeparator();
        b.action->setIcon(shell::ToolbarIcon(QString::fromLatin1(b.key)));
        // The pictures belong to the toolbar; the menus show captions only.
        b.action->setIconVisibleInMenu(false);
        // Menus show no tooltips, so the shared action's tooltip is the button's alone.
        b.action->setToolTip(b.tip);
        toolbar.addAction(b.action);
        if (QWidget* button = toolbar.widgetForAction(b.action))
            button->setObjectName(QStringLiteral("tlbMain_") + QString::fromLatin1(b.key));
        ++position;
    }
}

}  // namespace

void Build(MainWindow& window, QToolBar& toolbar)
{
    AddButtons(toolbar, BuildMenus(window));
}

}  // namespace mainwin::menus
