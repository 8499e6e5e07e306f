// Keystroke and change rules of the ratio box.
#include "mainwin/ratiobox.h"

#include <QKeyEvent>
#include <QKeySequence>

namespace mainwin::ratio {

KeyAction FilterKey(const QKeyEvent& key, const QString& currentText)
{
    switch (key.key()) {
    case Qt::Key_Delete:
        return KeyAction::Backspace;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        return KeyAction::Swallow;
    case Qt::Key_Backspace:
        return KeyAction::Pass;
    default:
        break;
    }
    if (key.matches(QKeySequence::Copy) || key.matches(QKeySequence::SelectAll))
        return KeyAction::Pass;
    // Pasting and cutting are keys without printable text, so refuse them by name.
    if (key.matches(QKeySequence::Paste) || key.matches(QKeySequence::Cut) || key.matches(QKeySequence::Undo)
        || key.matches(QKeySequence::Redo))
        return KeyAction::Swallow;
    if (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter)
        return KeyAction::Swallow;

    const QString text = key.text();
    if (text.isEmpty() || !text.at(0).isPrint())
        return (key.modifiers() & Qt::ControlModifier) && !text.isEmpty() ? KeyAction::Swallow : KeyAction::Pass;
    if (text.size() == 1) {
        const QChar c = text.at(0);
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            return KeyAction::Pass;
        // A second point is refused even when the selection would replace the first.
        if (c == QLatin1Char('.'))
            return currentText.trimmed().contains(QLatin1Char('.')) ? KeyAction::Swallow : KeyAction::Pass;
    }
    return KeyAction::Swallow;
}

QString StripLeadingZeros(const QString& text)
{
    qsizetype start = 0;
    while (text.size() - start > 1 && text.at(start) == QLatin1Char('0'))
        ++start;
    return text.mid(start);
}

}  // namespace mainwin::ratio
