// The check before a run writes: originals (also through a linked folder),
// shared output names, files already there, skipped items, the question, and
// the same with a suffix on the names.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "batch/preflight.h"

using namespace batch;

class TestPreflight : public QObject {
    Q_OBJECT

    QTemporaryDir src_;
    QTemporaryDir out_;

    QString Src(const char* name) const { return src_.filePath(QString::fromLatin1(name)); }
    static QString Skips(const PlanCheck& c)
    {
        QString skips;
        for (const PlanItem& item : c.Items)
            skips += item.Skip ? 's' : 'w';
        return skips;
    }

private slots:
    void initTestCase()
    {
        for (const char* name : {"x.jpg", "y.bmp", "z.JPG", "a.bmp", "a.gif", "a.JPG", "A.bmp", "a.jpg", "x_s.jpg"})
            QVERIFY(QFile(Src(name)).open(QIODevice::WriteOnly));
        QCOMPARE(FolderNameCase(src_.path()), NameCase::Sensitive);  // this machine's ext4 or tmpfs
    }

    void originalsInPlaceAndThroughALink()
    {
        const QStringList sources = {Src("x.jpg"), Src("y.bmp"), Src("z.JPG")};
        const QString link = out_.filePath("linked");
        QVERIFY(QFile::link(src_.path(), link));
        for (const QString& folder : {src_.path(), link, src_.path() + "/./"}) {
            const PlanCheck c = CheckPlan(sources, folder, NameCase::Sensitive);
            QCOMPARE(c.Originals, QStringList{Src("x.jpg")});
            QVERIFY(c.SameNames.isEmpty() && c.Existing.isEmpty());  // z.jpg is a new name here
            QCOMPARE(c.Items.at(1).Output, folder + QDir::separator() + "y.jpg");
            QCOMPARE(PlanQuestion(c), QStringLiteral("元の画像 1 個が縮小した画像で置き換えられます。\n続行しますか？"));
        }
        // Where names ignore case, z.JPG is the file z.jpg replaces.
        QCOMPARE(CheckPlan(sources, src_.path(), NameCase::Insensitive).Originals.size(), 2);
        QVERIFY(QFile::remove(link));
    }

    void sameNamesKeepTheLast()
    {
        const QStringList sources = {Src("a.bmp"), Src("A.bmp"), Src("a.gif"), Src("a.JPG"), Src("a.bmp")};
        const PlanCheck c = CheckPlan(sources, out_.path(), NameCase::Sensitive);
        QCOMPARE(c.SameNames, QStringList({Src("a.bmp"), Src("a.gif"), Src("a.JPG")}));  // a.bmp twice is one file
        QCOMPARE(Skips(c), "swssw");
        QCOMPARE(PlanQuestion(c),
                 QStringLiteral("同じ名前になる画像が 3 個あります。リストで後の画像だけが保存されます。\n続行しますか？"));
        QCOMPARE(Skips(CheckPlan(sources, out_.path(), NameCase::Insensitive)), "ssssw");

        // In place, whichever comes first: the original is named and read once, last.
        for (const QStringList& pair : {QStringList{Src("a.bmp"), Src("a.jpg")}, QStringList{Src("a.jpg"), Src("a.bmp")}}) {
            const PlanCheck c = CheckPlan(pair, src_.path(), NameCase::Sensitive);
            QCOMPARE(c.Originals, QStringList{Src("a.jpg")});
            QCOMPARE(Skips(c), "sw");
            QCOMPARE(PlanQuestion(c).count('\n'), 2);
        }
        // The same file given twice is no clash; it is still written once.
        const PlanCheck twice = CheckPlan({Src("y.bmp"), src_.path() + "/../" + QDir(src_.path()).dirName() + "/y.bmp"},
                                          out_.path(), NameCase::Sensitive);
        QVERIFY(!twice.NeedsQuestion());
        QCOMPARE(Skips(twice), "sw");
    }

    void aSuffixStillFindsEveryClash()
    {
        // In place, x.jpg's output is the selected x_s.jpg; x_s.jpg's own is new.
        const PlanCheck inPlace = CheckPlan({Src("x_s.jpg"), Src("x.jpg"), Src("y.bmp")}, src_.path(), NameCase::Sensitive, "_s");
        QCOMPARE(inPlace.Originals, QStringList{Src("x_s.jpg")});
        QVERIFY(inPlace.Existing.isEmpty() && inPlace.SameNames.isEmpty());
        const PlanCheck shared = CheckPlan({Src("a.bmp"), Src("a.gif")}, out_.path(), NameCase::Sensitive, "_s");
        QCOMPARE(shared.SameNames, QStringList({Src("a.bmp"), Src("a.gif")}));
        QCOMPARE(Skips(shared), "sw");
    }

    void existingFilesAskNothing()
    {
        QTemporaryDir out;
        QVERIFY(QFile(out.filePath("y.jpg")).open(QIODevice::WriteOnly));
        QVERIFY(QFile::link(Src("x.jpg"), out.filePath("x.jpg")));  // the link is replaced, not the photo
        const PlanCheck c = CheckPlan({Src("x.jpg"), Src("y.bmp"), Src("z.JPG")}, out.path());
        QCOMPARE(c.Existing, QStringList({out.filePath("x.jpg"), out.filePath("y.jpg")}));
        QVERIFY(PlanQuestion(c).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPreflight)
#include "tst_preflight.moc"
