// The file list FilList: the image files of one folder, by name, with an
// extended multiple selection. Every change of the selection raises Click.
#pragma once

#include <QListWidget>
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

class FileListBox : public QListWidget {
    Q_OBJECT
public:
    // Lists the files nameFilters match (pictures::PictureNameFilters).
    explicit FileListBox(const QStringList& nameFilters, QWidget* parent = nullptr);

    QString Path() const { return path_; }
    // Lists folder; an error description (and nothing changed) when it cannot.
    std::optional<QString> SetPath(const QString& folder);
    // Re-reads the folder; the selection is gone.
    void Refresh();

    int ListCount() const { return count(); }
    bool Selected(int i) const;
    void SetSelected(int i, bool selected);
    QString List(int i) const;
    int SelectedCount() const;

    // Each as one selection change, so Click is raised once.
    void SelectAll();
    void InvertSelection();
    // Adds the items with these names to the selection; returns the row of
    // the first of them, or -1 when none is listed.
    int SelectNames(const QSet<QString>& names);

signals:
    void Click();

private:
    void Fill(const QStringList& names);

    const QStringList nameFilters_;
    QString path_;
    bool filling_ = false;
};
