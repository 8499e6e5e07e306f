// Twips per pixel from the screen's logical resolution.
#include "shell/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cmath>

namespace shell {
namespace {

int FromDpi(double dpi)
{
    // A whole number, so that pixels -> twips -> pixels is exact.
    if (dpi <= 0)
        return 15;
    const int tpp = static_cast<int>(std::lround(1440.0 / dpi));
    return tpp < 1 ? 1 : tpp;
}

}  // namespace

int TwipsPerPixelX()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return FromDpi(screen ? screen->logicalDotsPerInchX() : 96.0);
}

int TwipsPerPixelY()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return FromDpi(screen ? screen->logicalDotsPerInchY() : 96.0);
}

int TwipsToPixels(double twips, int twipsPerPixel)
{
    return static_cast<int>(std::nearbyint(twips / twipsPerPixel));
}

int PixelsX(double twips)
{
    return std::max(0, TwipsToPixels(twips, TwipsPerPixelX()));
}

int PixelsY(double twips)
{
    return std::max(0, TwipsToPixels(twips, TwipsPerPixelY()));
}

double TwipsX(int pixels)
{
    return static_cast<double>(pixels) * TwipsPerPixelX();
}

double TwipsY(int pixels)
{
    return static_cast<double>(pixels) * TwipsPerPixelY();
}

QRect TwipsRect(double left, double top, double width, double height)
{
    const int tx = TwipsPerPixelX(), ty = TwipsPerPixelY();
    return QRect(TwipsToPixels(left, tx), TwipsToPixels(top, ty), TwipsToPixels(width, tx), TwipsToPixels(height, ty));
}

}  // namespace shell
