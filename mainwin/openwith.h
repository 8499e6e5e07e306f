// What "open with" hands the main window (command-line arguments, dropped
// files): the folder to show and the pictures of it to select.
#pragma once

#include <QString>
#include <QStringList>

namespace mainwin::openwith {

struct Request {
    QString Folder;       // empty when no argument named a folder or a picture
    QStringList Names;    // pictures of Folder to select, by file name
    QStringList Ignored;  // arguments that are neither a folder nor a readable picture file
};

// The folder is the first argument that is a folder, or the folder of the
// first picture file; the pictures among the arguments that lie in that
// folder are selected. An argument may be a path (relative to the current
// folder) or a file: URL. A picture file is one nameFilters match (the list's).
Request Read(const QStringList& arguments, const QStringList& nameFilters);

// The warning that names the arguments that could not be opened: the message
// and, under it, the names one a line, at most MaxListed and then a count of
// the rest, so that the box fits on the screen.
struct Report {
    QString Text;
    QString Detail;
};
inline constexpr int MaxListed = 10;
Report Unopened(const QStringList& ignored);

}  // namespace mainwin::openwith
