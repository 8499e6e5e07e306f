// Row-by-row JPEG decoding through libjpeg's own interface. The decoder keeps
// libjpeg's defaults, as Qt's JPEG reader does (accurate integer DCT, fancy
// upsampling, block smoothing), and turns the rows into the same pixels Qt's
// reader gives: RGB as it is, grey repeated, CMYK by Qt's formula, an ICC
// profile other than sRGB converted with Qt's colour transform.
#include "shell/jpegrows.h"

#include <QColorSpace>
#include <QImage>
#include <QSysInfo>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

// jerror.h's message list depends on what jpeglib.h defines (the library's
// interface version, arithmetic coding), so it comes second.
#include <jpeglib.h>
#include <jerror.h>

#include "shell/picture.h"

namespace basMain {
namespace {

enum class Failure { Corrupt, OutOfMemory, Stopped };

// libjpeg reports errors by calling back; the callbacks below leave the
// library by a long jump to the frame that made the call. Every such frame
// (the Try functions) and every callback holds nothing with a destructor, so
// the jump skips no clean-up; the decoder itself is released by its owner.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    Failure failure;
};

constexpr std::size_t InputChunk = 64 * 1024;

struct SourceManager {
    jpeg_source_mgr pub;
    QIODevice* device;
    bool ended;  // the file ended before libjpeg was done with it
    JOCTET buffer[InputChunk];
};

struct ProgressMonitor {
    jpeg_progress_mgr pub;
    const std::atomic<bool>* stop;
};

struct Decoder {
    jpeg_decompress_struct info;
    ErrorManager error;
    SourceManager source;
    ProgressMonitor progress;
    bool multiScan;
    ~Decoder() { jpeg_destroy_decompress(&info); }  // safe on a zeroed or half-made decoder
};

[[noreturn]] void Fail(j_common_ptr info, Failure failure)
{
    auto* error = reinterpret_cast<ErrorManager*>(info->err);
    error->failure = failure;
    std::longjmp(error->jump, 1);
}

void ErrorExit(j_common_ptr info)
{
    Fail(info, info->err->msg_code == JERR_OUT_OF_MEMORY ? Failure::OutOfMemory : Failure::Corrupt);
}

// Warnings that mean picture data was lost end the decode: a picture with a
// grey or smeared part is not what the user asked to shrink. Others (stray
// bytes between segments, unknown revision numbers) are harmless, and Qt's
// reader passes them too.
void EmitMessage(j_common_ptr info, int level)
{
    if (level >= 0)
        return;
    switch (info->err->msg_code) {
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
        Fail(info, Failure::Corrupt);
    default:
        break;
    }
}

void OutputMessage(j_common_ptr) {}

void CheckStop(j_common_ptr info)
{
    const auto* progress = reinterpret_cast<const ProgressMonitor*>(info->progress);
    if (progress->stop && progress->stop->load(std::memory_order_relaxed))
        Fail(info, Failure::Stopped);
}

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr info)
{
    auto* source = reinterpret_cast<SourceManager*>(info->src);
    qint64 got = -1;
    try {
        got = source->device->read(reinterpret_cast<char*>(source->buffer), static_cast<qint64>(InputChunk));
    } catch (...) {
        // Nothing may be thrown through libjpeg: a failed read is an early end.
    }
    if (got <= 0) {
        // An end marker lets libjpeg stop; the decode fails all the same.
        source->ended = true;
        source->buffer[0] = 0xFF;
        source->buffer[1] = JPEG_EOI;
        got = 2;
    }
    source->pub.next_input_byte = source->buffer;
    source->pub.bytes_in_buffer = static_cast<std::size_t>(got);
    return TRUE;
}

void SkipInput(j_decompress_ptr info, long count)
{
    auto* source = reinterpret_cast<SourceManager*>(info->src);
    if (count <= 0)
        return;
    while (static_cast<std::size_t>(count) > source->pub.bytes_in_buffer) {
        count -= static_cast<long>(source->pub.bytes_in_buffer);
        FillInput(info);
    }
    source->pub.next_input_byte += count;
    source->pub.bytes_in_buffer -= static_cast<std::size_t>(count);
}

bool TryCreate(Decoder& d)
{
    if (setjmp(d.error.jump))
        return false;
    jpeg_create_decompress(&d.info);
    return true;
}

bool TryReadHeader(Decoder& d)
{
    if (setjmp(d.error.jump))
        return false;
    // Qt's reader takes the ICC profile from these.
    jpeg_save_markers(&d.info, JPEG_APP0 + 2, 0xFFFF);
    if (jpeg_read_header(&d.info, TRUE) == JPEG_HEADER_OK) {
        d.multiScan = jpeg_has_multiple_scans(&d.info);
        return true;
    }
    d.error.failure = Failure::Corrupt;
    return false;
}

bool TryStart(Decoder& d)
{
    if (setjmp(d.error.jump))
        return false;
    jpeg_start_decompress(&d.info);
    return true;
}

// Rows read, or -1 on failure.
int TryReadRows(Decoder& d, JSAMPARRAY rows, JDIMENSION count)
{
    if (setjmp(d.error.jump))
        return -1;
    return static_cast<int>(jpeg_read_scanlines(&d.info, rows, count));
}

bool TryFinish(Decoder& d)
{
    if (setjmp(d.error.jump))
        return false;
    jpeg_finish_decompress(&d.info);
    return true;
}

JpegRowsResult ResultOf(Failure failure)
{
    switch (failure) {
    case Failure::OutOfMemory: return JpegRowsResult::OutOfMemory;
    case Failure::Stopped: return JpegRowsResult::Stopped;
    case Failure::Corrupt: break;
    }
    return JpegRowsResult::Corrupt;
}

// The profile as Qt's reader gathers it: every ICC segment's payload in file order.
QColorSpace ColourSpaceOf(const jpeg_decompress_struct& info)
{
    QByteArray icc;
    for (jpeg_saved_marker_ptr marker = info.marker_list; marker; marker = marker->next) {
        if (marker->marker == JPEG_APP0 + 2 && marker->data_length > 128 + 4 + 14 &&
            std::memcmp(marker->data, "ICC_PROFILE", 12) == 0)
            icc.append(reinterpret_cast<const char*>(marker->data) + 14, marker->data_length - 14);
    }
    return icc.isEmpty() ? QColorSpace() : QColorSpace::fromIccProfile(icc);
}

// What libjpeg holds while decoding, from the header: a file of several scans
// keeps every coefficient of the picture (two bytes each); besides that, a few
// rows of blocks of each component, the rows handed out and a fixed part.
qint64 DecoderBytes(const jpeg_decompress_struct& info, bool multiScan)
{
    qint64 coefficients = 0;
    qint64 width = 0;
    for (int c = 0; c < info.num_components; ++c) {
        const jpeg_component_info& component = info.comp_info[c];
        if (multiScan) {
            // Rounded up to whole rows of the component's blocks per MCU row.
            const qint64 rows = (static_cast<qint64>(component.height_in_blocks) + component.v_samp_factor - 1) /
                                component.v_samp_factor * component.v_samp_factor;
            coefficients += static_cast<qint64>(component.width_in_blocks) * rows * DCTSIZE2;
        }
        width += static_cast<qint64>(component.width_in_blocks) * DCTSIZE;
    }
    const qint64 rowBlocks = width * DCTSIZE * info.max_v_samp_factor * 4;
    const qint64 outputRows = static_cast<qint64>(info.image_width) * 4 * 8;
    return coefficients * static_cast<qint64>(sizeof(JCOEF)) + rowBlocks + outputRows + 512 * 1024;
}

// What libjpeg is asked for: rows that are already RGB32 in memory, grey
// rows (to be converted as grey pictures are), or CMYK.
enum class RowKind { Rgb32, Grey, Cmyk };

}  // namespace

JpegRowsResult DecodeJpegRows(QIODevice& device, const std::atomic<bool>* stop,
                              const std::function<bool(const JpegRowsHeader&)>& begin,
                              const std::function<bool(const uchar*)>& row, const std::function<uchar*()>& into)
{
    const auto d = std::make_unique<Decoder>();  // zeroed
    d->info.err = jpeg_std_error(&d->error.pub);
    d->error.pub.error_exit = ErrorExit;
    d->error.pub.emit_message = EmitMessage;
    d->error.pub.output_message = OutputMessage;
    if (!TryCreate(*d))
        return ResultOf(d->error.failure);
    d->source.pub.init_source = InitSource;
    d->source.pub.fill_input_buffer = FillInput;
    d->source.pub.skip_input_data = SkipInput;
    d->source.pub.resync_to_restart = jpeg_resync_to_restart;
    d->source.pub.term_source = TermSource;
    d->source.device = &device;
    d->info.src = &d->source.pub;
    d->progress.pub.progress_monitor = CheckStop;
    d->progress.stop = stop;
    d->info.progress = &d->progress.pub;
    if (!TryReadHeader(*d))
        return ResultOf(d->error.failure);

    const QColorSpace space = ColourSpaceOf(d->info);
    const bool convert = space.isValid() && space != QColorSpace(QColorSpace::SRgb);
    const J_COLOR_SPACE rgb32 = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? JCS_EXT_BGRX : JCS_EXT_XRGB;
    RowKind kind = RowKind::Rgb32;
    switch (d->info.out_color_space) {
    case JCS_RGB:
        d->info.out_color_space = rgb32;
        break;
    case JCS_GRAYSCALE:
        if (convert)
            kind = RowKind::Grey;
        else
            d->info.out_color_space = rgb32;
        break;
    case JCS_CMYK:
        kind = RowKind::Cmyk;
        break;
    default:
        return JpegRowsResult::Unsupported;
    }

    JpegRowsHeader header;
    header.Size = QSize(static_cast<int>(d->info.image_width), static_cast<int>(d->info.image_height));
    header.Space = convert ? QColorSpace(QColorSpace::SRgb) : space;
    header.DecoderBytes = DecoderBytes(d->info, d->multiScan);
    if (!begin(header))
        return JpegRowsResult::Declined;
    if (!TryStart(*d))
        return ResultOf(d->error.failure);

    const std::size_t width = d->info.output_width;
    const std::size_t rowBytes = width * static_cast<std::size_t>(d->info.output_components);
    const int batch = std::max(1, d->info.rec_outbuf_height);
    std::vector<uchar> buffer(rowBytes * static_cast<std::size_t>(batch));
    std::vector<JSAMPROW> rows(static_cast<std::size_t>(batch));
    for (int i = 0; i < batch; ++i)
        rows[static_cast<std::size_t>(i)] = buffer.data() + rowBytes * static_cast<std::size_t>(i);
    std::vector<QRgb> fromCmyk(kind == RowKind::Cmyk ? width : 0);

    // Rows that need no conversion are decoded straight into the caller's memory.
    const bool inPlace = into && kind == RowKind::Rgb32 && !convert;
    while (d->info.output_scanline < d->info.output_height) {
        uchar* const at = inPlace ? into() : nullptr;
        rows[0] = at ? at : buffer.data();
        const int got = TryReadRows(*d, rows.data(), at ? 1 : static_cast<JDIMENSION>(batch));
        if (got < 0)
            return ResultOf(d->error.failure);
        if (got == 0)
            return JpegRowsResult::Corrupt;  // only a suspending source gives none
        for (int i = 0; i < got; ++i) {
            const uchar* line = rows[static_cast<std::size_t>(i)];
            if (kind == RowKind::Cmyk) {
                // Qt's reader: each of C, M, Y (stored inverted, as Adobe
                // writes them) scaled by K.
                for (std::size_t x = 0; x < width; ++x) {
                    const uchar* in = line + 4 * x;
                    const int k = in[3];
                    fromCmyk[x] = qRgb(k * in[0] / 255, k * in[1] / 255, k * in[2] / 255);
                }
                line = reinterpret_cast<const uchar*>(fromCmyk.data());
            }
            if (!convert) {
                if (!row(line))
                    return JpegRowsResult::Declined;
                continue;
            }
            // One row at a time through the same conversion as a whole picture:
            // it works pixel by pixel, so the results are the same.
            QImage band(line, static_cast<int>(width), 1,
                        kind == RowKind::Grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
            band.setColorSpace(space);
            const QImage opaque = ToOpaqueRgb32(std::move(band));
            if (opaque.isNull())
                return JpegRowsResult::OutOfMemory;
            if (!row(opaque.constBits()))
                return JpegRowsResult::Declined;
        }
    }
    // A Huffman-coded file cut short within a scan has already failed by its
    // warning. One cut between the scans of a progressive file gives no
    // warning, only a coarser picture, and the arithmetic decoder fills a cut
    // with zeros silently, so there an early end fails too (even if only the
    // end marker is missing: the two cannot be told apart). A single Huffman
    // scan all of whose rows came out intact has lost no more than its end
    // marker.
    if (d->source.ended && (d->multiScan || d->info.arith_code))
        return JpegRowsResult::Corrupt;
    if (!TryFinish(*d))
        return ResultOf(d->error.failure);
    return JpegRowsResult::Done;
}

}  // namespace basMain
