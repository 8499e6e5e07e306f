// HEIF and AVIF files for the seed maker and the tests: pictures encoded with
// libheif's own encoder, and containers put together box by box around its
// coded tiles for what the encoder does not write (a grid of tiles as phones
// write it, headers that claim more than they hold).
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QSize>

namespace heifsamples {

enum class Codec { Hevc, Av1 };

// Whether this libheif has an encoder for Codec.
bool CanEncode(Codec codec);

struct Options {
    Codec Kind = Codec::Hevc;
    int Quality = 90;
    int BitDepth = 8;          // 8, or 10 (from the image's 16-bit levels)
    bool Alpha = false;        // keep the image's alpha channel
    int Orientation = 1;       // counted as Exif counts it, written as the container's irot and imir
    bool CleanAperture = false;  // a size the codec pads is cut by a clean aperture, not a grid
    QByteArray Icc{};          // an ICC profile, or
    int Primaries = 0;         // an nclx colour description (H.273 codes; 0 leaves libheif's)
    int Transfer = 0;
    QByteArray Exif{};         // from the TIFF header on
};

// The image encoded as a HEIF (HEVC) or AVIF file; empty when it cannot be.
QByteArray Encode(const QImage& image, const Options& options = {});

struct GridOptions {
    QSize Ispe{};                      // the size the grid states (its output size when empty)
    QSize TileIspe{};                  // the size every tile states (each its own when empty)
    QList<QByteArray> Properties{};    // more of the grid's own property boxes (irot, imir), in order
    QByteArray Exif{};                 // an Exif item describing the grid, from the TIFF header on
};

// A grid picture of Columns tiles a row (files Encode wrote without options,
// of one codec, row by row) joined to Output, which may cut the last column
// and row, as phones write it; or, in a file that lies, claim more.
QByteArray Grid(const QList<QByteArray>& tiles, int columns, QSize output, const GridOptions& options = {});

// A property box whose payload is one byte: irot (angle, counter-clockwise
// quarters) or imir (axis).
QByteArray ByteProperty(const char* type, int value);

}  // namespace heifsamples
