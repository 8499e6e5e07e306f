// Help: the help file beside the executable (an HTML page), shown in
// Zembrik's own help window at its contents or at its keyword search. The
// window is independent of the main window; the main window closes it when it
// closes itself.
#pragma once

#include <QList>
#include <QPointer>
#include <QString>

class QTextDocument;
class QWidget;

namespace shell {

struct ProgramState;

// The program's one help window, showing the page program.HelpFilePath names
// at the time it is shown. Made by the program; the window closes when this
// ends.
class Help {
public:
    explicit Help(const ProgramState& program) : program_(program) {}
    ~Help();
    Help(const Help&) = delete;
    Help& operator=(const Help&) = delete;

    // Opens the help window (or brings the open one forward) at the contents.
    void ShowHelpContents(QWidget* form);
    // Opens the help window at its keyword search, the search field empty and focused.
    void ShowHelpSearch(QWidget* form);
    // Closes the help window if it is open.
    void CloseHelp();
    // The open help window, or nullptr.
    QWidget* HelpWindow() const;

private:
    class Window;
    Window* Open(QWidget* form);

    const ProgramState& program_;
    QPointer<Window> window_;
};

// A place in the help page: its title and the anchor that leads there.
struct HelpTopic {
    QString Title;
    QString Anchor;
};

// The page's topics (its second-level headings, each holding a named anchor)
// and its keywords (the links listed after the heading whose anchor is
// "keywords").
struct HelpIndex {
    QList<HelpTopic> Topics;
    QList<HelpTopic> Keywords;
};
HelpIndex ReadHelpIndex(const QTextDocument& page);

// The keywords whose title contains text, letter case and full/half width
// ignored: first those that start with it, then the others, each in the
// page's order; all of them for an empty text.
QList<HelpTopic> FilterKeywords(const QList<HelpTopic>& keywords, const QString& text);

}  // namespace shell
