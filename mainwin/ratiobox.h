// The ratio box's rules: which keystrokes may reach it, how a typed text loses
// its leading zeros, and its normal form on leaving (NormaliseRatioText). The
// widget forwards its key events and text changes here.
#pragma once

#include <QString>

class QKeyEvent;

namespace mainwin::ratio {

enum class KeyAction {
    Pass,       // the box handles the key as usual
    Swallow,    // nothing happens
    Backspace,  // erase as Backspace does
};

// Decides what a key does in the box whose text is currentText. Digits,
// Backspace and one point may be typed; Delete erases like Backspace; the
// arrows do nothing; Ctrl+C copies and Ctrl+A selects the text; every other
// character, paste and cut are refused. Keys without text (Home, End, Tab, Shift) pass.
KeyAction FilterKey(const QKeyEvent& key, const QString& currentText);

// The text without leading zeros: "0" is removed from the front while more than
// one character remains ("05" -> "5", "0.5" -> ".5", "0" stays).
QString StripLeadingZeros(const QString& text);

}  // namespace mainwin::ratio
