// The per-image shrink step of a batch run: load one file into a picture box,
// reduce it by the ratio and write it as OutputFolder/base.jpg. The window
// run and zembrik-batch both go through ShrinkFile.
#pragma once

#include <QSize>
#include <QString>
#include <optional>

#include "jpeg/jpeg.h"
#include "shell/picture.h"

namespace basBatch {

struct ShrinkResult {
    QSize SourceSize;    // pixels of the loaded picture (empty when loading failed)
    QSize TargetSize;    // pixels written
    QString OutputPath;  // empty when loading failed
    // A picture that could not be loaded or reduced; no save was attempted.
    std::optional<basMain::PictureError> Error;
    // The encoder's result when a save was attempted.
    ModuleJPEG::JpegResult SaveResult = ModuleJPEG::JpegResult::Ok;

    bool Ok() const { return !Error && SaveResult == ModuleJPEG::JpegResult::Ok; }
};

using basMain::TargetLength;

// One image of a run: joins Folder and FileName as the run joins paths, loads
// the file into Box (which takes its size), reduces it to the target size,
// and saves it with quality 50 and an empty comment as OutputFolder, the
// separator, the file's base name and ".jpg". Yield is handed to the encoder.
ShrinkResult ShrinkFile(const QString& folder, const QString& fileName, double ratio,
                        const QString& outputFolder, basMain::PictureBox& box,
                        const ModuleJPEG::YieldHook& yield = {});

}  // namespace basBatch
