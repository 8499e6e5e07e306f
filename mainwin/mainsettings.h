// The main window's persisted settings: window rectangle, splitter position,
// current folder and the output settings, in the settings store the program
// was given.
#pragma once

#include <QList>
#include <QRect>
#include <QString>
#include <optional>

#include "base/settings.h"
#include "output/outputsettings.h"

namespace mainwin::settings {

// Values read at start-up. A rectangle value that is absent takes its default;
// one that is not a number is empty, so the window keeps its designed value.
struct Loaded {
    std::optional<double> Left, Top, Width, Height;  // twips
    std::optional<double> Splitter;                   // twips
    QString Path;  // an existing folder: the stored one or the fallback
    output::Settings Output;
};

// Reads the settings; a stored folder that is missing, not a folder or not
// readable gives fallbackFolder (FirstFolder() in the window).
Loaded Load(const base::SettingsStore& settings, const QString& fallbackFolder);

// The folder a first start opens: the user's Pictures folder (as the desktop
// names it), else the home folder.
QString FirstFolder();

struct WindowRect {
    std::optional<double> Left, Top;  // twips; none where the window system does not tell
    double Width = 0, Height = 0;     // twips
};

// A restored window's rectangle (its place, its size in pixels) brought
// onto Available, the available area of the screen it shows on: no larger
// than it, and moved no further than it takes to lie within it, so that the
// title bar can be reached.
QRect OntoScreen(const QRect& wanted, const QRect& available);

// Where a window wanting the rectangle wanted (pixels) opens among the
// screens' available areas, given in their order: on the screen it shares
// most with, brought onto it (OntoScreen); sharing nothing with any, brought
// onto primary, and OnScreen false: the window system may place it then.
// Without screens it is wanted as it is.
struct Placement {
    QRect Rect;
    bool OnScreen = false;
};
Placement PlaceOnScreens(const QRect& wanted, const QList<QRect>& screens, const QRect& primary);

// Writes the settings, the numbers whole; the rectangle is left as it was stored when absent
// (the window is minimized), and so is a position it does not have.
void Save(const base::SettingsStore& settings, const std::optional<WindowRect>& rect, double splitter,
          const QString& path);
void SaveOutput(const base::SettingsStore& settings, const output::Settings& output);

// Reads a stored number as the user's locale writes numbers, then as plain
// C text; empty when it is neither.
std::optional<double> ParseNumber(const QString& text);

}  // namespace mainwin::settings
