// The selection every command works on: the selected items of the main
// window's file list, in list order, joined to the path box's folder text.
// Positions are plain ints: a folder may hold more than 32,767 images.
#pragma once

#include <QString>
#include <QStringList>

namespace shell {

class FileSelection {
public:
    virtual ~FileSelection() = default;
    virtual int ListCount() const = 0;
    virtual bool Selected(int index) const = 0;
    // The bare file name of an item.
    virtual QString List(int index) const = 0;
    // The path box's text, to which every command joins the names.
    virtual QString FolderText() const = 0;
};

// The selected names in list order, each joined to the folder text.
QStringList SelectedPaths(const FileSelection& selection);

}  // namespace shell
