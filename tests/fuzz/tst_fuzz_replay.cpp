// Every input the fuzz target ever broke the per-image path with, taken
// through that path again: each must now come back with every promise kept.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "fuzz/picturepath.h"

class TestFuzzReplay : public QObject {
    Q_OBJECT
private slots:
    void findings_data();
    void findings();
};

void TestFuzzReplay::findings_data()
{
    QTest::addColumn<QString>("path");
    const QDir folder(QStringLiteral(ZEMBRIK_FUZZ_FINDINGS));
    const QStringList names = folder.entryList(QDir::Files, QDir::Name);
    QVERIFY(!names.isEmpty());
    for (const QString& name : names)
        QTest::newRow(qPrintable(name)) << folder.filePath(name);
}

void TestFuzzReplay::findings()
{
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray input = file.readAll();
    QTemporaryDir work;
    QVERIFY(work.isValid());
    const QString fault = fuzz::RunPicturePath(reinterpret_cast<const std::uint8_t*>(input.constData()),
                                                  static_cast<std::size_t>(input.size()), work.path());
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
}

QTEST_GUILESS_MAIN(TestFuzzReplay)
#include "tst_fuzz_replay.moc"
