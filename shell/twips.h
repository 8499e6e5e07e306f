// Twips (1/1440 inch), the unit window geometry is designed in, and the
// screen's whole number of twips per pixel (15 at 96 dpi).
#pragma once

namespace basMain {

int TwipsPerPixelX();
int TwipsPerPixelY();

// Pixels for a length in twips at the given twips per pixel, to the nearest.
int TwipsToPixels(double twips, int twipsPerPixel);

}  // namespace basMain
