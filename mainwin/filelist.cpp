// The file list.
#include "mainwin/filelist.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QItemSelection>

#include "shell/program.h"

FileListBox::FileListBox(const QStringList& nameFilters, QWidget* parent)
    : QListWidget(parent), nameFilters_(nameFilters)
{
    setObjectName(QStringLiteral("FilList"));
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!filling_)
            emit Click();
    });
}

std::optional<QString> FileListBox::SetPath(const QString& folder)
{
    const QFileInfo info(folder);
    if (!info.exists() || !info.isDir())
        return QCoreApplication::translate("FileListBox", "パスが見つかりません。");
    if (!info.isReadable() || !info.isExecutable())
        return QCoreApplication::translate("FileListBox", "パスにアクセスできません。");
    path_ = folder;
    Fill(base::FilesIn(folder, nameFilters_));
    return std::nullopt;
}

void FileListBox::Refresh()
{
    Fill(path_.isEmpty() ? QStringList() : base::FilesIn(path_, nameFilters_));
}

void FileListBox::Fill(const QStringList& names)
{
    // Rebuilding is not a selection change by the user: no Click for it.
    filling_ = true;
    setUpdatesEnabled(false);
    clear();
    addItems(names);
    setUpdatesEnabled(true);
    filling_ = false;
}

bool FileListBox::Selected(int i) const
{
    const QListWidgetItem* it = item(i);
    return it && it->isSelected();
}

void FileListBox::SetSelected(int i, bool selected)
{
    if (QListWidgetItem* it = item(i))
        it->setSelected(selected);
}

QString FileListBox::List(int i) const
{
    const QListWidgetItem* it = item(i);
    return it ? it->text() : QString();
}

int FileListBox::SelectedCount() const
{
    int n = 0;
    for (const QItemSelectionRange& range : selectionModel()->selection())
        n += range.height();
    return n;
}

void FileListBox::SelectAll()
{
    if (count() == 0)
        return;
    selectionModel()->select(QItemSelection(model()->index(0, 0), model()->index(count() - 1, 0)),
                             QItemSelectionModel::Select);
}

int FileListBox::SelectNames(const QSet<QString>& names)
{
    // Neighbouring rows share one range, so the selection stays as small as
    // the runs of names are few.
    QItemSelection selection;
    int first = -1;
    int runStart = -1;
    const int n = count();
    for (int i = 0; i <= n; ++i) {
        const bool wanted = i < n && names.contains(item(i)->text());
        if (wanted && runStart < 0)
            runStart = i;
        if (!wanted && runStart >= 0) {
            selection.select(model()->index(runStart, 0), model()->index(i - 1, 0));
            if (first < 0)
                first = runStart;
            runStart = -1;
        }
    }
    if (!selection.isEmpty())
        selectionModel()->select(selection, QItemSelectionModel::Select);
    return first;
}

void FileListBox::InvertSelection()
{
    if (count() == 0)
        return;
    selectionModel()->select(QItemSelection(model()->index(0, 0), model()->index(count() - 1, 0)),
                             QItemSelectionModel::Toggle);
}
