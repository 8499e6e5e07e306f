// Reading HEIF and AVIF files with libheif into opaque sRGB pictures.
#include "pictures/heifreader.h"

#include <QColorSpace>
#include <QIODevice>
#include <QtEndian>

#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define ZEMBRIK_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZEMBRIK_LEAK_CHECKED 1
#endif
#endif
#if defined(ZEMBRIK_LEAK_CHECKED)
#include <sanitizer/lsan_interface.h>
#endif

#include "pictures/heifgrid.h"
#include "pictures/opaque.h"

namespace pictures {
namespace {

// Exif larger than this is not photo data (a JPEG's APP1 holds 64 KB at most);
// a claim of more is not read into memory.
constexpr std::size_t MaxExifBytes = 1 << 20;

// How much larger than its stated size a coded picture or a tile may be.
constexpr int CodingMargin = 1024;

bool Raised(const std::atomic<bool>* stop)
{
    return stop && stop->load(std::memory_order_relaxed);
}

bool OverLimit(qint64 width, qint64 height)
{
    return width * height > MaxPicturePixels;
}

HeifError ErrorOf(const heif_error& error)
{
    switch (error.code) {
    case heif_error_Ok:
        return HeifError::None;
    case heif_error_Memory_allocation_error:
        return error.subcode == heif_suberror_Security_limit_exceeded ? HeifError::TooLarge : HeifError::OutOfMemory;
    case heif_error_Unsupported_feature:
        return error.subcode == heif_suberror_Unsupported_codec ? HeifError::NoDecoder : HeifError::Unreadable;
    case heif_error_Plugin_loading_error:
        return HeifError::NoDecoder;
    default:
        return HeifError::Unreadable;
    }
}

// A colour description as video codes it (ITU-T H.273). The BT.709 family of
// camera curves is taken as sRGB, as still pictures tagged so are shown; the
// HDR curves (PQ, HLG) would need tone mapping and are taken as sRGB too.
QColorSpace FromNclx(const heif_color_profile_nclx& nclx)
{
    auto transfer = QColorSpace::TransferFunction::SRgb;
    float gamma = 0.0f;
    switch (nclx.transfer_characteristics) {
    case heif_transfer_characteristic_linear:
        transfer = QColorSpace::TransferFunction::Linear;
        break;
    case heif_transfer_characteristic_ITU_R_BT_470_6_System_M:
        transfer = QColorSpace::TransferFunction::Gamma;
        gamma = 2.2f;
        break;
    case heif_transfer_characteristic_ITU_R_BT_470_6_System_B_G:
        transfer = QColorSpace::TransferFunction::Gamma;
        gamma = 2.8f;
        break;
    default:
        break;
    }
    switch (nclx.color_primaries) {
    case heif_color_primaries_ITU_R_BT_709_5:
    case heif_color_primaries_unspecified:
        return QColorSpace(QColorSpace::Primaries::SRgb, transfer, gamma);
    case heif_color_primaries_SMPTE_EG_432_1:  // Display P3, as iPhones write it
        return QColorSpace(QColorSpace::Primaries::DciP3D65, transfer, gamma);
    default:
        break;
    }
    const QPointF white(nclx.color_primary_white_x, nclx.color_primary_white_y);
    const QPointF red(nclx.color_primary_red_x, nclx.color_primary_red_y);
    const QPointF green(nclx.color_primary_green_x, nclx.color_primary_green_y);
    const QPointF blue(nclx.color_primary_blue_x, nclx.color_primary_blue_y);
    const QColorSpace space(white, red, green, blue, transfer, gamma);
    return space.isValid() ? space : QColorSpace(QColorSpace::Primaries::SRgb, transfer, gamma);
}

// The decoded picture's colour: its ICC profile where Qt understands it, else
// its colour description (from the coded stream, when Image is given, or the
// container), else none, which is sRGB.
QColorSpace ColourSpaceOf(const heif_image_handle* handle, const heif_image* image)
{
    if (const std::size_t size = heif_image_handle_get_raw_color_profile_size(handle); size > 0) {
        QByteArray icc(static_cast<qsizetype>(size), Qt::Uninitialized);
        if (heif_image_handle_get_raw_color_profile(handle, icc.data()).code == heif_error_Ok) {
            const QColorSpace space = QColorSpace::fromIccProfile(icc);
            if (space.isValid())
                return space;
        }
    }
    // libheif 1.15 makes the profile it is asked for and loses it when one of
    // the file's values is out of range (it returns the error, not the
    // profile): 52 bytes a broken file, which nothing here can free. The leak
    // checker of the sanitizer builds is told so for these calls alone.
    heif_color_profile_nclx* nclx = nullptr;
    {
#if defined(ZEMBRIK_LEAK_CHECKED)
        const __lsan::ScopedDisabler lostByLibheif;
#endif
        if (!image || heif_image_get_nclx_color_profile(image, &nclx).code != heif_error_Ok || !nclx) {
            nclx = nullptr;
            if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code != heif_error_Ok || !nclx)
                return {};
        }
    }
    const QColorSpace space = FromNclx(*nclx);
    heif_nclx_color_profile_free(nclx);
    return space;
}

struct ImageRelease {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
struct OptionsFree {
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};
struct ContextFree {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleRelease {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};

// The Exif item's bytes from the TIFF header on, as Exif() gives them: "?"
// for an item that is there but cannot be read.
QByteArray TiffOfExifItem(const QByteArray& block)
{
    const QByteArray unreadable("?");
    const auto size = static_cast<std::size_t>(block.size());
    if (size < 4 + 8 || size > MaxExifBytes)
        return unreadable;
    // The block starts with the offset of the TIFF header behind those four bytes.
    const quint32 offset = qFromBigEndian<quint32>(block.constData());
    if (offset > size - 4 - 8)
        return unreadable;
    QByteArray tiff = block.mid(4 + static_cast<qsizetype>(offset));
    if (!tiff.startsWith(QByteArrayLiteral("II*\0")) && !tiff.startsWith(QByteArrayLiteral("MM\0*")))
        return unreadable;
    return tiff;
}

// A grid whose tiles are decoded here, one at a time: what libheif does to a
// grid of coded tiles and nothing else (a grid with transparency, a crop or
// other properties is left to libheif).
bool DecodedTileByTile(const HeifGrid& grid)
{
    if (grid.TileType != "hvc1" && grid.TileType != "av01")
        return false;
    if (grid.Alpha)
        return false;
    return std::all_of(grid.Properties.cbegin(), grid.Properties.cend(), [](const HeifProperty& property) {
        const QByteArray type = property.Type();
        return type == "ispe" || type == "colr" || type == "pixi" || type == "irot" || type == "imir";
    });
}

// The first byte after a property's header: irot's angle, imir's axis.
int FirstByte(const HeifProperty& property)
{
    return property.Box.size() > 8 ? static_cast<uchar>(property.Box.at(8)) : 0;
}

QSize UprightSize(const HeifGrid& grid)
{
    bool turned = false;
    for (const HeifProperty& property : grid.Properties)
        if (property.Type() == "irot" && (FirstByte(property) & 1))
            turned = !turned;
    return turned ? grid.Output.transposed() : grid.Output;
}

// The grid's colour as libheif reports it for a decoded grid (whose pixels
// carry none of their own): the grid's colour properties, read by libheif on
// an item of their own with the first tile's coding, so that a colour
// description means what it means to libheif.
QColorSpace GridColourSpace(const HeifGrid& grid)
{
    QList<HeifProperty> properties;
    for (const HeifProperty& property : grid.Properties)
        if (property.Type() == "colr")
            properties.append(property);
    if (properties.isEmpty() || grid.Tiles.isEmpty())
        return {};
    for (const HeifProperty& property : grid.Tiles.first().Properties)
        if (property.Type() == "hvcC" || property.Type() == "av1C")
            properties.prepend(property);
    const QByteArray file = HeifTileFile(grid.TileType, properties, QByteArray());
    const std::unique_ptr<heif_context, ContextFree> context(heif_context_alloc());
    heif_image_handle* found = nullptr;
    if (!context ||
        heif_context_read_from_memory_without_copy(context.get(), file.constData(), static_cast<size_t>(file.size()),
                                                   nullptr).code != heif_error_Ok ||
        heif_context_get_primary_image_handle(context.get(), &found).code != heif_error_Ok)
        return {};
    const std::unique_ptr<heif_image_handle, HandleRelease> handle(found);
    return ColourSpaceOf(handle.get(), nullptr);
}

// An RGB32 picture turned counter-clockwise a quarter, as libheif turns one.
QImage Rotated(const QImage& image)
{
    QImage out(image.height(), image.width(), image.format());
    if (out.isNull())
        return out;
    uchar* const rows = out.bits();
    const qsizetype stride = out.bytesPerLine();
    const uchar* const source = image.constBits();
    const qsizetype sourceStride = image.bytesPerLine();
    const int last = image.width() - 1;
    // Bands of rows, so that each output row is written a run at a time.
    constexpr int Band = 32;
    for (int top = 0; top < image.height(); top += Band) {
        const int bottom = qMin(top + Band, image.height());
        for (int x = 0; x <= last; ++x) {
            auto* out = reinterpret_cast<QRgb*>(rows + (last - x) * stride);
            for (int y = top; y < bottom; ++y)
                out[y] = reinterpret_cast<const QRgb*>(source + y * sourceStride)[x];
        }
    }
    return out;
}

QImage Transformed(QImage image, const HeifGrid& grid)
{
    for (const HeifProperty& property : grid.Properties) {
        if (image.isNull())
            break;
        if (property.Type() == "irot") {
            for (int turn = FirstByte(property) & 3; turn > 0 && !image.isNull(); --turn)
                image = Rotated(image);
        } else if (property.Type() == "imir") {
            // libheif 1.15 flips top to bottom for axis 0 and left to right
            // for 1, and the pictures it wrote are read back so.
            const bool leftRight = (FirstByte(property) & 1) != 0;
            image = image.mirrored(leftRight, !leftRight);
        }
    }
    return image;
}

}  // namespace

// libheif reads the file through the device, a part at a time: the tiles'
// data only when they are decoded, which is where the stop flag can end it.
// libheif aborts the program when a read of an item's data fails, so a read
// never does: a raised flag or a device that gives less (a file cut while
// being read) hands it zeros, which it refuses or decodes quickly, and the
// result is then discarded.
struct HeifReader::State {
    QIODevice* Device = nullptr;
    qint64 Start = 0;
    qint64 Length = 0;
    const std::atomic<bool>* Stop = nullptr;
    bool Stopped = false;     // reads were refused for the stop flag
    bool ReadFailed = false;  // the device gave less than libheif asked for
    heif_reader Reader{};
    bool Initialised = false;
    heif_context* Context = nullptr;
    heif_image_handle* Handle = nullptr;
    HeifGrid Grid;
    bool TileByTile = false;  // Grid is decoded here, and libheif never reads the file

    ~State()
    {
        if (Handle)
            heif_image_handle_release(Handle);
        if (Context)
            heif_context_free(Context);
        if (Initialised)
            heif_deinit();
    }

    // What went wrong, if anything did: a refused read outweighs libheif's word.
    HeifError Failure(const heif_error& error) const
    {
        return Stopped ? HeifError::Stopped : ReadFailed ? HeifError::Unreadable : ErrorOf(error);
    }

    static State& Of(void* user) { return *static_cast<State*>(user); }
    static int64_t Position(void* user) { return Of(user).Device->pos() - Of(user).Start; }
    static int Read(void* data, size_t size, void* user)
    {
        State& state = Of(user);
        const auto wanted = static_cast<qint64>(size);
        qint64 got = 0;
        if (Raised(state.Stop))
            state.Stopped = true;
        else
            got = qMax<qint64>(state.Device->read(static_cast<char*>(data), wanted), 0);
        if (got < wanted) {
            state.ReadFailed = state.ReadFailed || !state.Stopped;
            std::memset(static_cast<char*>(data) + got, 0, static_cast<std::size_t>(wanted - got));
        }
        return 0;
    }
    static int Seek(int64_t position, void* user)
    {
        return position >= 0 && Of(user).Device->seek(Of(user).Start + position) ? 0 : 1;
    }
    static heif_reader_grow_status WaitForSize(int64_t size, void* user)
    {
        return size <= Of(user).Length ? heif_reader_grow_status_size_reached : heif_reader_grow_status_size_beyond_eof;
    }
};

HeifDecoders InstalledHeifDecoders()
{
    const bool initialised = heif_init(nullptr).code == heif_error_Ok;
    const HeifDecoders decoders{heif_have_decoder_for_format(heif_compression_HEVC) != 0,
                                heif_have_decoder_for_format(heif_compression_AV1) != 0};
    if (initialised)
        heif_deinit();
    return decoders;
}

bool HeifReader::IsHeif(const QByteArray& head)
{
    const heif_filetype_result kind =
        heif_check_filetype(reinterpret_cast<const uint8_t*>(head.constData()), static_cast<int>(head.size()));
    return kind == heif_filetype_yes_supported || kind == heif_filetype_yes_unsupported;
}

HeifReader::HeifReader(QIODevice& device, const std::atomic<bool>* stop) : m_state(std::make_unique<State>())
{
    State& s = *m_state;
    s.Device = &device;
    s.Start = device.pos();
    s.Length = device.size() - s.Start;
    s.Stop = stop;
    s.Reader = {1, &State::Position, &State::Read, &State::Seek, &State::WaitForSize};
    try {
        s.Initialised = heif_init(nullptr).code == heif_error_Ok;
        s.Context = heif_context_alloc();
        if (!s.Initialised || !s.Context) {
            m_error = HeifError::OutOfMemory;
            return;
        }
        HeifGrid& grid = s.Grid;
        switch (ReadHeifGrid(device, s.Start, s.Length, grid, stop)) {
        case HeifLayout::Stopped:
            m_error = HeifError::Stopped;
            return;
        case HeifLayout::Damaged:
            m_error = HeifError::Unreadable;
            return;
        case HeifLayout::Grid:
            if (OverLimit(grid.Output.width(), grid.Output.height()) ||
                OverLimit(grid.Stated.width(), grid.Stated.height())) {
                m_error = HeifError::TooLarge;
                return;
            }
            // Before anything is allocated for it.
            if (!grid.TilesCoverGrid()) {
                m_error = HeifError::Unreadable;
                return;
            }
            if (DecodedTileByTile(grid)) {
                s.TileByTile = true;
                m_size = UprightSize(grid);
                m_error = HeifError::None;
                return;
            }
            break;
        case HeifLayout::Single:
            break;
        }
        if (!device.seek(s.Start))
            return;
        // The run already decodes one picture per core: tiles are decoded on
        // the caller's thread, where the stop flag is read.
        heif_context_set_max_decoding_threads(s.Context, 0);
        heif_error error = heif_context_read_from_reader(s.Context, &s.Reader, &s, nullptr);
        if (error.code == heif_error_Ok)
            error = heif_context_get_primary_image_handle(s.Context, &s.Handle);
        if (error.code != heif_error_Ok || s.Stopped || s.ReadFailed) {
            m_error = s.Failure(error);
            return;
        }
        // Both the stored size and the size shown (after a crop or a turn) are
        // held to the limit: the decoder allocates the stored one.
        const int width = heif_image_handle_get_width(s.Handle);
        const int height = heif_image_handle_get_height(s.Handle);
        if (width <= 0 || height <= 0) {
            m_error = HeifError::Unreadable;
            return;
        }
        if (OverLimit(width, height) ||
            OverLimit(heif_image_handle_get_ispe_width(s.Handle), heif_image_handle_get_ispe_height(s.Handle))) {
            m_error = HeifError::TooLarge;
            return;
        }
        // libheif allocates a grid at the size its tile layout claims, which
        // nothing holds to the stated one: no side may exceed the header's by
        // more than a coded picture or a tile may (encoders pad to their
        // block size, phones' tiles are 512 pixels).
        const int side = qMax(qMax(width, height), qMax(heif_image_handle_get_ispe_width(s.Handle),
                                                        heif_image_handle_get_ispe_height(s.Handle)));
        heif_context_set_maximum_image_size_limit(s.Context, side + CodingMargin);
        m_size = QSize(width, height);
        m_error = HeifError::None;
    } catch (const std::bad_alloc&) {
        m_error = HeifError::OutOfMemory;
    }
}

HeifReader::~HeifReader() = default;

HeifReader::Picture HeifReader::Decode()
{
    State& s = *m_state;
    const auto failed = [](HeifError error) { return Picture{QImage(), error}; };
    if (m_error != HeifError::None)
        return failed(m_error);
    if (Raised(s.Stop))
        return failed(HeifError::Stopped);
    if (s.TileByTile)
        return DecodeTiles();
    try {
        const std::unique_ptr<heif_decoding_options, OptionsFree> options(heif_decoding_options_alloc());
        if (!options)
            return failed(HeifError::OutOfMemory);
        options->convert_hdr_to_8bit = 1;
        const bool alpha = heif_image_handle_has_alpha_channel(s.Handle) != 0;
        heif_image* decoded = nullptr;
        const heif_error error =
            heif_decode_image(s.Handle, &decoded, heif_colorspace_RGB,
                              alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get());
        const std::unique_ptr<heif_image, ImageRelease> image(decoded);
        if (error.code != heif_error_Ok || !image || s.Stopped || s.ReadFailed)
            return failed(s.Failure(error));
        if (Raised(s.Stop))
            return failed(HeifError::Stopped);

        int stride = 0;
        const uint8_t* plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
        const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
        const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
        if (!plane || width <= 0 || height <= 0 ||
            heif_image_get_bits_per_pixel(image.get(), heif_channel_interleaved) != (alpha ? 32 : 24))
            return failed(HeifError::Unreadable);
        // A grid whose tile layout and stated size disagree, within the margin.
        if (QSize(width, height) != m_size)
            return failed(HeifError::Unreadable);

        const QImage::Format format = !alpha ? QImage::Format_RGB888
                                      : heif_image_handle_is_premultiplied_alpha(s.Handle)
                                          ? QImage::Format_RGBA8888_Premultiplied
                                          : QImage::Format_RGBA8888;
        // A view of libheif's pixels; every conversion below makes a copy of
        // its own, so none of them outlives the decoded image.
        QImage view(plane, width, height, stride, format);
        view.setColorSpace(ColourSpaceOf(s.Handle, image.get()));
        QImage picture = ToOpaqueSrgb(std::move(view));
        if (picture.isNull())
            return failed(HeifError::OutOfMemory);
        return Picture{std::move(picture), HeifError::None};
    } catch (const std::bad_alloc&) {
        return failed(HeifError::OutOfMemory);
    }
}

// Each tile is a file of its own to libheif, decoded as libheif decodes a
// grid's tiles (to RGB, then interleaved 8 bits: the same pixels), pasted
// where the grid puts it, its size checked against the one the container
// states. The canvas is made once the first tile proved that size.
HeifReader::Picture HeifReader::DecodeTiles()
{
    State& s = *m_state;
    const HeifGrid& grid = s.Grid;
    const auto failed = [](HeifError error) { return Picture{QImage(), error}; };
    try {
        const std::unique_ptr<heif_decoding_options, OptionsFree> options(heif_decoding_options_alloc());
        if (!options)
            return failed(HeifError::OutOfMemory);
        options->convert_hdr_to_8bit = 1;
        const QSize tile = grid.TileSize;
        const qint64 maxTileBytes = qMin<qint64>(s.Length, qint64{1} << 30);
        QImage canvas;
        for (int index = 0; index < grid.Tiles.size(); ++index) {
            if (Raised(s.Stop))
                return failed(HeifError::Stopped);
            const QByteArray data =
                HeifItemBytes(*s.Device, s.Start, s.Length, grid, grid.Tiles[index].Data, maxTileBytes);
            if (data.isEmpty())
                return failed(HeifError::Unreadable);
            const QByteArray file = HeifTileFile(grid.TileType, grid.Tiles[index].Properties, data);
            const std::unique_ptr<heif_context, ContextFree> context(heif_context_alloc());
            if (!context)
                return failed(HeifError::OutOfMemory);
            heif_context_set_max_decoding_threads(context.get(), 0);
            heif_context_set_maximum_image_size_limit(context.get(), qMax(tile.width(), tile.height()) + CodingMargin);
            heif_error error = heif_context_read_from_memory_without_copy(context.get(), file.constData(),
                                                                          static_cast<size_t>(file.size()), nullptr);
            heif_image_handle* found = nullptr;
            if (error.code == heif_error_Ok)
                error = heif_context_get_primary_image_handle(context.get(), &found);
            const std::unique_ptr<heif_image_handle, HandleRelease> handle(found);
            heif_image* decoded = nullptr;
            if (error.code == heif_error_Ok)
                error = heif_decode_image(handle.get(), &decoded, heif_colorspace_RGB, heif_chroma_interleaved_RGB,
                                          options.get());
            const std::unique_ptr<heif_image, ImageRelease> image(decoded);
            if (error.code != heif_error_Ok || !image)
                return failed(ErrorOf(error) == HeifError::None ? HeifError::Unreadable : ErrorOf(error));
            int stride = 0;
            const uint8_t* plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
            if (!plane || heif_image_get_width(image.get(), heif_channel_interleaved) != tile.width() ||
                heif_image_get_height(image.get(), heif_channel_interleaved) != tile.height() ||
                heif_image_get_bits_per_pixel(image.get(), heif_channel_interleaved) != 24)
                return failed(HeifError::Unreadable);
            // Opaque RGB32 at once, which is what the RGB picture libheif
            // gives for the whole grid would be converted to next.
            if (canvas.isNull()) {
                canvas = QImage(grid.Output, QImage::Format_RGB32);
                if (canvas.isNull())
                    return failed(HeifError::OutOfMemory);
            }
            const int left = index % grid.Columns * tile.width();
            const int top = index / grid.Columns * tile.height();
            const int width = qMin(tile.width(), canvas.width() - left);
            for (int y = 0; y < tile.height() && top + y < canvas.height(); ++y) {
                const uint8_t* in = plane + static_cast<qsizetype>(y) * stride;
                QRgb* out = reinterpret_cast<QRgb*>(canvas.scanLine(top + y)) + left;
                for (int x = 0; x < width; ++x, in += 3)
                    out[x] = qRgb(in[0], in[1], in[2]);
            }
        }
        QImage upright = Transformed(std::move(canvas), grid);
        if (upright.isNull())
            return failed(HeifError::OutOfMemory);
        upright.setColorSpace(GridColourSpace(grid));
        QImage picture = ToOpaqueSrgb(std::move(upright));
        if (picture.isNull())
            return failed(HeifError::OutOfMemory);
        return Picture{std::move(picture), HeifError::None};
    } catch (const std::bad_alloc&) {
        return failed(HeifError::OutOfMemory);
    }
}

QByteArray HeifReader::Exif() const
{
    if (m_error != HeifError::None)
        return {};
    if (m_state->TileByTile && m_state->Grid.Exif.isEmpty())
        return {};
    if (m_state->TileByTile)
        return TiffOfExifItem(HeifItemBytes(*m_state->Device, m_state->Start, m_state->Length, m_state->Grid,
                                            m_state->Grid.Exif, MaxExifBytes));
    heif_item_id id = 0;
    if (heif_image_handle_get_list_of_metadata_block_IDs(m_state->Handle, "Exif", &id, 1) != 1)
        return {};
    const std::size_t size = heif_image_handle_get_metadata_size(m_state->Handle, id);
    const QByteArray unreadable("?");
    if (size > MaxExifBytes)
        return unreadable;
    QByteArray block(static_cast<qsizetype>(size), Qt::Uninitialized);
    if (heif_image_handle_get_metadata(m_state->Handle, id, block.data()).code != heif_error_Ok ||
        m_state->Stopped || m_state->ReadFailed)
        return {};
    return TiffOfExifItem(block);
}

}  // namespace pictures
