// File-name splitting, path joining and the number texts of the ratio box.
#include <QtTest>

#include "shell/basmain.h"
#include "shell/numtext.h"

class TstTextHelpers : public QObject {
    Q_OBJECT

private slots:
    void splitFileName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("extension");
        QTest::newRow("plain") << "photo.jpg" << "photo" << ".jpg";
        QTest::newRow("last dot") << "archive.tar.gz" << "archive.tar" << ".gz";
        QTest::newRow("trailing dot") << "name." << "name" << ".";
        QTest::newRow("leading dot") << ".profile" << "" << ".profile";
        QTest::newRow("no dot trimmed") << "  spaced name  " << "spaced name" << "";
        QTest::newRow("blanks kept with dot") << " a b .jpg" << " a b " << ".jpg";
        QTest::newRow("empty") << "" << "" << "";
    }
    void splitFileName()
    {
        QFETCH(QString, name);
        QFETCH(QString, base);
        QFETCH(QString, extension);
        QString ext = QStringLiteral("stale");
        QString b = QStringLiteral("stale");
        basMain::SplitFileName(name, ext, b);
        QCOMPARE(b, base);
        QCOMPARE(ext, extension);
        // The name may be the caller's base-name variable itself.
        QString same = name;
        basMain::SplitFileName(same, ext, same);
        QCOMPARE(same, base);
    }

    void val()
    {
        QCOMPARE(basMain::Val(QStringLiteral("50.0%")), 50.0);
        QCOMPARE(basMain::Val(QStringLiteral(" 1 2.5x")), 12.5);
        QCOMPARE(basMain::Val(QStringLiteral("abc")), 0.0);
        QCOMPARE(basMain::Val(QStringLiteral(".5")), 0.5);
        QCOMPARE(basMain::Val(QStringLiteral("1.5.3")), 1.5);
        QCOMPARE(basMain::Val(QStringLiteral("-2e1z")), -20.0);
        QCOMPARE(basMain::Val(QString()), 0.0);
    }

    void isNumeric()
    {
        for (const char* yes : {"50", " 12.5 ", "-3", "+.5", "1e2", "7."})
            QVERIFY2(basMain::IsNumeric(QString::fromLatin1(yes)), yes);
        for (const char* no : {"", " ", "abc", "1.2.3", "5x", "1e999", "nan", "."})
            QVERIFY2(!basMain::IsNumeric(QString::fromLatin1(no)), no);
    }

    void formatTenths()
    {
        QCOMPARE(basMain::FormatTenths(99.96), QStringLiteral("100.0"));
        QCOMPARE(basMain::FormatTenths(12.35), QStringLiteral("12.4"));
        QCOMPARE(basMain::FormatTenths(0.05), QStringLiteral("0.1"));
        QCOMPARE(basMain::FormatTenths(1e20), QStringLiteral("100000000000000000000.0"));
    }

    void normaliseRatioText()
    {
        QCOMPARE(basMain::NormaliseRatioText(QStringLiteral("150")), QStringLiteral("100.0%"));
        QCOMPARE(basMain::NormaliseRatioText(QStringLiteral("abc")), QStringLiteral("100.0%"));
        QCOMPARE(basMain::NormaliseRatioText(QStringLiteral("25.0%")), QStringLiteral("25.0%"));
        QCOMPARE(basMain::NormaliseRatioText(QStringLiteral("12.34")), QStringLiteral("12.3%"));
    }
};

QTEST_GUILESS_MAIN(TstTextHelpers)
#include "tst_texthelpers.moc"
