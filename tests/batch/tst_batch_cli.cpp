// zembrik-batch as a script sees it: usage errors, exit status, --help and
// --version, and a run that goes on past a failing file.
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run {
    int Status = -1;
    QString Out;
    QString Err;
};

Run Batch(const QStringList& args)
{
    QProcess process;
    process.start(QStringLiteral(ZEMBRIK_BATCH_EXE), args);
    Run run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.Status = process.exitCode();
    run.Out = QString::fromUtf8(process.readAllStandardOutput());
    run.Err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

}  // namespace

class TestBatchCli : public QObject {
    Q_OBJECT
private slots:
    void usage();
    void goesOnPastAFailure();
};

void TestBatchCli::usage()
{
    const Run help = Batch({"--help"});
    QCOMPARE(help.Status, 0);
    QVERIFY(help.Out.startsWith("Usage: zembrik-batch [-r PERCENT] [-j THREADS] -o OUTDIR FILE..."));
    const Run version = Batch({"--version"});
    QCOMPARE(version.Status, 0);
    QCOMPARE(version.Out, QString("zembrik-batch (Zembrik) 1.1.0\n"));

    QTemporaryDir dir;
    const QList<QStringList> bad = {{},   {"-x", "-o", dir.path(), "a.jpg"}, {"a.jpg"}, {"-o", dir.path()}, {"-o"},
                                    {"-j0", "-o", dir.path(), "a.jpg"}, {"-j", "two", "-o", dir.path(), "a.jpg"}};
    for (const QStringList& args : bad) {
        const Run run = Batch(args);
        QCOMPARE(run.Status, 2);
        QVERIFY(run.Err.contains("Usage: zembrik-batch"));
        QVERIFY(run.Out.isEmpty());
    }
}

void TestBatchCli::goesOnPastAFailure()
{
    QTemporaryDir src;
    QTemporaryDir out;
    QImage image(1001, 751, QImage::Format_RGB32);
    image.fill(qRgb(30, 120, 200));
    QVERIFY(image.save(src.filePath("first.bmp")));
    QVERIFY(image.save(src.filePath("third.jpg")));
    QFile broken(src.filePath("second.gif"));
    QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("not a picture") > 0);
    broken.close();

    const Run run = Batch({"-r", "50", "-j", "3", "-o", out.path(), src.filePath("first.bmp"),
                           src.filePath("second.gif"), src.filePath("third.jpg")});
    QCOMPARE(run.Status, 1);
    const QStringList lines = run.Out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.at(0), src.filePath("first.bmp") + " 1001x751 -> " + out.filePath("first.jpg") + " 500x376");
    QVERIFY(lines.at(1).startsWith(src.filePath("third.jpg")));
    QVERIFY(run.Err.contains(src.filePath("second.gif")));
    QVERIFY(run.Err.contains(QStringLiteral("画像ファイルを読み込めません。")));
    for (const char* name : {"first.jpg", "third.jpg"})
        QCOMPARE(QImageReader(out.filePath(name)).read().size(), QSize(500, 376));
    QVERIFY(!QFile::exists(out.filePath("second.jpg")));

    // Out of range ratios are clamped as the ratio box clamps them: 0 is 1%.
    const Run clamped = Batch({"-r0", "-o", out.path(), src.filePath("first.bmp")});
    QCOMPARE(clamped.Status, 0);
    QVERIFY(clamped.Out.endsWith(" 10x8\n"));
}

QTEST_MAIN(TestBatchCli)
#include "tst_batch_cli.moc"
