// The main window's plain rules: splitter clamps, settings, drives and the
// paths the program is opened with.
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <fstream>

#include "base/paths.h"
#include "mainwin/drives.h"
#include "mainwin/filelist.h"
#include "pictures/pictureformats.h"
#include "mainwin/layout.h"
#include "mainwin/mainsettings.h"
#include "mainwin/openwith.h"
#include "testimages.h"

class tst_MainwinRules : public QObject {
    Q_OBJECT
private slots:
    // The splitter keeps 2000 twips for each pane, the file pane first in a
    // narrow window; the bar being dragged stays 500 twips inside the window.
    void splitterClamps()
    {
        for (const auto& [x, width, clamped] : {std::tuple{100.0, 6500.0, 2000.0}, {6000.0, 6500.0, 4500.0},
                                                {2500.0, 3500.0, 1500.0}}) {
            double left = x;
            mainwin::layout::ArrangeControls(left, {width, 5000});
            QCOMPARE(left, clamped);
        }
        QCOMPARE(mainwin::layout::SplitterBarLeft(2000, -1900, 6500), 500.0);
        QCOMPARE(mainwin::layout::SplitterBarLeft(2000, 4400, 6500), 6000.0);
        QCOMPARE(mainwin::layout::SplitterBarLeft(2000, 300, 6500), 2300.0);
    }

    void settingsRoundTrip()
    {
        QTemporaryDir store;
        QTemporaryDir folder;
        const base::SettingsStore settings(store.filePath("Zembrik.ini"));
        const QString fallback = QDir::currentPath();

        mainwin::settings::Save(settings, mainwin::settings::WindowRect{1500, 1200, 7000, 8000}, 2500, folder.path());
        mainwin::settings::Loaded back = mainwin::settings::Load(settings, fallback);
        QCOMPARE(*back.Left, 1500.0);
        QCOMPARE(*back.Height, 8000.0);
        QCOMPARE(*back.Splitter, 2500.0);
        QCOMPARE(back.Path, folder.path());

        // Minimized: the rectangle stays as stored, splitter and folder are written.
        mainwin::settings::Save(settings, std::nullopt, 3000, folder.path());
        back = mainwin::settings::Load(settings, fallback);
        QCOMPARE(*back.Width, 7000.0);
        QCOMPARE(*back.Splitter, 3000.0);
        // No position known (Wayland): the size is written, the stored position stays.
        mainwin::settings::Save(settings, mainwin::settings::WindowRect{{}, {}, 7100, 8000}, 3000, folder.path());
        back = mainwin::settings::Load(settings, fallback);
        QCOMPARE(*back.Width, 7100.0);
        QCOMPARE(*back.Left, 1500.0);

        // A value that is no number leaves its property alone.
        settings.Open().setValue("Settings/MainLeft", "abc");
        back = mainwin::settings::Load(settings, fallback);
        QVERIFY(!back.Left.has_value());
        QCOMPARE(*back.Top, 1200.0);
    }

    void drivesOfPaths()
    {
        const QStringList roots{"/", "/home", "/mnt/usb"};
        QCOMPARE(mainwin::drives::RootOf("/home/me/pics", roots), QString("/home"));
        QCOMPARE(mainwin::drives::RootOf("/home", roots), QString("/home"));
        QCOMPARE(mainwin::drives::RootOf("/homework", roots), QString("/"));
        QCOMPARE(mainwin::drives::RootOf("/mnt/usb/", roots), QString("/mnt/usb"));
        QCOMPARE(mainwin::drives::RootOf("relative/path", roots), QString());
        QVERIFY(mainwin::drives::MountedRoots().contains(QDir::toNativeSeparators(QDir::rootPath())));
    }

    void openWithArguments()
    {
        QTemporaryDir root;
        const QString a = root.path() + "/a", b = root.path() + "/b";
        QVERIFY(QDir().mkpath(a) && QDir().mkpath(b));
        for (const QString& file : {a + "/1.jpg", a + "/2.GIF", a + "/notes.txt", b + "/3.bmp"})
            QVERIFY(testimages::Write(file, {}));

        // Pictures from two folders: the first one's folder, its pictures only.
        const QStringList names = pictures::PictureNameFilters({});
        mainwin::openwith::Request r = mainwin::openwith::Read({b + "/missing.jpg", a + "/notes.txt", a + "/2.GIF", b + "/3.bmp",
                                              QUrl::fromLocalFile(a + "/1.jpg").toString()},
                                             names);
        QCOMPARE(r.Folder, QDir::toNativeSeparators(a));
        QCOMPARE(r.Names, QStringList({"2.GIF", "1.jpg"}));
        QCOMPARE(r.Ignored, QStringList({b + "/missing.jpg", a + "/notes.txt"}));

        // A folder, also relative and with a trailing separator; a folder named like a picture is a folder.
        QVERIFY(QDir::setCurrent(root.path()));
        r = mainwin::openwith::Read({"b/", b + "/3.bmp"}, names);
        QCOMPARE(r.Folder, QDir::toNativeSeparators(b));
        QCOMPARE(r.Names, QStringList({"3.bmp"}));
        QVERIFY(QDir().mkpath(a + "/album.jpg"));
        QCOMPARE(mainwin::openwith::Read({a + "/album.jpg"}, names).Folder, QDir::toNativeSeparators(a + "/album.jpg"));
        QVERIFY(mainwin::openwith::Read({"", "nothing-here"}, names).Folder.isEmpty());
        // A phone's photo, where an HEVC decoder is installed.
        QVERIFY(QFile(a + "/4.HEIC").open(QIODevice::WriteOnly));
        QCOMPARE(mainwin::openwith::Read({a + "/4.HEIC"}, names).Ignored, QStringList{a + "/4.HEIC"});
        QCOMPARE(mainwin::openwith::Read({a + "/4.HEIC"}, pictures::PictureNameFilters({.Heic = true})).Names, QStringList{"4.HEIC"});
#if !defined(_WIN32)
        // A Latin-1 name, given as bytes and as a file manager's URL: the list's own name for it.
        const QByteArray latin1 = QFile::encodeName(a) + "/caf\xe9.jpg";
        QVERIFY(std::ofstream(latin1.constData()).is_open());
        const QString cafe = base::FromFsName("caf\xe9.jpg");
        QVERIFY(base::FilesIn(a, names).contains(cafe));
        const QString url = QStringLiteral("file://") + QString::fromLatin1(latin1.toPercentEncoding("/"));
        for (const QString& given : {base::FromFsName(latin1), url})
            QCOMPARE(mainwin::openwith::Read({given}, names).Names, QStringList{cafe});
#endif
    }
};

QTEST_MAIN(tst_MainwinRules)
#include "tst_mainwin_rules.moc"
