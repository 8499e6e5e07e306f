// Test pictures the tests write themselves, in formats Qt cannot save.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace testimages {

// 4 x 2 pixels, palette red, green, blue, black with black transparent. Frame
// one: 0 1 2 3 / 3 2 1 0; frame two all green.
extern const QByteArray TwoFrameGif;

bool Write(const QString& path, const QByteArray& bytes);
QByteArray Read(const QString& path);  // empty when it cannot be read

// Shading, edges and noise, as a photograph gives the reduction and the coder.
QImage PhotoLike(int w, int h, unsigned seed);

}  // namespace testimages
