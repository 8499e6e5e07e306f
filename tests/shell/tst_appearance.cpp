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
        shell::ApplyProgramFont();
        const QStringList installed = QFontDatabase::families();
        if (!installed.contains("IPAGothic") && !installed.contains("Noto Sans Mono CJK JP") &&
            !installed.contains("Noto Sans CJK JP"))
            QSKIP("no Japanese gothic font installed");
        // The family actually used has the Japanese glyphs.
        const QString used = QFontInfo(QApplication::font()).family();
        QVERIFY2(QFontDatabase::writingSystems(used).contains(QFontDatabase::Japanese), qPrintable(used));
    }

    // Each button's picture stands on a transparent ground: no silver is
    // left to show, and something is drawn. Unknown keys have no picture.
    void toolbarPicturesStandClear()
    {
        for (const char* key : {"RUN", "VIEW", "CLOSE", "OPTION"}) {
            const QImage shown = shell::ToolbarIcon(key).pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
            QCOMPARE(shown.size(), QSize(16, 16));
            int clear = 0;
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x) {
                    const QRgb pixel = shown.pixel(x, y);
                    clear += qAlpha(pixel) == 0;
                    QVERIFY2(qAlpha(pixel) == 0 || QColor(pixel) != shell::ToolbarMaskColour, key);
                }
            QVERIFY2(clear > 0 && clear < 216, key);
        }
        QVERIFY(shell::ToolbarIcon(QStringLiteral("PRINT")).isNull());
    }
};

QTEST_MAIN(TstAppearance)
#include "tst_appearance.moc"
