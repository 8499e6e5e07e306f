// The folder list.
#include "mainwin/folderlist.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QScrollBar>
#include <QTimer>

FolderListBox::FolderListBox(QWidget* parent) : QTreeView(parent), model_(new QFileSystemModel(this))
{
    setObjectName(QStringLiteral("dirList"));
    model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    model_->setReadOnly(true);
    model_->setRootPath(QDir::rootPath());
    setModel(model_);
    for (int column = 1; column < model_->columnCount(); ++column)
        hideColumn(column);
    setHeaderHidden(true);
    // Long names scroll sideways instead of being cut short.
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    setIndentation(12);
    setUniformRowHeights(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // The tree shows the current volume only; its siblings appear as the model
    // reads their parent, so hide them as they come.
    connect(model_, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex& parent) {
        if (parent == rootIndex())
            HideOtherVolumes();
    });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { emit Change(); });
    // The model reads and sorts folders in the background, moving rows after
    // SetPath has scrolled: keep the current folder in view until the user
    // takes over the scrolling.
    auto reveal = [this] {
        if (revealPending_)
            QTimer::singleShot(0, this, [this] {
                if (revealPending_ && currentIndex().isValid())
                    Reveal(currentIndex());
            });
    };
    connect(model_, &QFileSystemModel::directoryLoaded, this, reveal);
    connect(model_, &QAbstractItemModel::layoutChanged, this, reveal);
    connect(model_, &QAbstractItemModel::rowsInserted, this, reveal);
}

QString FolderListBox::Path() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? QDir::toNativeSeparators(model_->filePath(current)) : QString();
}

std::optional<QString> FolderListBox::SetPath(const QString& folder, const QString& volumeRoot)
{
    const QFileInfo info(folder);
    if (folder.isEmpty() || !info.isDir())
        return QCoreApplication::translate("FolderListBox", "パスが見つかりません。");
    const QString clean = QDir::cleanPath(info.absoluteFilePath());
    QModelIndex target = model_->index(clean);
    if (!target.isValid()) {
        // A hidden folder typed into the path box is still a place to go.
        model_->setFilter(model_->filter() | QDir::Hidden);
        target = model_->index(clean);
        if (!target.isValid())
            return QCoreApplication::translate("FolderListBox", "パスが見つかりません。");
    }
    ShowVolume(volumeRoot.isEmpty() ? QDir::rootPath() : volumeRoot);
    for (QModelIndex up = target.parent(); up.isValid(); up = up.parent())
        expand(up);
    setCurrentIndex(target);
    Reveal(target);
    revealPending_ = true;
    return std::nullopt;
}

void FolderListBox::ShowVolume(const QString& volumeRoot)
{
    const QString root = QDir::cleanPath(QDir::fromNativeSeparators(volumeRoot));
    if (root == volumeRoot_)
        return;
    volumeRoot_ = root;
    const QModelIndex rootItem = model_->index(root);
    setRootIndex(rootItem.parent());
    HideOtherVolumes();
    expand(rootItem);
}

void FolderListBox::HideOtherVolumes()
{
    const QModelIndex parent = rootIndex();
    const QModelIndex keep = model_->index(volumeRoot_);
    for (int row = 0; row < model_->rowCount(parent); ++row)
        setRowHidden(row, parent, row != keep.row());
}

void FolderListBox::mousePressEvent(QMouseEvent* event)
{
    revealPending_ = false;
    QTreeView::mousePressEvent(event);
}

void FolderListBox::wheelEvent(QWheelEvent* event)
{
    revealPending_ = false;
    QTreeView::wheelEvent(event);
}

void FolderListBox::keyPressEvent(QKeyEvent* event)
{
    revealPending_ = false;
    QTreeView::keyPressEvent(event);
}

void FolderListBox::Reveal(const QModelIndex& index)
{
    scrollTo(index, QAbstractItemView::PositionAtCenter);
    // The tree reads from its left edge: the folders leading to this one stay in sight.
    horizontalScrollBar()->setValue(0);
}
