// Reading JPEGs through libjpeg's own interface. The decoder keeps
// libjpeg's defaults, as Qt's JPEG reader does (accurate integer DCT, fancy
// upsampling, block smoothing), and turns the rows into the same pixels Qt's
// reader gives: RGB as it is, grey repeated, CMYK by Qt's formula, an ICC
// profile other than sRGB converted with Qt's colour transform. The header's
// EXIF and ICC segments are gathered here too, and read as Qt's reader reads
// them, so that the file is read once, with the same bounds throughout.
#include "pictures/jpegrows.h"

#include <QColorSpace>
#include <QImage>
#include <QSysInfo>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#else
#include <cstdlib>
#endif

// jerror.h's message list depends on what jpeglib.h defines (the library's
// interface version, arithmetic coding), so it comes second.
#include <jpeglib.h>
#include <jerror.h>

#include "pictures/opaque.h"
#include "pictures/orientation.h"
#include "pictures/picture.h"

namespace pictures {
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

// What a file may hold besides its coded picture (metadata before it, tables
// between scans, junk before a marker) before it is taken for something else
// than a picture: real headers stay far below this.
constexpr qint64 HeaderBudget = qint64{32} << 20;
// The most one scan can code for one 8 x 8 block: 64 coefficients at the
// longest code and value, every byte stuffed.
constexpr qint64 MaxBytesPerBlock = 512;

struct SourceManager {
    jpeg_source_mgr pub;
    QIODevice* device;
    const std::atomic<bool>* stop;
    qint64 delivered;  // bytes of the file handed to libjpeg
    qint64 budget;     // more than the picture can need: the file is refused
    bool ended;        // the file ended before libjpeg was done with it
    JOCTET buffer[InputChunk];
};

struct ProgressMonitor {
    jpeg_progress_mgr pub;
    const std::atomic<bool>* stop;
};

// A file of several scans has every coefficient of the picture kept until its
// last scan is read. libjpeg zeroes its own arrays as the scans first reach
// them, which on fresh memory also takes a page fault for every 4 KB: a fifth
// of a run's time over large progressive photos. These arrays come zeroed
// from the system instead, and in huge pages where it has them.
struct CoefficientArray {
    JDIMENSION rows;
    JDIMENSION blocksPerRow;
    void* memory;
    std::size_t bytes;
    JBLOCKROW* rowPointers;
};

struct CoefficientMemory {
    // libjpeg's own, for what is not ours.
    jvirt_barray_ptr (*request)(j_common_ptr, int, boolean, JDIMENSION, JDIMENSION, JDIMENSION);
    void (*realize)(j_common_ptr);
    JBLOCKARRAY (*access)(j_common_ptr, jvirt_barray_ptr, JDIMENSION, JDIMENSION, boolean);
    std::array<CoefficientArray, MAX_COMPONENTS> arrays;
    int count;
};

void* AllocateZeroed(std::size_t bytes)
{
#if defined(__linux__)
    void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return nullptr;
    madvise(memory, bytes, MADV_HUGEPAGE);  // a wish: ordinary pages do too
    return memory;
#else
    return std::calloc(bytes, 1);
#endif
}

void FreeZeroed(void* memory, std::size_t bytes)
{
#if defined(__linux__)
    munmap(memory, bytes);
#else
    (void)bytes;
    std::free(memory);
#endif
}

// The coefficients of a decode's blocks, MCU by MCU as the entropy decoder
// gives them, kept until every follower has taken them.
struct McuFeed {
    std::vector<JCOEF> coefficients;  // from block First on
    std::size_t first = 0;
    std::vector<std::size_t> taken;    // by each follower; SIZE_MAX once it needs no more
    // Blocks decoded so far.
    std::size_t Decoded() const { return first + coefficients.size() / DCTSIZE2; }
};

struct Decoder {
    jpeg_decompress_struct info;
    ErrorManager error;
    SourceManager source;
    ProgressMonitor progress;
    CoefficientMemory coefficients;
    QByteArray exif;  // every APP1 payload, in file order
    QByteArray icc;   // the ICC profile's chunks, in file order
    qint64 blocks;    // of all components
    int scan;         // the last scan counted into blocksRead
    qint64 blocksRead;
    bool multiScan;
    // Sharing the entropy decoding: the main decoder's own MCU decoder, and
    // the feed it fills; a follower's place in it.
    boolean (*decodeMcu)(j_decompress_ptr, JBLOCKROW*);
    McuFeed* feed;
    std::size_t follower;
    // A follower of a file of several scans reads the main decoder's
    // coefficients, which it has all once it has started.
    const Decoder* coefficientsOf;
    ~Decoder()
    {
        jpeg_destroy_decompress(&info);  // safe on a zeroed or half-made decoder
        for (const CoefficientArray& array : coefficients.arrays)
            if (array.memory)
                FreeZeroed(array.memory, array.bytes);
    }
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

bool Raised(const std::atomic<bool>* stop)
{
    return stop && stop->load(std::memory_order_relaxed);
}

// Called between rows and when a scan begins.
void CheckProgress(j_common_ptr common)
{
    if (Raised(reinterpret_cast<const ProgressMonitor*>(common->progress)->stop))
        Fail(common, Failure::Stopped);
    auto* info = reinterpret_cast<j_decompress_ptr>(common);
    auto* d = static_cast<Decoder*>(info->client_data);
    if (info->input_scan_number == d->scan)
        return;
    d->scan = info->input_scan_number;
    for (int i = 0; i < info->comps_in_scan; ++i)
        d->blocksRead += qint64{info->cur_comp_info[i]->width_in_blocks} * info->cur_comp_info[i]->height_in_blocks;
    if (d->scan > MaxJpegScans || d->blocksRead > MaxJpegPasses * d->blocks)
        Fail(common, Failure::Corrupt);
}

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

// Every byte libjpeg reads comes through here, header and junk included, so
// the stop flag and the budget hold everywhere.
boolean FillInput(j_decompress_ptr info)
{
    auto* source = reinterpret_cast<SourceManager*>(info->src);
    if (Raised(source->stop))
        Fail(reinterpret_cast<j_common_ptr>(info), Failure::Stopped);
    if (source->delivered >= source->budget)
        Fail(reinterpret_cast<j_common_ptr>(info), Failure::Corrupt);
    qint64 got = -1;
    try {
        if (source->device)
            got = source->device->read(reinterpret_cast<char*>(source->buffer),
                                       std::min(static_cast<qint64>(InputChunk), source->budget - source->delivered));
    } catch (...) {
        // Nothing may be thrown through libjpeg: a failed read is an early end.
    }
    if (got <= 0) {
        // An end marker lets libjpeg stop; the decode fails all the same.
        source->ended = true;
        source->buffer[0] = 0xFF;
        source->buffer[1] = JPEG_EOI;
        got = 2;
    } else {
        source->delivered += got;
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

// The next Count bytes of the file (the source never suspends).
void ReadInput(j_decompress_ptr info, char* out, qint64 count)
{
    jpeg_source_mgr* source = info->src;
    while (count > 0) {
        if (source->bytes_in_buffer == 0)
            source->fill_input_buffer(info);
        const std::size_t n = std::min(source->bytes_in_buffer, static_cast<std::size_t>(count));
        std::memcpy(out, source->next_input_byte, n);
        source->next_input_byte += n;
        source->bytes_in_buffer -= n;
        out += n;
        count -= static_cast<qint64>(n);
    }
}

// APP1 (EXIF) and APP2 (ICC) segments, gathered as Qt's reader gathers them.
// libjpeg's own marker saving walks its whole list for every segment it adds,
// so a file of 100,000 small segments would take minutes.
boolean KeepSegment(j_decompress_ptr info)
{
    unsigned char length[2];
    ReadInput(info, reinterpret_cast<char*>(length), 2);
    const qint64 size = (length[0] << 8 | length[1]) - 2;
    if (size <= 0)
        return TRUE;
    auto* d = static_cast<Decoder*>(info->client_data);
    // No more than the byte budget lets through can be kept.
    QByteArray& kept = info->unread_marker == JPEG_APP0 + 1 ? d->exif : d->icc;
    const qsizetype at = kept.size();
    bool grown = true;
    try {
        kept.resize(at + size);
    } catch (...) {
        grown = false;  // nothing may be thrown through libjpeg
    }
    if (!grown)
        Fail(reinterpret_cast<j_common_ptr>(info), Failure::OutOfMemory);
    ReadInput(info, kept.data() + at, size);
    if (info->unread_marker == JPEG_APP0 + 2) {
        // Qt takes a chunk of more than the profile's own header that begins with
        // "ICC_PROFILE" and its terminating zero, without the 14-byte chunk header.
        if (size > 128 + 4 + 14 && std::memcmp(kept.constData() + at, "ICC_PROFILE", 12) == 0)
            kept.remove(at, 14);
        else
            kept.truncate(at);
    }
    return TRUE;
}

CoefficientMemory& CoefficientsOf(j_common_ptr info)
{
    return static_cast<Decoder*>(info->client_data)->coefficients;
}

jvirt_barray_ptr RequestCoefficients(j_common_ptr info, int pool, boolean preZero, JDIMENSION blocksPerRow,
                                     JDIMENSION rows, JDIMENSION maxAccess)
{
    CoefficientMemory& memory = CoefficientsOf(info);
    if (pool != JPOOL_IMAGE || memory.count == MAX_COMPONENTS)
        return memory.request(info, pool, preZero, blocksPerRow, rows, maxAccess);
    CoefficientArray& array = memory.arrays[static_cast<std::size_t>(memory.count++)];
    array.rows = rows;
    array.blocksPerRow = blocksPerRow;
    return reinterpret_cast<jvirt_barray_ptr>(&array);
}

void RealizeCoefficients(j_common_ptr info)
{
    CoefficientMemory& memory = CoefficientsOf(info);
    memory.realize(info);
    if (const Decoder* main = static_cast<Decoder*>(info->client_data)->coefficientsOf) {
        // The same file's arrays, the same shapes.
        for (int i = 0; i < memory.count; ++i) {
            CoefficientArray& array = memory.arrays[static_cast<std::size_t>(i)];
            const CoefficientArray& from = main->coefficients.arrays[static_cast<std::size_t>(i)];
            if (i >= main->coefficients.count || !from.rowPointers || from.rows != array.rows ||
                from.blocksPerRow != array.blocksPerRow)
                ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
            array.rowPointers = from.rowPointers;
        }
        return;
    }
    for (int i = 0; i < memory.count; ++i) {
        CoefficientArray& array = memory.arrays[static_cast<std::size_t>(i)];
        if (array.memory)
            continue;
        // The row pointers, then the rows, 64-byte aligned as libjpeg aligns its own.
        const std::size_t rowBytes = std::size_t{array.blocksPerRow} * sizeof(JBLOCK);
        const std::size_t pointerBytes = (std::size_t{array.rows} * sizeof(JBLOCKROW) + 63) / 64 * 64;
        if (array.rows > 0 && rowBytes > (SIZE_MAX - pointerBytes) / array.rows)
            ERREXIT(info, JERR_OUT_OF_MEMORY);
        const std::size_t bytes = std::max<std::size_t>(pointerBytes + rowBytes * array.rows, 64);
        array.memory = AllocateZeroed(bytes);
        if (!array.memory)
            ERREXIT(info, JERR_OUT_OF_MEMORY);
        array.bytes = bytes;
        auto* const base = static_cast<unsigned char*>(array.memory);
        array.rowPointers = reinterpret_cast<JBLOCKROW*>(base);
        for (JDIMENSION row = 0; row < array.rows; ++row)
            array.rowPointers[row] = reinterpret_cast<JBLOCKROW>(base + pointerBytes + rowBytes * row);
    }
}

JBLOCKARRAY AccessCoefficients(j_common_ptr info, jvirt_barray_ptr handle, JDIMENSION start, JDIMENSION count,
                               boolean writable)
{
    CoefficientMemory& memory = CoefficientsOf(info);
    for (int i = 0; i < memory.count; ++i) {
        const CoefficientArray& array = memory.arrays[static_cast<std::size_t>(i)];
        if (handle != reinterpret_cast<jvirt_barray_ptr>(&memory.arrays[static_cast<std::size_t>(i)]))
            continue;
        if (!array.rowPointers || start > array.rows || count > array.rows - start)
            ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
        return array.rowPointers + start;
    }
    return memory.access(info, handle, start, count, writable);
}

// The first members of libjpeg's entropy decoder (jpegint.h, which not every
// installation has): the same in every libjpeg since 6b.
struct EntropyDecoder {
    void (*start_pass)(j_decompress_ptr);
    boolean (*decode_mcu)(j_decompress_ptr, JBLOCKROW*);
};

EntropyDecoder& EntropyOf(j_decompress_ptr info)
{
    return *reinterpret_cast<EntropyDecoder*>(info->entropy);
}

// The first member of libjpeg's input controller (jpegint.h too); what
// follows it is left alone, as its layout depends on the size of libjpeg's
// boolean there.
struct InputController {
    int (*consume_input)(j_decompress_ptr);
};

InputController& InputOf(j_decompress_ptr info)
{
    return *reinterpret_cast<InputController*>(info->inputctl);
}

// Whether every bit of every coefficient has come in a file of several
// scans: then libjpeg smooths no block, and a follower that has read none
// of the scans itself decodes the same rows.
bool AllBitsRead(const jpeg_decompress_struct& info)
{
    if (!info.progressive_mode)
        return true;
    if (!info.coef_bits)
        return false;
    for (int c = 0; c < info.num_components; ++c)
        for (int k = 0; k < DCTSIZE2; ++k)
            if (info.coef_bits[c][k] != 0)
                return false;
    return true;
}

// A follower of a file of several scans reads no scan: as libjpeg starts it
// and would read them, it is told that the main decoder's are all in, with
// the quantization tables they latched.
int AllScansIn(j_decompress_ptr info)
{
    const Decoder& main = *static_cast<Decoder*>(info->client_data)->coefficientsOf;
    info->input_scan_number = main.info.input_scan_number;
    info->input_iMCU_row = info->total_iMCU_rows;
    for (int c = 0; c < info->num_components; ++c) {
        info->comp_info[c].quant_table = main.info.comp_info[c].quant_table;
        if (info->coef_bits && main.info.coef_bits)
            std::memcpy(info->coef_bits[c], main.info.coef_bits[c], sizeof(info->coef_bits[c]));
    }
    return JPEG_REACHED_EOI;
}

// A follower's progress: the stop flag, and, where it reads the main
// decoder's coefficients, no reading of scans of its own (libjpeg calls
// this before it first asks for a scan).
void FollowerProgress(j_common_ptr common)
{
    if (Raised(reinterpret_cast<const ProgressMonitor*>(common->progress)->stop))
        Fail(common, Failure::Stopped);
    auto* info = reinterpret_cast<j_decompress_ptr>(common);
    if (static_cast<Decoder*>(info->client_data)->coefficientsOf && info->inputctl)
        InputOf(info).consume_input = AllScansIn;
}

// The main decoder's MCU decoder when it has followers: decodes the MCU and
// keeps its coefficients for them.
boolean DecodeAndKeepMcu(j_decompress_ptr info, JBLOCKROW* blocks)
{
    auto* d = static_cast<Decoder*>(info->client_data);
    if (!d->decodeMcu(info, blocks))
        return FALSE;  // not from this source, which never suspends
    McuFeed& feed = *d->feed;
    const std::size_t count = static_cast<std::size_t>(info->blocks_in_MCU);
    bool kept = true;
    try {
        const std::size_t at = feed.coefficients.size();
        feed.coefficients.resize(at + count * DCTSIZE2);
        for (std::size_t b = 0; b < count; ++b)
            std::memcpy(feed.coefficients.data() + at + b * DCTSIZE2, blocks[b], sizeof(JBLOCK));
    } catch (...) {
        kept = false;  // nothing may be thrown through libjpeg
    }
    if (!kept)
        Fail(reinterpret_cast<j_common_ptr>(info), Failure::OutOfMemory);
    return TRUE;
}

// A follower's MCU decoder: the next MCU the main decoder has decoded, or a
// suspension until it has (libjpeg then takes the same MCU up again).
boolean TakeMcu(j_decompress_ptr info, JBLOCKROW* blocks)
{
    auto* d = static_cast<Decoder*>(info->client_data);
    McuFeed& feed = *d->feed;
    std::size_t& taken = feed.taken[d->follower];
    const std::size_t count = static_cast<std::size_t>(info->blocks_in_MCU);
    if (feed.Decoded() - taken < count)
        return FALSE;
    const JCOEF* from = feed.coefficients.data() + (taken - feed.first) * DCTSIZE2;
    for (std::size_t b = 0; b < count; ++b)
        std::memcpy(blocks[b], from + b * DCTSIZE2, sizeof(JBLOCK));
    taken += count;
    return TRUE;
}

// Drops the coefficients every follower has taken.
void DropTaken(McuFeed& feed)
{
    const std::size_t upTo = std::min(*std::min_element(feed.taken.begin(), feed.taken.end()), feed.Decoded());
    // Only once it is half the memory, so that the rest is moved seldom.
    if ((upTo - feed.first) * DCTSIZE2 * 2 < feed.coefficients.size())
        return;
    feed.coefficients.erase(feed.coefficients.begin(),
                            feed.coefficients.begin() + static_cast<std::ptrdiff_t>((upTo - feed.first) * DCTSIZE2));
    feed.first = upTo;
}

bool TryCreate(Decoder& d)
{
    if (setjmp(d.error.jump))
        return false;
    jpeg_create_decompress(&d.info);
    jpeg_memory_mgr& mem = *d.info.mem;
    d.coefficients.request = mem.request_virt_barray;
    d.coefficients.realize = mem.realize_virt_arrays;
    d.coefficients.access = mem.access_virt_barray;
    mem.request_virt_barray = RequestCoefficients;
    mem.realize_virt_arrays = RealizeCoefficients;
    mem.access_virt_barray = AccessCoefficients;
    return true;
}

bool TryReadHeader(Decoder& d)
{
    if (setjmp(d.error.jump))
        return false;
    jpeg_set_marker_processor(&d.info, JPEG_APP0 + 1, KeepSegment);
    jpeg_set_marker_processor(&d.info, JPEG_APP0 + 2, KeepSegment);
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

struct Opened {
    JpegRowsResult Result = JpegRowsResult::Done;
    JpegHeader Header;
    QColorSpace FileSpace;  // the profile the file names
    bool Convert = false;   // to sRGB
    RowKind Kind = RowKind::Rgb32;
};

// Sets the decoder up on the device and reads the header.
Opened Open(Decoder& d, QIODevice& device, const std::atomic<bool>* stop)
{
    Opened opened;
    d.info.err = jpeg_std_error(&d.error.pub);
    d.error.pub.error_exit = ErrorExit;
    d.error.pub.emit_message = EmitMessage;
    d.error.pub.output_message = OutputMessage;
    if (!TryCreate(d)) {
        opened.Result = ResultOf(d.error.failure);
        return opened;
    }
    d.info.client_data = &d;
    d.source.pub.init_source = InitSource;
    d.source.pub.fill_input_buffer = FillInput;
    d.source.pub.skip_input_data = SkipInput;
    d.source.pub.resync_to_restart = jpeg_resync_to_restart;
    d.source.pub.term_source = TermSource;
    d.source.device = &device;
    d.source.stop = stop;
    d.source.budget = HeaderBudget;
    d.info.src = &d.source.pub;
    d.progress.pub.progress_monitor = CheckProgress;
    d.progress.stop = stop;
    d.info.progress = &d.progress.pub;
    if (!TryReadHeader(d)) {
        opened.Result = ResultOf(d.error.failure);
        return opened;
    }

    // From here on the coded picture: every scan at its longest, and room
    // for tables between the scans.
    for (int c = 0; c < d.info.num_components; ++c)
        d.blocks += qint64{d.info.comp_info[c].width_in_blocks} * d.info.comp_info[c].height_in_blocks;
    d.source.budget = d.source.delivered + HeaderBudget +
                      d.blocks * MaxBytesPerBlock * (d.info.progressive_mode ? MaxJpegPasses : 1);

    opened.FileSpace = d.icc.isEmpty() ? QColorSpace() : QColorSpace::fromIccProfile(d.icc);
    opened.Convert = opened.FileSpace.isValid() && opened.FileSpace != QColorSpace(QColorSpace::SRgb);
    opened.Header.Size = QSize(static_cast<int>(d.info.image_width), static_cast<int>(d.info.image_height));
    opened.Header.Space = opened.Convert ? QColorSpace(QColorSpace::SRgb) : opened.FileSpace;
    opened.Header.Turn = d.exif.startsWith(QByteArrayLiteral("Exif\0\0")) ? TurnOf(ExifOrientation(d.exif.mid(6)))
                                                                        : QImageIOHandler::TransformationNone;
    opened.Header.DecoderBytes = DecoderBytes(d.info, d.multiScan);
    d.exif.clear();
    const J_COLOR_SPACE rgb32 = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? JCS_EXT_BGRX : JCS_EXT_XRGB;
    switch (d.info.out_color_space) {
    case JCS_RGB:
        d.info.out_color_space = rgb32;
        break;
    case JCS_GRAYSCALE:
        if (opened.Convert)
            opened.Kind = RowKind::Grey;
        else
            d.info.out_color_space = rgb32;
        break;
    case JCS_CMYK:
        opened.Kind = RowKind::Cmyk;
        break;
    default:
        opened.Result = JpegRowsResult::Unsupported;
        break;
    }
    return opened;
}

}  // namespace

JpegRowsResult ReadJpegHeader(QIODevice& device, const std::atomic<bool>* stop, JpegHeader& header)
{
    const auto d = std::make_unique<Decoder>();  // zeroed
    Opened opened = Open(*d, device, stop);
    header = std::move(opened.Header);
    return opened.Result;
}

QSize JpegScaledSize(QSize size, int denominator)
{
    return QSize((size.width() + denominator - 1) / denominator, (size.height() + denominator - 1) / denominator);
}

int JpegScaleFor(QSize size, QSize target)
{
    int denominator = 1;
    while (denominator < 8) {
        const QSize next = JpegScaledSize(size, denominator * 2);
        if (next.width() < 2 * target.width() || next.height() < 2 * target.height())
            break;
        denominator *= 2;
    }
    return denominator;
}

namespace {

// Turns the rows libjpeg gives into the pixels an output takes.
class RowSender {
public:
    RowSender(const Opened& opened, std::size_t width, const std::function<bool(const uchar*)>& row)
        : opened_(opened), width_(width), row_(row), fromCmyk_(opened.Kind == RowKind::Cmyk ? width : 0)
    {
    }

    // Done, Declined (Row said no) or OutOfMemory.
    JpegRowsResult Send(const uchar* line)
    {
        if (opened_.Kind == RowKind::Cmyk) {
            // Qt's reader: each of C, M, Y (stored inverted, as Adobe
            // writes them) scaled by K.
            for (std::size_t x = 0; x < width_; ++x) {
                const uchar* in = line + 4 * x;
                const int k = in[3];
                fromCmyk_[x] = qRgb(k * in[0] / 255, k * in[1] / 255, k * in[2] / 255);
            }
            line = reinterpret_cast<const uchar*>(fromCmyk_.data());
        }
        if (!opened_.Convert)
            return row_(line) ? JpegRowsResult::Done : JpegRowsResult::Declined;
        // One row at a time through the same conversion as a whole picture:
        // it works pixel by pixel, so the results are the same.
        // The row's length is given: without it QImage takes rows to be
        // padded to four bytes, which a grey row of odd width is not.
        const bool grey = opened_.Kind == RowKind::Grey;
        QImage band(line, static_cast<int>(width_), 1, static_cast<qsizetype>(grey ? width_ : width_ * sizeof(QRgb)),
                    grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
        band.setColorSpace(opened_.FileSpace);
        const QImage opaque = pictures::ToOpaqueSrgb(std::move(band));
        if (opaque.isNull())
            return JpegRowsResult::OutOfMemory;
        return row_(opaque.constBits()) ? JpegRowsResult::Done : JpegRowsResult::Declined;
    }

private:
    const Opened& opened_;
    const std::size_t width_;
    const std::function<bool(const uchar*)>& row_;
    std::vector<QRgb> fromCmyk_;
};

// Rows handed to libjpeg to decode into: a batch of its own, or one row of
// the caller's memory.
struct RowBuffer {
    RowBuffer(const jpeg_decompress_struct& info)
        : bytes(std::size_t{info.output_width} * static_cast<std::size_t>(info.output_components)),
          batch(std::max(1, info.rec_outbuf_height)), buffer(bytes * static_cast<std::size_t>(batch)),
          rows(static_cast<std::size_t>(batch))
    {
        for (int i = 0; i < batch; ++i)
            rows[static_cast<std::size_t>(i)] = buffer.data() + bytes * static_cast<std::size_t>(i);
    }
    const std::size_t bytes;
    const int batch;
    std::vector<uchar> buffer;
    std::vector<JSAMPROW> rows;
};

// Starts the decoder at 1/Denominator and checks the size it will give:
// Done, or why not.
JpegRowsResult Start(Decoder& d, const JpegHeader& header, int denominator)
{
    if (denominator != 1 && denominator != 2 && denominator != 4 && denominator != 8)
        return JpegRowsResult::Declined;
    d.info.scale_num = 1;
    d.info.scale_denom = static_cast<unsigned int>(denominator);
    if (!TryStart(d))
        return ResultOf(d.error.failure);
    // The caller sized its rows by JpegScaledSize: a library that rounds
    // otherwise would have them overrun.
    if (QSize(static_cast<int>(d.info.output_width), static_cast<int>(d.info.output_height)) !=
        JpegScaledSize(header.Size, denominator))
        return JpegRowsResult::Unsupported;
    return JpegRowsResult::Done;
}

// An output fed from the main decoder's coefficients.
struct Follower {
    JpegRowsOutput output;
    std::unique_ptr<Decoder> d;
    Opened opened;
    std::optional<RowSender> sender;
    std::optional<RowBuffer> buffer;
    bool inPlace = false;
    bool live = false;
    JpegRowsResult result = JpegRowsResult::Done;

    // Alive and short of rows.
    bool Wants() const { return live && d->info.output_scanline < d->info.output_height; }

    void End(JpegRowsResult why)
    {
        if (!live)
            return;
        live = false;
        result = why;
        d->feed->taken[d->follower] = SIZE_MAX;
    }

    // Sets the follower up on the file's header, read again from Start.
    void Open(QIODevice& device, qint64 start, const std::atomic<bool>* stop, McuFeed& feed, std::size_t index,
              const Decoder& main)
    {
        d = std::make_unique<Decoder>();  // zeroed
        d->feed = &feed;
        d->follower = index;
        d->coefficientsOf = main.multiScan ? &main : nullptr;
        live = true;
        if (!device.seek(start)) {
            End(JpegRowsResult::Corrupt);
            return;
        }
        opened = pictures::Open(*d, device, stop);
        // Its coded data comes from the feed: its source reads no more.
        d->source.device = nullptr;
        if (opened.Result != JpegRowsResult::Done) {
            End(opened.Result);
            return;
        }
        d->progress.pub.progress_monitor = FollowerProgress;
        if (d->multiScan != main.multiScan) {  // the file changed under us
            End(JpegRowsResult::Corrupt);
            return;
        }
        // What it holds: the coefficients are the main decoder's.
        opened.Header.DecoderBytes = DecoderBytes(d->info, false);
        int denominator = 1;
        if (!output.Begin(opened.Header, denominator)) {
            End(JpegRowsResult::Declined);
            return;
        }
        const JpegRowsResult started = Start(*d, opened.Header, denominator);
        if (started != JpegRowsResult::Done) {
            End(started);
            return;
        }
        if (!d->coefficientsOf)
            EntropyOf(&d->info).decode_mcu = TakeMcu;
        sender.emplace(opened, d->info.output_width, output.Row);
        buffer.emplace(d->info);
        inPlace = output.Into && opened.Kind == RowKind::Rgb32 && !opened.Convert;
    }

    // Every row the coefficients decoded so far make.
    void Drain()
    {
        while (Wants()) {
            uchar* const at = inPlace ? output.Into() : nullptr;
            buffer->rows[0] = at ? at : buffer->buffer.data();
            const int got = TryReadRows(*d, buffer->rows.data(), at ? 1 : static_cast<JDIMENSION>(buffer->batch));
            if (got < 0)
                End(ResultOf(d->error.failure));
            if (got <= 0)
                return;
            for (int i = 0; i < got && live; ++i) {
                const JpegRowsResult sent = sender->Send(buffer->rows[static_cast<std::size_t>(i)]);
                if (sent != JpegRowsResult::Done)
                    End(sent);
            }
        }
        if (live)
            d->feed->taken[d->follower] = SIZE_MAX;  // done
    }
};

}  // namespace

JpegRowsResult DecodeJpegRows(QIODevice& device, const std::atomic<bool>* stop,
                              const std::function<bool(const JpegHeader&, int& denominator)>& begin,
                              const std::function<bool(const uchar*)>& row, const std::function<uchar*()>& into,
                              JpegFollowers* followers)
{
    const qint64 start = device.pos();
    const auto d = std::make_unique<Decoder>();  // zeroed
    const Opened opened = Open(*d, device, stop);
    if (opened.Result != JpegRowsResult::Done)
        return opened.Result;
    int denominator = 1;
    if (!begin(opened.Header, denominator))
        return JpegRowsResult::Declined;
    const JpegRowsResult started = Start(*d, opened.Header, denominator);
    if (started != JpegRowsResult::Done)
        return started;

    McuFeed feed;
    std::vector<Follower> others;
    // The shared decode's end, every follower's too.
    const auto ended = [&](JpegRowsResult result) {
        if (!others.empty()) {
            followers->Results.clear();
            for (Follower& other : others) {
                other.End(result);
                followers->Results.push_back(other.result);
            }
        }
        return result;
    };
    // A follower that has all its rows still waits for the decode's end,
    // which may yet find the file damaged.
    const auto anyFollowing = [&] {
        return std::any_of(others.begin(), others.end(), [](const Follower& other) { return other.live; });
    };

    // The followers read the header again, and then the main decoder goes
    // on from where it was.
    if (followers && followers->Outputs && !device.isSequential() && (!d->multiScan || AllBitsRead(d->info))) {
        const qint64 resume = device.pos();
        std::vector<JpegRowsOutput> outputs = followers->Outputs();
        others.resize(outputs.size());
        feed.taken.assign(outputs.size(), 0);
        for (std::size_t i = 0; i < outputs.size(); ++i) {
            others[i].output = std::move(outputs[i]);
            others[i].Open(device, start, stop, feed, i, *d);
        }
        if (!device.seek(resume))
            return ended(JpegRowsResult::Corrupt);
        if (anyFollowing() && !d->multiScan) {
            d->feed = &feed;
            d->decodeMcu = EntropyOf(&d->info).decode_mcu;
            EntropyOf(&d->info).decode_mcu = DecodeAndKeepMcu;
        }
    }
    RowBuffer buffer(d->info);
    RowSender sender(opened, d->info.output_width, row);
    bool mainLive = true;
    // Rows that need no conversion are decoded straight into the caller's memory.
    const bool inPlace = into && opened.Kind == RowKind::Rgb32 && !opened.Convert;
    while (d->info.output_scanline < d->info.output_height) {
        uchar* const at = inPlace && mainLive ? into() : nullptr;
        buffer.rows[0] = at ? at : buffer.buffer.data();
        const int got = TryReadRows(*d, buffer.rows.data(), at ? 1 : static_cast<JDIMENSION>(buffer.batch));
        if (got < 0)
            return ended(ResultOf(d->error.failure));
        if (got == 0)
            return ended(JpegRowsResult::Corrupt);  // only a suspending source gives none
        for (int i = 0; i < got && mainLive; ++i) {
            const JpegRowsResult sent = sender.Send(buffer.rows[static_cast<std::size_t>(i)]);
            if (sent == JpegRowsResult::OutOfMemory)
                return ended(sent);
            mainLive = sent == JpegRowsResult::Done;
        }
        for (Follower& other : others)
            other.Drain();
        if (!others.empty())
            DropTaken(feed);
        if (!mainLive && !anyFollowing())
            return ended(JpegRowsResult::Declined);
    }
    // Every coefficient is decoded: the followers make their last rows.
    for (Follower& other : others) {
        other.Drain();
        if (other.Wants())
            other.End(JpegRowsResult::Corrupt);  // libjpeg wanted more than the picture has
    }
    // A Huffman-coded file cut short within a scan has already failed by its
    // warning. One cut between the scans of a progressive file gives no
    // warning, only a coarser picture, and the arithmetic decoder fills a cut
    // with zeros silently, so there an early end fails too (even if only the
    // end marker is missing: the two cannot be told apart). A single Huffman
    // scan all of whose rows came out intact has lost no more than its end
    // marker.
    if (d->source.ended && (d->multiScan || d->info.arith_code))
        return ended(JpegRowsResult::Corrupt);
    if (!TryFinish(*d))
        return ended(ResultOf(d->error.failure));
    ended(JpegRowsResult::Done);
    return mainLive ? JpegRowsResult::Done : JpegRowsResult::Declined;
}

}  // namespace pictures
