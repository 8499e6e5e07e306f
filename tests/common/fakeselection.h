// A file list and path box that hold what the test puts in them. Base is the
// interface the code under test asks through, so a run's scripted host can
// add its own parts on top of the same selection.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "shell/selection.h"

template <class Base = shell::FileSelection>
class FakeSelection : public Base {
public:
    int ListCount() const override { return static_cast<int>(names.size()); }
    bool Selected(int i) const override { return selected.value(i); }
    QString List(int i) const override { return names.value(i); }
    QString FolderText() const override { return folder; }

    QStringList names;
    QList<bool> selected;
    QString folder;
};
