// Reading a HEIF grid's description from the container's boxes, and making
// a one-picture file of a tile.
#include "pictures/heifgrid.h"

#include <QHash>

#include <algorithm>

namespace pictures {
namespace {

// A container's description takes some 45 bytes a tile: this is room for
// far more tiles than a picture within the pixel limit can have.
constexpr qint64 MaxMetaBytes = 64 << 20;
// Top-level boxes looked at before the description ('ftyp', 'meta', 'mdat'
// and a few free ones are usual).
constexpr int MaxTopLevelBoxes = 4096;
// Extents of all items together: fields of no bytes would let a small
// description list billions.
constexpr qint64 MaxExtents = 1 << 20;

// Big-endian fields of a byte range, every read checked against its end.
class Fields {
public:
    Fields(const QByteArray& bytes, qint64 at, qint64 end) : bytes_(bytes), at_(at), end_(end) {}

    bool Ok() const { return ok_; }
    qint64 At() const { return at_; }
    qint64 Left() const { return ok_ ? end_ - at_ : 0; }
    quint64 Read(int size)
    {
        if (size < 0 || size > 8 || Left() < size) {
            ok_ = false;
            return 0;
        }
        quint64 value = 0;
        for (int i = 0; i < size; ++i)
            value = value << 8 | static_cast<uchar>(bytes_.at(at_ + i));
        at_ += size;
        return value;
    }
    quint32 U8() { return static_cast<quint32>(Read(1)); }
    quint32 U16() { return static_cast<quint32>(Read(2)); }
    quint32 U32() { return static_cast<quint32>(Read(4)); }
    QByteArray Type()
    {
        if (Left() < 4) {
            ok_ = false;
            return {};
        }
        at_ += 4;
        return bytes_.mid(at_ - 4, 4);
    }
    void Skip(qint64 count)
    {
        if (Left() < count || count < 0)
            ok_ = false;
        else
            at_ += count;
    }

private:
    const QByteArray& bytes_;
    qint64 at_;
    qint64 end_;
    bool ok_ = true;
};

// One box within a range: its type and where its payload lies.
struct Box {
    QByteArray Type;
    qint64 Start = 0;    // of the size field
    qint64 Payload = 0;
    qint64 End = 0;
};

// The next box of the range, or false at its end or at a box that does not fit.
bool NextBox(Fields& in, Box& box)
{
    if (in.Left() < 8)
        return false;
    box.Start = in.At();
    const qint64 left = in.Left();
    quint64 size = in.U32();
    box.Type = in.Type();
    if (size == 1)
        size = in.Read(8);
    else if (size == 0)
        size = static_cast<quint64>(left);
    if (box.Type == "uuid")
        in.Skip(16);
    box.Payload = in.At();
    if (!in.Ok() || size < static_cast<quint64>(box.Payload - box.Start) || size > static_cast<quint64>(left))
        return false;
    box.End = box.Start + static_cast<qint64>(size);
    in.Skip(box.End - box.Payload);
    return in.Ok();
}

struct Item {
    QByteArray Type;
    QList<HeifExtent> Data;
    QList<std::pair<int, bool>> Properties;  // index into 'ipco' from 1, essential
};

struct Reference {
    QByteArray Type;
    quint32 From = 0;
    QList<quint32> To;
};

struct Container {
    quint32 Primary = 0;
    bool HasPrimary = false;
    QHash<quint32, Item> Items;
    QList<QByteArray> Properties;  // 'ipco' boxes in order
    QList<Reference> References;
    QByteArray ItemData;
};

bool ReadLocations(const QByteArray& meta, const Box& box, Container& c)
{
    Fields in(meta, box.Payload, box.End);
    const quint32 version = in.U8();
    in.Skip(3);
    const quint32 sizes = in.U16();
    const int offsetSize = static_cast<int>(sizes >> 12), lengthSize = static_cast<int>(sizes >> 8 & 15);
    const int baseSize = static_cast<int>(sizes >> 4 & 15), indexSize = version >= 1 ? static_cast<int>(sizes & 15) : 0;
    if (version > 2)
        return false;
    const quint32 count = version < 2 ? in.U16() : in.U32();
    qint64 listed = 0;
    for (quint32 i = 0; i < count && in.Ok(); ++i) {
        const quint32 id = version < 2 ? in.U16() : in.U32();
        const quint32 method = version >= 1 ? in.U16() & 15 : 0;
        in.Skip(2);  // data reference: this file
        const qint64 base = static_cast<qint64>(in.Read(baseSize));
        const quint32 extents = in.U16();
        if ((listed += extents) > MaxExtents)
            return false;
        Item& item = c.Items[id];
        for (quint32 e = 0; e < extents && in.Ok(); ++e) {
            in.Read(indexSize);
            HeifExtent extent;
            const quint64 offset = in.Read(offsetSize);
            const quint64 length = in.Read(lengthSize);
            if (offset > (quint64{1} << 62) || length > (quint64{1} << 62) || base < 0)
                return false;
            extent.Offset = base + static_cast<qint64>(offset);
            extent.Length = static_cast<qint64>(length);
            extent.InItemData = method == 1;
            if (method > 1)
                extent.Offset = -1;  // in another item: not for a grid
            item.Data.append(extent);
        }
    }
    return in.Ok();
}

bool ReadInfos(const QByteArray& meta, const Box& box, Container& c)
{
    Fields in(meta, box.Payload, box.End);
    const quint32 version = in.U8();
    in.Skip(3);
    in.Skip(version == 0 ? 2 : 4);  // the count, which the boxes tell as well
    Box entry;
    while (in.Ok() && NextBox(in, entry)) {
        if (entry.Type != "infe")
            continue;
        Fields e(meta, entry.Payload, entry.End);
        const quint32 entryVersion = e.U8();
        e.Skip(3);
        if (entryVersion < 2)
            continue;  // no item type: nothing a grid is made of
        const quint32 id = entryVersion == 2 ? e.U16() : e.U32();
        e.Skip(2);
        const QByteArray type = e.Type();
        if (!e.Ok())
            return false;
        c.Items[id].Type = type;
    }
    return in.Ok();
}

bool ReadReferences(const QByteArray& meta, const Box& box, Container& c)
{
    Fields in(meta, box.Payload, box.End);
    const quint32 version = in.U8();
    in.Skip(3);
    Box entry;
    while (in.Ok() && NextBox(in, entry)) {
        Fields e(meta, entry.Payload, entry.End);
        Reference reference{entry.Type, version == 0 ? e.U16() : e.U32(), {}};
        const quint32 count = e.U16();
        for (quint32 i = 0; i < count && e.Ok(); ++i)
            reference.To.append(version == 0 ? e.U16() : e.U32());
        if (!e.Ok())
            return false;
        c.References.append(std::move(reference));
    }
    return in.Ok();
}

bool ReadProperties(const QByteArray& meta, const Box& box, Container& c)
{
    Fields in(meta, box.Payload, box.End);
    Box child;
    while (in.Ok() && NextBox(in, child)) {
        if (child.Type == "ipco") {
            Fields p(meta, child.Payload, child.End);
            Box property;
            while (NextBox(p, property))
                c.Properties.append(meta.mid(property.Start, property.End - property.Start));
        } else if (child.Type == "ipma") {
            Fields p(meta, child.Payload, child.End);
            const quint32 version = p.U8();
            const bool wide = p.Read(3) & 1;
            const quint32 count = p.U32();
            for (quint32 i = 0; i < count && p.Ok(); ++i) {
                const quint32 id = version < 1 ? p.U16() : p.U32();
                const quint32 associations = p.U8();
                Item& item = c.Items[id];
                for (quint32 a = 0; a < associations && p.Ok(); ++a) {
                    const quint32 value = wide ? p.U16() : p.U8();
                    const quint32 top = wide ? 0x8000 : 0x80;
                    item.Properties.append({static_cast<int>(value & (top - 1)), (value & top) != 0});
                }
            }
            if (!p.Ok())
                return false;
        }
    }
    return in.Ok();
}

// The container's description: false when it cannot be read.
bool ReadMeta(const QByteArray& meta, Container& c)
{
    Fields in(meta, 4, meta.size());  // after the version and flags
    Box box;
    while (NextBox(in, box)) {
        bool ok = true;
        if (box.Type == "pitm") {
            Fields p(meta, box.Payload, box.End);
            const quint32 version = p.U8();
            p.Skip(3);
            c.Primary = version == 0 ? p.U16() : p.U32();
            c.HasPrimary = ok = p.Ok();
        } else if (box.Type == "iloc") {
            ok = ReadLocations(meta, box, c);
        } else if (box.Type == "iinf") {
            ok = ReadInfos(meta, box, c);
        } else if (box.Type == "iref") {
            ok = ReadReferences(meta, box, c);
        } else if (box.Type == "iprp") {
            ok = ReadProperties(meta, box, c);
        } else if (box.Type == "idat") {
            c.ItemData = meta.mid(box.Payload, box.End - box.Payload);
        }
        if (!ok)
            return false;
    }
    return c.HasPrimary;
}

// An item's properties as stored; false when one is not in 'ipco'.
bool PropertiesOf(const Container& c, const Item& item, QList<HeifProperty>& out)
{
    for (const auto& [index, essential] : item.Properties) {
        if (index == 0)
            continue;  // no property
        if (index > c.Properties.size())
            return false;
        out.append({c.Properties.at(index - 1), essential});
    }
    return true;
}

// The size an 'ispe' property states, empty without one.
QSize StatedSize(const QList<HeifProperty>& properties)
{
    for (const HeifProperty& property : properties) {
        if (property.Type() != "ispe")
            continue;
        Fields in(property.Box, 12, property.Box.size());
        const quint32 width = in.U32();
        const quint32 height = in.U32();
        if (in.Ok() && width > 0 && height > 0 && width <= 0x7FFFFFFF && height <= 0x7FFFFFFF)
            return QSize(static_cast<int>(width), static_cast<int>(height));
    }
    return {};
}

QList<quint32> ReferencesFrom(const Container& c, const char* type, quint32 from)
{
    for (const Reference& reference : c.References)
        if (reference.Type == type && reference.From == from)
            return reference.To;
    return {};
}

// The payload of the container's 'meta' box, read whole, or empty when the
// top level has none within reach (or Stopped is set).
QByteArray ReadMetaBox(QIODevice& device, qint64 start, qint64 length, const std::atomic<bool>* stop, bool& stopped)
{
    qint64 at = 0;
    for (int i = 0; i < MaxTopLevelBoxes && at + 8 <= length; ++i) {
        if (stop && stop->load(std::memory_order_relaxed)) {
            stopped = true;
            return {};
        }
        if (!device.seek(start + at))
            return {};
        const QByteArray head = device.read(16);
        Fields in(head, 0, head.size());
        quint64 size = in.U32();
        const QByteArray type = in.Type();
        qint64 header = 8;
        if (size == 1) {
            size = in.Read(8);
            header = 16;
        } else if (size == 0) {
            size = static_cast<quint64>(length - at);
        }
        if (!in.Ok() || size < static_cast<quint64>(header) || size > static_cast<quint64>(length - at))
            return {};
        if (type == "meta") {
            if (size > static_cast<quint64>(MaxMetaBytes) || !device.seek(start + at + header))
                return {};
            const QByteArray meta = device.read(static_cast<qint64>(size) - header);
            return meta.size() == static_cast<qint64>(size) - header ? meta : QByteArray();
        }
        at += static_cast<qint64>(size);
    }
    return {};
}

void U16(QByteArray& out, quint32 v)
{
    out.append(static_cast<char>(v >> 8 & 255)).append(static_cast<char>(v & 255));
}

void U32(QByteArray& out, quint32 v)
{
    U16(out, v >> 16);
    U16(out, v & 0xFFFF);
}

QByteArray MakeBox(const char* type, const QByteArray& payload)
{
    QByteArray box;
    U32(box, static_cast<quint32>(8 + payload.size()));
    return box.append(type, 4).append(payload);
}

QByteArray MakeFullBox(const char* type, quint32 versionAndFlags, const QByteArray& payload)
{
    QByteArray head;
    U32(head, versionAndFlags);
    return MakeBox(type, head + payload);
}

}  // namespace

bool HeifGrid::TilesCoverGrid() const
{
    // libheif 1.15 states a grid it turned a quarter at its size after the
    // turn: either is the grid's size.
    if (Tiles.size() != qsizetype{Rows} * Columns || TileSize.isEmpty() || Output.isEmpty() ||
        (Stated != Output && Stated != Output.transposed()))
        return false;
    const auto covers = [](qint64 count, qint64 tile, qint64 side) { return count * tile >= side && (count - 1) * tile < side; };
    return covers(Columns, TileSize.width(), Output.width()) && covers(Rows, TileSize.height(), Output.height());
}

HeifLayout ReadHeifGrid(QIODevice& device, qint64 start, qint64 length, HeifGrid& grid, const std::atomic<bool>* stop)
{
    bool stopped = false;
    const QByteArray meta = ReadMetaBox(device, start, length, stop, stopped);
    if (stopped)
        return HeifLayout::Stopped;
    Container c;
    // What cannot be read here is left to libheif, which refuses it or reads it.
    if (meta.isEmpty() || !ReadMeta(meta, c))
        return HeifLayout::Single;
    const auto primary = c.Items.constFind(c.Primary);
    if (primary == c.Items.constEnd() || primary->Type != "grid")
        return HeifLayout::Single;

    grid.ItemData = c.ItemData;
    if (!PropertiesOf(c, *primary, grid.Properties))
        return HeifLayout::Damaged;
    grid.Stated = StatedSize(grid.Properties);
    const QByteArray descriptor = HeifItemBytes(device, start, length, grid, primary->Data, 64);
    Fields in(descriptor, 0, descriptor.size());
    const quint32 version = in.U8();
    const bool wide = in.U8() & 1;
    grid.Rows = static_cast<int>(in.U8()) + 1;
    grid.Columns = static_cast<int>(in.U8()) + 1;
    const quint64 width = in.Read(wide ? 4 : 2);
    const quint64 height = in.Read(wide ? 4 : 2);
    if (!in.Ok() || version != 0 || width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF)
        return HeifLayout::Damaged;
    grid.Output = QSize(static_cast<int>(width), static_cast<int>(height));

    const QList<quint32> tiles = ReferencesFrom(c, "dimg", c.Primary);
    for (const quint32 id : tiles) {
        const auto tile = c.Items.constFind(id);
        if (tile == c.Items.constEnd() || id == c.Primary)
            return HeifLayout::Damaged;
        HeifGrid::Tile entry;
        entry.Data = tile->Data;
        if (!PropertiesOf(c, *tile, entry.Properties))
            return HeifLayout::Damaged;
        const QSize size = StatedSize(entry.Properties);
        if (grid.Tiles.isEmpty()) {
            grid.TileType = tile->Type;
            grid.TileSize = size;
        } else if (size != grid.TileSize) {
            grid.TileSize = QSize();
        }
        if (tile->Type != grid.TileType)
            grid.TileType = tile->Type == "hvc1" || tile->Type == "av01" ? "mixed" : tile->Type;
        grid.Tiles.append(std::move(entry));
    }
    for (const Reference& reference : c.References) {
        if (reference.Type == "auxl" && reference.To.contains(c.Primary))
            grid.Alpha = true;
        const auto item = c.Items.constFind(reference.From);
        if (reference.Type == "cdsc" && grid.Exif.isEmpty() && reference.To.contains(c.Primary) &&
            item != c.Items.constEnd() && item->Type == "Exif")
            grid.Exif = item->Data;
    }
    return HeifLayout::Grid;
}

QByteArray HeifItemBytes(QIODevice& device, qint64 start, qint64 length, const HeifGrid& grid,
                         const QList<HeifExtent>& extents, qint64 maxBytes)
{
    QByteArray bytes;
    for (const HeifExtent& extent : extents) {
        const qint64 room = extent.InItemData ? grid.ItemData.size() : length;
        if (extent.Offset < 0 || extent.Offset > room)
            return {};
        const qint64 count = extent.Length == 0 ? room - extent.Offset : extent.Length;  // 0: to the end
        if (count > room - extent.Offset || count > maxBytes - bytes.size())
            return {};
        if (extent.InItemData) {
            bytes += grid.ItemData.mid(extent.Offset, count);
        } else {
            if (!device.seek(start + extent.Offset))
                return {};
            const QByteArray part = device.read(count);
            if (part.size() != count)
                return {};
            bytes += part;
        }
    }
    return bytes;
}

QByteArray HeifTileFile(const QByteArray& type, const QList<HeifProperty>& properties, const QByteArray& data)
{
    const QByteArray brand = type == "av01" ? "avif" : "heic";
    const QByteArray fileType = MakeBox("ftyp", brand + QByteArray(4, '\0') + "mif1" + brand);
    QByteArray handler(4, '\0');
    handler.append("pict").append(QByteArray(13, '\0'));
    QByteArray primary;
    U16(primary, 1);
    QByteArray info;
    U16(info, 1);
    QByteArray entry;
    U16(entry, 1);
    U16(entry, 0);
    info += MakeFullBox("infe", 2 << 24, entry + type.left(4) + '\0');
    QByteArray boxes, associations;
    U32(associations, 1);
    U16(associations, 1);
    associations.append(static_cast<char>(std::min<qsizetype>(properties.size(), 255)));
    for (int i = 0; i < properties.size() && i < 255; ++i) {
        boxes += properties[i].Box;
        U16(associations, static_cast<quint32>(i + 1) | (properties[i].Essential ? 0x8000 : 0));
    }
    const auto meta = [&](quint32 offset) {
        QByteArray location;
        location.append(static_cast<char>(0x44)).append('\0');
        U16(location, 1);
        U16(location, 1);
        U16(location, 0);
        U16(location, 1);
        U32(location, offset);
        U32(location, static_cast<quint32>(data.size()));
        return MakeFullBox("meta", 0,
                           MakeFullBox("hdlr", 0, handler) + MakeFullBox("pitm", 0, primary) +
                               MakeFullBox("iloc", 0, location) + MakeFullBox("iinf", 0, info) +
                               MakeBox("iprp", MakeBox("ipco", boxes) + MakeFullBox("ipma", 1, associations)));
    };
    const quint32 mediaStart = static_cast<quint32>(fileType.size() + meta(0).size() + 8);
    return fileType + meta(mediaStart) + MakeBox("mdat", data);
}

}  // namespace pictures
