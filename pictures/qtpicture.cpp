// The reader of every other format through Qt's installed readers: BMP and
// GIF, PNG, and WebP and TIFF from Qt's image-format plugins. Each is decoded
// whole; its header comes first.
#include <QFile>
#include <QIODevice>
#include <QImage>
#include <QImageReader>
#include <QtEndian>

#include <algorithm>
#include <new>
#include <iterator>
#include <optional>
#include <vector>

#include "pictures/opaque.h"
#include "pictures/orientation.h"
#include "pictures/picturereader.h"
#include "pictures/wholefile.h"

namespace pictures {
namespace {

// Room for the largest accepted picture as the reader decodes it (8 bytes a
// pixel, a 16-bit PNG or TIFF), plus what a decoder may need beside it; Qt's
// default (256 MB) refuses 100 MP photos. Qt keeps one limit for the whole
// process, so every reader on every thread sets this same value: a limit
// chosen per format would let one thread lower it under another's decode.
// The pixel count is bounded from the header before this matters.
int AllocationLimitMb()
{
    return static_cast<int>(MaxPicturePixels * 8 / (1024 * 1024)) + 64;
}

// The size a header gives. A BMP stored top down gives its height as
// negative; the picture is as high all the same.
QSize HeaderSize(QImageReader& reader)
{
    QSize size = reader.size();
    if (reader.format() == "bmp")
        size.setHeight(qAbs(size.height()));
    return size;
}

// What decoding holds per pixel: the picture as the reader decodes it (8
// bytes a pixel when it does not say), its opaque RGB32 copy, at least the 8
// bytes of two RGB32 pictures, and one more copy to turn it upright.
qint64 BytesPerPixel(QImage::Format decoded, bool turned)
{
    const qint64 bits = decoded == QImage::Format_Invalid ? 64 : QImage::toPixelFormat(decoded).bitsPerPixel();
    return std::max<qint64>(8, bits / 8 + 4) + (turned ? 4 : 0);
}

// The file as Qt's readers see it: a read after the stop flag is raised
// fails, so a decoder that reads as it goes (BMP row by row, PNG and TIFF by
// chunk or strip, GIF 4 KB at a time) gives up at its next read instead of
// decoding 160 MP to the end. WebP's reader takes the whole file first and
// still decodes it. A PNG is seen without its text chunks: nothing read here
// needs them, and libpng would inflate every one (10,000 of 1 MB each fit in
// a file of 10 MB).
class StoppableFile final : public QIODevice {
public:
    StoppableFile(QFile& file, const std::atomic<bool>* stop)
        : file_(file), stop_(stop), png_(file.peek(8) == QByteArrayLiteral("\x89PNG\r\n\x1a\n"))
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);  // the file has its own buffer
    }

    bool isSequential() const override { return false; }
    qint64 size() const override { return Mapped() ? pieces_.back().Seen + pieces_.back().Length : 0; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        if (Raised(stop_) || !Mapped())
            return -1;
        // The piece that holds the position: the last that starts at or before it.
        const auto piece = std::prev(std::upper_bound(pieces_.begin(), pieces_.end(), pos(),
                                                      [](qint64 at, const Piece& p) { return at < p.Seen; }));
        const qint64 into = pos() - piece->Seen;
        if (into >= piece->Length)
            return 0;  // the end
        // Others read the file too (the header checks): read where this device is.
        if (file_.pos() != piece->At + into && !file_.seek(piece->At + into))
            return -1;
        return file_.read(data, std::min(maxSize, piece->Length - into));
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    // Bytes of the file at At, seen from Seen on.
    struct Piece {
        qint64 Seen = 0;
        qint64 At = 0;
        qint64 Length = 0;
    };

    // The pieces the device is made of, found once: the whole file, or a
    // PNG's chunks but its text. From a chunk that is not whole (or after
    // the last), the rest of the file as it is, for the reader to judge.
    bool Mapped() const
    {
        if (!pieces_.empty())
            return true;
        const qint64 end = file_.size();
        qint64 at = png_ ? 8 : end;
        pieces_.push_back({0, 0, at});
        const auto keep = [this](qint64 from, qint64 length) {
            Piece& last = pieces_.back();
            if (last.At + last.Length == from)
                last.Length += length;
            else
                pieces_.push_back({last.Seen + last.Length, from, length});
        };
        for (int chunk = 0; at < end; ++chunk) {
            if (chunk % 4096 == 0 && Raised(stop_)) {
                pieces_.clear();
                return false;
            }
            QByteArray head;
            if (file_.seek(at))
                head = file_.read(8);
            const qint64 length = head.size() == 8 ? qint64{qFromBigEndian<quint32>(head.constData())} + 12 : end;
            if (length > end - at)
                break;
            const QByteArray type = head.mid(4);
            if (type != "tEXt" && type != "zTXt" && type != "iTXt")
                keep(at, length);
            at += length;
            if (type == "IEND")
                break;
        }
        keep(at, end - at);
        return true;
    }

    QFile& file_;
    const std::atomic<bool>* const stop_;
    const bool png_;
    mutable std::vector<Piece> pieces_;
};

class QtPicture final : public WholePictureReader {
public:
    QtPicture(QFile& file, const QString& path, const std::atomic<bool>* stop)
        : WholePictureReader(path, stop), file_(file), device_(file, stop)
    {
    }

private:
    // Qt's BMP and GIF readers fill what a cut file lacks and call it a
    // success, so such a file is refused first.
    Header ReadHeader() override
    {
        Header header;
        if (!HoldsWholePicture(file_) || !file_.seek(0)) {
            header.Error = UnreadableError(path_);
            return header;
        }
        // Qt's PNG and WebP readers leave the Exif orientation unread, and
        // its TIFF reader one that libtiff does not take.
        turn_ = TurnOf(ContainerOrientation(file_));
        // Qt's WebP reader makes an animation's canvas while it reads the
        // header: the limit is in place before that.
        QImageReader::setAllocationLimit(AllocationLimitMb());
        reader_.emplace(&device_);  // reads from its own position, the start
        reader_->setAutoTransform(true);
        stored_ = HeaderSize(*reader_);
        const QImageIOHandler::Transformations qtTurn = reader_->transformation();
        if (qtTurn != QImageIOHandler::TransformationNone)
            turn_ = QImageIOHandler::TransformationNone;  // Qt's reader turns it itself
        const QImageIOHandler::Transformations turn = qtTurn | turn_;
        header.Size = stored_.isValid() && turn.testFlag(QImageIOHandler::TransformationRotate90) ? stored_.transposed()
                                                                                                   : stored_;
        if (header.Size.isValid())
            header.Bytes = BytesPerPixel(reader_->imageFormat(), turn != QImageIOHandler::TransformationNone) *
                           header.Size.width() * header.Size.height();
        return header;
    }

    LoadedPicture Decode() override
    {
        QImage image;
        try {
            // Qt's BMP reader leaves the pixels a run-length picture skips as
            // the image it reads into had them: it is handed a cleared one of
            // the header's size, so no stale memory reaches a written file.
            if (reader_->format() == "bmp" && !stored_.isEmpty()) {
                image = QImage(stored_, reader_->imageFormat());
                image.fill(0);
            }
            if (!reader_->read(&image)) {
                if (stop_ && stop_->load())
                    return LoadedPicture{{}, std::nullopt, true};
                return Failed<LoadedPicture>(UnreadableError(path_));
            }
        } catch (const std::bad_alloc&) {
            return Failed<LoadedPicture>(NoMemoryError(path_));
        }
        // Some headers understate the picture (a GIF's logical screen, a BMP
        // stored top down): the decoded size is held to the same limit.
        if (TooLarge(image.size()))
            return Failed<LoadedPicture>(TooLargeError(path_));
        image = pictures::ToOpaqueSrgb(std::move(image));
        if (!image.isNull() && turn_ != QImageIOHandler::TransformationNone)
            image = Turned(image, turn_);
        if (image.isNull())
            return Failed<LoadedPicture>(NoMemoryError(path_));
        LoadedPicture result;
        result.Image = std::move(image);
        return result;
    }

    QFile& file_;
    StoppableFile device_;
    std::optional<QImageReader> reader_;
    QSize stored_;
    QImageIOHandler::Transformations turn_;  // the Exif orientation Qt's reader leaves
};

}  // namespace

std::unique_ptr<PictureReader> QtPictureReader(QFile& file, const QString& path, const std::atomic<bool>* stop)
{
    return std::make_unique<QtPicture>(file, path, stop);
}

}  // namespace pictures
