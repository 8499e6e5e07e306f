// Behind the load interface (picture.h): one reader per kind of picture file,
// chosen by the file's first bytes, and the parts the readers share.
#pragma once

#include <QFile>
#include <QSize>
#include <QString>

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "pictures/picture.h"
#include "pictures/rowreducer.h"

namespace pictures {

// The ways loading a picture fails, each naming its file.
PictureError UnreadableError(const QString& path);
PictureError TooLargeError(const QString& path);
PictureError NoMemoryError(const QString& path);
// The picture's reduction or its image could not be allocated.
PictureError SurfaceError(const QString& path);

bool Raised(const std::atomic<bool>* stop);
// Over MaxPicturePixels.
bool TooLarge(QSize size);

template <typename Result>
Result Failed(PictureError error)
{
    Result result;
    result.Error = std::move(error);
    return result;
}

// The work ended by the stop flag or by the sink.
ShrinkOutcome Ended();

// The rows a reducer makes, straight into a sink.
class SinkRows final : public RowTarget {
public:
    explicit SinkRows(ShrinkSink& sink) : sink_(sink) {}
    uchar* Row(int) override { return sink_.NextRow(); }
    bool Written(int) override { return sink_.RowDone(); }

private:
    ShrinkSink& sink_;
};

// Copies a row of Width pixels to Target's row Y (unless it is there already).
bool CopyRow(RowTarget& target, int y, const uchar* line, int width);

// What the rule gives for a picture, kept to what the reduction can make.
QSize TargetSize(const SizeRule& size, QSize upright);

// A picture loaded whole, reduced on this thread alone into the sink.
ShrinkOutcome ShrinkLoaded(LoadedPicture loaded, const SizeRule& size, ShrinkSink& sink, const std::atomic<bool>* stop,
                           const QString& path);

// Collects the rows of a shrunk picture into an image.
class ImageSink final : public ShrinkSink {
public:
    bool Reserve(qint64, QSize) override { return true; }
    bool Begin(QSize, QSize target) override;
    uchar* NextRow() override;
    bool RowDone() override;

    QImage Image;
    bool Failed = false;  // the image could not be allocated

private:
    int row_ = 0;
};

// What a picture collected into an image came to.
ReducedPicture Collected(ShrinkOutcome outcome, ImageSink& sink, const QString& path);

// Sizes of a several-size run that a reader may feed from the decode of
// another size (a JPEG's scaled sizes, from its one entropy decoding).
struct SizesAlongside {
    // Asked once the other size's sink has begun, if the reader can: the
    // sizes (indices into Rules and Sinks) to feed.
    std::function<std::vector<std::size_t>()> Which;
    const std::vector<SizeRule>& Rules;
    const std::vector<ShrinkSink*>& Sinks;
    // What became of each size fed; the others are left unset.
    std::vector<std::optional<ShrinkOutcome>> Outcomes;
};

// One picture file, opened, read for one call of the load interface.
class PictureReader {
public:
    virtual ~PictureReader() = default;
    // The upright picture's size, from the header alone where the format
    // tells it there.
    virtual PictureInfo Measure() = 0;
    // The picture at its own size: upright, opaque, sRGB.
    virtual LoadedPicture Load() = 0;
    // The picture reduced to the size the rule gives into Sink, whose
    // Reserve is told what it will cost once the header is read.
    virtual ShrinkOutcome Shrink(const SizeRule& size, ShrinkSink& sink) = 0;
    // Shrink, feeding Others from the same decode where the reader can.
    virtual ShrinkOutcome ShrinkAlongside(const SizeRule& size, ShrinkSink& sink, SizesAlongside&)
    {
        return Shrink(size, sink);
    }
};

// A reader of a format that is decoded whole before it is reduced: its header
// comes first, so a bomb is refused and the memory reserved before any pixel
// is decoded.
class WholePictureReader : public PictureReader {
public:
    PictureInfo Measure() override;
    LoadedPicture Load() final;
    ShrinkOutcome Shrink(const SizeRule& size, ShrinkSink& sink) final;

protected:
    WholePictureReader(const QString& path, const std::atomic<bool>* stop) : path_(path), stop_(stop) {}

    struct Header {
        QSize Size;        // upright; invalid when the header does not tell it
        qint64 Bytes = 0;  // the most that decoding and converting hold at once
        std::optional<PictureError> Error;
        bool Stopped = false;  // the stop flag was raised while it was read
    };
    // Reads the header; called once, before Decode.
    virtual Header ReadHeader() = 0;
    // The whole picture, upright, opaque RGB32 in sRGB.
    virtual LoadedPicture Decode() = 0;

    const QString& path_;
    const std::atomic<bool>* const stop_;

private:
    const Header& HeaderRead();
    std::optional<Header> header_;
};

// ShrinkPicture, with Others fed alongside where the file's reader can.
ShrinkOutcome ShrinkPictureAlongside(const QString& path, const SizeRule& size, ShrinkSink& sink,
                                     SizesAlongside& others, const std::atomic<bool>* stop);

// The readers, each in a file of its own. File is open and at its start; it,
// Path and Stop outlive the reader.
std::unique_ptr<PictureReader> JpegPictureReader(QFile& file, const QString& path, const std::atomic<bool>* stop);
std::unique_ptr<PictureReader> HeifPictureReader(QFile& file, const QString& path, const std::atomic<bool>* stop);
// BMP, GIF, PNG, WebP, TIFF and whatever else Qt's installed readers take.
std::unique_ptr<PictureReader> QtPictureReader(QFile& file, const QString& path, const std::atomic<bool>* stop);

}  // namespace pictures
