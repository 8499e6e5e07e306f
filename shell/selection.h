// The selection every command works on: the selected items of the main
// window's file list, in list order, joined to the path box's folder text.
#pragma once

#include <QString>
#include <QtGlobal>

namespace basMain {

class FileSelection {
public:
    virtual ~FileSelection() = default;
    virtual qint16 ListCount() const = 0;
    virtual bool Selected(qint16 index) const = 0;
    // The bare file name of an item.
    virtual QString List(qint16 index) const = 0;
    // The path box's text, to which every command joins the names.
    virtual QString FolderText() const = 0;
};

}  // namespace basMain
