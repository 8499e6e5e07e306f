// The ratio box.
#include "mainwin/ratiocombobox.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

#include "base/numtext.h"
#include "mainwin/ratiobox.h"

RatioComboBox::RatioComboBox(QWidget* parent) : QComboBox(parent)
{
    setObjectName(QStringLiteral("cboRitu"));
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    addItems({QStringLiteral("10.0%"), QStringLiteral("25.0%"), QStringLiteral("50.0%"), QStringLiteral("75.0%"),
              QStringLiteral("100.0%")});
    setCurrentIndex(4);
    edit_ = lineEdit();
    // Only ASCII digits may be typed; an input method would bypass the key filter.
    setAttribute(Qt::WA_InputMethodEnabled, false);
    edit_->setAttribute(Qt::WA_InputMethodEnabled, false);
    // Keys reach the box or, sent to it directly, its line edit.
    installEventFilter(this);
    edit_->installEventFilter(this);
    connect(edit_, &QLineEdit::textChanged, this, &RatioComboBox::OnTextChanged);
    // Dropped files open in the window; the box takes typed text only.
    edit_->setAcceptDrops(false);
    connect(qApp, &QApplication::focusChanged, this, &RatioComboBox::OnFocusChanged);
}

RatioComboBox::~RatioComboBox()
{
    // The focus moves while the window's children die.
    disconnect(qApp, nullptr, this, nullptr);
}

void RatioComboBox::Normalise()
{
    edit_->setText(base::NormaliseRatioText(edit_->text()));
}

bool RatioComboBox::eventFilter(QObject* watched, QEvent* event)
{
    // Compared as pointers only: keys may arrive while the box is being built.
    if ((watched != this && watched != edit_) || event->type() != QEvent::KeyPress)
        return QComboBox::eventFilter(watched, event);
    switch (mainwin::ratio::FilterKey(*static_cast<QKeyEvent*>(event), currentText())) {
    case mainwin::ratio::KeyAction::Pass:
        return false;
    case mainwin::ratio::KeyAction::Swallow:
        return true;
    case mainwin::ratio::KeyAction::Backspace:
        edit_->backspace();
        return true;
    }
    return false;
}

void RatioComboBox::OnTextChanged()
{
    const QString text = edit_->text();
    const QString stripped = mainwin::ratio::StripLeadingZeros(text);
    if (stripped != text)
        edit_->setText(stripped);  // runs this step again, synchronously
    edit_->deselect();
    edit_->setCursorPosition(edit_->text().size());
}

void RatioComboBox::OnFocusChanged(QWidget* old, QWidget* now)
{
    // Only a move to another control of this window normalises; losing the
    // activation (a message box, another program) does not.
    const auto within = [this](const QWidget* widget) { return widget && (widget == this || isAncestorOf(widget)); };
    if (now && now->window() == window() && within(old) && !within(now))
        Normalise();
}
