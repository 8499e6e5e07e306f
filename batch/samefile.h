// When writing one path replaces what reading another gives. One rule for
// the check before writing (an original replaced) and for the engine's order
// (an item that reads what another writes is read first): each path gets
// keys, and two paths are the same file when they share one.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace batch {

// How the output folder's file system compares names.
enum class NameCase { Sensitive, Insensitive };

class FileKeys {
public:
    explicit FileKeys(NameCase nameCase) : nameCase_(nameCase) {}

    // What writing path replaces: its folder entry (a link there is replaced
    // itself, not what it leads to) and the file that entry holds, if any.
    QStringList Written(const QString& path);
    // What reading path reads through: its entry, each link it leads on to,
    // and the file at the end (found by identity, so that a hard link or
    // another spelling of a folder counts as that file).
    QStringList Read(const QString& path);

    // Whether writing output replaces what reading source gives.
    bool Replaces(const QString& output, const QString& source);

private:
    QString Entry(const QString& path);

    NameCase nameCase_;
    QHash<QString, QString> folders_;  // resolved, by folder as written
};

}  // namespace batch
