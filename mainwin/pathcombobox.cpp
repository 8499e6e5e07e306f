// The path box.
#include "mainwin/pathcombobox.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

PathComboBox::PathComboBox(QWidget* parent) : QComboBox(parent)
{
    setObjectName(QStringLiteral("cboDir"));
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // Completion is the box's own (sub-folders, tail selected), not QCompleter's.
    setCompleter(nullptr);
    edit_ = lineEdit();
    // Keys reach the box or, sent to it directly, its line edit.
    installEventFilter(this);
    edit_->installEventFilter(this);
    connect(edit_, &QLineEdit::textChanged, this, &PathComboBox::Complete);
    // Dropped files open in the window; the box takes typed text only.
    edit_->setAcceptDrops(false);
    connect(qApp, &QApplication::focusChanged, this, &PathComboBox::OnFocusChanged);
}

PathComboBox::~PathComboBox()
{
    // The focus moves while the window's children die.
    disconnect(qApp, nullptr, this, nullptr);
}

void PathComboBox::SetText(const QString& text)
{
    skipCompletion_ = true;
    setEditText(text);
    skipCompletion_ = false;
}

void PathComboBox::SetFolder(const QString& path)
{
    skipCompletion_ = true;
    clear();
    addItem(path);
    setEditText(path);
    skipCompletion_ = false;
}

void PathComboBox::showPopup()
{
    // An item picked from the list is not completed into a longer one.
    skipCompletion_ = true;
    QComboBox::showPopup();
}

void PathComboBox::Complete()
{
    if (skipCompletion_ || completing_)
        return;
    const QString text = edit_->text();
    const qsizetype caret = edit_->cursorPosition();
    completing_ = true;

    QStringList items;
    for (int i = 0; i < count(); ++i)
        items.append(itemText(i));
    const QStringList added = mainwin::path::AppendNew(items, mainwin::path::SubFolderPaths(text));
    if (!added.isEmpty()) {
        // Adding to an empty list would replace the text with the first item.
        addItems(added);
        edit_->setText(text);
    }

    const mainwin::path::Completion c = mainwin::path::Complete(items, text, caret);
    if (c.Index >= 0)
        setCurrentIndex(static_cast<int>(c.Index));
    edit_->setText(c.Text);
    edit_->setCursorPosition(static_cast<int>(c.Text.size()));
    edit_->cursorBackward(true, static_cast<int>(c.Text.size() - c.Caret));
    proposal_ = c.Caret < c.Text.size() ? std::optional(c) : std::nullopt;
    completing_ = false;
}

void PathComboBox::DropProposal()
{
    // A completed tail still highlighted as it was proposed is not part of the
    // path: only what was typed is.
    const std::optional<mainwin::path::Completion> c = std::exchange(proposal_, std::nullopt);
    if (c && edit_->text() == c->Text && edit_->selectionStart() == c->Caret &&
        edit_->selectionLength() == c->Text.size() - c->Caret)
        SetText(c->Text.left(c->Caret));
}

QString PathComboBox::Validate()
{
    const QString folder = mainwin::path::NavigationPath(currentText());
    skipCompletion_ = true;
    clear();
    addItem(folder);
    setCurrentIndex(0);
    setEditText(folder);
    skipCompletion_ = false;
    emit FolderEntered(folder);
    return folder;
}

bool PathComboBox::eventFilter(QObject* watched, QEvent* event)
{
    // Compared as pointers only: events may arrive while the box is being built.
    if (watched != this && watched != edit_)
        return QComboBox::eventFilter(watched, event);
    if (event->type() == QEvent::FocusOut) {
        // Before the box drops the highlight. A drop-down list or another
        // window taking the focus leaves the proposal standing.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
            DropProposal();
        return false;
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    // Deleting must not complete again what was just deleted.
    skipCompletion_ = key == Qt::Key_Backspace || key == Qt::Key_Delete;
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return false;
    if (proposal_) {
        edit_->end(false);  // Enter takes the proposed tail
        proposal_.reset();
    }
    const QString folder = Validate();
    emit Confirmed(folder);
    edit_->selectAll();
    return true;
}

void PathComboBox::OnFocusChanged(QWidget* old, QWidget* now)
{
    // Only a move to another control of this window validates; losing the
    // activation (a message box, another program) does not.
    const auto within = [this](const QWidget* widget) { return widget && (widget == this || isAncestorOf(widget)); };
    if (now && now->window() == window() && within(old) && !within(now))
        Validate();
}
