// The output folder picker: the path form callers get, the real dialog
// driven offscreen (cancel leaving the folder alone), and the folder it
// remembers.
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

    // The output picker opens at home first, then at the folder last
    // confirmed, and at home again once that folder is gone.
    void outputFolderRemembered()
    {
        const QString home = QDir::toNativeSeparators(QDir::homePath());
        QCOMPARE(basMain::OutputFolderStart(), home);
        auto out = std::make_unique<QTemporaryDir>();
        const QString chosen = QDir::toNativeSeparators(out->path());
        const auto picker = [&](QWidget*, const QString&) { return std::optional<QString>(out->path() + "/"); };
        QString folder;
        // The folder in the system's form, without a separator at the end but a root's.
        const auto root = [](QWidget*, const QString&) { return std::optional<QString>(QStringLiteral("/")); };
        QVERIFY(basMain::BrowseForOutputFolder(root, nullptr, folder, QString()));
        QCOMPARE(folder, QDir::toNativeSeparators(QStringLiteral("/")));
        QVERIFY(basMain::BrowseForOutputFolder(picker, nullptr, folder, QString()));
        QCOMPARE(folder, chosen);

        // The real dialog, for folders only, under the prompt: cancelled, then confirmed.
        const QString prompt = QStringLiteral("縮小した画像を出力するフォルダを選択してください。");
        QVERIFY(QDir(out->path()).mkdir(QStringLiteral("sub")));
        QStringList seen;
        const auto answer = [&](bool accept) {
            QTimer::singleShot(0, this, [&, accept] {
                if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                    seen << QDir::toNativeSeparators(dialog->directory().absolutePath()) + dialog->windowTitle() +
                                QString::number(dialog->fileMode() == QFileDialog::Directory &&
                                                dialog->testOption(QFileDialog::ShowDirsOnly));
                    if (!accept)
                        return dialog->reject();
                    dialog->setDirectory(out->filePath(QStringLiteral("sub")));
                    QMetaObject::invokeMethod(dialog, "accept");
                }
            });
        };
        answer(false);
        QVERIFY(!basMain::BrowseForOutputFolder({}, nullptr, folder, prompt));
        QCOMPARE(folder, chosen);
        answer(true);
        QVERIFY(basMain::BrowseForOutputFolder({}, nullptr, folder, prompt));
        QCOMPARE(folder, QDir::toNativeSeparators(out->filePath(QStringLiteral("sub"))));
        QCOMPARE(seen, QStringList({chosen + prompt + "1", chosen + prompt + "1"}));
        out.reset();
        QCOMPARE(basMain::OutputFolderStart(), home);
    }
};

QTEST_MAIN(TstFolderPicker)
#include "tst_folderpicker.moc"
