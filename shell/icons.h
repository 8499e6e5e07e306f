// The program icon and the toolbar pictures, drawn for Zembrik and kept as
// resources under ":/zembrik/".
#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

namespace shell {

// The colour the toolbar pictures are stored with where they are transparent.
inline const QColor ToolbarMaskColour = QColor(192, 192, 192);

// The program icon (16, 32 and 48 pixels): a photo with a shrink arrow.
QIcon ProgramIcon();

// The 16 x 16 toolbar picture of a button key ("RUN", "VIEW", "CLOSE",
// "OPTION"), silver made transparent; a null icon for any other key.
QIcon ToolbarIcon(const QString& key);

}  // namespace shell
