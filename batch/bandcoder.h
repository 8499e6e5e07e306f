// An item's rows on their way into its file, one band of 16 rows at a time:
// coded on the worker that decodes them, or, for a picture that would
// otherwise leave a core idle, on a thread of its own while the worker
// decodes and reduces the next band.
#pragma once

#include <QImage>
#include <QSize>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "batch/engine.h"
#include "files/pendingjpeg.h"
#include "jpeg/jpeg.h"
#include "pictures/picture.h"

namespace batch {

// Codes the bands of one picture on a thread of its own: two bands, one
// being filled while the other is coded.
class BandCoder {
public:
    // Throws std::system_error when the thread cannot start, std::bad_alloc.
    BandCoder(files::PendingJpeg& file, int width, int height);
    ~BandCoder();
    BandCoder(const BandCoder&) = delete;
    BandCoder& operator=(const BandCoder&) = delete;

    uchar* NextRow();
    // Hands a complete band to the thread once it has coded the one before.
    jpeg::JpegResult RowDone(bool& bandDone);
    // Waits for the last band; the first failure, if any.
    jpeg::JpegResult Wait();

private:
    void Run();

    files::PendingJpeg& file_;
    const int width_;
    const int height_;
    std::vector<std::uint32_t> bands_[2];
    int filling_ = 0;
    int rowsInBand_ = 0;
    int rowsGiven_ = 0;
    std::mutex mutex_;
    std::condition_variable wake_;
    jpeg::PixelRows queued_;
    bool busy_ = false;  // a band is queued or being coded
    bool quit_ = false;
    jpeg::JpegResult result_ = jpeg::JpegResult::Ok;
    std::thread thread_;
};

// An item's rows on their way into its file: the memory is reserved when the
// picture's header is known, the file started when its size is, and each
// band of rows encoded as it is complete, on a thread of its own when a core
// is spare.
class ItemRows final : public pictures::ShrinkSink {
public:
    using ReserveFunction = std::function<bool(qint64& bytes)>;

    // Index is the item's in the plan, for the observer. The target size
    // goes into outcome, the rows into file (written to output); under a
    // byte limit they are held (Held) for the engine to encode.
    ItemRows(const QString& outputPath, int index, const output::Settings& output, const EngineOptions& options,
             std::atomic<bool>& abandon, ItemOutcome& outcome, files::PendingJpeg& file,
             ReserveFunction reserve, std::function<bool()> spareCore);

    bool Reserve(qint64 bytes, QSize target) override;
    bool Begin(QSize, QSize target) override;
    uchar* NextRow() override;
    bool RowDone() override;

    // Once no more rows come: the last band coded, the file free for the worker.
    void Drain();

    // Under a byte limit, the reduced picture; null otherwise.
    const QImage& Held() const { return held_; }

    jpeg::JpegResult Failure = jpeg::JpegResult::Ok;  // of the file

private:
    const QString& outputPath_;
    const int index_;
    const output::Settings& output_;
    const EngineOptions& options_;
    std::atomic<bool>& abandon_;
    ItemOutcome& outcome_;
    files::PendingJpeg& file_;
    ReserveFunction reserve_;
    std::function<bool()> spareCore_;
    std::optional<BandCoder> coder_;
    QImage held_;
    bool reserved_ = false;
    int height_ = 0;
    int rows_ = 0;
};

// A picture a test's reducer gives whole, row by row into the sink.
pictures::ShrinkOutcome SendWhole(pictures::ReducedPicture reduced, pictures::ShrinkSink& sink);

}  // namespace batch
