// Whether a BMP or GIF file holds all the pixels its header promises, and
// whether Qt's reader reads a TIFF's as stored. Qt's readers fill what a cut
// file lacks (black, or the background) and report success; the file itself
// tells whether anything is missing.
#pragma once

#include <QIODevice>

namespace pictures {

// Reads the file from where the device stands (its start); false for a BMP
// whose pixel array, or run-length data, ends before the picture does, for
// a GIF whose first image's data ends before its last pixel, and for a TIFF
// whose first page Qt's reader reads wrongly (colour samples of more than 8
// bits in separate planes). True for anything else, which its reader judges
// itself. The device is left anywhere.
bool HoldsWholePicture(QIODevice& device);

}  // namespace pictures
