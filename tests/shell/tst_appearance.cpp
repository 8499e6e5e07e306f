// The program font and the icons.
#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QtTest>

#include "shell/font.h"
#include "shell/icons.h"

class TstAppearance : public QObject {
    Q_OBJECT

private slots:
    void programFontRendersJapanese()
    {
        basMain::ApplyProgramFont();
        const QFont font = QApplication::font();
        QCOMPARE(font.family(), QStringLiteral("ＭＳ ゴシック"));
        QCOMPARE(font.pointSizeF(), 9.75);
        const QStringList installed = QFontDatabase::families();
        const QStringList gothics = {QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans Mono CJK JP"),
                                     QStringLiteral("Noto Sans CJK JP")};
        const bool anyGothic = std::any_of(gothics.begin(), gothics.end(),
                                           [&](const QString& f) { return installed.contains(f); });
        if (!anyGothic)
            QSKIP("no Japanese gothic font installed");
        // The family actually used has the Japanese glyphs.
        const QString used = QFontInfo(font).family();
        QVERIFY2(QFontDatabase::writingSystems(used).contains(QFontDatabase::Japanese), qPrintable(used));
    }

    void toolbarPicturesAreSilverKeyed()
    {
        for (const char* key : {"RUN", "VIEW", "CLOSE", "OPTION"}) {
            const QIcon icon = basMain::ToolbarIcon(QString::fromLatin1(key));
            QVERIFY2(!icon.isNull(), key);
            const QImage shown = icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
            QCOMPARE(shown.size(), QSize(16, 16));
            const QString file = QStringLiteral(":/zembrik/tb_%1.png").arg(QString::fromLatin1(key).toLower());
            const QImage stored(file);
            QCOMPARE(stored.size(), QSize(16, 16));
            int silver = 0;
            int opaque = 0;
            for (int y = 0; y < 16; ++y) {
                for (int x = 0; x < 16; ++x) {
                    const bool isSilver = stored.pixelColor(x, y) == basMain::ToolbarMaskColour;
                    silver += isSilver;
                    QCOMPARE(qAlpha(shown.pixel(x, y)) == 0, isSilver);
                    opaque += !isSilver;
                }
            }
            QVERIFY2(silver > 0 && opaque > 40, key);  // a drawn picture on a transparent ground
        }
        QVERIFY(basMain::ToolbarIcon(QStringLiteral("run")).isNull());  // keys are case-sensitive
        QVERIFY(basMain::ToolbarIcon(QString()).isNull());
    }

};

QTEST_MAIN(TstAppearance)
#include "tst_appearance.moc"
