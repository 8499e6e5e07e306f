// The program font and its stand-ins; Qt's Japanese texts.
#include "shell/font.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QStringList>

namespace basMain {

void ApplyProgramFont()
{
    // Monospaced gothics first, as the family asked for is one; Debian ships
    // IPAGothic in fonts-ipafont-gothic and Noto Sans CJK in fonts-noto-cjk.
    // Fontconfig may know the family under its English name too.
    QFont::insertSubstitutions(ProgramFontFamily,
                               {QStringLiteral("MS Gothic"), QStringLiteral("IPAGothic"),
                                QStringLiteral("IPAゴシック"), QStringLiteral("Noto Sans Mono CJK JP"),
                                QStringLiteral("Noto Sans CJK JP")});
    QFont font(ProgramFontFamily);
    font.setPointSizeF(ProgramFontPointSize);
    font.setStyleHint(QFont::SansSerif);
    QApplication::setFont(font);
}

bool InstallQtJapaneseTexts()
{
    auto* translator = new QTranslator(qApp);
    if (!translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

}  // namespace basMain
