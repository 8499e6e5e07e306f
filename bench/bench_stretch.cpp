// Stretch benchmark: times the averaging reduction against Qt's smooth scaling
// on a 12-megapixel photo-like picture and reports how far Qt's result is from
// the exact coverage-weighted average. Prints figures; not a test.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QThreadPool>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <functional>

#include "benchsupport.h"
#include "pictures/picture.h"

namespace {

double CpuMs()
{
    return 1000.0 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// Best of a few runs, in milliseconds of wall time, or of processor time of
// all threads (steadier than wall time on a shared machine).
double Time(const std::function<QImage()>& run, QImage& out, bool cpu = false)
{
    double best = 1e300;
    for (int i = 0; i < 7; ++i) {
        QElapsedTimer timer;
        timer.start();
        const double cpuStart = CpuMs();
        out = run();
        best = std::min(best, cpu ? CpuMs() - cpuStart : timer.nsecsElapsed() / 1e6);
    }
    return best;
}

int MaxDifference(const QImage& a, const QImage& b, double& mean)
{
    int worst = 0;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* la = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* lb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            for (int shift : {0, 8, 16}) {
                const int d = std::abs(static_cast<int>((la[x] >> shift) & 255) - static_cast<int>((lb[x] >> shift) & 255));
                worst = std::max(worst, d);
                sum += d;
            }
        }
    }
    mean = sum / (3.0 * a.width() * a.height());
    return worst;
}

QImage QtSmooth(const QImage& source, int width, int height)
{
    return source.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int width = 4000;
    const int height = 3000;
    const QImage photo = bench::PhotoLike(width, height, 1);
    std::printf("source %dx%d (%.1f MP), Qt thread pool max %d threads\n", width, height,
                width * height / 1e6, QThreadPool::globalInstance()->maxThreadCount());

    for (const double ratio : {0.5, 0.333, 0.25, 0.75, 0.1}) {
        const int tw = static_cast<int>(std::nearbyint(width * ratio));
        const int th = static_cast<int>(std::nearbyint(height * ratio));
        QImage ours;
        QImage qt;
        const double tOurs = Time([&] { return pictures::StretchHalftone(photo, tw, th); }, ours);
        const double tQt = Time([&] { return QtSmooth(photo, tw, th); }, qt);
        // Qt's scaler spreads over the global pool; one thread compares like with like.
        const int threads = QThreadPool::globalInstance()->maxThreadCount();
        QThreadPool::globalInstance()->setMaxThreadCount(1);
        const double tQt1 = Time([&] { return QtSmooth(photo, tw, th); }, qt, true);
        const double tOurs1 = Time([&] { return pictures::StretchHalftone(photo, tw, th); }, ours, true);
        QThreadPool::globalInstance()->setMaxThreadCount(threads);
        double mean = 0;
        const int worst = MaxDifference(ours, qt, mean);
        std::printf("%5.1f%% -> %dx%d: StretchHalftone %5.1f ms, one thread %5.1f ms CPU; Qt smooth %5.1f ms,"
                    " one thread %5.1f ms CPU; Qt vs exact: max %d, mean %.3f\n",
                    ratio * 100, tw, th, tOurs, tOurs1, tQt, tQt1, worst, mean);
    }

    // Qt's scaler on the two defining cases of an averaging reduction.
    QImage board(64, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            board.setPixel(x, y, (x + y) % 2 ? 0xFFFFFFFFu : 0xFF000000u);
    const QImage qtBoard = QtSmooth(board, 32, 32);
    int lo = 255;
    int hi = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            lo = std::min(lo, qRed(qtBoard.pixel(x, y)));
            hi = std::max(hi, qRed(qtBoard.pixel(x, y)));
        }
    std::printf("checkerboard 64x64 -> 32x32: Qt smooth grey %d..%d, StretchHalftone grey %d\n", lo, hi,
                qRed(pictures::StretchHalftone(board, 32, 32).pixel(0, 0)));
    QImage three(3, 1, QImage::Format_RGB32);
    three.setPixel(0, 0, qRgb(0, 0, 0));
    three.setPixel(1, 0, qRgb(255, 255, 255));
    three.setPixel(2, 0, qRgb(90, 90, 90));
    const QImage qtThree = QtSmooth(three, 2, 1);
    const QImage ourThree = pictures::StretchHalftone(three, 2, 1);
    std::printf("3x1 (0, 255, 90) -> 2x1, exact (85, 145): Qt smooth (%d, %d), StretchHalftone (%d, %d)\n",
                qRed(qtThree.pixel(0, 0)), qRed(qtThree.pixel(1, 0)), qRed(ourThree.pixel(0, 0)),
                qRed(ourThree.pixel(1, 0)));
    return 0;
}
