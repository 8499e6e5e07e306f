// Opening a picture file for reading without ever blocking: only a regular
// file is a picture. A named pipe, socket or device (or a link to one) is
// refused before it is opened, as an open or a read of one can wait for ever.
#pragma once

#include <QFile>
#include <QString>

#include <memory>
#include <optional>

#include "pictures/picture.h"

namespace pictures {

struct OpenedPictureFile {
    std::unique_ptr<QFile> File;  // open for reading, positioned at the start
    std::optional<PictureError> Error;
};

// Not found (53), or not a regular file or not readable (481, "画像ファイルを
// 開けません。"); the description ends with the path as every load error does.
OpenedPictureFile OpenPictureFile(const QString& path);

// A picture error whose description names the file.
PictureError PictureFileError(PictureErrorNumber number, const QString& message, const QString& path);

}  // namespace pictures
