// The HEIF and AVIF reader: a phone's HEIC or a web page's AVIF through
// HeifReader (libheif), measured from its container and decoded whole.
#include <optional>

#include "pictures/heifreader.h"
#include "pictures/picturereader.h"

namespace pictures {
namespace {

// What decoding holds at most, per pixel of the picture, counted from the
// steps rather than measured: libheif's planes of the coded picture (at worst
// 4:4:4 at 10 bits, 6 bytes), its interleaved RGB(A) conversion of them (4),
// and the RGB32 picture made of that with its colour-converted copy (4 each).
constexpr qint64 BytesPerPixel = 18;

class HeifPicture final : public WholePictureReader {
public:
    HeifPicture(QFile& file, const QString& path, const std::atomic<bool>* stop)
        : WholePictureReader(path, stop), file_(file)
    {
    }

private:
    Header ReadHeader() override
    {
        reader_.emplace(file_, stop_);
        Header header;
        if (reader_->Error() != pictures::HeifError::None) {
            Fail(header, reader_->Error());
            return header;
        }
        header.Size = reader_->Size();
        header.Bytes = BytesPerPixel * header.Size.width() * header.Size.height();
        return header;
    }

    LoadedPicture Decode() override
    {
        pictures::HeifReader::Picture picture = reader_->Decode();
        LoadedPicture loaded;
        if (picture.Error != pictures::HeifError::None)
            Fail(loaded, picture.Error);
        else
            loaded.Image = std::move(picture.Image);
        return loaded;
    }

    // The reader's failure in the words every picture's failure is told in.
    template <typename Result>
    void Fail(Result& result, pictures::HeifError error) const
    {
        switch (error) {
        case pictures::HeifError::TooLarge:
            result.Error = TooLargeError(path_);
            break;
        case pictures::HeifError::OutOfMemory:
            result.Error = NoMemoryError(path_);
            break;
        case pictures::HeifError::Stopped:
            result.Stopped = true;
            break;
        default:  // damaged, or coded in a way no installed decoder reads
            result.Error = UnreadableError(path_);
            break;
        }
    }

    QFile& file_;
    std::optional<pictures::HeifReader> reader_;
};

}  // namespace

std::unique_ptr<PictureReader> HeifPictureReader(QFile& file, const QString& path, const std::atomic<bool>* stop)
{
    return std::make_unique<HeifPicture>(file, path, stop);
}

}  // namespace pictures
