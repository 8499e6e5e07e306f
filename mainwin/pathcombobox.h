// The path box (cboDir): the folder the lists show, to be typed over. A path
// typed up to a separator lists its sub-folders, and the first item the typed
// text begins completes it, the completed tail selected as a proposal that End,
// Right, Enter or a click takes and leaving the box drops. Deleting does not
// complete again, nor does picking from the drop-down list. Leaving the box
// for another control of its window, or Enter, makes the text the box's one
// item and names it in FolderEntered; Enter keeps the focus, the text
// selected to type another.
#pragma once

#include <QComboBox>
#include <optional>

#include "mainwin/pathbox.h"

class QLineEdit;

class PathComboBox final : public QComboBox {
    Q_OBJECT
public:
    explicit PathComboBox(QWidget* parent = nullptr);
    ~PathComboBox() override;

    // Shows text without completing it.
    void SetText(const QString& text);
    // Makes path the box's one item and its text, without completing it.
    void SetFolder(const QString& path);
    // Leaves a proposal still standing as it was made: only what was typed stays.
    void DropProposal();
    // Leaves the box as moving the focus out does; returns the folder entered.
    QString Validate();

signals:
    // The folder typed was left or entered: the lists go there.
    void FolderEntered(const QString& folder);
    // Enter was pressed on folder, after FolderEntered.
    void Confirmed(const QString& folder);

protected:
    void showPopup() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Complete();
    void OnFocusChanged(QWidget* old, QWidget* now);

    QLineEdit* edit_ = nullptr;
    // True while the text's changes must not complete.
    bool skipCompletion_ = false;
    bool completing_ = false;
    // The completion whose tail is highlighted, not yet taken.
    std::optional<mainwin::path::Completion> proposal_;
};
