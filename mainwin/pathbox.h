// The path box's rules: the sub-folders offered when a typed path ends in the
// separator, prefix completion against the box's list, and the folder that
// leaving the box navigates to. The widget forwards its text changes here.
#pragma once

#include <QString>
#include <QStringList>

namespace mainwin::path {

// The paths text + name of the sub-folders of text (which ends in the
// separator), by name; hidden folders and "." / ".." are left out. Empty when
// text is not a readable folder.
QStringList SubFolderPaths(const QString& text);

// Appends the paths not yet in items (compared exactly); returns those appended.
QStringList AppendNew(QStringList& items, const QStringList& paths);

// Index of the first item starting with prefix, letter case ignored; -1 if none.
qsizetype FindPrefix(const QStringList& items, const QString& prefix);

struct Completion {
    QString Text;            // the box's new text
    qsizetype Index = -1;    // the list item chosen, -1 when none matched
    qsizetype Caret = 0;     // caret position; the text after it is selected
};

// Completes text typed up to caret from items: the first matching item, with
// its tail after the caret selected; no match drops what followed the caret.
Completion Complete(const QStringList& items, const QString& text, qsizetype caret);

// The folder leaving the box navigates to: the text without one trailing
// separator, except where that separator is the whole root ("/", "C:\").
QString NavigationPath(const QString& text);

// Whether two path texts name the same folder as written (cleaned and made
// absolute; links are not followed). An empty text names no folder.
bool SameFolder(const QString& a, const QString& b);

}  // namespace mainwin::path
