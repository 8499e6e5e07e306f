// zembrik-batch as a script sees it: usage errors, exit status, --help and
// --version, a run that goes on past a failing file and a named pipe, the
// check before writing, what it tells a person at a terminal, folder trees
// with the runs that leave what is up to date and the shards of a run, and in
// which language (Japanese, as on a Japanese desktop, unless a test says
// otherwise).
#include <QDir>
#include <QDirIterator>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include "cameraphoto.h"
#include "testimages.h"

#include <functional>

#if defined(Q_OS_WIN)
#include <windows.h>
#endif
#if defined(Q_OS_UNIX)
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#endif

namespace {

struct Run {
    int Status = -1;
    QString Out;
    QString Err;
};

Run Batch(const QStringList& args, int hangAfterMs = 60000, const std::function<void(QProcess&)>& setUp = {})
{
    QProcess process;
    if (setUp)
        setUp(process);
    process.start(QStringLiteral(ZEMBRIK_BATCH_EXE), args);
    Run run;
    if (!process.waitForFinished(hangAfterMs) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.Status = process.exitCode();
    run.Out = QString::fromUtf8(process.readAllStandardOutput());
    run.Err = QString::fromUtf8(process.readAllStandardError());
#if defined(Q_OS_WIN)
    // Lines end in CR LF there, and paths the program makes have its separators.
    run.Out = QDir::fromNativeSeparators(run.Out.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    run.Err = QDir::fromNativeSeparators(run.Err.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
#endif
    return run;
}

// The files below folder by their paths below it, with their bytes.
QMap<QString, QByteArray> FilesBelow(const QString& folder)
{
    QMap<QString, QByteArray> files;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        files.insert(QDir(folder).relativeFilePath(path), testimages::Read(path));
    }
    return files;
}

}  // namespace

class TestBatchCli : public QObject {
    Q_OBJECT
    QTemporaryDir settings_;

private slots:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", settings_.path().toLocal8Bit());  // settings that force no language
        qputenv("LANGUAGE", "ja");
    }
    void usage_data();
    void usage();
    void goesOnPastAFailure();
    void clashesNeedForce();
    void progressOnlyOnATerminal();
    void interruptLeavesAPrefix_data();
    void interruptLeavesAPrefix();
    void hostileConditions();
    void outputOptions();
    void folderTrees();
    void longAndForeignNames();
    void severalSizesAndAByteLimit();
};

// In the window's language: the desktop's (LANGUAGE; none is the C locale)
// unless the settings file forces one.
void TestBatchCli::usage_data()
{
    QTest::addColumn<QString>("languages");
    QTest::addColumn<QString>("forced");
    QTest::addColumn<QString>("usage");
    QTest::addColumn<QString>("message");  // of a missing file
    QTest::newRow("Japanese desktop") << "ja_JP" << "" << QStringLiteral("使い方: zembrik-batch")
                                      << QStringLiteral("ファイルが見つかりません。");
    QTest::newRow("C locale") << "" << "" << "Usage: zembrik-batch" << "File not found.";
    QTest::newRow("Japanese second") << "en_GB:ja" << "" << "Usage: zembrik-batch" << "File not found.";
    QTest::newRow("forced Japanese") << "jv_ID" << " JA " << QStringLiteral("使い方: zembrik-batch")
                                     << QStringLiteral("ファイルが見つかりません。");
    QTest::newRow("unknown setting") << "ja" << "fr" << QStringLiteral("使い方: zembrik-batch")
                                     << QStringLiteral("ファイルが見つかりません。");
    QTest::newRow("forced English") << "ja_JP" << "en" << "Usage: zembrik-batch" << "File not found.";
}

void TestBatchCli::usage()
{
    QFETCH(QString, languages);
    QFETCH(QString, forced);
    QFETCH(QString, usage);
    QFETCH(QString, message);
#if defined(Q_OS_WIN)
    QSKIP("the rows choose the language through Linux's LANGUAGE and XDG_CONFIG_HOME");
#endif
    QTemporaryDir dir;
    QSettings(dir.filePath("Zembrik/Zembrik.ini"), QSettings::IniFormat).setValue("Settings/Language", forced);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LANGUAGE", languages);
    environment.insert("XDG_CONFIG_HOME", dir.path());
    const auto batch = [&](const QStringList& args) {
        return Batch(args, 60000, [&](QProcess& process) { process.setProcessEnvironment(environment); });
    };
    const QString missing = dir.filePath("nosuch.jpg");
    QCOMPARE(batch({"-o", dir.filePath("Zembrik"), missing}).Err.section('\n', 0, 0),
             "zembrik-batch: " + missing + ": " + message + " (" + missing + ")");

    const Run help = batch({"--help"});
    QCOMPARE(help.Status, 0);
    QVERIFY(help.Out.startsWith(usage) && help.Out.contains("--force"));
    // Every line of the English help is translated, those of the options too.
    if (usage.startsWith("Usage"))
        QVERIFY2(!help.Out.contains(QRegularExpression(QStringLiteral("[\\x{3040}-\\x{30ff}\\x{4e00}-\\x{9fff}]"))),
                 qPrintable(help.Out));
    const Run version = Batch({"--version"});
    QVERIFY(version.Status == 0 && version.Out.startsWith("zembrik-batch (Zembrik) "));

    // The output options' own mistakes are the output settings' to find; one stands for them.
    const QList<QStringList> bad = {{},   {"-x", "-o", dir.path(), "a.jpg"}, {"a.jpg"}, {"-o", dir.path()}, {"-o"},
                                    {"-j0", "-o", dir.path(), "a.jpg"}, {"-j", "two", "-o", dir.path(), "a.jpg"},
                                    {"--quality=101", "-o", dir.path(), "a.jpg"},
                                    {"-r", "50", "--max-size", "8x8", "-o", dir.path(), "a.jpg"}};
    for (const QStringList& args : bad) {
        const Run run = batch(args);
        QCOMPARE(run.Status, 2);
        QVERIFY(run.Err.contains(usage));
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
    QVERIFY(testimages::Write(src.filePath("second.gif"), "not a picture"));
    QVERIFY(QDir(src.path()).mkdir("photos"));
    QStringList files = {src.filePath("first.bmp"), src.filePath("photos"), src.filePath("second.gif"),
                         src.filePath("third.jpg")};
#if defined(Q_OS_UNIX)
    // A named pipe is refused unopened: opening it would wait for a writer for ever.
    QVERIFY(mkfifo(QFile::encodeName(src.filePath("fifo.jpg")).constData(), 0600) == 0);
    files.insert(1, src.filePath("fifo.jpg"));
#endif

    // Refusing the pipe takes no time; the bound only turns a hang into a failure.
    const Run run = Batch(QStringList{"-r", "50", "-j", "3", "-o", out.path()} + files, 60000);
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
#if defined(Q_OS_UNIX)
    QVERIFY(run.Err.contains(QStringLiteral("画像ファイルを開けません。 (") + src.filePath("fifo.jpg") + ")"));
    QVERIFY(!QFile::exists(out.filePath("fifo.jpg")));
#endif

    QVERIFY(run.Err.contains(src.filePath("photos") + QStringLiteral(": 画像ではなくフォルダです。")));
    QVERIFY(run.Err.endsWith(QStringLiteral("（%1 個は失敗）\n").arg(files.size() - 2)));

    // A ratio is a number from 1 to 100, read to a tenth (33.33 is 33.3%);
    // anything else is a mistake to name, not a value to put right.
    for (const char* ratio : {"abc", "0", "500", "50%"}) {
        const Run refused = Batch({"-r", ratio, "-o", out.path(), src.filePath("first.bmp")});
        QCOMPARE(refused.Status, 2);
        QVERIFY(refused.Err.startsWith(QStringLiteral("zembrik-batch: -r の縮小率が正しくありません: '%1'").arg(ratio)));
    }
    QVERIFY(Batch({"-r33.33", "-o", out.path(), src.filePath("first.bmp")}).Out.endsWith(" 333x250\n"));
}

void TestBatchCli::clashesNeedForce()
{
    // a.jpg would replace itself; a.bmp and a.jpg both write a.jpg.
    QTemporaryDir dir;
    QImage red(40, 20, QImage::Format_RGB32);
    red.fill(Qt::red);
    QImage blue(40, 20, QImage::Format_RGB32);
    blue.fill(Qt::blue);
    QVERIFY(red.save(dir.filePath("a.bmp")) && blue.save(dir.filePath("a.jpg")));
    const QByteArray before = testimages::Read(dir.filePath("a.jpg"));
    const QStringList args = {"-r", "50", "-o", dir.path(), dir.filePath("a.bmp"), dir.filePath("a.jpg")};

    // Options come before the files: after one, "--force" is a file's name.
    QCOMPARE(Batch(args + QStringList{"--force"}).Status, 2);
    const Run refused = Batch(args);
    QCOMPARE(refused.Status, 2);
    QVERIFY(refused.Out.isEmpty());
    QVERIFY(refused.Err.contains(QStringLiteral("元の画像 1 個が縮小した画像で置き換えられます。\n  ") + dir.filePath("a.jpg")));
    QVERIFY(refused.Err.contains(QStringLiteral("同じ名前になる画像が 2 個あります。")));
    QCOMPARE(testimages::Read(dir.filePath("a.jpg")), before);

    // Forced: the last file of the name wins, read before it is replaced.
    const Run forced = Batch(QStringList{"--force"} + args);
    QCOMPARE(forced.Status, 0);
    QCOMPARE(forced.Out, dir.filePath("a.jpg") + " 40x20 -> " + dir.filePath("a.jpg") + " 20x10\n");
    QVERIFY(qBlue(QImage(dir.filePath("a.jpg")).pixel(10, 5)) > 200);
    // Not on a terminal: no progress line, but the summary.
    QVERIFY2(forced.Err.startsWith(QStringLiteral("1 個の画像：%1 バイト → ").arg(before.size())), qPrintable(forced.Err));
    QCOMPARE(Batch(QStringList{"--force", "--quiet"} + args).Err, QString());

    // A phone's photo writes the .jpg of its name too. Made by libheif's
    // heif-enc: its encoder's threads in this process would not survive the
    // forks that start zembrik-batch under ThreadSanitizer.
    QFile heic(dir.filePath("a.heic"));
    QVERIFY(red.save(dir.filePath("red.png")));
    QProcess encode;
    encode.start(QStringLiteral("heif-enc"), {"-q", "90", "-o", heic.fileName(), dir.filePath("red.png")});
    if (!encode.waitForFinished(60000) || encode.exitCode() != 0 || !heic.exists())
        QSKIP("heif-enc (libheif-examples) cannot write HEIC here");
    const Run phone = Batch({"-r", "50", "-o", dir.path(), heic.fileName(), dir.filePath("a.jpg")});
    QCOMPARE(phone.Status, 2);
    QVERIFY(phone.Err.contains(QStringLiteral("同じ名前になる画像が 2 個あります。")));
    const Run alone = Batch({"-r", "50", "-o", dir.path(), heic.fileName()});  // a.jpg, not given, is replaced
    QCOMPARE(alone.Out, heic.fileName() + " 40x20 -> " + dir.filePath("a.jpg") + " 20x10\n");
    QVERIFY(alone.Status == 0 && qRed(QImage(dir.filePath("a.jpg")).pixel(10, 5)) > 200);
}

void TestBatchCli::progressOnlyOnATerminal()
{
    // script(1) gives the program a terminal.
    if (QStandardPaths::findExecutable("script").isEmpty())
        QSKIP("script(1) is not installed");
    QTemporaryDir dir;
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(Qt::green);
    QVERIFY(image.save(dir.filePath("p.bmp")) && image.save(dir.filePath("q.bmp")));
    QTemporaryDir out;
    const QString command = QStringLiteral("%1 -o %2 %3 %4")
                                .arg(QStringLiteral(ZEMBRIK_BATCH_EXE), out.path(), dir.filePath("p.bmp"), dir.filePath("q.bmp"));
    QProcess process;
    process.start("script", {"-qec", command, "/dev/null"});
    QVERIFY(process.waitForFinished(60000));
    const QString terminal = QString::fromUtf8(process.readAllStandardOutput());
    QVERIFY2(terminal.contains("\r1/2  p.bmp  "), qPrintable(terminal));  // the file put in place last
    QVERIFY(terminal.contains("2 個の画像："));
    QVERIFY(QFile::exists(out.filePath("q.jpg")));
}

void TestBatchCli::interruptLeavesAPrefix_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<QString>("format");
#if defined(Q_OS_UNIX)
    QTest::newRow("Ctrl+C") << int(SIGINT) << "bmp";
    QTest::newRow("a hang-up while PNGs are read") << int(SIGHUP) << "png";
    QTest::newRow("kill -9") << int(SIGKILL) << "bmp";
#elif defined(Q_OS_WIN)
    QTest::newRow("Ctrl+Break") << int(CTRL_BREAK_EVENT) << "bmp";
#endif
}

// A signal (on Windows the console's Ctrl+Break) once the first file is in
// place, the next ones being written or waiting for their turn: what is on
// disk is a prefix of the run, and no temporary is left (after SIGKILL, at
// most the one being renamed). The reads the stop ends print nothing
// (libpng's "Read Error").
void TestBatchCli::interruptLeavesAPrefix()
{
#if defined(Q_OS_UNIX) || defined(Q_OS_WIN)
    QFETCH(int, signal);
    QFETCH(QString, format);
    QTemporaryDir src;
    QVERIFY(testimages::PhotoLike(3000, 2000, 1).save(src.filePath("p0." + format)));
    QStringList files = {src.filePath("p0." + format)};
    for (int i = 1; i < 6; ++i) {
        files.append(src.filePath(QStringLiteral("p%1.").arg(i) + format));
#if defined(Q_OS_WIN)
        QVERIFY(QFile::copy(files.first(), files.last()));
#else
        QVERIFY(QFile::link(files.first(), files.last()));
#endif
    }
    QTemporaryDir out;
    QProcess process;
#if defined(Q_OS_WIN)
    // The program shares this process's console, in a process group of its
    // own that the event is sent to.
    if (!GetConsoleWindow())
        AllocConsole();
    process.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments* arguments) {
        arguments->flags = (arguments->flags & ~DWORD(CREATE_NO_WINDOW)) | CREATE_NEW_PROCESS_GROUP;
    });
#endif
    process.start(QStringLiteral(ZEMBRIK_BATCH_EXE), QStringList{"-j", "2", "-o", out.path()} + files);
    QVERIFY(process.waitForReadyRead(60000));
#if defined(Q_OS_WIN)
    if (!GenerateConsoleCtrlEvent(DWORD(signal), DWORD(process.processId()))) {
        const DWORD error = GetLastError();
        process.kill();
        process.waitForFinished();
        QSKIP(qPrintable(QStringLiteral("this process's console cannot send Ctrl+Break (error %1; so under Wine with no terminal)")
                             .arg(error)));
    }
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(quint32(process.exitCode()), quint32(STATUS_CONTROL_C_EXIT));
    const bool killed = false;
#else
    ::kill(static_cast<pid_t>(process.processId()), signal);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::CrashExit);
    QCOMPARE(process.exitCode(), signal);
    const bool killed = signal == SIGKILL;
#endif

    QCOMPARE(process.readAllStandardError(), QByteArray());
    const qsizetype lines = QString::fromUtf8(process.readAllStandardOutput()).count('\n');
    QVERIFY2(lines < files.size(), "the run ended before the signal");
    QStringList onDisk = QDir(out.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    const QStringList temporaries = onDisk.filter(".tmp");
    QVERIFY(temporaries.size() <= (killed ? 1 : 0));
    for (const QString& temporary : temporaries)
        onDisk.removeOne(temporary);
    QVERIFY(onDisk.size() >= lines && onDisk.size() <= (killed ? lines + 1 : lines));
    for (int i = 0; i < onDisk.size(); ++i)
        QCOMPARE(onDisk.at(i), QStringLiteral("p%1.jpg").arg(i));
#else
    QSKIP("no way to interrupt a run on this platform");
#endif
}

// Limits and names the system imposes: a file-size limit is a full disk, not
// a kill; a full standard output fails the run; names that are not UTF-8
// keep their bytes from the command line to the file written and the line
// printed.
void TestBatchCli::hostileConditions()
{
#if defined(Q_OS_UNIX)
    QTemporaryDir dir;
    QVERIFY(testimages::PhotoLike(640, 480, 1).save(dir.filePath("p.bmp")));
    const Run limited = Batch({"-o", dir.path(), dir.filePath("p.bmp")}, 60000, [](QProcess& process) {
        process.setChildProcessModifier([] {
            const struct rlimit small = {10000, RLIM_INFINITY};
            ::setrlimit(RLIMIT_FSIZE, &small);
        });
    });
    QCOMPARE(limited.Status, 1);
    QVERIFY(limited.Err.contains(QStringLiteral("ディスク容量が足りません。")));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"p.bmp"});

    const Run full = Batch({"-o", dir.path(), dir.filePath("p.bmp")}, 60000,
                           [](QProcess& process) { process.setStandardOutputFile("/dev/full"); });
    QCOMPARE(full.Status, 1);
    QVERIFY(full.Err.contains(QStringLiteral("標準出力に書き込めません。")));

    // Shift_JIS 写真.jpg and Latin-1 café.jpg, named by the shell.
    QVERIFY(QFile::copy(dir.filePath("p.bmp"), dir.filePath("source")));
    QProcess shell;
    shell.setWorkingDirectory(dir.path());
    shell.start("sh", {"-c", QStringLiteral("a=$(printf '\\216\\312\\220^.bmp'); b=$(printf 'caf\\351.bmp'); "
                                            "mv source \"$a\" && cp \"$a\" \"$b\" && mkdir out && exec %1 -o out \"$a\" \"$b\"")
                                 .arg(QStringLiteral(ZEMBRIK_BATCH_EXE))});
    QVERIFY(shell.waitForFinished(60000));
    QCOMPARE(shell.exitCode(), 0);
    QCOMPARE(shell.readAllStandardOutput(), QByteArray("\x8e\xca\x90^.bmp 640x480 -> out/\x8e\xca\x90^.jpg 640x480\n"
                                                       "caf\xe9.bmp 640x480 -> out/caf\xe9.jpg 640x480\n"));
    QCOMPARE(::access((QFile::encodeName(dir.filePath("out")) + "/caf\xe9.jpg").constData(), F_OK), 0);
#else
    QSKIP("limits, /dev/full and byte names are Unix's");
#endif
}


// A size box, the quality, the metadata and the date kept, a suffix: x.jpg
// writes x_s.jpg, which is given too and so is read first, as it was.
void TestBatchCli::outputOptions()
{
    QTemporaryDir dir;
    QVERIFY(testimages::WriteCameraPhoto(dir.filePath("x.jpg")) &&
            testimages::PhotoLike(90, 30, 3).save(dir.filePath("x_s.jpg")));
    // After 2262, where one count of nanoseconds ends, if the file system stores it.
    QDateTime when(QDate(2300, 2, 3), QTime(4, 5, 6, 789));
    QFile photo(dir.filePath("x.jpg"));
    QVERIFY(photo.open(QIODevice::ReadWrite) && photo.setFileTime(when, QFileDevice::FileModificationTime));
    if (photo.fileTime(QFileDevice::FileModificationTime) != when)
        QVERIFY(photo.setFileTime(when = QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6)), QFileDevice::FileModificationTime));
    photo.close();
    const QStringList args = {"--max-size", "30x30", "--quality", "85", "--keep-metadata", "--keep-date",
                              "--suffix", "_s", "-o", dir.path(), dir.filePath("x.jpg"), dir.filePath("x_s.jpg")};
    const Run refused = Batch(args);
    QCOMPARE(refused.Status, 2);
    QVERIFY(refused.Err.contains(QStringLiteral("元の画像 1 個が縮小した画像で置き換えられます。\n  ") + dir.filePath("x_s.jpg")));

    const Run forced = Batch(QStringList{"--force"} + args);
    QCOMPARE(forced.Status, 0);
    QCOMPARE(forced.Out, dir.filePath("x_s.jpg") + " 90x30 -> " + dir.filePath("x_s_s.jpg") + " 30x10\n" +
                             dir.filePath("x.jpg") + " 48x64 -> " + dir.filePath("x_s.jpg") + " 22x30\n");
    QCOMPARE(testimages::TagValue(dir.filePath("x_s.jpg"), "Exif.Image.Orientation"), "1");
    QCOMPARE(testimages::TagValue(dir.filePath("x_s.jpg"), "Exif.Photo.DateTimeOriginal"), "2021:07:04 10:20:30");
    QCOMPARE(testimages::TagValue(dir.filePath("x_s.jpg"), "Exif.GPSInfo.GPSLatitude"), "none");
    QCOMPARE(QFileInfo(dir.filePath("x_s.jpg")).lastModified(), when);
}

// A tree with a space in a folder name, hidden entries, a link loop, a file
// that is no picture and two pictures of one name, and the output folder
// inside it: three shards write what the whole run writes, none what
// another does; what is written mirrors the tree; and a run again with
// --update writes only what changed since.
void TestBatchCli::folderTrees()
{
#if defined(Q_OS_UNIX)
    QTemporaryDir dir;
    const QString src = dir.filePath("src");
    for (const char* folder : {"src/0 1/deep", "src/.hidden", "src/small", "x"})
        QVERIFY(QDir(dir.path()).mkpath(folder));
    QVERIFY(testimages::PhotoLike(64, 48, 1).save(src + "/a.bmp") && testimages::PhotoLike(48, 64, 2).save(src + "/a.png") &&
            testimages::PhotoLike(40, 30, 3).save(src + "/0 1/b.jpg") &&
            testimages::PhotoLike(30, 40, 4).save(src + "/0 1/deep/c.png") &&
            testimages::PhotoLike(20, 20, 5).save(dir.filePath("x/g.bmp")));
    for (const char* copy : {"src/.hidden/e.jpg", "src/0 1/.d.jpg", "src/0 1/notes.txt"})
        QVERIFY(QFile::copy(src + "/0 1/b.jpg", dir.filePath(copy)));
    QVERIFY(QFile::link("..", src + "/0 1/loop") && QFile::link("../a.bmp", src + "/0 1/link.bmp"));
    const QStringList args = {"-r", "50", "--force", "--keep-date", "-R"};
    const QStringList operands = {src, dir.filePath("x/g.bmp")};

    QMap<QString, QByteArray> shards;
    for (const char* shard : {"1/3", "2/3", "3/3"}) {
        QTemporaryDir part;  // outside the tree
        QCOMPARE(Batch(args + QStringList{"--shard", shard, "-o", part.path()} + operands).Status, 0);
        const QMap<QString, QByteArray> written = FilesBelow(part.path());
        for (auto it = written.cbegin(); it != written.cend(); ++it)
            QVERIFY2(!shards.contains(it.key()), qPrintable(it.key()));
        shards.insert(written);
    }
    const QString out = src + "/small";
    const Run first = Batch(args + QStringList{"-o", out} + operands);
    QCOMPARE(first.Status, 0);
    const QMap<QString, QByteArray> whole = FilesBelow(out);
    QCOMPARE(whole.keys(), (QStringList{"0 1/b.jpg", "0 1/deep/c.jpg", "0 1/link.jpg", "a.jpg", "g.jpg"}));
    QCOMPARE(QImage::fromData(whole.value("a.jpg")).size(), QSize(24, 32));  // the later of the name
    QVERIFY(first.Out.contains(src + "/0 1/deep/c.png 30x40 -> " + out + "/0 1/deep/c.jpg 15x20\n"));
    QCOMPARE(shards, whole);

    const auto stamps = [&] {
        QMap<QString, std::pair<ino_t, QDateTime>> stamps;
        for (const QString& name : whole.keys()) {
            struct stat status {};
            ::stat(QFile::encodeName(out + '/' + name).constData(), &status);
            stamps.insert(name, {status.st_ino, QFileInfo(out + '/' + name).lastModified()});
        }
        return stamps;
    };
    const auto before = stamps();
    const Run again = Batch(QStringList{"--update"} + args + QStringList{"-o", out} + operands);
    QVERIFY(again.Status == 0 && again.Out.isEmpty());
    QVERIFY2(again.Err.contains(QStringLiteral("（6 個は最新）")), qPrintable(again.Err));
    QCOMPARE(stamps(), before);
    QFile c(src + "/0 1/deep/c.png");
    QVERIFY(c.open(QIODevice::ReadWrite) && c.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
    c.close();
    const Run touched = Batch(QStringList{"--update"} + args + QStringList{"-o", out} + operands);
    QCOMPARE(touched.Out.count('\n'), 1);
    auto after = stamps();
    auto unchanged = before;
    QVERIFY(after.take("0 1/deep/c.jpg") != unchanged.take("0 1/deep/c.jpg"));
    QCOMPARE(after, unchanged);

    for (const char* bad : {"0/3", "4/3", "3", "1/0"}) {
        const Run refused = Batch({"--shard", bad, "-o", out, src});
        QVERIFY(refused.Status == 2 && refused.Err.startsWith(QStringLiteral("zembrik-batch: --shard の指定が正しくありません")));
    }
#else
    QSKIP("links to folders are made as Unix makes them");
#endif
}

// Names past Windows' 260 characters (in a tree, so that folders are made
// there too) and names its ANSI code page cannot hold: each output, with the
// metadata and date kept, is the file a short plain name gets, and a run
// again with --update finds them all up to date.
void TestBatchCli::longAndForeignNames()
{
    QTemporaryDir dir;
    const QString photo = dir.filePath("photo.jpg");
    QVERIFY(testimages::WriteCameraPhoto(photo) && QDir(dir.path()).mkpath("plain") && QDir(dir.path()).mkpath("out"));
    QString below = QStringLiteral("src");
    for (char c = 'a'; c < 'g'; ++c)
        below += '/' + QString(50, QLatin1Char(c));
    QVERIFY(QDir(dir.path()).mkpath(below));
    const QString longName = QString(60, QLatin1Char('p'));
    const QStringList sources = {photo, dir.filePath(below + '/' + longName + ".jpg"), dir.filePath(QStringLiteral("src/写真 ä.jpg"))};
    for (const QString& source : sources) {
        QFile file(source);
        QVERIFY((source == photo || QFile::copy(photo, source)) && file.open(QIODevice::ReadWrite) &&
                file.setFileTime(QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6)), QFileDevice::FileModificationTime));
    }
    const QStringList args = {"-r", "50", "--keep-metadata", "--keep-date", "-R", "-o"};
    QCOMPARE(Batch(args + QStringList{dir.filePath("plain"), photo}).Status, 0);
    const Run run = Batch(args + QStringList{dir.filePath("out"), dir.filePath("src")});
    QVERIFY2(run.Status == 0, qPrintable(run.Err));
    const QString plain = dir.filePath("plain/photo.jpg");
    const QString deep = dir.filePath("out" + below.mid(3) + '/' + longName + ".jpg");
    QVERIFY(deep.size() > 360);
    for (const QString& written : {deep, dir.filePath(QStringLiteral("out/写真 ä.jpg"))}) {
        QVERIFY2(testimages::Read(written) == testimages::Read(plain), qPrintable(written));
        QCOMPARE(QFileInfo(written).lastModified(), QFileInfo(plain).lastModified());
    }
    const Run again = Batch(QStringList{"--update"} + args + QStringList{dir.filePath("out"), dir.filePath("src")});
    QVERIFY2(again.Status == 0 && again.Out.isEmpty() && again.Err.contains(QStringLiteral("（2 個は最新）")),
             qPrintable(again.Err));
}

// Several sizes each into a folder named for it below OUTDIR, the tree
// mirrored below each, the files those sizes alone write; up to date only
// when every size is. A byte limit too small for a picture fails it alone.
void TestBatchCli::severalSizesAndAByteLimit()
{
    QTemporaryDir dir;
    const QString src = dir.filePath("src");
    QVERIFY(QDir().mkpath(src + "/sub"));
    QVERIFY(testimages::PhotoLike(800, 600, 1).save(src + "/a.jpg", "JPEG", 90) &&
            testimages::PhotoLike(300, 200, 2).save(src + "/sub/b.png"));
    const QString out = dir.filePath("out");
    QVERIFY(QDir().mkdir(out));
    const QStringList sizes = {"--max-size", "400x400", "--max-size", "100x100", "--max-size", "400x400"};
    const Run several = Batch(QStringList{"-R"} + sizes + QStringList{"-o", out, src});
    QCOMPARE(several.Status, 0);
    QCOMPARE(several.Out, src + "/a.jpg 800x600 -> " + out + "/400x400/a.jpg 400x300\n" +
                              src + "/a.jpg 800x600 -> " + out + "/100x100/a.jpg 100x75\n" +
                              src + "/sub/b.png 300x200 -> " + out + "/400x400/sub/b.jpg 300x200\n" +
                              src + "/sub/b.png 300x200 -> " + out + "/100x100/sub/b.jpg 100x67\n");
    for (const QString size : {"400x400", "100x100"}) {
        QTemporaryDir alone;
        QCOMPARE(Batch({"-R", "--max-size", size, "-o", alone.path(), src}).Status, 0);
        QCOMPARE(FilesBelow(out + '/' + size), FilesBelow(alone.path()));
    }
    QVERIFY(QFile::remove(out + "/100x100/sub/b.jpg"));
    const Run update = Batch(QStringList{"-R", "--update"} + sizes + QStringList{"-o", out, src});
    QCOMPARE(update.Out.count('\n'), 2);
    // The summary counts pictures: b written again at both sizes, a up to date.
    QVERIFY2(update.Err.startsWith(QStringLiteral("1 個の画像")) && update.Err.contains(QStringLiteral("（1 個は最新）")),
             qPrintable(update.Err));

    QVERIFY(testimages::PhotoLike(1600, 1200, 3).save(src + "/large.png") &&
            testimages::PhotoLike(8, 8, 4).save(src + "/tiny.png"));
    const Run limited = Batch({"--max-bytes", "1K", "-o", out, src + "/large.png", src + "/tiny.png"});
    QCOMPARE(limited.Status, 1);
    QCOMPARE(limited.Out, src + "/tiny.png 8x8 -> " + out + "/tiny.jpg 8x8\n");
    QVERIFY(QFileInfo(out + "/tiny.jpg").size() <= 1024);
    QVERIFY2(limited.Err.startsWith("zembrik-batch: " + src + QStringLiteral("/large.png: 品質 1 でも 1024 バイトに収まらないため")),
             qPrintable(limited.Err));
    QVERIFY(!QFile::exists(out + "/large.jpg"));

    for (const QStringList& bad : {QStringList{"--max-bytes", "0"}, QStringList{"--max-bytes", "2G"},
                                   QStringList{"--max-size=1x1", "--max-size=2x2", "--max-size=3x3", "--max-size=4x4",
                                               "--max-size=5x5", "--max-size=6x6", "--max-size=7x7", "--max-size=8x8",
                                               "--max-size=9x9"}})
        QCOMPARE(Batch(bad + QStringList{"-o", out, src + "/tiny.png"}).Status, 2);
}

QTEST_MAIN(TestBatchCli)
#include "tst_batch_cli.moc"
