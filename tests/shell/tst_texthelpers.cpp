// File-name splitting, path joining and the number texts of the ratio box.
#include <QtTest>

#include "base/numtext.h"
#include "shell/program.h"

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
        base::SplitFileName(name, ext, b);
        QCOMPARE(b, base);
        QCOMPARE(ext, extension);
        // The name may be the caller's base-name variable itself.
        QString same = name;
        base::SplitFileName(same, ext, same);
        QCOMPARE(same, base);
    }

    // What the ratio box reads from a text, and the text it shows again.
    void numberTexts()
    {
        for (const auto& [text, value] : {std::pair{"50.0%", 50.0}, {" 1 2.5x", 12.5}, {"abc", 0.0}, {".5", 0.5},
                                          {"1.5.3", 1.5}, {"-2e1z", -20.0}, {"", 0.0}})
            QCOMPARE(base::Val(QString::fromLatin1(text)), value);
        for (const char* yes : {"50", " 12.5 ", "-3", "+.5", "1e2", "7."})
            QVERIFY2(base::IsNumeric(QString::fromLatin1(yes)), yes);
        for (const char* no : {"", " ", "abc", "1.2.3", "5x", "1e999", "nan", "."})
            QVERIFY2(!base::IsNumeric(QString::fromLatin1(no)), no);
        for (const auto& [value, text] : {std::pair{99.96, "100.0"}, {12.35, "12.4"}, {0.05, "0.1"},
                                          {1e20, "100000000000000000000.0"}})
            QCOMPARE(base::FormatTenths(value), QString::fromLatin1(text));
        for (const auto& [text, normal] : {std::pair{"150", "100.0%"}, {"abc", "100.0%"}, {"25.0%", "25.0%"}, {"12.34", "12.3%"}})
            QCOMPARE(base::NormaliseRatioText(QString::fromLatin1(text)), QString::fromLatin1(normal));
    }
};

QTEST_GUILESS_MAIN(TstTextHelpers)
#include "tst_texthelpers.moc"
