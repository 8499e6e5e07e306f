// Closing every window of the program but one.
#include "shell/otherwindows.h"

#include <QApplication>
#include <QList>
#include <QPointer>
#include <QWidget>

namespace shell {

void CloseOtherWindows(const QWidget& kept)
{
    QList<QPointer<QWidget>> others;
    const QWidgetList all = QApplication::topLevelWidgets();
    for (qsizetype i = all.size() - 1; i >= 0; --i) {
        QWidget* w = all.at(i);
        const Qt::WindowType type = w->windowType();
        if (w != &kept && type != Qt::Popup && type != Qt::ToolTip && type != Qt::Desktop)
            others.append(w);
    }
    for (const QPointer<QWidget>& w : others) {
        if (w)
            w->close();
    }
}

}  // namespace shell
