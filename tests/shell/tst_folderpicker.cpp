// The folder picker: the path form callers get, cancel leaving the folder
// alone, the real dialog driven offscreen, and the output folder it remembers.
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "shell/folderpicker.h"

class TstFolderPicker : public QObject {
    Q_OBJECT

    QTemporaryDir store_;

private slots:
    void initTestCase() { QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, store_.path()); }
    void cleanup() { basMain::SetFolderPicker({}); }

    void chosenPathForm()
    {
        QString prompt;
        QString answer;
        basMain::SetFolderPicker([&](QWidget*, const QString& p) -> std::optional<QString> {
            prompt = p;
            return answer;
        });
        QString folder = QStringLiteral("unchanged");
        answer = QStringLiteral("/");
        QVERIFY(basMain::BrowseForFolder(nullptr, folder, QStringLiteral("出力先")));
        QCOMPARE(prompt, QStringLiteral("出力先"));
        QCOMPARE(folder, QDir::toNativeSeparators(QStringLiteral("/")));  // a root keeps its separator
        answer = QStringLiteral("/tmp/out/");
        QVERIFY(basMain::BrowseForFolder(nullptr, folder, QString()));
        QCOMPARE(folder, QDir::toNativeSeparators(QStringLiteral("/tmp/out")));
    }

    void realDialogCancelAndConfirm()
    {
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        const QString prompt = QStringLiteral("縮小した画像を出力するフォルダを選択してください。");
        QString title;
        bool dirsOnly = false;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            title = dialog->windowTitle();
            dirsOnly = dialog->fileMode() == QFileDialog::Directory && dialog->testOption(QFileDialog::ShowDirsOnly);
            dialog->reject();
        });
        QString folder = temp.path();
        QVERIFY(!basMain::BrowseForFolder(nullptr, folder, prompt));
        QCOMPARE(folder, temp.path());
        QCOMPARE(title, prompt);
        QVERIFY(dirsOnly);

        QVERIFY(QDir(temp.path()).mkdir(QStringLiteral("out")));
        const QString target = temp.path() + QStringLiteral("/out");
        QTimer::singleShot(0, this, [&] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                dialog->setDirectory(target);
                QMetaObject::invokeMethod(dialog, "accept");
            }
        });
        folder.clear();
        QVERIFY(basMain::BrowseForFolder(nullptr, folder, prompt));
        QCOMPARE(folder, QDir::toNativeSeparators(target));
    }

    // The output picker opens at home first, then at the folder last
    // confirmed, and at home again once that folder is gone.
    void outputFolderRemembered()
    {
        const QString home = QDir::toNativeSeparators(QDir::homePath());
        QCOMPARE(basMain::OutputFolderStart(), home);
        auto out = std::make_unique<QTemporaryDir>();
        const QString chosen = QDir::toNativeSeparators(out->path());
        basMain::SetFolderPicker([&](QWidget*, const QString&) { return std::optional<QString>(out->path() + "/"); });
        QString folder;
        QVERIFY(basMain::BrowseForOutputFolder(nullptr, folder, QString()));
        QCOMPARE(folder, chosen);

        basMain::SetFolderPicker({});
        QString opened;
        QTimer::singleShot(0, this, [&] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                opened = QDir::toNativeSeparators(dialog->directory().absolutePath());
                dialog->reject();
            }
        });
        QVERIFY(!basMain::BrowseForOutputFolder(nullptr, folder, QString()));
        QCOMPARE(opened, chosen);
        out.reset();
        QCOMPARE(basMain::OutputFolderStart(), home);
    }
};

QTEST_MAIN(TstFolderPicker)
#include "tst_folderpicker.moc"
