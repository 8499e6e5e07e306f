// Test pictures the tests write themselves, in formats Qt cannot save.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

namespace testimages {

// A GIF89a whose palette is red, green, blue, white (indexes 0..3). Each frame
// holds w x h palette indexes; `transparent` is an index or -1.
QByteArray Gif(int w, int h, const QList<QByteArray>& frames, int transparent = -1);

// A one-frame GIF of one palette colour.
QByteArray PlainGif(int w, int h, int colourIndex);

bool Write(const QString& path, const QByteArray& bytes);

// Shading, edges and noise, as a photograph gives the reduction and the coder.
QImage PhotoLike(int w, int h, unsigned seed);

}  // namespace testimages
