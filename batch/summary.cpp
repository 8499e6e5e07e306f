// The one-line account of a run.
#include "batch/summary.h"

#include "batch/engine.h"

#include <QCoreApplication>
#include <algorithm>

namespace batch {

void RunSummary::Add(const ItemOutcome& outcome)
{
    if (outcome.Skipped || !outcome.Ok())
        return;
    if (!written_.contains(outcome.Index)) {
        written_.insert(outcome.Index);
        ++images_;
        before_ += outcome.SourceBytes;
    }
    after_ += outcome.OutputBytes;
}

QString RunSummary::Text(qint64 elapsedMs) const
{
    QString text = QCoreApplication::translate("batch", "%n 個の画像：%1 → %2（%3）", nullptr, images_)
                       .arg(SizeText(before_), SizeText(after_), DurationText(elapsedMs));
    if (upToDate_ > 0)
        text += QCoreApplication::translate("batch", "（%n 個は最新）", nullptr, upToDate_);
    if (failed_ > 0)
        text += QCoreApplication::translate("batch", "（%n 個は失敗）", nullptr, failed_);
    return text;
}

QString SizeText(qint64 bytes)
{
    // Decimal units, as the file managers of this platform count them.
    static const char* const units[] = {"KB", "MB", "GB", "TB"};
    if (bytes < 1000)
        return QCoreApplication::translate("batch", "%n バイト", nullptr, int(bytes));
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
        return QCoreApplication::translate("batch", "%1 秒").arg(QString::number(static_cast<double>(tenths) / 10.0, 'f', 1));
    const qint64 seconds = (ms + 500) / 1000;
    return QCoreApplication::translate("batch", "%1 分 %2 秒").arg(seconds / 60).arg(seconds % 60);
}

std::optional<qint64> TimeLeftMs(qint64 nowMs, qint64 lastDoneMs, qint64 pixelsDone, qint64 pixelsTotal)
{
    if (nowMs < 2000 || lastDoneMs <= 0 || pixelsDone <= 0)
        return std::nullopt;
    // In double: milliseconds times the pixels of thousands of photos
    // overflow 64 bits.
    const double atLastDone = static_cast<double>(lastDoneMs) *
                              static_cast<double>(std::max<qint64>(0, pixelsTotal - pixelsDone)) /
                              static_cast<double>(pixelsDone);
    return std::max<qint64>(0, static_cast<qint64>(atLastDone) - (nowMs - lastDoneMs));
}

QString ClockText(qint64 ms)
{
    const qint64 seconds = std::max<qint64>(0, ms) / 1000;
    if (seconds < 60)
        return QCoreApplication::translate("batch", "%1 秒").arg(seconds);
    if (seconds < 3600)
        return QCoreApplication::translate("batch", "%1 分 %2 秒").arg(seconds / 60).arg(seconds % 60);
    return QCoreApplication::translate("batch", "%1 時間 %2 分").arg(seconds / 3600).arg(seconds % 3600 / 60);
}

QString GuessText(qint64 ms)
{
    const qint64 seconds = (std::max<qint64>(0, ms) + 999) / 1000;
    if (seconds <= 55)
        return QCoreApplication::translate("batch", "約 %1 秒").arg(std::max<qint64>(5, (seconds + 4) / 5 * 5));
    const qint64 minutes = (seconds + 59) / 60;
    if (minutes < 60)
        return QCoreApplication::translate("batch", "約 %1 分").arg(minutes);
    return QCoreApplication::translate("batch", "約 %1 時間 %2 分").arg(minutes / 60).arg(minutes % 60);
}

}  // namespace batch
