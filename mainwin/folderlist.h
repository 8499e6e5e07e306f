// The folder list dirList: the folder tree of one volume, opened down to the
// current folder. A change of the current folder, by the user or by SetPath,
// raises Change.
#pragma once

#include <QString>
#include <QTreeView>
#include <optional>

class QFileSystemModel;

class FolderListBox : public QTreeView {
    Q_OBJECT
public:
    explicit FolderListBox(QWidget* parent = nullptr);

    QString Path() const;
    // Makes folder the current folder, showing the tree of volumeRoot; an error
    // description (and nothing changed) when folder cannot be shown.
    std::optional<QString> SetPath(const QString& folder, const QString& volumeRoot);

signals:
    void Change();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ShowVolume(const QString& volumeRoot);
    void HideOtherVolumes();
    void Reveal(const QModelIndex& index);

    QFileSystemModel* model_;
    QString volumeRoot_;
    bool revealPending_ = false;
};
