// The drive list.
#include "mainwin/drivecombobox.h"

#include <QSignalBlocker>

#include "mainwin/drives.h"

DriveComboBox::DriveComboBox(QWidget* parent) : QComboBox(parent)
{
    setObjectName(QStringLiteral("drvList"));
    Refresh();
}

void DriveComboBox::showPopup()
{
    Refresh();
    QComboBox::showPopup();
}

void DriveComboBox::Refresh()
{
    const QSignalBlocker quiet(this);
    const QString current = Root();
    roots_ = mainwin::drives::MountedRoots();
    for (const QString& root : std::as_const(roots_)) {
        if (findData(root) < 0)
            addItem(mainwin::drives::DriveText(root), root);
    }
    for (int i = count() - 1; i >= 0; --i) {
        const QString root = itemData(i).toString();
        if (!roots_.contains(root) && root != current)
            removeItem(i);
    }
    if (!current.isEmpty() && !roots_.contains(current))
        roots_.append(current);
}

QString DriveComboBox::RootOf(const QString& path) const
{
    return mainwin::drives::RootOf(path, roots_);
}

void DriveComboBox::SetDrive(const QString& root)
{
    if (root.isEmpty())
        return;
    int index = findData(root);
    if (index < 0) {
        roots_.append(root);
        addItem(mainwin::drives::DriveText(root), root);
        index = count() - 1;
    }
    setCurrentIndex(index);
}

QString DriveComboBox::Root() const
{
    return currentData().toString();
}
