// The program font, the Japanese gothic every window is designed around.
#pragma once

#include <QString>

namespace shell {

// The family every window asks for, and its size in points.
inline const QString ProgramFontFamily = QStringLiteral("ＭＳ ゴシック");
inline constexpr double ProgramFontPointSize = 9.75;

// Makes the program font the application font. Where the family is not
// installed (anywhere but Windows), an installed Japanese gothic stands in for
// it, so Japanese text renders in a font of the same kind. Call once, after
// the QApplication is made and before the first window.
void ApplyProgramFont();

}  // namespace shell
