// The "drives" of the drive list: on Linux the mounted volumes, on Windows the
// drive letters. The drive of a path is the volume whose root is its longest
// prefix, so /home/me lies on /home when /home is a volume of its own.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace mainwin::drives {

// Root paths of the mounted volumes that are folders, the system root first;
// on Windows every drive letter in use (ready or not), in letter order.
QStringList MountedRoots();

// How the drive list shows the drive at root: the root itself, on Windows
// the letter with the volume's label or the network share ("c: [System]",
// "z: [\\server\photos]").
QString DriveText(const QString& root);

// The root among roots that holds path (whole path components compared);
// empty when none does, as for a relative path.
QString RootOf(const QString& path, const QStringList& roots);

// Why the volume at root cannot be listed now, in the user's words; empty
// when it is ready.
QString NotReadyReason(const QString& root);

}  // namespace mainwin::drives
