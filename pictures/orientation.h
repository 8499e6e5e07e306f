// Which way up a picture file says its picture is stored: the orientation tag
// of the Exif data a JPEG, PNG or WebP file carries or of a TIFF's first
// page, and the turn that shows the picture upright.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QImageIOHandler>

class QIODevice;

namespace pictures {

// The orientation tag (1..8) of Exif data from its TIFF header on ("II*\0" or
// "MM\0*"), found as Qt's JPEG reader finds it (in the first of Ifds IFDs
// that has one) and read as exiftool reads it (SHORT or LONG, the first of
// several values): 0 when there is none, -1 when the data is not what it
// should be.
int ExifOrientation(const QByteArray& tiff, int ifds = 10);

// The turn that shows a picture of that orientation upright; none for 0, 1
// and -1.
QImageIOHandler::Transformations TurnOf(int orientation);

// The Exif data (from its TIFF header on) of a PNG file's eXIf chunk before
// its pixels or of a WebP file's EXIF chunk, read from the device's start;
// empty for other files and when there is none. Qt's readers of both formats
// leave it unread. The device is left anywhere.
QByteArray ContainerExif(QIODevice& device);

// The orientation a PNG's or WebP's Exif block (ContainerExif) or a TIFF's
// first page gives, read from the device's start as ExifOrientation reads
// it; 0 for other files. libtiff passes over an orientation of more than one
// value. The device is left anywhere.
int ContainerOrientation(QIODevice& device);

// The picture turned upright as Qt's readers turn one: mirrored, then turned
// a quarter clockwise. A null image when the copy cannot be allocated.
QImage Turned(const QImage& stored, QImageIOHandler::Transformations turn);

}  // namespace pictures
