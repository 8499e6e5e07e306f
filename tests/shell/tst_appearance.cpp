// The program font and the toolbar pictures.
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
        const QStringList installed = QFontDatabase::families();
        if (!installed.contains("IPAGothic") && !installed.contains("Noto Sans Mono CJK JP") &&
            !installed.contains("Noto Sans CJK JP"))
            QSKIP("no Japanese gothic font installed");
        // The family actually used has the Japanese glyphs.
        const QString used = QFontInfo(QApplication::font()).family();
        QVERIFY2(QFontDatabase::writingSystems(used).contains(QFontDatabase::Japanese), qPrintable(used));
    }

    // Silver pixels of the stored pictures are the transparent ground.
    void toolbarPicturesAreSilverKeyed()
    {
        for (const char* key : {"RUN", "VIEW", "CLOSE", "OPTION"}) {
            const QImage shown = basMain::ToolbarIcon(key).pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
            const QImage stored(QStringLiteral(":/zembrik/tb_%1.png").arg(QString::fromLatin1(key).toLower()));
            QCOMPARE(shown.size(), stored.size());
            int silver = 0;
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x) {
                    const bool isSilver = stored.pixelColor(x, y) == basMain::ToolbarMaskColour;
                    silver += isSilver;
                    QCOMPARE(qAlpha(shown.pixel(x, y)) == 0, isSilver);
                }
            QVERIFY2(silver > 0 && silver < 216, key);  // a drawn picture on a transparent ground
        }
    }
};

QTEST_MAIN(TstAppearance)
#include "tst_appearance.moc"
