// The one-line account of a run.
#include "batch/summary.h"

#include "batch/engine.h"

namespace basBatch {

void RunSummary::Add(const ItemOutcome& outcome)
{
    if (outcome.Skipped || !outcome.Ok())
        return;
    ++images_;
    before_ += outcome.SourceBytes;
    after_ += outcome.OutputBytes;
}

QString RunSummary::Text(qint64 elapsedMs) const
{
    return QStringLiteral("%1 個の画像：%2 → %3（%4）")
        .arg(QString::number(images_), SizeText(before_), SizeText(after_), DurationText(elapsedMs));
}

QString SizeText(qint64 bytes)
{
    // Decimal units, as the file managers of this platform count them.
    static const char* const units[] = {"KB", "MB", "GB", "TB"};
    if (bytes < 1000)
        return QStringLiteral("%1 バイト").arg(bytes);
    double value = static_cast<double>(bytes) / 1000.0;
    int unit = 0;
    // Rounded first, so that 999,960 bytes reads 1.0 MB and not 1000.0 KB.
    while (unit < 3 && value * 10.0 + 0.5 >= 10000.0) {
        value /= 1000.0;
        ++unit;
    }
    return QString::number(value, 'f', 1) + QLatin1Char(' ') + QLatin1String(units[unit]);
}

QString DurationText(qint64 ms)
{
    const qint64 tenths = (ms + 50) / 100;
    if (tenths < 600)
        return QStringLiteral("%1 秒").arg(QString::number(static_cast<double>(tenths) / 10.0, 'f', 1));
    const qint64 seconds = (ms + 500) / 1000;
    return QStringLiteral("%1 分 %2 秒").arg(seconds / 60).arg(seconds % 60);
}

}  // namespace basBatch
