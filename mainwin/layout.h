// The main window's geometry in twips: where ArrangeControls puts the panes for
// a splitter position, how far the splitter bar follows the mouse, and the
// smallest size the window may be dragged to. Pure arithmetic, so the numbers
// can be checked without a screen; pixels only appear where widgets are placed.
#pragma once

namespace mainwin::layout {

// Designed sizes of the fixed strips, twips.
inline constexpr double ToolbarHeight = 420;
inline constexpr double TitlesTop = 420;
inline constexpr double TitlesHeight = 345;
inline constexpr double StatusHeight = 315;
inline constexpr double DesignedClientWidth = 4875;
inline constexpr double DesignedClientHeight = 3315;
inline constexpr double SplitterWidth = 150;
inline constexpr double MinimumWindowWidth = 3000;

// The window's size as the layout reads it.
struct FrameSize {
    double Width = 0;        // the window's width
    double ScaleHeight = 0;  // the height of its client area (menu bar excluded)
};

// Where the panes go; every value in twips.
struct PaneLayout {
    double DirListTop = 0, DirListWidth = 0, DirListHeight = 0;
    double FilListLeft = 0, FilListTop = 0, FilListWidth = 0, FilListHeight = 0;
    double DrvListWidth = 0;
    double CboDirLeft = 0, CboDirWidth = 0;
    double CboRituLeft = 0;
    double SplitterLeft = 0, SplitterTop = 0, SplitterHeight = 0;
    double StatusTop = 0, StatusWidth = 0;
};

// Clamps x in place (2000 from the left, then 2000 from the right edge) and
// returns the panes for it.
PaneLayout ArrangeControls(double& x, const FrameSize& frame);

// The drag bar's left for a mouse at mouseX twips right of the handle's left:
// it follows the mouse but stays 500 twips inside the window's edges.
double SplitterBarLeft(double handleLeft, double mouseX, double windowWidth);

// The drag bar while dragging: half the handle's width, 20 twips shorter.
double SplitterBarWidth(double handleWidth);
double SplitterBarHeight(double handleHeight);

// Minimum tracking size in pixels from an outer size in twips: both operands
// rounded to whole numbers (halves to even), then divided with truncation.
int MinTrackSize(double outerTwips, double twipsPerPixel);

}  // namespace mainwin::layout
