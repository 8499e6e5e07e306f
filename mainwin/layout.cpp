// Twips arithmetic of the main window's layout.
#include "mainwin/layout.h"

#include <cmath>

namespace mainwin::layout {

PaneLayout ArrangeControls(double& x, const FrameSize& frame)
{
    // The right-hand clamp is tested last on purpose: a window narrower than
    // 4000 twips puts the splitter below 2000 so that the file pane keeps room.
    if (x < 2000)
        x = 2000;
    if (x > frame.Width - 2000)
        x = frame.Width - 2000;

    PaneLayout p;
    p.DirListWidth = x;
    p.SplitterLeft = x;
    p.FilListLeft = x + 40;
    p.FilListWidth = frame.Width - (p.DirListWidth + 140);
    p.DrvListWidth = p.DirListWidth - 50;
    p.CboDirLeft = p.FilListLeft + 30;
    p.CboDirWidth = p.FilListWidth - 60;
    p.StatusWidth = frame.Width - 140;
    p.CboRituLeft = p.CboDirLeft;
    p.DirListTop = ToolbarHeight + TitlesHeight;
    p.FilListTop = p.DirListTop;
    p.StatusTop = frame.ScaleHeight - StatusHeight;
    p.DirListHeight = frame.ScaleHeight - (TitlesTop + TitlesHeight + StatusHeight + 50);
    p.FilListHeight = p.DirListHeight;
    p.SplitterTop = p.DirListTop;
    p.SplitterHeight = p.DirListHeight;
    return p;
}

double SplitterBarLeft(double handleLeft, double mouseX, double windowWidth)
{
    const double p = handleLeft + mouseX;
    if (p < 500)
        return 500;
    if (p > windowWidth - 500)
        return windowWidth - 500;
    return p;
}

double SplitterBarWidth(double handleWidth)
{
    return static_cast<double>(static_cast<long long>(std::nearbyint(handleWidth)) / 2);
}

double SplitterBarHeight(double handleHeight)
{
    return handleHeight - 20;
}

int MinTrackSize(double outerTwips, double twipsPerPixel)
{
    const long long outer = std::llround(std::nearbyint(outerTwips));
    const long long tpp = std::llround(std::nearbyint(twipsPerPixel));
    if (tpp <= 0)
        return 0;
    return static_cast<int>(outer / tpp);
}

}  // namespace mainwin::layout
