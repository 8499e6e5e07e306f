// The run's check before writing: originals, shared output names, files
// already in the output folder, and which items are skipped.
#include "batch/preflight.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStorageInfo>

namespace batch {
namespace {

QString SwapCase(const QString& name)
{
    QString swapped = name;
    for (QChar& c : swapped)
        c = c.isUpper() ? c.toLower() : c.isLower() ? c.toUpper() : c;
    return swapped;
}

NameCase ByFileSystemType(const QString& folder)
{
    const QStorageInfo storage(folder);
    if (storage.isValid()) {
        const QString type = QString::fromLatin1(storage.fileSystemType()).toLower();
        static const QStringList insensitive = {QStringLiteral("vfat"),   QStringLiteral("msdos"),
                                                QStringLiteral("exfat"),  QStringLiteral("cifs"),
                                                QStringLiteral("smb3"),   QStringLiteral("smbfs"),
                                                QStringLiteral("hfs"),    QStringLiteral("hfsplus")};
        if (insensitive.contains(type))
            return NameCase::Insensitive;
    }
#if defined(Q_OS_WIN) || defined(Q_OS_DARWIN)
    return NameCase::Insensitive;
#else
    return NameCase::Sensitive;
#endif
}

// Names as the output folder tells them apart.
QString NameKey(const QString& name, NameCase nameCase)
{
    return nameCase == NameCase::Insensitive ? name.toCaseFolded() : name;
}

// A path with its links resolved where it exists, so that two ways to the
// same file or folder compare equal.
QString ResolvedPath(const QString& path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

}  // namespace

NameCase FolderNameCase(const QString& folder)
{
    const QDir dir(folder);
    const QStringList names =
        dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    const QSet<QString> present(names.begin(), names.end());
    for (const QString& name : names) {
        const QString swapped = SwapCase(name);
        if (swapped == name)
            continue;
        if (present.contains(swapped))
            return NameCase::Sensitive;  // two entries whose names differ only in case
        const QFileInfo probe(dir.filePath(swapped));
        return probe.exists() || probe.isSymLink() ? NameCase::Insensitive : NameCase::Sensitive;
    }
    return ByFileSystemType(folder);
}

PlanCheck CheckPlan(const QStringList& sourcePaths, const QString& outputFolder, const QString& suffix)
{
    return CheckPlan(sourcePaths, outputFolder, FolderNameCase(outputFolder), suffix);
}

PlanCheck CheckPlan(const QStringList& sourcePaths, const QString& outputFolder, NameCase nameCase,
                    const QString& suffix)
{
    PlanCheck check;
    check.Names = nameCase;
    FileKeys keys(nameCase);

    // Items by the output they write; every output lies in the one folder, so its name tells them apart.
    QList<QString> groupOf;
    QList<QString> fileOf;
    QHash<QString, QList<qsizetype>> groups;
    for (const QString& source : sourcePaths) {
        PlanItem item{source, OutputPathFor(outputFolder, QFileInfo(source).fileName(), suffix)};
        const QString key = NameKey(QFileInfo(item.Output).fileName(), nameCase);
        groups[key].append(static_cast<qsizetype>(check.Items.size()));
        groupOf.append(key);
        fileOf.append(ResolvedPath(source));
        check.Items.push_back(item);
    }

    // Only the last item of an output is shrunk: an earlier one would be
    // overwritten anyway, and if it replaced a later source that source would
    // be read after its original was gone.
    QHash<QString, qsizetype> distinctSources;
    for (auto g = groups.cbegin(); g != groups.cend(); ++g) {
        QSet<QString> files;
        for (const qsizetype i : g.value()) {
            files.insert(fileOf.at(i));
            check.Items[static_cast<std::size_t>(i)].Skip = i != g.value().last();
        }
        distinctSources.insert(g.key(), files.size());
    }

    // A source is replaced by its own output (the same name, or the same file
    // under another name), or, with a suffix, by the output that bears its
    // name: x.jpg's x_s.jpg replaces the selected x_s.jpg.
    QSet<QString> replacingGroups;
    QSet<QString> listed;
    for (qsizetype i = 0; i < static_cast<qsizetype>(check.Items.size()); ++i) {
        const PlanItem& item = check.Items.at(static_cast<std::size_t>(i));
        bool replaced = false;
        if (keys.Replaces(item.Output, item.Source)) {
            replacingGroups.insert(groupOf.at(i));
            replaced = true;
        }
        const QString named = NameKey(QFileInfo(item.Source).fileName(), nameCase);
        const auto writers = groups.constFind(named);
        if (named != groupOf.at(i) && writers != groups.cend() &&
            keys.Replaces(check.Items.at(static_cast<std::size_t>(writers->last())).Output, item.Source)) {
            replacingGroups.insert(named);
            replaced = true;
        }
        if (replaced && !listed.contains(fileOf.at(i))) {
            listed.insert(fileOf.at(i));
            check.Originals.append(item.Source);
        }
    }

    QSet<QString> clashing;
    QSet<QString> seenGroups;
    for (qsizetype i = 0; i < static_cast<qsizetype>(check.Items.size()); ++i) {
        const PlanItem& item = check.Items.at(static_cast<std::size_t>(i));
        const QString& group = groupOf.at(i);
        if (distinctSources.value(group) > 1 && !clashing.contains(fileOf.at(i))) {
            clashing.insert(fileOf.at(i));
            check.SameNames.append(item.Source);
        }
        if (seenGroups.contains(group))
            continue;
        seenGroups.insert(group);
        const QFileInfo out(item.Output);
        if (!replacingGroups.contains(group) && (out.exists() || out.isSymLink()))
            check.Existing.append(item.Output);
    }
    return check;
}

std::vector<ClashLine> ClashLines(const PlanCheck& check)
{
    std::vector<ClashLine> clashes;
    if (!check.Originals.isEmpty())
        clashes.push_back({QCoreApplication::translate("batch", "元の画像 %n 個が縮小した画像で置き換えられます。", nullptr, int(check.Originals.size())),
                           check.Originals});
    if (!check.SameNames.isEmpty())
        clashes.push_back({QCoreApplication::translate("batch", "同じ名前になる画像が %n 個あります。リストで後の画像だけが保存されます。",
                                                       nullptr, int(check.SameNames.size())),
                           check.SameNames});
    return clashes;
}

QString PlanQuestion(const PlanCheck& check)
{
    const std::vector<ClashLine> clashes = ClashLines(check);
    if (clashes.empty())
        return {};
    QStringList lines;
    for (const ClashLine& clash : clashes)
        lines << clash.Text;
    lines << QCoreApplication::translate("batch", "続行しますか？");
    return lines.join(QLatin1Char('\n'));
}

}  // namespace batch
