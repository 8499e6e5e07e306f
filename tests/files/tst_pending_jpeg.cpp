// How a file written through PendingJpeg treats the file it replaces, and
// how the file system's failures come back.
#include <QtTest>

#include <QDir>
#include <QTemporaryDir>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "files/pendingjpeg.h"
#include "testimages.h"

using jpeg::JpegResult;

namespace {

jpeg::PixelRows Rows(const QImage& p, int rows)
{
    return {reinterpret_cast<const std::uint32_t*>(p.constBits()), p.bytesPerLine() / 4, p.width(), rows};
}

QImage Photo(int width, int height)
{
    return testimages::PhotoLike(width, height, 7).convertToFormat(QImage::Format_ARGB32);
}

// Starts a file and gives it the first Rows rows of the picture.
JpegResult Begin(files::PendingJpeg& file, const QString& path, const QImage& p, int rows)
{
    const JpegResult started = file.Start(std::filesystem::path(QFile::encodeName(path).toStdString()), p.width(), p.height());
    return started != JpegResult::Ok ? started : file.PutRows(Rows(p, rows));
}

JpegResult Save(const QString& path, const QImage& p)
{
    files::PendingJpeg file;
    JpegResult result = Begin(file, path, p, p.height());
    if (result == JpegResult::Ok)
        result = file.Finish();
    return result == JpegResult::Ok ? file.Commit() : result;
}

}  // namespace

class PendingJpegTest : public QObject {
    Q_OBJECT

private slots:
    // Only a whole file replaces the target: an older, longer one goes
    // completely, its permissions staying; a file stopped half way (as when a
    // run is stopped), one finished with rows missing, or one onto a folder
    // leaves what was there, and no temporary file.
    void onlyAWholeFileReplacesTheTarget()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("photo.jpg"));
        QVERIFY(testimages::Write(target, QByteArray(100000, 'x')));
        const QImage p = Photo(64, 64);
        {
            files::PendingJpeg stopped;
            QCOMPARE(Begin(stopped, target, p, 20), JpegResult::Ok);
        }
        files::PendingJpeg incomplete;
        QCOMPARE(Begin(incomplete, target, p, 63), JpegResult::Ok);
        QCOMPARE(incomplete.Finish(), JpegResult::Unexpected);
        QCOMPARE(incomplete.Commit(), JpegResult::Unexpected);
        QCOMPARE(testimages::Read(target), QByteArray(100000, 'x'));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.jpg")));
        QVERIFY(Save(dir.filePath(QStringLiteral("folder.jpg")), p) != JpegResult::Ok);
        QVERIFY(QFileInfo(dir.filePath(QStringLiteral("folder.jpg"))).isDir());
#ifdef Q_OS_UNIX
        // The file put in place keeps the replaced one's permission bits,
        // and its group where we may give it that group.
        const QByteArray name = QFile::encodeName(target);
        QCOMPARE(::chmod(name.constData(), 0640), 0);
        std::vector<gid_t> groups(static_cast<std::size_t>(std::max(0, ::getgroups(0, nullptr))));
        groups.resize(static_cast<std::size_t>(std::max(0, ::getgroups(int(groups.size()), groups.data()))));
        groups.push_back(::getegid() + 1);  // anyone's for root
        gid_t group = ::getegid();
        for (const gid_t other : groups)
            if (other != group && ::chown(name.constData(), static_cast<uid_t>(-1), other) == 0) {
                group = other;
                break;
            }
#endif
        QCOMPARE(Save(target, p), JpegResult::Ok);
        std::vector<std::uint8_t> encoded;
        QCOMPARE(jpeg::EncodeJpegToMemory(Rows(p, p.height()), encoded), JpegResult::Ok);
        QCOMPARE(testimages::Read(target), QByteArray(reinterpret_cast<const char*>(encoded.data()), qsizetype(encoded.size())));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("photo.jpg")});
#ifdef Q_OS_UNIX
        struct stat replaced;
        QCOMPARE(::stat(name.constData(), &replaced), 0);
        QCOMPARE(replaced.st_mode & 07777, mode_t{0640});
        QCOMPARE(replaced.st_gid, group);
#endif
    }

    void failuresAreClassified()
    {
        QTemporaryDir dir;
        const QImage small = Photo(20, 20);
        QCOMPARE(Save(QString(), small), JpegResult::BadFileName);

        // 65536 pixels do not fit the frame header.
        QCOMPARE(Save(dir.filePath(QStringLiteral("wide.jpg")), Photo(65536, 1)), JpegResult::Unexpected);
        QVERIFY(QDir(dir.path()).isEmpty(QDir::Files | QDir::Hidden));

#ifdef Q_OS_LINUX
        // The output folder's link turned to another file system once the
        // file is written: the rename cannot cross, and says so.
        struct stat here, there;
        if (::stat(QFile::encodeName(dir.path()).constData(), &here) != 0 || ::stat("/dev/shm", &there) != 0 ||
            here.st_dev == there.st_dev)
            QSKIP("no second file system at /dev/shm");
        QTemporaryDir other(QStringLiteral("/dev/shm/tst_pending_jpeg-XXXXXX"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("first")) && QFile::link(dir.filePath(QStringLiteral("first")), dir.filePath(QStringLiteral("out"))));
        files::PendingJpeg moved;
        QCOMPARE(Begin(moved, dir.filePath(QStringLiteral("out/small.jpg")), small, small.height()), JpegResult::Ok);
        QCOMPARE(moved.Finish(), JpegResult::Ok);
        QVERIFY(QFile::remove(dir.filePath(QStringLiteral("out"))) && QFile::link(other.path(), dir.filePath(QStringLiteral("out"))));
        QCOMPARE(moved.Commit(), JpegResult::OtherDevice);
        QVERIFY(QDir(other.path()).isEmpty(QDir::Files | QDir::Hidden));
#endif
    }
};

QTEST_GUILESS_MAIN(PendingJpegTest)
#include "tst_pending_jpeg.moc"
