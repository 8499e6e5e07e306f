// Twips (1/1440 inch), the unit window geometry is designed in, and the
// screen's whole number of twips per pixel (15 at 96 dpi).
#pragma once

#include <QRect>

namespace shell {

int TwipsPerPixelX();
int TwipsPerPixelY();

// Pixels for a length in twips at the given twips per pixel, to the nearest.
int TwipsToPixels(double twips, int twipsPerPixel);

// Pixels for twips at the screen's twips per pixel, to the nearest and never
// negative: a pane squeezed below its designed size is empty, not inverted.
int PixelsX(double twips);
int PixelsY(double twips);
// Twips for pixels at the screen's twips per pixel.
double TwipsX(int pixels);
double TwipsY(int pixels);

// A rectangle designed in twips, in pixels at the screen's twips per pixel.
QRect TwipsRect(double left, double top, double width, double height);

}  // namespace shell
