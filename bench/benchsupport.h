// What the benchmarks share: photo-like pictures written as JPEG files, and
// the process's peak memory.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>
#include <vector>

namespace bench {

// Smooth shading, hard-edged objects and sensor-like noise: what makes a
// decoder, the reduction and the coder work as a photograph does.
QImage PhotoLike(int width, int height, unsigned seed);

// Writes one JPEG (quality 90) per size into Folder; returns the paths, or
// nothing when a file cannot be written.
QStringList WritePhotos(const QString& folder, const std::vector<QSize>& sizes);

// The JPEG, BMP and GIF files, by name, of the folder a benchmark was given
// as its first argument; without one, photo-like JPEGs of these sizes written
// into Scratch. Says what it does; empty when there is nothing to work on.
QStringList PicturesFor(const QStringList& args, const QString& scratch, const std::vector<QSize>& sizes);

// Peak resident memory of this process in MiB since the last reset (Linux;
// 0 where it cannot be read).
double PeakMiB();
void ResetPeak();

}  // namespace bench
