// The per-image shrink step.
#include "batch/shrink.h"

#include <cmath>
#include <string>

#include "shell/basmain.h"
#include "shell/twips.h"

namespace basBatch {

ShrinkResult ShrinkFile(const QString& folder, const QString& fileName, double ratio,
                        const QString& outputFolder, basMain::PictureBox& box,
                        const ModuleJPEG::YieldHook& yield)
{
    ShrinkResult result;
    const QString sourcePath = basMain::JoinPath(folder, fileName);
    if (std::optional<basMain::PictureError> error = box.LoadFile(sourcePath)) {
        result.Error = std::move(error);
        return result;
    }

    // The box reports twips; whole twips over whole twips per pixel give pixels.
    const int tppX = basMain::TwipsPerPixelX();
    const int tppY = basMain::TwipsPerPixelY();
    const int sourceWidth = static_cast<int>(static_cast<qint64>(std::nearbyint(box.Width())) / tppX);
    const int sourceHeight = static_cast<int>(static_cast<qint64>(std::nearbyint(box.Height())) / tppY);
    result.SourceSize = QSize(sourceWidth, sourceHeight);

    const int targetWidth = TargetLength(sourceWidth, ratio);
    const int targetHeight = TargetLength(sourceHeight, ratio);
    result.TargetSize = QSize(targetWidth, targetHeight);
    if (std::optional<basMain::PictureError> error = box.StretchTo(targetWidth, targetHeight)) {
        error->Description += QStringLiteral(" (") + sourcePath + QLatin1Char(')');
        result.Error = std::move(error);
        return result;
    }

    QString extension;
    QString baseName;
    basMain::SplitFileName(fileName, extension, baseName);
    result.OutputPath = basMain::JoinPath(outputFolder, baseName + QStringLiteral(".jpg"));

    std::int32_t quality = 50;
    result.SaveResult = ModuleJPEG::SaveJpeg(basMain::ToFsPath(result.OutputPath), quality, std::string(), box, yield);
    return result;
}

}  // namespace basBatch
