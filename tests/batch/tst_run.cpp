// The batch run driven through a scripted main window, message boxes and
// folder picker, on real small JPEG, BMP and GIF files. The work runs on
// worker threads while this thread turns its event loop.
#include <QtTest>

#include <QImage>
#include <QImageReader>
#include <QProgressBar>
#include <QTemporaryDir>
#include <csignal>
#include <cstdio>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#endif
#if defined(Q_OS_LINUX)
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif

#include "batch/run.h"
#include "batch/summary.h"
#include "shell/basmain.h"
#include "shell/folderpicker.h"
#include "shell/msg.h"
#include "shell/numtext.h"
#include "shell/picture.h"
#include "fakeselection.h"
#include "scriptedmessages.h"
#include "testimages.h"
#include "waitfor.h"

namespace {

enum class Fault { OutputGone, SourceGone, SourceIsFolder, DiskFull, NotWritable };

class Host final : public FakeSelection<basBatch::RunHost> {
public:
    QString NormalisedRatioText() override { return ratio = basMain::NormaliseRatioText(ratio); }
    void SetStatusText(const QString& text) override { status = text; }
    void RefreshFileList() override
    {
        ++refreshes;
        selected.fill(false);
    }
    void CloseAllViewers() override { ++viewerCloses; }
    QWidget* Window() override { return &window; }

    QString ratio = QStringLiteral("100.0%");
    QString status = QStringLiteral("3 個のオブジェクトを選択");
    int refreshes = 0;
    int viewerCloses = 0;
    QWidget window;
};

// Every file of the folders (hidden ones included) by label and name, with its bytes.
QMap<QString, QByteArray> Contents(const QList<std::pair<QString, QString>>& folders)
{
    QMap<QString, QByteArray> files;
    for (const auto& [label, folder] : folders)
        for (const QFileInfo& f : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System))
            files.insert(label + '/' + f.fileName(), testimages::Read(f.filePath()));
    return files;
}

// Sets or clears a folder's immutable attribute, as chattr does (without a
// child process, which a ThreadSanitizer build cannot start here): even root
// may then not create a file in it. False where the file system has none.
bool SetImmutable(const QString& folder, bool on)
{
#if defined(Q_OS_LINUX)
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    int flags = 0;
    const bool got = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    const bool done = got && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);  // nothing when the open failed
    return done;
#else
    return false;
#endif
}

}  // namespace

Q_DECLARE_METATYPE(Fault)

class BatchRun : public QObject {
    Q_OBJECT

private:
    ScriptedMessages script;
    QTemporaryDir store;  // the settings, where the picker remembers its folder
    QTemporaryDir source;
    QTemporaryDir output;
    std::optional<QString> pickerAnswer;
    int pickerCalls = 0;

    void Select(Host& host, const QStringList& names, const QString& folder = {})
    {
        host.folder = folder.isEmpty() ? source.path() : folder;
        host.names = names;
        host.selected = QList<bool>(names.size(), true);
    }

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, store.path());
        QVERIFY(testimages::PhotoLike(301, 201, 1).save(source.filePath("a.jpg")));
        QVERIFY(testimages::Write(source.filePath("c.gif"), testimages::TwoFrameGif));
        Msg().SetResponder(&script);
        basMain::SetFolderPicker([this](QWidget*, const QString&) {
            ++pickerCalls;
            return pickerAnswer;
        });
    }
    void cleanupTestCase()
    {
        Msg().SetResponder(nullptr);
        basMain::SetFolderPicker({});
    }
    void init()
    {
        script = ScriptedMessages();
        pickerAnswer = output.path();
        pickerCalls = 0;
        basBatch::SetRunReducer({});
        for (const QString& f : QDir(output.path()).entryList(QDir::Files | QDir::Hidden))
            QFile::remove(output.filePath(f));
    }

    void nothingSelectedDeclinedOrCancelledWritesNothing()
    {
        Host host;
        Select(host, {"a.jpg"});
        host.selected = {false};
        basBatch::RunBatch(host);
        QCOMPARE(script.Texts(), QStringList{"ファイルが選択されていません。"});

        host.selected = {true};
        host.ratio = "50.0%";
        script = ScriptedMessages();
        script.answer = MsgAnswer::No;
        basBatch::RunBatch(host);
        QCOMPARE(script.Texts(), QStringList{"縮小率 50.0% で縮小を開始します。"});
        QCOMPARE(pickerCalls, 0);
        QCOMPARE(host.viewerCloses, 0);

        script = ScriptedMessages();
        pickerAnswer.reset();
        basBatch::RunBatch(host);
        QCOMPARE(pickerCalls, 1);
        QCOMPARE(host.viewerCloses, 1);  // closed even though the picker was cancelled
        QCOMPARE(script.shown.size(), 1);
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(QDir(output.path()).isEmpty());
    }

    void ratioBeingEditedIsNormalisedAndTargetsStayVisible()
    {
        Host host;
        Select(host, {"c.gif"});
        host.ratio = ".5";  // typed, not yet normalised: 1.0%
        basBatch::RunBatch(host);
        QCOMPARE(script.Texts().first(), QStringLiteral("縮小率 1.0% で縮小を開始します。"));
        QCOMPARE(QImageReader(output.filePath("c.jpg")).size(), QSize(1, 1));  // not 0 x 0
    }

    void faultsDuringTheRunLoseNothing_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("about");  // the file the message names
        QTest::addColumn<int>("done");       // files put in place before it
        QTest::newRow("output folder gone") << Fault::OutputGone << "ディスクがセットされていません。" << "out/a.jpg" << 0;
        QTest::newRow("source gone") << Fault::SourceGone << "ファイルが見つかりません。" << "src/b.bmp" << 1;
        QTest::newRow("source now a folder") << Fault::SourceIsFolder << "画像ファイルを開けません。" << "src/b.bmp" << 1;
        QTest::newRow("disk full") << Fault::DiskFull << "ディスク容量が足りません。" << "out/b.jpg" << 1;
        QTest::newRow("not writable") << Fault::NotWritable << "書き込み出来ません。" << "out/a.jpg" << 0;
    }

    // The fault strikes while a.jpg is loaded (the others wait for it); the
    // run stops with its message over the progress window, and every file
    // that was there before is as it was, with no temporary left.
    void faultsDuringTheRunLoseNothing()
    {
#if defined(Q_OS_UNIX)
        QFETCH(Fault, fault);
        QFETCH(QString, message);
        QFETCH(QString, about);
        QFETCH(int, done);
        QTemporaryDir src, out, aside;
        // b's JPEG is several times the file-size limit, a's and c's far under it.
        QVERIFY(testimages::PhotoLike(64, 48, 1).save(src.filePath("a.jpg")) &&
                testimages::PhotoLike(640, 480, 2).save(src.filePath("b.bmp")) &&
                testimages::Write(src.filePath("c.gif"), testimages::TwoFrameGif) &&
                testimages::Write(out.filePath("b.jpg"), "an earlier b.jpg") &&
                testimages::Write(out.filePath("notes.txt"), "kept"));
        const QString moved = aside.filePath("out");  // where the output folder goes, its files kept to compare
        const auto contents = [&] { return Contents({{"src", src.path()}, {"out", QDir(moved).exists() ? moved : out.path()}}); };
        QMap<QString, QByteArray> before = contents();

        struct rlimit saved {};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        bool immutable = false;
        const auto undo = qScopeGuard([&] {
            setrlimit(RLIMIT_FSIZE, &saved);
            std::signal(SIGXFSZ, oldHandler);
            if (immutable)
                SetImmutable(out.path(), false);
            QFile::setPermissions(out.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });
        if (fault == Fault::NotWritable) {
            // Permission bits do not stop root; an immutable folder does.
            if (geteuid() == 0 && !(immutable = SetImmutable(out.path(), true)))
                QSKIP("running as root on a file system without the immutable attribute: no folder here is unwritable");
            QVERIFY(immutable || QFile::setPermissions(out.path(), QFile::ReadOwner | QFile::ExeOwner));
        }
        std::atomic<bool> struck{false};
        basBatch::SetRunReducer([&](const QString& path, double ratio, const std::atomic<bool>* stop) {
            if (path.endsWith("a.jpg")) {
                struct rlimit small = saved;
                small.rlim_cur = 10000;
                if (fault == Fault::OutputGone)
                    QDir().rename(out.path(), moved);
                if (fault == Fault::SourceGone || fault == Fault::SourceIsFolder)
                    QFile::remove(src.filePath("b.bmp"));
                if (fault == Fault::SourceIsFolder)
                    QDir(src.path()).mkdir("b.bmp");
                if (fault == Fault::DiskFull)
                    setrlimit(RLIMIT_FSIZE, &small);
                struck = true;
            }
            WaitFor(struck);
            return basMain::LoadReducedPicture(path, ratio, stop);
        });
        const auto bar = [] {  // the progress window's bar, -1 when there is none
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->objectName() == QLatin1String("frmProgress"))
                    return w->findChild<QProgressBar*>()->value();
            return -1;
        };
        int barAtError = -2;
        script.onShow = [&] { barAtError = bar(); };
        pickerAnswer = out.path();
        Host host;
        Select(host, {"a.jpg", "b.bmp", "c.gif"}, src.path());
        basBatch::RunBatch(host);

        const QString named = QDir::toNativeSeparators((about.startsWith("src") ? src.path() : out.path()) + about.mid(3));
        QCOMPARE(script.shown.size(), 2);  // the ratio question and the error: no other question, no completion
        QCOMPARE(script.shown.last().kind, MsgKind::Error);
        if (about.startsWith("src"))
            QCOMPARE(script.shown.last().text, message + " (" + named + ")");
        else
            QCOMPARE(script.shown.last().text + '|' + script.shown.last().detail, message + '|' + named);
        QCOMPARE(barAtError, done);
        QCOMPARE(bar(), -1);
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(host.refreshes, 1);
        QCOMPARE(host.status, QString());

        QMap<QString, QByteArray> after = contents();
        if (fault == Fault::SourceGone || fault == Fault::SourceIsFolder)
            before.remove("src/b.bmp");
        if (done == 1)
            QCOMPARE(QImage::fromData(after.take("out/a.jpg")).size(), QSize(64, 48));
        QCOMPARE(after.keys(), before.keys());  // nothing after the failure, no temporary
        QVERIFY(after == before);
#else
        QSKIP("needs a file-size limit and Unix permissions");
#endif
    }

    void theWindowLivesOnButCannotChangeTheRun()
    {
        Host host;
        Select(host, {"a.jpg", "c.gif"});
        std::atomic<bool> guiRan{false};
        basBatch::SetRunReducer([&](const QString& path, double ratio, const std::atomic<bool>* stop) {
            if (path.endsWith(QLatin1String("a.jpg"))) {
                // On the user-interface thread while this image is in work:
                // another run is refused, and a new selection and folder do
                // not change this one.
                QMetaObject::invokeMethod(qApp, [&] {
                    Host other;
                    Select(other, {"a.jpg"});
                    basBatch::RunBatch(other);
                    host.selected = {false, false};
                    host.folder = output.path();
                    guiRan = true;
                });
                WaitFor(guiRan);
            }
            return basMain::LoadReducedPicture(path, ratio, stop);
        });
        basBatch::RunBatch(host);
        QVERIFY(guiRan);
        QCOMPARE(pickerCalls, 1);
        QCOMPARE(script.Texts().last(), QStringLiteral("サイズの変換が終了しました。"));
        QCOMPARE(script.shown.size(), 2);  // one question, one completion
        QCOMPARE(QDir(output.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"a.jpg", "c.jpg"}));
    }

    // Shift_JIS 写真.jpg and Latin-1 café.jpg: listed as the file list lists
    // them, shrunk into files whose names keep the same bytes.
    void namesThatAreNotUtf8()
    {
#if defined(Q_OS_UNIX)
        QTemporaryDir folder;
        for (const char* name : {"\x8e\xca\x90^.jpg", "caf\xe9.jpg"}) {
            QVERIFY(testimages::PhotoLike(64, 48, 1).save(folder.filePath("p.jpg")));
            QCOMPARE(std::rename(QFile::encodeName(folder.filePath("p.jpg")).constData(),
                              (QFile::encodeName(folder.path()) + '/' + name).constData()),
                     0);
        }
        const QStringList names = basMain::FilesIn(folder.path(), {"*.jpg"});
        QCOMPARE(names.size(), 2);
        Host host;
        Select(host, names, folder.path());
        basBatch::RunBatch(host);
        QCOMPARE(script.Texts().last(), QStringLiteral("サイズの変換が終了しました。"));
        QCOMPARE(basMain::FilesIn(output.path(), {"*.jpg"}), names);
#else
        QSKIP("file names are UTF-16 here");
#endif
    }

    void summaryUnits()
    {
        for (const auto& [bytes, text] : {std::pair{999, "999 バイト"}, {32'449'000, "32.4 MB"}, {999'960, "1.0 MB"}})
            QCOMPARE(basBatch::SizeText(bytes), QString::fromUtf8(text));  // 999 960 bytes: not "1000.0 KB"
        QCOMPARE(basBatch::DurationText(949), QStringLiteral("0.9 秒"));
        QCOMPARE(basBatch::DurationText(59'960), QStringLiteral("1 分 0 秒"));
    }

    // In place, x.jpg and a.jpg would replace themselves and a.bmp and a.jpg
    // share a.jpg: No writes nothing; Yes skips a.bmp and reduces a.jpg once,
    // from the original.
    void replacingOriginalsOrSharedNamesIsAskedFirst()
    {
        QTemporaryDir folder;
        QImage blue(64, 48, QImage::Format_RGB32);
        blue.fill(Qt::blue);
        QImage red(64, 48, QImage::Format_RGB32);
        red.fill(Qt::red);
        QVERIFY(blue.save(folder.filePath("x.jpg")) && red.save(folder.filePath("a.bmp")) && blue.save(folder.filePath("a.jpg")));
        const QMap<QString, QByteArray> before = Contents({{"", folder.path()}});
        pickerAnswer = folder.path();
        Host host;
        Select(host, {"a.bmp", "a.jpg", "x.jpg"}, folder.path());
        host.ratio = "50.0%";

        script.onShow = [&] { script.answer = script.shown.size() == 1 ? MsgAnswer::Yes : MsgAnswer::No; };
        basBatch::RunBatch(host);
        QCOMPARE(script.Texts().last(), QStringLiteral("元の画像 2 個が縮小した画像で置き換えられます。\n"
                                                       "同じ名前になる画像が 2 個あります。リストで後の画像だけが保存されます。\n"
                                                       "続行しますか？"));
        QCOMPARE(script.shown.size(), 2);
        QVERIFY(Contents({{"", folder.path()}}) == before);

        script = ScriptedMessages();
        basBatch::RunBatch(host);
        QCOMPARE(script.Texts().last(), QStringLiteral("サイズの変換が終了しました。"));
        const QImage a(folder.filePath("a.jpg"));
        QCOMPARE(a.size(), QSize(32, 24));
        QVERIFY(qBlue(a.pixel(16, 12)) > 200 && qRed(a.pixel(16, 12)) < 50);
        QCOMPARE(QImage(folder.filePath("x.jpg")).size(), QSize(32, 24));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);  // no temporary
        // The summary counts the two pictures written and what they weighed.
        QCOMPARE(script.shown.last().detail.section(QStringLiteral("（"), 0, 0),
                 QStringLiteral("2 個の画像：%1 → %2")
                     .arg(basBatch::SizeText(before["/a.jpg"].size() + before["/x.jpg"].size()),
                          basBatch::SizeText(QFileInfo(folder.filePath("a.jpg")).size() +
                                             QFileInfo(folder.filePath("x.jpg")).size())));
    }
};

QTEST_MAIN(BatchRun)
#include "tst_run.moc"
