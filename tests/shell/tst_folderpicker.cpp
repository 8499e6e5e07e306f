// The output folder picker: the path form callers get, the real dialog
// driven offscreen (cancel leaving the folder alone), and the folder it
// remembers.
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "shell/folderpicker.h"

class TstFolderPicker : public QObject {
    Q_OBJECT

    QTemporaryDir store_;

private slots:
    // The dialog, for folders only, under the prompt, opens at home first,
    // then at the folder last confirmed, and at home again once that folder
    // is gone; cancelling leaves the caller's folder alone.
    void outputFolderRemembered()
    {
        const QString home = QDir::toNativeSeparators(QDir::homePath());
        QString folder;
        // The folder in the system's form, without a separator at the end but a root's.
        const auto root = [](QWidget*, const QString&) { return std::optional<QString>(QStringLiteral("/")); };
        QVERIFY(shell::BrowseForOutputFolder(root, nullptr, folder, QString()));
        QCOMPARE(folder, QDir::toNativeSeparators(QStringLiteral("/")));

        const shell::FolderPicker dialog = shell::OutputFolderDialog(base::SettingsStore(store_.filePath("z.ini")));
        const QString prompt = QStringLiteral("縮小した画像を出力するフォルダを選択してください。");
        auto out = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir(out->path()).mkdir(QStringLiteral("sub")));
        const QString sub = QDir::toNativeSeparators(out->filePath(QStringLiteral("sub")));
        QStringList seen;
        const auto answer = [&](bool accept) {
            QTimer::singleShot(0, this, [&, accept] {
                if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                    seen << QDir::toNativeSeparators(dialog->directory().absolutePath()) + dialog->windowTitle() +
                                QString::number(dialog->fileMode() == QFileDialog::Directory &&
                                                dialog->testOption(QFileDialog::ShowDirsOnly));
                    if (!accept)
                        return dialog->reject();
                    dialog->setDirectory(sub);
                    QMetaObject::invokeMethod(dialog, "accept");
                }
            });
        };
        answer(true);
        QVERIFY(shell::BrowseForOutputFolder(dialog, nullptr, folder, prompt));
        QCOMPARE(folder, sub);
        answer(false);
        QVERIFY(!shell::BrowseForOutputFolder(dialog, nullptr, folder, prompt));
        QCOMPARE(folder, sub);
        out.reset();
        answer(false);
        QVERIFY(!shell::BrowseForOutputFolder(dialog, nullptr, folder, prompt));
        QCOMPARE(seen, QStringList({home + prompt + "1", sub + prompt + "1", home + prompt + "1"}));
    }
};

QTEST_MAIN(TstFolderPicker)
#include "tst_folderpicker.moc"
