// Test pictures the tests write themselves, in formats Qt cannot save.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

namespace testimages {

// 4 x 2 pixels, palette red, green, blue, black with black transparent. Frame
// one: 0 1 2 3 / 3 2 1 0; frame two all green.
extern const QByteArray TwoFrameGif;

bool Write(const QString& path, const QByteArray& bytes);
QByteArray Read(const QString& path);  // empty when it cannot be read

// Shading, edges and noise, as a photograph gives the reduction and the coder.
QImage PhotoLike(int w, int h, unsigned seed);

// The mean and the largest difference of the colour channels of two
// pictures of one size.
std::pair<double, int> Difference(const QImage& a, const QImage& b);

// The image as Qt's writer of Format ("png", "webp", "jpeg", "tiff") saves it.
QByteArray Saved(const QImage& image, const char* format);

// Parts put into a saved file, for what no writer makes: PNG chunks after
// the header; JPEG segments after the start marker; RIFF chunks (type, data)
// in a WebP made extended, its profile before the picture, the rest after.
QByteArray PngChunk(const char* type, const QByteArray& data);
QByteArray PngWith(const QByteArray& png, const QByteArray& chunks);
QByteArray Segment(const char* marker, const QByteArray& payload);
QByteArray JpegWith(const QByteArray& jpeg, const QByteArray& segments);
QByteArray WebpWith(const QByteArray& webp, const QList<std::pair<QByteArray, QByteArray>>& chunks);

}  // namespace testimages
