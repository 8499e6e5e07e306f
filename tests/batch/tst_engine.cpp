// The shrink engine: the same bytes whatever the number of threads and the
// memory budget, files put in place in plan order, the first failure leaving
// exactly the prefix, and a stop leaving no temporary file.
#include <QtTest>

#include <QDir>
#include <QSet>
#include <QTemporaryDir>
#include <csignal>
#include <functional>
#include <numeric>

#include <system_error>

#include <mutex>

#if defined(Q_OS_UNIX)
#include <sys/resource.h>
#endif

#include "base/paths.h"
#include "base/language.h"
#include "batch/engine.h"
#include "batch/saveerror.h"
#include "batch/runorder.h"
#include "output/metadatawriter.h"
#include "jpeg/jpeg.h"
#include "cameraphoto.h"
#include "heldpicture.h"
#include "testimages.h"
#include "waitfor.h"

using batch::ItemOutcome;
using batch::ShrinkEngine;

namespace {

// Failed is told of each failure as it is collected.
std::vector<ItemOutcome> RunToEnd(ShrinkEngine& engine, const std::function<void(const ItemOutcome&)>& failed = {},
                                  std::function<void()> wake = {})
{
    std::vector<ItemOutcome> all;
    engine.Start(std::move(wake));
    while (!engine.Finished()) {
        engine.Wait();
        for (ItemOutcome& o : engine.Collect()) {
            if (!o.Ok() && failed)
                failed(o);
            all.push_back(std::move(o));
        }
    }
    return all;
}

QStringList Files(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

pictures::ReducedPicture Plain(int w, int h)
{
    pictures::ReducedPicture picture;
    picture.SourceSize = QSize(w, h);
    picture.Image = QImage(w, h, QImage::Format_RGB32);
    picture.Image.fill(qRgb(90, 140, 200));
    return picture;
}

}  // namespace

class TestEngine : public QObject {
    Q_OBJECT

    QTemporaryDir src_;
    QTemporaryDir out_;

    batch::Plan PlanOf(const QStringList& names, const QString& outputFolder)
    {
        batch::Plan plan;
        plan.Ratio = 0.5;
        for (const QString& name : names)
            plan.Items.push_back({src_.filePath(name), batch::OutputPathFor(outputFolder, name)});
        return plan;
    }

private slots:
    void init()
    {
        for (const QString& f : Files(out_.path()))
            QFile::remove(out_.filePath(f));
    }

    // Windows takes names of 260 characters and more only in their long
    // form, which it takes as it stands: resolved and absolute.
    void longNamesInTheLongForm()
    {
#if defined(Q_OS_WIN)
        const QString name = QString(250, QLatin1Char('n'));
        const auto longForm = [](const QString& path) { return QString::fromStdWString(base::ToFsPath(path).native()); };
        QCOMPARE(longForm("C:/a/./b/../" + name), "\\\\?\\C:\\a\\" + name);
        QCOMPARE(longForm("\\\\server\\share\\" + name), "\\\\?\\UNC\\server\\share\\" + name);
        const QString relative = longForm(name);
        QVERIFY(relative.startsWith("\\\\?\\") && relative.endsWith("\\" + name) && !relative.contains('/'));
        QCOMPARE(longForm("C:/a/b.jpg"), "C:/a/b.jpg");  // short: as it is
#else
        QSKIP("Unix has no such limit");
#endif
    }

    void sameBytesAtEveryThreadCount()
    {
        // A 250-byte output name and "?" in a name are ordinary on this system.
        const QString longName = QString(246, QLatin1Char('n')) + QStringLiteral(".bmp");
        QStringList names = {"photo.jpg", "IMG_0012.JPG", "a.b.gif", QStringLiteral("写真 1.bmp"), "skipped.jpg", longName};
#if !defined(Q_OS_WIN)
        names << QStringLiteral("a?.jpg");
        QVERIFY(testimages::PhotoLike(99, 51, 6).save(src_.filePath(QStringLiteral("a?.jpg")), "JPEG"));
#endif
        QVERIFY(testimages::PhotoLike(1001, 751, 1).save(src_.filePath("photo.jpg"), "JPEG", 90));
        QVERIFY(testimages::PhotoLike(640, 480, 2).save(src_.filePath("IMG_0012.JPG"), "JPEG", 75));
        QVERIFY(testimages::Write(src_.filePath("a.b.gif"), testimages::TwoFrameGif));
        QVERIFY(testimages::PhotoLike(333, 97, 3).save(src_.filePath(QStringLiteral("写真 1.bmp"))));
        QVERIFY(testimages::PhotoLike(50, 50, 5).save(src_.filePath(longName)));
        // "skipped.jpg" does not exist: reading it would fail the run.

        // Four threads under a budget of one byte: every picture needs more,
        // so each runs alone. And every picture's bands coded on a thread of
        // their own.
        QList<QStringList> outputs;
        for (const auto& [threads, budget, aside] : {std::tuple{1, qint64(0), false}, {4, qint64(0), false},
                                                     {4, qint64(1), false}, {2, qint64(0), true}}) {
            QTemporaryDir folder;
            batch::Plan plan = PlanOf(names, folder.path());
            plan.Items[4].Skip = true;
            batch::EngineOptions options;
            options.Threads = threads;
            options.MemoryBudget = budget;
            options.CodeBandsAside = aside;
            std::mutex mutex;
            QList<int> reserved;
            int inWork = 0, mostInWork = 0;
            options.Observer = [&](int index, batch::WorkStep step) {
                const std::lock_guard lock(mutex);
                if (step == batch::WorkStep::MemoryReserved) {
                    reserved << index;
                    mostInWork = std::max(mostInWork, ++inWork);
                } else if (step == batch::WorkStep::ItemFinished && reserved.contains(index)) {
                    --inWork;
                }
            };
            ShrinkEngine engine(std::move(plan), options);
            const std::vector<ItemOutcome> outcomes = RunToEnd(engine);
            if (budget == 1)
                QCOMPARE(mostInWork, 1);
            std::sort(reserved.begin(), reserved.end());  // reported as it happens
            QCOMPARE(reserved, QList<int>({0, 1, 2, 3, 5, 6}).first(names.size() - 1));
            QCOMPARE(int(outcomes.size()), names.size());
            QStringList bytes;
            for (int i = 0; i < names.size(); ++i) {
                const ItemOutcome& o = outcomes[std::size_t(i)];
                QCOMPARE(o.Index, i);
                QVERIFY2(o.Ok(), qPrintable(o.Output));
                QCOMPARE(o.Skipped, i == 4);
                QCOMPARE(o.OutputBytes, QFileInfo(o.Output).size());
                bytes << QString::fromLatin1(testimages::Read(o.Output).toBase64());
            }
            QCOMPARE(QDir::fromNativeSeparators(outcomes[2].Output), folder.filePath("a.b.jpg"));
            QVERIFY(!QFile::exists(folder.filePath("skipped.jpg")));
            QCOMPARE(Files(folder.path()).size(), names.size() - 1);  // no temporary left
            outputs << bytes;
        }
        for (const QStringList& other : outputs)
            QCOMPARE(other, outputs[0]);
    }

    // The order the run's last items are taken in, from their files' sizes:
    // every item once; the markedly larger files first, largest first; the
    // rest (one only a little larger among them) in plan order. Files of
    // about one size, of unknown size (0) or too few to compare keep their
    // order.
    void lastItemsTakeOrder()
    {
        const auto planOrder = [](std::size_t count) {
            std::vector<int> order(count);
            std::iota(order.begin(), order.end(), 0);
            return order;
        };
        for (const std::vector<std::uintmax_t>& sizes : {std::vector<std::uintmax_t>{}, {1, 900}, {0, 0, 0, 900},
                                                         std::vector<std::uintmax_t>(16, 5000), {4000, 5000, 6000, 4500, 5900}})
            QCOMPARE(batch::TakeOrderOf(sizes), planOrder(sizes.size()));
        std::vector<std::uintmax_t> sizes(16, 3000);
        sizes[3] = 40'000, sizes[9] = 90'000, sizes[11] = 3500, sizes[14] = 20'000;
        const std::vector<int> order = batch::TakeOrderOf(sizes), plan = planOrder(16);
        QVERIFY(std::is_permutation(order.begin(), order.end(), plan.begin(), plan.end()));
        QCOMPARE(std::vector<int>(order.begin(), order.begin() + 3), std::vector<int>({9, 3, 14}));
        QVERIFY(std::is_sorted(order.begin() + 3, order.end()));
    }

    // An item reading a file another item writes is put in place (and so
    // read) before it, along a chain, however far apart and whatever the
    // letter case where the output folder ignores it; the rest keep their
    // order. Of two items writing each other's source one must read
    // the other's file: it is read only once that file is in place.
    void aSourceAnotherItemReplacesIsReadFirst()
    {
        const auto plan = [](const QStringList& pairs) {
            std::vector<batch::PlanItem> items;
            for (const QString& pair : pairs)
                items.push_back({"/in/" + pair.section('>', 0, 0), "/in/" + pair.section('>', 1)});
            return items;
        };
        QStringList chain = {"x>x_s", "a>a_s"};
        for (int i = 0; i < 20; ++i)
            chain << QStringLiteral("f%1>f%1_s").arg(i);
        chain << "X_S>x_s_s" << "b>b_s" << "x_S_s>x_s_s_s";
        std::vector<batch::PlanItem> items = plan(chain);
        batch::ItemKeys keys = batch::KeysOf(items, batch::NameCase::Insensitive);
        std::vector<int> order = batch::PutInPlaceOrder(items, keys);
        QCOMPARE(std::vector<int>(order.begin(), order.begin() + 4), std::vector<int>({24, 22, 0, 1}));
        QVERIFY(std::is_sorted(order.begin() + 3, order.end()) && order.back() == 23);
        QCOMPARE(batch::ReadsOutputOf(order, keys), std::vector<int>(25, -1));

        items = plan({"p>q", "q>p", "r>s"});
        keys = batch::KeysOf(items, batch::NameCase::Sensitive);
        order = batch::PutInPlaceOrder(items, keys);
        QCOMPARE(order.back(), 2);
        QCOMPARE(batch::ReadsOutputOf(order, keys), std::vector<int>({-1, 0, -1}));
    }

    // On more than one thread the engine takes the run's last items (and
    // grants them memory) in that order, the earlier ones and every item on
    // one thread in plan order; files go in place in plan order. A first
    // failure of a file taken early still lets every item before it be done.
    void theEngineTakesItemsInThatOrder()
    {
        QStringList names;
        std::vector<std::uintmax_t> lastSizes;
        for (int i = 0; i < 20; ++i) {
            names << QStringLiteral("%1.bmp").arg(i);
            const bool large = i == 2 || i == 9 || i == 17;
            QVERIFY(testimages::PhotoLike(large ? 96 + 8 * i : 16, 64, 1).save(src_.filePath(names.last())));
            if (i >= 4)
                lastSizes.push_back(std::uintmax_t(QFileInfo(src_.filePath(names.last())).size()));
        }
        for (const int threads : {1, 2}) {
            init();
            batch::EngineOptions options;
            options.Threads = threads;
            options.MemoryBudget = 1;  // one at a time, in the order they are taken
            std::mutex mutex;
            QList<int> reserved;
            options.Observer = [&](int index, batch::WorkStep step) {
                const std::lock_guard lock(mutex);
                if (step == batch::WorkStep::MemoryReserved)
                    reserved << index;
            };
            ShrinkEngine engine(PlanOf(names, out_.path()), options);
            const std::vector<ItemOutcome> outcomes = RunToEnd(engine);
            QList<int> expected = {0, 1, 2, 3};
            for (const int k : batch::TakeOrderOf(lastSizes))
                expected << 4 + k;
            if (threads == 1)
                std::sort(expected.begin(), expected.end());
            else
                QVERIFY(!std::is_sorted(expected.begin(), expected.end()));  // the large ones move up
            QCOMPARE(reserved, expected);
            QCOMPARE(int(outcomes.size()), 20);
            for (int i = 0; i < 20; ++i)
                QCOMPARE(outcomes[std::size_t(i)].Index, i);
        }

        init();
        std::atomic<bool> largeFailed{false};
        batch::EngineOptions options;
        options.Threads = 2;
        options.Policy = batch::FailurePolicy::StopAtFirstFailure;
        options.Reducer = [&](const QString& path, double, const std::atomic<bool>*) {
            if (path.endsWith("17.bmp")) {
                pictures::ReducedPicture failed;
                failed.Error = pictures::PictureError{pictures::PictureErrorNumber::InvalidPicture, "broken"};
                largeFailed = true;
                return failed;
            }
            WaitFor(largeFailed);
            return Plain(16, 16);
        };
        ShrinkEngine engine(PlanOf(names.mid(10), out_.path()), options);
        const std::vector<ItemOutcome> outcomes = RunToEnd(engine);
        QCOMPARE(int(outcomes.size()), 8);
        QCOMPARE(outcomes[7].LoadError->Description, QStringLiteral("broken"));
        QCOMPARE(Files(out_.path()), QStringList({"10.jpg", "11.jpg", "12.jpg", "13.jpg", "14.jpg", "15.jpg", "16.jpg"}));
    }

    // x.jpg writes x_s.jpg, which s.jpg, far after it (beyond the window of
    // one worker), is a link to: on any number of threads s.jpg is read as
    // x_s.jpg was before the run, and put in place just before x.jpg.
    void aFileAnotherReplacesIsReadFirst()
    {
#if defined(Q_OS_WIN)
        QSKIP("a symbolic link needs a privilege on Windows");
#endif
        QList<QByteArray> results;
        for (const int threads : {1, 4}) {
            QTemporaryDir folder;
            QStringList names = {"x.jpg"};
            for (int i = 0; i < 20; ++i)
                names << QStringLiteral("f%1.bmp").arg(i);
            names << "s.jpg" << "y.jpg";
            const QStringList pictures = names.filter(QRegularExpression("^[^s]")) << "x_s.jpg";
            for (const QString& name : pictures)  // the width tells which was read
                QVERIFY(testimages::PhotoLike(name.startsWith('f') ? 8 : 64 + 20 * name.size(), 48, 7).save(folder.filePath(name)));
            QVERIFY(QFile::link("x_s.jpg", folder.filePath("s.jpg")));
            batch::Plan plan;
            plan.Ratio = 0.5;
            for (const QString& name : names)
                plan.Items.push_back({folder.filePath(name), batch::OutputPathFor(folder.path(), name, "_s")});
            batch::EngineOptions options;
            options.Threads = threads;
            ShrinkEngine engine(std::move(plan), options);
            const std::vector<ItemOutcome> outcomes = RunToEnd(engine);
            QCOMPARE(outcomes.size(), std::size_t(23));
            QCOMPARE(QList<int>({outcomes[0].Index, outcomes[1].Index}), QList<int>({21, 0}));
            QCOMPARE(outcomes[0].SourceSize, QSize(64 + 20 * 7, 48));
            results << testimages::Read(outcomes[0].Output) + testimages::Read(outcomes[1].Output);
        }
        QCOMPARE(results[1], results[0]);
    }

    // What the plan's output settings make of a file: the size box and the
    // quality reach the encoder; the metadata is kept upright, at the
    // written size, without thumbnail and (unless asked) GPS position; the
    // date is the source's. Metadata asked for that cannot be read fails the
    // picture: nothing is written.
    void whatThePlanKeeps_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QSize>("box");  // none: the ratio, 0.5
        QTest::addColumn<int>("quality");
        QTest::addColumn<QString>("kept");  // "metadata", "gps", "date"
        QTest::addColumn<QSize>("written");
        QTest::newRow("box and quality") << "photo.jpg" << QSize(500, 500) << 85 << "" << QSize(500, 375);
        QTest::newRow("metadata") << "camera.jpg" << QSize() << 50 << "metadata" << QSize(24, 32);
        QTest::newRow("sideways in a box, with GPS and date") << "camera.jpg" << QSize(30, 30) << 50 << "metadata gps date" << QSize(22, 30);
        QTest::newRow("a BMP has no metadata to keep") << "b.bmp" << QSize() << 50 << "metadata date" << QSize(32, 24);
        QTest::newRow("Exif that cannot be read") << "bad.jpg" << QSize() << 50 << "metadata" << QSize();
    }
    void whatThePlanKeeps()
    {
        QFETCH(QString, source);
        QFETCH(QSize, box);
        QFETCH(int, quality);
        QFETCH(QString, kept);
        QFETCH(QSize, written);
        QTemporaryDir folder;
        QVERIFY(testimages::PhotoLike(1001, 751, 1).save(folder.filePath("photo.jpg"), "JPEG", 90) &&
                testimages::WriteCameraPhoto(folder.filePath("camera.jpg")) &&
                testimages::PhotoLike(64, 48, 2).save(folder.filePath("b.bmp")));
        // Exif in a byte order that is none: a decoder passes it over.
        QVERIFY(testimages::Write(folder.filePath("bad.jpg"),
                                  testimages::PhotoJpeg(40, 30).insert(2, QByteArray("\xff\xe1\x00\x10" "Exif\0\0XX*\0\x08\0\0\0", 18))));
        const QDateTime when(QDate(2001, 2, 3), QTime(4, 5, 6, 789));
        QFile file(folder.filePath(source));
        QVERIFY(file.open(QIODevice::ReadWrite) && file.setFileTime(when, QFileDevice::FileModificationTime));
        file.close();

        const output::MetadataLibrary library;
        batch::Plan plan = PlanOf({source}, out_.path());
        plan.Items[0].Source = folder.filePath(source);
        plan.Output.Size = box.isEmpty() ? output::SizeMode::Ratio : output::SizeMode::Box;
        plan.Output.Box = box;
        plan.Output.Quality = quality;
        plan.Output.KeepMetadata = kept.contains("metadata");
        plan.Output.KeepGps = kept.contains("gps");
        plan.Output.KeepDate = kept.contains("date");
        const output::Settings settings = plan.Output;
        batch::EngineOptions options;
        options.Metadata = &library;
        ShrinkEngine engine(std::move(plan), options);
        const std::vector<ItemOutcome> outcomes = RunToEnd(engine);
        if (written.isEmpty()) {
            QCOMPARE(outcomes[0].LoadError->Description, QStringLiteral("元の画像の撮影情報を読み込めません。 (%1)")
                                                            .arg(QDir::toNativeSeparators(folder.filePath(source))));
            QVERIFY(Files(out_.path()).isEmpty());
            return;
        }
        QVERIFY(outcomes[0].Ok());
        const QString output = outcomes[0].Output;
        QCOMPARE(QImage(output).size(), written);
        QCOMPARE(outcomes[0].OutputBytes, QFileInfo(output).size());
        QCOMPARE(QFileInfo(output).lastModified() == when, settings.KeepDate);

        if (source == "photo.jpg") {
            const QImage reduced = pictures::StretchHalftone(pictures::LoadPicture(folder.filePath(source)).Image, 500, 375);
            std::vector<std::uint8_t> expected;
            QCOMPARE(jpeg::EncodeJpegToMemory({reinterpret_cast<const std::uint32_t*>(reduced.constBits()),
                                                     reduced.bytesPerLine() / 4, 500, 375},
                                                    expected, quality),
                     jpeg::JpegResult::Ok);
            QCOMPARE(testimages::Read(output), QByteArray(reinterpret_cast<const char*>(expected.data()), qsizetype(expected.size())));
        }
        for (const testimages::Tag& tag : testimages::CameraTags) {
            const std::string key = tag.key, copy = tag.copy;
            std::string expected = copy != "gps" ? copy : settings.KeepGps ? tag.source : "none";
            if (key.find("PixelXDimension") != std::string::npos)
                expected = std::to_string(written.width());
            if (key.find("PixelYDimension") != std::string::npos)
                expected = std::to_string(written.height());
            QCOMPARE(testimages::TagValue(output, key), source == "camera.jpg" ? expected : "none");
        }
    }

    void firstFailureLeavesThePrefix()
    {
        const QStringList names = {"0.jpg", "1.jpg", "2.jpg", "3.jpg", "4.jpg", "5.jpg", "6.jpg"};
        for (const auto policy : {batch::FailurePolicy::StopAtFirstFailure, batch::FailurePolicy::GoOn,
                                  batch::FailurePolicy::PauseAtFailure}) {
            init();
            QVERIFY(QDir(out_.path()).mkdir("5.jpg"));  // cannot be replaced: fails when put in place
            std::atomic<int> laterFinished{0};
            bool named = false;  // a finished file waiting for its turn has a name
            batch::EngineOptions options;
            options.Threads = 3;
            options.Policy = policy;
            options.Observer = [&](int index, batch::WorkStep step) {
                if (step == batch::WorkStep::ItemFinished && (index == 3 || index == 4))
                    ++laterFinished;
            };
            options.Reducer = [&](const QString& path, double, const std::atomic<bool>*) {
                if (!path.endsWith("2.jpg"))
                    return Plain(64, 48);
                WaitFor([&] { return laterFinished >= 2; });  // fails once the two images after it are finished
                pictures::ReducedPicture failed;
                failed.Error = pictures::PictureError{pictures::PictureErrorNumber::InvalidPicture, "broken"};
                return failed;
            };
            ShrinkEngine engine(PlanOf(names, out_.path()), options);
            // Paused at a failure, nothing after it is in place, though 3 and
            // 4 are done; going on puts them in place.
            QStringList atFailures;
            const std::vector<ItemOutcome> outcomes = RunToEnd(engine, [&](const ItemOutcome&) {
                atFailures << QDir(out_.path()).entryList(QDir::Files, QDir::Name).join(',');  // temporaries are hidden
                named = named || !Files(out_.path()).filter(".tmp").isEmpty();  // 3.jpg and 4.jpg wait
                if (policy == batch::FailurePolicy::PauseAtFailure)
                    engine.Resume();
            });
            if (policy == batch::FailurePolicy::PauseAtFailure)
                QCOMPARE(atFailures, QStringList({"0.jpg,1.jpg", "0.jpg,1.jpg,3.jpg,4.jpg"}));

            if (policy == batch::FailurePolicy::StopAtFirstFailure) {
                QCOMPARE(int(outcomes.size()), 3);
                QCOMPARE(outcomes[2].LoadError->Description, QStringLiteral("broken"));
                QCOMPARE(Files(out_.path()), QStringList({"0.jpg", "1.jpg"}));
            } else {
                QCOMPARE(int(outcomes.size()), 7);
                QVERIFY(outcomes[2].LoadError);
                QCOMPARE(outcomes[5].SaveResult, jpeg::JpegResult::FolderInTheWay);
                QCOMPARE(Files(out_.path()), QStringList({"0.jpg", "1.jpg", "3.jpg", "4.jpg", "6.jpg"}));
            }
#if defined(Q_OS_LINUX)
            QVERIFY(!named);  // unnamed until put in place: a kill leaves nothing
#endif
            QVERIFY(QDir(out_.path()).rmdir("5.jpg"));
        }
    }

    // Under either policy: a side libjpeg cannot open is refused before
    // encoding; a vanished output folder ends the run, no later file read;
    // a full disk fails only the picture being written.
    // And the words for the failures.
    void failuresOfTheOutput()
    {
        std::atomic<int> reads{0};
        batch::EngineOptions options;
        options.Threads = 1;
        options.Policy = batch::FailurePolicy::GoOn;
        options.Reducer = [&](const QString& path, double, const std::atomic<bool>*) {
            ++reads;
            return path.endsWith("0.jpg") ? Plain(65500, 2) : Plain(65501, 2);
        };
        ShrinkEngine sides(PlanOf({"0.jpg", "1.jpg"}, out_.path()), options);
        std::vector<ItemOutcome> outcomes = RunToEnd(sides);
        QVERIFY(outcomes[0].Ok());
        QCOMPARE(outcomes[1].SaveResult, jpeg::JpegResult::PictureTooLarge);
        QCOMPARE(Files(out_.path()), QStringList{"0.jpg"});

        QTemporaryDir parent;
        const QString gone = parent.filePath("out");
        QVERIFY(QDir().mkdir(gone));
        options.Reducer = [&](const QString&, double, const std::atomic<bool>*) {
            QDir(gone).removeRecursively();
            ++reads;
            return Plain(64, 48);
        };
        reads = 0;
        ShrinkEngine vanished(PlanOf({"0.jpg", "1.jpg", "2.jpg"}, gone), options);
        outcomes = RunToEnd(vanished);
        QCOMPARE(int(outcomes.size()), 1);
        QCOMPARE(outcomes[0].SaveResult, jpeg::JpegResult::DeviceUnavailable);
        QVERIFY(outcomes[0].EndsRun);
        QCOMPARE(reads.load(), 1);

#if defined(Q_OS_UNIX)
        // The disk fills (a file-size limit) while a megapixel picture's
        // bands are coded on a thread of their own: it fails alone, leaving
        // nothing behind, and the next picture is written.
        init();
        options.CodeBandsAside = true;  // as from a megapixel on, even on one core
        options.Reducer = [](const QString& path, double, const std::atomic<bool>*) {
            pictures::ReducedPicture picture = Plain(64, 48);
            if (path.endsWith("0.jpg"))
                picture.Image = testimages::PhotoLike(1024, 1024, 4).convertToFormat(QImage::Format_RGB32);
            return picture;
        };
        struct rlimit saved {};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0);
        struct rlimit small = saved;
        small.rlim_cur = 32 * 1024;
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        ShrinkEngine full(PlanOf({"0.jpg", "1.jpg"}, out_.path()), options);
        outcomes = RunToEnd(full);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        QCOMPARE(outcomes[0].SaveResult, jpeg::JpegResult::DiskFull);
        QVERIFY(outcomes[1].Ok());
        QCOMPARE(Files(out_.path()), QStringList{"1.jpg"});
#endif

        // Every failed save has words of its own in either language, so that a
        // message never leaves the reason out or gives one failure another's
        // text; success and values that are no failure have none.
        using jpeg::JpegResult;
        const QList<JpegResult> failures = {JpegResult::OutOfMemory,       JpegResult::DiskFull,    JpegResult::PermissionDenied,
                                            JpegResult::DeviceUnavailable, JpegResult::BadFileName, JpegResult::PictureTooLarge,
                                            JpegResult::Unexpected,        JpegResult::FolderInTheWay, JpegResult::OtherDevice};
        QSet<QString> japanese;
        for (const base::Language language : {base::Language::Japanese, base::Language::English}) {
            const base::Translations texts(language);
            QSet<QString> words;
            for (const JpegResult failure : failures)
                words << batch::SaveErrorText(failure);
            QVERIFY(!words.contains(QString()));
            QCOMPARE(words.size(), failures.size());
            QVERIFY(!words.intersects(japanese));  // English is not left in Japanese
            japanese = words;
            for (const int none : {0, -1, -9, 1})
                QCOMPARE(batch::SaveErrorText(static_cast<JpegResult>(none)), QString());
        }
    }

    // The system gives one thread of the three asked for, then none.
    void threadsThatCannotStart()
    {
        for (const int given : {1, 0}) {
            init();
            int started = 0;
            std::atomic<int> wakes{0};
            batch::EngineOptions options;
            options.Threads = 3;
            options.Reducer = [](const QString&, double, const std::atomic<bool>*) { return Plain(64, 48); };
            options.StartThread = [&](std::function<void()> work) {
                if (started++ >= given)
                    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
                return std::thread(std::move(work));
            };
            ShrinkEngine engine(PlanOf({"0.jpg", "1.jpg", "2.jpg"}, out_.path()), options);
            const std::vector<ItemOutcome> outcomes = RunToEnd(engine, {}, [&] { ++wakes; });
            QVERIFY(wakes > 0);  // the window's run hears of it either way
            if (given == 1) {
                QCOMPARE(Files(out_.path()), QStringList({"0.jpg", "1.jpg", "2.jpg"}));
                continue;
            }
            QCOMPARE(int(outcomes.size()), 1);
            QCOMPARE(outcomes[0].LoadError->Description,
                     QStringLiteral("メモリが足りません。 (%1)").arg(QDir::toNativeSeparators(src_.filePath("0.jpg"))));
            QVERIFY(Files(out_.path()).isEmpty());
        }
    }

    void stopDuringAnEncodeLeavesNothing()
    {
        const QStringList names = {"0.jpg", "1.jpg", "2.jpg"};
        QVERIFY(testimages::Write(out_.filePath("0.jpg"), "original"));
        std::atomic<bool> encoding{false}, decoding{false}, stopped{false};
        std::atomic<int> rows{0};
        batch::EngineOptions options;
        options.Threads = 2;
        // 1.jpg is being decoded (the decoder reads the stop flag), 0.jpg encoded.
        const batch::PictureReducer held = HoldUntilStopped(QStringLiteral("1.jpg"), decoding);
        options.Reducer = [&](const QString& path, double ratio, const std::atomic<bool>* stop) {
            return path.endsWith("0.jpg") ? Plain(64, 16 * 40) : held(path, ratio, stop);
        };
        options.Observer = [&](int index, batch::WorkStep step) {
            if (index == 0 && step == batch::WorkStep::RowEncoded && ++rows == 1) {
                encoding = true;
                WaitFor(stopped);
            }
        };
        ShrinkEngine engine(PlanOf(names, out_.path()), options);
        engine.Start();
        WaitFor(encoding);
        WaitFor(decoding);
        engine.Stop();
        stopped = true;
        while (!engine.Finished()) {
            engine.Wait();
            QVERIFY(engine.Collect().empty());
        }
        QCOMPARE(rows.load(), 1);  // the encoder stopped at the next row of blocks
        QCOMPARE(Files(out_.path()), QStringList{"0.jpg"});
        QCOMPARE(testimages::Read(out_.filePath("0.jpg")), QByteArray("original"));
    }

    void stopFromAnotherThreadWhileStarting()
    {
        std::atomic<int> wakes{0};
        const auto wake = [&] { ++wakes; };
        batch::EngineOptions options;
        options.Threads = 2;
        options.Reducer = [](const QString&, double, const std::atomic<bool>*) { return Plain(64, 48); };
        {
            // Stopped before it started: it never starts.
            ShrinkEngine engine(PlanOf({"0.jpg", "1.jpg"}, out_.path()), options);
            engine.Stop();
            engine.Start(wake);
            QVERIFY(engine.Finished());
            QCOMPARE(wakes.load(), 0);
        }
        // zembrik-batch's interrupt thread may stop the run while it starts.
        ShrinkEngine engine(PlanOf({"0.jpg", "1.jpg", "2.jpg"}, out_.path()), options);
        std::atomic<bool> ready{false};
        std::thread interrupt([&] {
            ready = true;
            engine.Stop();
        });
        WaitFor(ready);
        engine.Start(wake);
        interrupt.join();
        while (!engine.Finished()) {
            engine.Wait();
            QVERIFY(engine.Collect().empty());
        }
        QVERIFY(Files(out_.path()).isEmpty());
    }

    // Several sizes from one read: each output is the file a run of that
    // size alone writes, for a streamed JPEG (stored turned too) and a PNG
    // read whole; a size the picture already fits is copied, not reduced.
    void severalSizesWriteWhatEachSizeAloneWrites()
    {
        QVERIFY(testimages::PhotoLike(1001, 751, 1).save(src_.filePath("photo.jpg"), "JPEG", 90));
        QVERIFY(testimages::WriteCameraPhoto(src_.filePath("turned.jpg")));
        QVERIFY(testimages::PhotoLike(333, 197, 2).save(src_.filePath("drawing.png")));
        const QStringList names = {"photo.jpg", "turned.jpg", "drawing.png"};
        const std::vector<QSize> boxes = {QSize(640, 480), QSize(30, 30), QSize(400, 400)};
        const auto settings = [](std::vector<QSize> sizes) {
            output::Settings s;
            s.Size = output::SizeMode::Box;
            s.Box = sizes.front();
            s.MoreBoxes.assign(sizes.begin() + 1, sizes.end());
            return s;
        };
        QTemporaryDir together;
        batch::Plan plan = PlanOf(names, together.filePath("0"));
        for (std::size_t k = 0; k < boxes.size(); ++k) {
            QVERIFY(QDir(together.path()).mkdir(QString::number(k)));
            for (batch::PlanItem& item : plan.Items)
                if (k > 0)
                    item.MoreOutputs.push_back(batch::OutputPathFor(together.filePath(QString::number(k)),
                                                                    QFileInfo(item.Source).fileName()));
        }
        plan.Output = settings(boxes);
        batch::EngineOptions options;
        options.Threads = 2;
        ShrinkEngine engine(std::move(plan), options);
        const std::vector<ItemOutcome> outcomes = RunToEnd(engine);
        QCOMPARE(int(outcomes.size()), names.size() * int(boxes.size()));
        for (std::size_t i = 0; i < outcomes.size(); ++i) {
            QVERIFY2(outcomes[i].Ok(), qPrintable(outcomes[i].Output));
            QCOMPARE(outcomes[i].Index, int(i / boxes.size()));
            QCOMPARE(outcomes[i].Size, int(i % boxes.size()));
        }
        for (std::size_t k = 0; k < boxes.size(); ++k) {
            QTemporaryDir alone;
            batch::Plan single = PlanOf(names, alone.path());
            single.Output = settings({boxes[k]});
            ShrinkEngine one(std::move(single));
            for (const ItemOutcome& o : RunToEnd(one)) {
                const ItemOutcome& several = outcomes[std::size_t(o.Index) * boxes.size() + k];
                QCOMPARE(several.TargetSize, o.TargetSize);
                QVERIFY2(testimages::Read(several.Output) == testimages::Read(o.Output), qPrintable(several.Output));
            }
        }
        QCOMPARE(outcomes[2 * boxes.size()].TargetSize, QSize(333, 197));
        QCOMPARE(outcomes[1 * boxes.size() + 1].TargetSize, QSize(22, 30));
    }

    // Under a byte limit each output is written at the highest quality up
    // to the ceiling whose file fits (the next one up does not); one that
    // does not fit even at quality 1 fails, nothing is written for it, and
    // the run goes on.
    void byteLimitPicksTheHighestQualityThatFits()
    {
        QVERIFY(testimages::PhotoLike(1600, 1200, 4).save(src_.filePath("large.png")));
        QVERIFY(testimages::PhotoLike(400, 300, 3).save(src_.filePath("small.jpg"), "JPEG", 95));
        const pictures::ReducedPicture reduced = pictures::LoadReducedPicture(src_.filePath("small.jpg"), 0.5);
        QVERIFY(reduced.Ok());
        const QImage& image = reduced.Image;
        const auto encoded = [&](int quality) {
            std::vector<std::uint8_t> bytes;
            jpeg::EncodeJpegToMemory({reinterpret_cast<const std::uint32_t*>(image.constBits()),
                                      image.bytesPerLine() / 4, image.width(), image.height()},
                                     bytes, quality);
            return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
        };
        const qint64 limit = encoded(70).size() + 10;
        for (const int ceiling : {90, 40}) {
            batch::Plan plan = PlanOf({"large.png", "small.jpg"}, out_.path());
            plan.Output.MaxBytes = limit;
            plan.Output.Quality = ceiling;
            batch::EngineOptions options;
            options.Policy = batch::FailurePolicy::GoOn;
            ShrinkEngine engine(std::move(plan), options);
            const std::vector<ItemOutcome> outcomes = RunToEnd(engine);
            QCOMPARE(int(outcomes.size()), 2);
            QVERIFY(outcomes[0].LoadError);
            QVERIFY(outcomes[0].LoadError->Description.startsWith(
                QStringLiteral("品質 1 でも %1 バイトに収まらないため、書き出していません。").arg(limit)));
            QVERIFY(!QFile::exists(outcomes[0].Output));
            QVERIFY(outcomes[1].Ok());
            const QByteArray written = testimages::Read(outcomes[1].Output);
            QVERIFY(written.size() <= limit);
            int quality = 1;
            while (quality <= ceiling && encoded(quality) != written)
                ++quality;
            QVERIFY(quality <= ceiling);
            QVERIFY(quality == ceiling || encoded(quality + 1).size() > limit);
            QCOMPARE(Files(out_.path()), QStringList{"small.jpg"});
        }
    }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
