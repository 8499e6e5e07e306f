// Making HEIF and AVIF files: libheif's encoder, and a grid container written
// box by box (ISO/IEC 23008-12) around the tiles it coded.
#include "samples/heifsamples.h"

#include <QMap>
#include <QtEndian>

#include <libheif/heif.h>

#include <cstring>
#include <memory>
#include <optional>

namespace heifsamples {
namespace {

heif_compression_format FormatOf(Codec codec)
{
    return codec == Codec::Av1 ? heif_compression_AV1 : heif_compression_HEVC;
}

// heif_init and heif_deinit around one use of the library.
struct Library {
    const bool Ok = heif_init(nullptr).code == heif_error_Ok;
    ~Library()
    {
        if (Ok)
            heif_deinit();
    }
};

template <typename T, void (*Free)(T*)>
struct Freed {
    void operator()(T* p) const { Free(p); }
};
void ReleaseImage(heif_image* p) { heif_image_release(p); }
void ReleaseHandle(heif_image_handle* p) { heif_image_handle_release(p); }
using Context = std::unique_ptr<heif_context, Freed<heif_context, heif_context_free>>;
using Encoder = std::unique_ptr<heif_encoder, Freed<heif_encoder, heif_encoder_release>>;
using Image = std::unique_ptr<heif_image, Freed<heif_image, ReleaseImage>>;
using Handle = std::unique_ptr<heif_image_handle, Freed<heif_image_handle, ReleaseHandle>>;
using EncodingOptions =
    std::unique_ptr<heif_encoding_options, Freed<heif_encoding_options, heif_encoding_options_free>>;
using Nclx = std::unique_ptr<heif_color_profile_nclx, Freed<heif_color_profile_nclx, heif_nclx_color_profile_free>>;

bool Ok(const heif_error& error)
{
    return error.code == heif_error_Ok;
}

// The image's pixels as libheif's interleaved RGB(A), 8 or 16 bits a sample.
Image PlanesOf(const QImage& source, const Options& o)
{
    const bool deep = o.BitDepth > 8;
    const heif_chroma chroma = deep ? (o.Alpha ? heif_chroma_interleaved_RRGGBBAA_LE
                                               : heif_chroma_interleaved_RRGGBB_LE)
                                    : (o.Alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    heif_image* created = nullptr;
    if (!Ok(heif_image_create(source.width(), source.height(), heif_colorspace_RGB, chroma, &created)))
        return {};
    Image image(created);
    if (!Ok(heif_image_add_plane(created, heif_channel_interleaved, source.width(), source.height(), o.BitDepth)))
        return {};
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(created, heif_channel_interleaved, &stride);
    const QImage rows = source.convertToFormat(deep ? (o.Alpha ? QImage::Format_RGBA64 : QImage::Format_RGBX64)
                                                    : (o.Alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888));
    const int samples = o.Alpha ? 4 : 3;
    for (int y = 0; y < rows.height(); ++y) {
        uint8_t* out = plane + static_cast<qsizetype>(y) * stride;
        if (!deep) {
            std::memcpy(out, rows.constScanLine(y), static_cast<std::size_t>(rows.width() * samples));
            continue;
        }
        const auto* in = reinterpret_cast<const quint16*>(rows.constScanLine(y));
        for (int x = 0; x < rows.width(); ++x)
            for (int c = 0; c < samples; ++c)
                qToLittleEndian<quint16>(in[x * 4 + c] >> (16 - o.BitDepth), out + (x * samples + c) * 2);
    }
    return image;
}

struct Writer {
    static heif_error Write(heif_context*, const void* data, size_t size, void* user)
    {
        static_cast<QByteArray*>(user)->append(static_cast<const char*>(data), static_cast<qsizetype>(size));
        return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
    }
};

// --- boxes

void U16(QByteArray& out, quint32 v)
{
    out.append(char(v >> 8)).append(char(v));
}

void U32(QByteArray& out, quint32 v)
{
    U16(out, v >> 16);
    U16(out, v & 0xFFFF);
}

QByteArray Box(const char* type, const QByteArray& payload)
{
    QByteArray box;
    U32(box, static_cast<quint32>(8 + payload.size()));
    return box.append(type, 4).append(payload);
}

QByteArray FullBox(const char* type, int version, int flags, const QByteArray& payload)
{
    QByteArray head;
    U32(head, quint32(version) << 24 | quint32(flags));
    return Box(type, head + payload);
}

// What a grid takes from one of libheif's files: the codec's configuration
// box, the colour box, and the coded picture (all its media data).
struct Tile {
    QByteArray Config;
    QByteArray Colour;
    QByteArray Data;
};

// A box of the given type inside Bytes, found by its type (a file of
// libheif's holds each once, in its 'meta' box).
QByteArray Inner(const QByteArray& bytes, const char* type)
{
    const qsizetype at = bytes.indexOf(QByteArray(type, 4));
    if (at < 4)
        return {};
    const quint32 size = qFromBigEndian<quint32>(bytes.constData() + at - 4);
    return at - 4 + qsizetype(size) <= bytes.size() ? bytes.mid(at - 4, size) : QByteArray();
}

std::optional<Tile> TileOf(const QByteArray& file)
{
    Tile tile;
    QByteArray meta;
    for (qsizetype at = 0; at + 8 <= file.size();) {
        const quint32 size = qFromBigEndian<quint32>(file.constData() + at);
        if (size < 8 || at + size > file.size())
            return std::nullopt;
        const QByteArray type = file.mid(at + 4, 4);
        if (type == "meta")
            meta = file.mid(at, size);
        else if (type == "mdat")
            tile.Data = file.mid(at + 8, size - 8);
        at += size;
    }
    tile.Config = Inner(meta, "hvcC");
    if (tile.Config.isEmpty())
        tile.Config = Inner(meta, "av1C");
    tile.Colour = Inner(meta, "colr");
    if (tile.Config.isEmpty() || tile.Data.isEmpty())
        return std::nullopt;
    return tile;
}

}  // namespace

bool CanEncode(Codec codec)
{
    const Library library;
    return library.Ok && heif_have_encoder_for_format(FormatOf(codec)) != 0;
}

QByteArray Encode(const QImage& image, const Options& o)
{
    const Library library;
    Context context(heif_context_alloc());
    heif_encoder* found = nullptr;
    if (!library.Ok || image.isNull() ||
        !Ok(heif_context_get_encoder_for_format(context.get(), FormatOf(o.Kind), &found)))
        return {};
    const Encoder encoder(found);
    Image planes = PlanesOf(image, o);
    if (!planes || !Ok(heif_encoder_set_lossy_quality(found, o.Quality)))
        return {};
    // Debian 12's aom stops the program on 10-bit 4:2:0 or 4:4:4 from libheif.
    if (o.Kind == Codec::Av1 && o.BitDepth > 8 && !Ok(heif_encoder_set_parameter(found, "chroma", "422")))
        return {};
    const EncodingOptions options(heif_encoding_options_alloc());
    options->save_alpha_channel = o.Alpha;
    options->macOS_compatibility_workaround = !o.CleanAperture;
    options->image_orientation = static_cast<heif_orientation>(o.Orientation);
    if (!o.Icc.isEmpty() &&
        !Ok(heif_image_set_raw_color_profile(planes.get(), "prof", o.Icc.constData(), std::size_t(o.Icc.size()))))
        return {};
    const Nclx nclx(heif_nclx_color_profile_alloc());
    if (o.Primaries) {
        heif_nclx_color_profile_set_color_primaries(nclx.get(), uint16_t(o.Primaries));
        heif_nclx_color_profile_set_transfer_characteristics(nclx.get(), uint16_t(o.Transfer));
        heif_nclx_color_profile_set_matrix_coefficients(nclx.get(), heif_matrix_coefficients_ITU_R_BT_601_6);
        nclx->full_range_flag = 1;
        options->output_nclx_profile = nclx.get();
        options->macOS_compatibility_workaround_no_nclx_profile = 0;  // else a HEIC gets no 'colr' box
        if (!Ok(heif_image_set_nclx_color_profile(planes.get(), nclx.get())))
            return {};
    }
    heif_image_handle* encoded = nullptr;
    if (!Ok(heif_context_encode_image(context.get(), planes.get(), found, options.get(), &encoded)))
        return {};
    const Handle handle(encoded);
    if (!o.Exif.isEmpty() &&
        !Ok(heif_context_add_exif_metadata(context.get(), encoded, o.Exif.constData(), int(o.Exif.size()))))
        return {};
    QByteArray bytes;
    heif_writer writer{1, &Writer::Write};
    return Ok(heif_context_write(context.get(), &writer, &bytes)) ? bytes : QByteArray();
}

QByteArray ByteProperty(const char* type, int value)
{
    return Box(type, QByteArray(1, char(value)));
}

QByteArray Grid(const QList<QByteArray>& files, int columns, QSize output, const GridOptions& options)
{
    QList<Tile> tiles;
    for (const QByteArray& file : files) {
        const std::optional<Tile> tile = TileOf(file);
        if (!tile)
            return {};
        tiles.append(*tile);
    }
    if (tiles.isEmpty() || columns <= 0 || tiles.size() % columns != 0)
        return {};
    const QSize ispe = options.Ispe.isEmpty() ? output : options.Ispe;
    const bool av1 = tiles[0].Config.mid(4, 4) == "av1C";
    const int count = int(tiles.size());
    const int rows = count / columns;

    // The properties: one configuration per distinct one, the colour, the
    // tiles' size and the grid's.
    QByteArray properties;
    int index = 0;
    QMap<QByteArray, int> configIndex;
    for (const Tile& tile : tiles) {
        if (!configIndex.contains(tile.Config)) {
            configIndex.insert(tile.Config, ++index);
            properties += tile.Config;
        }
    }
    int colourIndex = 0;
    if (!tiles[0].Colour.isEmpty()) {
        colourIndex = ++index;
        properties += tiles[0].Colour;
    }
    // One 'ispe' per distinct tile size.
    QList<int> tileIspeIndex;
    QMap<QByteArray, int> ispeIndex;
    for (const QByteArray& file : files) {
        QByteArray tileIspe = Inner(file, "ispe");
        if (tileIspe.isEmpty())
            return {};
        if (!options.TileIspe.isEmpty()) {
            QByteArray size;
            U32(size, quint32(options.TileIspe.width()));
            U32(size, quint32(options.TileIspe.height()));
            tileIspe = FullBox("ispe", 0, 0, size);
        }
        if (!ispeIndex.contains(tileIspe)) {
            ispeIndex.insert(tileIspe, ++index);
            properties += tileIspe;
        }
        tileIspeIndex.append(ispeIndex.value(tileIspe));
    }
    QByteArray gridSize;
    U32(gridSize, quint32(ispe.width()));
    U32(gridSize, quint32(ispe.height()));
    const int gridIspeIndex = ++index;
    properties += FullBox("ispe", 0, 0, gridSize);
    QList<int> extraIndex;
    for (const QByteArray& property : options.Properties) {
        extraIndex.append(++index);
        properties += property;
    }

    QByteArray associations;
    U32(associations, quint32(count + 1));
    U16(associations, 1);
    associations.append(char((colourIndex ? 2 : 1) + extraIndex.size())).append(char(gridIspeIndex));
    if (colourIndex)
        associations.append(char(colourIndex));
    for (const int extra : extraIndex)
        associations.append(char(0x80 | extra));
    for (int i = 0; i < count; ++i) {
        U16(associations, quint32(i + 2));
        associations.append(char(colourIndex ? 3 : 2)).append(char(0x80 | configIndex.value(tiles[i].Config)));
        associations.append(char(tileIspeIndex[i]));
        if (colourIndex)
            associations.append(char(colourIndex));
    }

    const bool wide = output.width() > 0xFFFF || output.height() > 0xFFFF;
    QByteArray grid;
    grid.append(char(0)).append(char(wide ? 1 : 0)).append(char(rows - 1)).append(char(columns - 1));
    if (wide) {
        U32(grid, quint32(output.width()));
        U32(grid, quint32(output.height()));
    } else {
        U16(grid, quint32(output.width()));
        U16(grid, quint32(output.height()));
    }

    // The items' data in order of their IDs: the grid, its tiles, the Exif block.
    QList<QByteArray> data = {grid};
    QByteArray infos, references;
    const int items = count + 1 + (options.Exif.isEmpty() ? 0 : 1);
    U16(infos, quint32(items));
    const auto info = [](int id, const char* type, bool hidden) {
        QByteArray entry;
        U16(entry, quint32(id));
        U16(entry, 0);
        return FullBox("infe", 2, hidden ? 1 : 0, entry.append(type, 4).append('\0'));
    };
    infos += info(1, "grid", false);
    U16(references, 1);
    U16(references, quint32(count));
    for (int i = 0; i < count; ++i) {
        infos += info(i + 2, av1 ? "av01" : "hvc1", true);
        U16(references, quint32(i + 2));
        data += tiles[i].Data;
    }
    references = Box("dimg", references);
    if (!options.Exif.isEmpty()) {
        infos += info(items, "Exif", true);
        QByteArray describes;
        U16(describes, quint32(items));
        U16(describes, 1);
        U16(describes, 1);
        references += Box("cdsc", describes);
        data += QByteArray(4, '\0') + options.Exif;
    }

    // Every item's data lies in 'mdat', so its offsets are known once the
    // boxes before it are, whose size does not depend on them.
    const auto meta = [&](quint32 mediaStart) {
        QByteArray locations;
        locations.append(char(0x44)).append(char(0));
        U16(locations, quint32(items));
        quint32 offset = mediaStart;
        for (int id = 1; id <= items; ++id) {
            const quint32 length = quint32(data[id - 1].size());
            U16(locations, quint32(id));
            U16(locations, 0);
            U16(locations, 1);
            U32(locations, offset);
            U32(locations, length);
            offset += length;
        }
        QByteArray handler(4, '\0');
        handler.append("pict").append(QByteArray(13, '\0'));
        QByteArray primary;
        U16(primary, 1);
        return FullBox("meta", 0, 0,
                       FullBox("hdlr", 0, 0, handler) + FullBox("pitm", 0, 0, primary) +
                           FullBox("iloc", 0, 0, locations) + FullBox("iinf", 0, 0, infos) +
                           FullBox("iref", 0, 0, references) +
                           Box("iprp", Box("ipco", properties) + FullBox("ipma", 0, 0, associations)));
    };
    QByteArray brands(av1 ? "avif" : "heic");
    brands.append(QByteArray(4, '\0')).append("mif1").append(av1 ? "avif" : "heic").append("miaf");
    const QByteArray type = Box("ftyp", brands);
    const quint32 mediaStart = quint32(type.size() + meta(0).size() + 8);
    return type + meta(mediaStart) + Box("mdat", data.join());
}

}  // namespace heifsamples
