// The per-image path of a run driven by arbitrary bytes, shared by the fuzz
// target and the test that replays its findings: the bytes become a picture
// file, which is loaded and reduced and then encoded to memory, and every
// step's result is checked against what that step promises.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

namespace fuzz {

// How an input is read: byte 0 gives the ratio, 1 to 100 percent, and, when
// the file has no JPEG, BMP, GIF or HEIF signature, the name's extension
// (Qt's readers take a PNG, WebP or TIFF by its content whatever the name); the
// remaining bytes are the file.
struct PathInput {
    double Ratio = 1.0;
    QString Extension;  // ".jpg", ".bmp", ".gif" or ".heic"
    QByteArray File;
};
PathInput SplitInput(const std::uint8_t* data, std::size_t size);

// The inverse of SplitInput for a ratio in whole percent (1..100) and a file
// with a signature; the seed maker builds its inputs with it.
QByteArray JoinInput(int percent, const QByteArray& file);

// Writes the input's file into Folder and takes it through the path. Returns
// an empty string when every promise held, else what broke.
QString RunPicturePath(const std::uint8_t* data, std::size_t size, const QString& folder);

}  // namespace fuzz
