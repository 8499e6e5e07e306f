// The check a run makes after the output folder is chosen and before anything
// is written: where each selected picture goes, which of the user's originals
// that would replace, which selected pictures share an output name, and which
// other files of the output folder are overwritten. Plain logic over the file
// system, shared by the window's run and zembrik-batch.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "batch/engine.h"
#include "batch/samefile.h"

namespace batch {

// The file system's answer for folder. It is asked by looking an existing
// entry of the folder up with its letters' case swapped; an empty folder (or
// one with no letters in its names) is judged by the file-system type: FAT,
// exFAT, HFS and SMB/CIFS mounts are insensitive, others follow the platform
// (insensitive on Windows and macOS, sensitive elsewhere).
NameCase FolderNameCase(const QString& folder);

struct PlanCheck {
    // One per given source, in the given order. An item whose output a later
    // item writes too is skipped: it is neither read nor written.
    std::vector<PlanItem> Items;
    // Selected sources an output would replace (each once, in list order).
    QStringList Originals;
    // Selected sources whose outputs share a name with another selected
    // source's (each distinct file once, in list order): a.bmp, a.gif and
    // a.JPG make three. The same file given twice is no clash of its own.
    QStringList SameNames;
    // Outputs that replace a file already in the output folder that is not a
    // selected source (each once, in list order).
    QStringList Existing;
    // How the output folder compares names; the engine's order goes by it too.
    NameCase Names = NameCase::Sensitive;

    // Whether the user has to be asked before writing.
    bool NeedsQuestion() const { return !Originals.isEmpty() || !SameNames.isEmpty(); }
};

// Checks a run of sourcePaths (full paths, in list order) into outputFolder,
// each output named with suffix after its base name. An output replaces an
// original as FileKeys tells (a symbolic link to the source folder, or another
// spelling of it, counts as that folder); names are compared as nameCase says.
PlanCheck CheckPlan(const QStringList& sourcePaths, const QString& outputFolder, NameCase nameCase,
                    const QString& suffix = {});
// The same, with nameCase asked of the output folder's file system.
PlanCheck CheckPlan(const QStringList& sourcePaths, const QString& outputFolder, const QString& suffix = {});

// A kind of clash that occurs: the line that tells it and the files concerned.
struct ClashLine {
    QString Text;
    QStringList Files;
};
// Originals first, then shared names; empty when nothing needs asking.
std::vector<ClashLine> ClashLines(const PlanCheck& check);

// The question to ask before the run writes, one line per kind of clash that
// occurs and then "続行しますか？"; empty when nothing needs asking.
QString PlanQuestion(const PlanCheck& check);

}  // namespace batch
