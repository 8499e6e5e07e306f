// The main window's persisted settings: window rectangle, splitter position and
// current folder, kept per user in an INI file under the application title.
#pragma once

#include <QString>
#include <optional>

namespace frmMainSettings {

// Values read at start-up. A rectangle value that is absent takes its default;
// one that is not a number is empty, so the window keeps its designed value.
struct Loaded {
    std::optional<double> Left, Top, Width, Height;  // twips
    std::optional<double> Splitter;                   // twips
    QString Path;  // an existing folder: the stored one or the fallback
};

// Reads the settings; a stored folder that is missing, not a folder or not
// readable gives fallbackFolder, the executable's folder.
Loaded Load(const QString& fallbackFolder);

struct WindowRect {
    double Left = 0, Top = 0, Width = 0, Height = 0;  // twips
};

// Writes the settings; the rectangle is left as it was stored when absent
// (the window is minimized).
void Save(const std::optional<WindowRect>& rect, double splitter, const QString& path);

// Reads a stored number as the user's locale writes numbers, then as plain
// C text; empty when it is neither.
std::optional<double> ParseNumber(const QString& text);

}  // namespace frmMainSettings
