// A HEIF grid picture as its container describes it, read from the boxes
// alone (ISO/IEC 23008-12): libheif 1.15 takes a grid's tile layout on trust
// (a canvas of any size over four small tiles, tiles of different sizes) and
// reads a container of thousands of tiles in quadratic time, which nothing
// can interrupt. Every size, count and offset read here is bounded by the
// file and checked before it is used.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QList>
#include <QSize>

#include <atomic>

namespace pictures {

// Where an item's bytes lie: in the file (from the container's start) or in
// the container's own 'idat' box.
struct HeifExtent {
    qint64 Offset = 0;
    qint64 Length = 0;
    bool InItemData = false;
};

// An item's property box as stored, and whether the item requires it.
struct HeifProperty {
    QByteArray Box;  // from its size field on
    bool Essential = false;
    QByteArray Type() const { return Box.mid(4, 4); }
};

struct HeifGrid {
    int Rows = 0;
    int Columns = 0;
    QSize Output;        // the grid descriptor's size
    QSize Stated;        // the grid item's 'ispe' (empty without one)
    QSize TileSize;      // the tiles' common 'ispe' (empty when they differ or one lacks it)
    QByteArray TileType; // "hvc1", "av01", or the first other type met
    struct Tile {
        QList<HeifProperty> Properties;
        QList<HeifExtent> Data;
    };
    QList<Tile> Tiles;                 // row by row
    QList<HeifProperty> Properties;    // the grid item's own, in their order
    bool Alpha = false;                // an auxiliary picture (alpha, depth) refers to the grid
    QList<HeifExtent> Exif;            // the Exif item describing the grid, if any
    QByteArray ItemData;               // the 'idat' box's payload

    // The tiles cover the grid exactly, as the format requires: as many as
    // rows x columns, all of one stated size, the last column and row needed
    // and the grid's stated size that of its descriptor (or turned).
    bool TilesCoverGrid() const;
};

enum class HeifLayout {
    Single,   // the primary picture is no grid, or the container is for libheif to judge
    Grid,
    Damaged,  // a grid whose description cannot be read
    Stopped,
};

// Reads the container of the file in Device from Start (Length bytes); the
// device's position is left anywhere. Grid is filled for HeifLayout::Grid.
HeifLayout ReadHeifGrid(QIODevice& device, qint64 start, qint64 length, HeifGrid& grid,
                        const std::atomic<bool>* stop = nullptr);

// The bytes of an item, at most MaxBytes; empty when they lie outside the
// file or the 'idat' box, or there are more.
QByteArray HeifItemBytes(QIODevice& device, qint64 start, qint64 length, const HeifGrid& grid,
                         const QList<HeifExtent>& extents, qint64 maxBytes);

// A file of one coded picture, the tile, with its properties and Data as
// its coded bytes: what libheif decodes of a tile, alone.
QByteArray HeifTileFile(const QByteArray& type, const QList<HeifProperty>& properties, const QByteArray& data);

}  // namespace pictures
