// The program font and its stand-ins.
#include "shell/font.h"

#include <QApplication>
#include <QFont>
#include <QStringList>

namespace shell {

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

}  // namespace shell
