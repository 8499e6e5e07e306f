// The program's font: "ＭＳ ゴシック" 9.75 pt, which Linux does not ship, mapped
// onto an installed Japanese gothic so that every caption renders.
#pragma once

class QFont;

namespace basMain {

// The font every window uses.
QFont ProgramFont();

// Registers the family substitutes and makes ProgramFont the application's
// font; called once at start-up, before the first window.
void ApplyProgramFont();

}  // namespace basMain
