// The program's font and its substitutes.
#include "mainwin/programfont.h"

#include <QApplication>
#include <QFont>
#include <QStringList>

namespace basMain {
namespace {

const QString DesignedFamily = QStringLiteral("ＭＳ ゴシック");

}  // namespace

QFont ProgramFont()
{
    QFont font(DesignedFamily);
    font.setPointSizeF(9.75);
    return font;
}

void ApplyProgramFont()
{
    // Debian's fonts-ipafont-gothic and fonts-noto-cjk, under their English and Japanese names.
    QFont::insertSubstitutions(DesignedFamily, {QStringLiteral("IPAGothic"), QStringLiteral("IPAゴシック"),
                                                QStringLiteral("Noto Sans CJK JP"),
                                                QStringLiteral("Noto Sans Mono CJK JP")});
    QApplication::setFont(ProgramFont());
}

}  // namespace basMain
