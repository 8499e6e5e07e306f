// Run benchmark: a folder of photos through the shrink engine at one thread
// and at one per core, with wall time, megapixels per second and peak memory
// of each, and whether both wrote the same bytes. Prints figures; not a test.
// Usage: bench_run [FOLDER] [PERCENT]   (default: generated photos, 50)
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

#include "batch/engine.h"
#include "benchsupport.h"

namespace {

struct Figures {
    double Seconds = 0;
    double Megapixels = 0;
    double PeakMiB = 0;
    int Failures = 0;
};

Figures Run(const QStringList& sources, const QString& outputFolder, double ratio, int threads)
{
    batch::Plan plan;
    plan.Ratio = ratio;
    for (const QString& source : sources)
        plan.Items.push_back({source, batch::OutputPathFor(outputFolder, QFileInfo(source).fileName())});
    batch::EngineOptions options;
    options.Threads = threads;
    options.Policy = batch::FailurePolicy::GoOn;

    Figures figures;
    bench::ResetPeak();
    QElapsedTimer timer;
    timer.start();
    batch::ShrinkEngine engine(std::move(plan), options);
    engine.Start();
    while (!engine.Finished()) {
        engine.Wait();
        for (const batch::ItemOutcome& outcome : engine.Collect()) {
            figures.Megapixels += outcome.SourceSize.width() * double(outcome.SourceSize.height()) / 1e6;
            figures.Failures += outcome.Ok() ? 0 : 1;
        }
    }
    figures.Seconds = timer.nsecsElapsed() / 1e9;
    figures.PeakMiB = bench::PeakMiB();
    return figures;
}

bool SameFiles(const QString& a, const QString& b)
{
    const QStringList names = QDir(a).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    if (names != QDir(b).entryList(QDir::Files | QDir::Hidden, QDir::Name))
        return false;
    for (const QString& name : names) {
        QFile fa(QDir(a).filePath(name)), fb(QDir(b).filePath(name));
        if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly) || fa.readAll() != fb.readAll())
            return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const double ratio = (args.size() > 2 ? args.at(2).toDouble() : 50.0) / 100.0;

    QTemporaryDir generated;
    const QStringList sources = bench::PicturesFor(args, generated.path(),
                                                   {{4000, 3000}, {2560, 1600}, {4000, 3000}, {2560, 1600},
                                                    {3000, 4000}, {2560, 1600}, {4000, 3000}, {1600, 2560}});
    if (sources.isEmpty())
        return 1;

    const int cores = batch::DefaultThreadCount();
    std::printf("%lld pictures, ratio %.0f%%, %d cores\n", static_cast<long long>(sources.size()), ratio * 100, cores);
    QTemporaryDir serialOut;
    QTemporaryDir parallelOut;
    for (const int threads : {1, cores}) {
        const Figures f = Run(sources, threads == 1 ? serialOut.path() : parallelOut.path(), ratio, threads);
        std::printf("-j %-2d  %.3f s  %.1f MP  %.1f MP/s  peak %.0f MiB%s\n", threads, f.Seconds, f.Megapixels,
                    f.Megapixels / f.Seconds, f.PeakMiB, f.Failures ? "  (failures!)" : "");
    }
    std::printf("same bytes at -j 1 and -j %d: %s\n", cores, SameFiles(serialOut.path(), parallelOut.path()) ? "yes" : "NO");
    return 0;
}
