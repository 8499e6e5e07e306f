// Folder trees, shards and outputs that are up to date.
#include "batch/collection.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>

#include "base/paths.h"
#include "files/pathfacts.h"

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace batch {
namespace {

// A whole number written plainly, no larger than a million.
std::optional<int> Count(const QString& text)
{
    if (text.isEmpty() || text.size() > 7 ||
        !std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }))
        return std::nullopt;
    return text.toInt();
}

QString StripTrailingSeparators(QString path)
{
    while (path.size() > 1 && (path.endsWith(QLatin1Char('/')) || path.endsWith(QDir::separator())))
        path.chop(1);
    return path;
}

QString BaseNameOf(const QString& fileName)
{
    QString extension;
    QString baseName;
    base::SplitFileName(fileName, extension, baseName);
    return baseName;
}

// A folder's entries worth walking: folders that are not links and files
// the patterns take (links to files included, as the window lists them),
// hidden ones left out, in name order with case ignored.
struct Entry {
    QString Name;
    bool Folder = false;
};

// The output folder, so that a walk over a tree that holds it does not
// shrink what an earlier run wrote there.
struct Skipped {
#ifdef Q_OS_UNIX
    dev_t Device = 0;
    ino_t Inode = 0;
    bool Known = false;
#else
    QString Canonical;
#endif
};

Skipped SkippedFolder(const QString& folder)
{
    Skipped skipped;
#ifdef Q_OS_UNIX
    struct stat status {};
    const std::optional<QByteArray> name = base::ToFsName(folder);
    if (name && ::stat(name->constData(), &status) == 0) {
        skipped.Device = status.st_dev;
        skipped.Inode = status.st_ino;
        skipped.Known = true;
    }
#else
    skipped.Canonical = QFileInfo(folder).canonicalFilePath();
#endif
    return skipped;
}

std::vector<Entry> Entries(const QString& folder, const QStringList& nameFilters, const Skipped& skipped)
{
    std::vector<Entry> entries;
#ifdef Q_OS_UNIX
    const std::optional<QByteArray> path = base::ToFsName(folder);
    DIR* dir = path ? ::opendir(path->constData()) : nullptr;
    if (!dir)
        return entries;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;  // hidden, and the folder itself and its parent
        struct stat status {};
        if (entry->d_type == DT_DIR || entry->d_type == DT_UNKNOWN) {
            if (::fstatat(::dirfd(dir), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            if (S_ISDIR(status.st_mode)) {
                if (!(skipped.Known && status.st_dev == skipped.Device && status.st_ino == skipped.Inode))
                    entries.push_back({base::FromFsName(entry->d_name), true});
                continue;
            }
        }
        QString name = base::FromFsName(entry->d_name);
        if (base::NameMatches(nameFilters, name) && ::fstatat(::dirfd(dir), entry->d_name, &status, 0) == 0 &&
            S_ISREG(status.st_mode))
            entries.push_back({std::move(name), false});
    }
    ::closedir(dir);
#else
    const QFileInfoList infos = QDir(folder).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QFileInfo& info : infos) {
        if (info.isDir()) {
            if (!info.isSymLink() && !info.isJunction() && info.canonicalFilePath() != skipped.Canonical)
                entries.push_back({info.fileName(), true});
        } else if (base::NameMatches(nameFilters, info.fileName())) {
            entries.push_back({info.fileName(), false});
        }
    }
#endif
    // Lower case first, then the names themselves, so that the order is the
    // same wherever the folder lists its entries in another order.
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        const QString lowerA = a.Name.toLower();
        const QString lowerB = b.Name.toLower();
        return lowerA != lowerB ? lowerA < lowerB : a.Name < b.Name;
    });
    return entries;
}

struct Walk {
    const QStringList& NameFilters;
    Skipped OutputFolder;
    std::vector<TreePicture>& Found;

    // folder as it is shown, its mirror, and its path below the operand
    // ("" or ending in '/').
    void Into(const QString& folder, const QString& mirror, const QString& below)
    {
        for (const Entry& entry : Entries(folder, NameFilters, OutputFolder)) {
            // The root's own separator is not doubled.
            const QString path = folder.endsWith(base::Separator()) ? folder + entry.Name
                                                                        : base::JoinPath(folder, entry.Name);
            if (entry.Folder)
                Into(path, base::JoinPath(mirror, entry.Name), below + entry.Name + QLatin1Char('/'));
            else
                Found.push_back({path, path, mirror, (below + BaseNameOf(entry.Name)).toCaseFolded()});
        }
    }
};

std::optional<files::FileTime> ModifiedAt(const QString& path, bool regularOnly)
{
    const files::PathFacts facts = files::FactsOf(base::ToFsPath(path));
    if (facts.Kind == files::PathKind::Missing || (regularOnly && facts.Kind != files::PathKind::File))
        return std::nullopt;
    return facts.Modified;
}

bool UpToDate(const TreePicture& picture, const output::Settings& output)
{
    const QString written = OutputPathFor(picture.OutputFolder, QFileInfo(picture.Source).fileName(), output.Suffix);
    const std::optional<files::FileTime> outputTime = ModifiedAt(written, true);
    if (!outputTime)
        return false;
    const std::optional<files::FileTime> sourceTime = ModifiedAt(picture.Source, false);
    if (!sourceTime)
        return false;
    // An output given its source's time holds it as its file system stores
    // times: FAT's in steps of 2 seconds.
    files::FileTime latest = *outputTime;
    latest.Seconds += output.KeepDate ? 2 : 0;
    return latest >= *sourceTime;
}

}  // namespace

output::OptionTaken TakeTreeOption(const QStringList& args, qsizetype& index, TreeOptions& options)
{
    const QString& arg = args.at(index);
    const qsizetype equals = arg.indexOf(QLatin1Char('='));
    const QString name = equals < 0 ? arg : arg.left(equals);
    if (name == QLatin1String("-R") || name == QLatin1String("--recursive") || name == QLatin1String("--update")) {
        if (equals >= 0)
            return output::RefuseValue(name);
        (name == QLatin1String("--update") ? options.Update : options.Recursive) = true;
        return {true, std::nullopt};
    }
    if (name != QLatin1String("--shard"))
        return {};
    const std::optional<QString> given = output::TakeValue(args, index, equals);
    if (!given)
        return output::RefuseMissingValue(name);
    const QString& value = *given;
    const qsizetype slash = value.indexOf(QLatin1Char('/'));
    const std::optional<int> part = slash < 0 ? std::nullopt : Count(value.left(slash));
    const std::optional<int> parts = slash < 0 ? std::nullopt : Count(value.mid(slash + 1));
    if (!part || !parts || *part < 1 || *part > *parts)
        return output::Refuse(QCoreApplication::translate("batch", "--shard の指定が正しくありません: '%1'（K/N、1 ≤ K ≤ N。例: 2/8）")
                          .arg(value));
    options.Shard = *part;
    options.Shards = *parts;
    return {true, std::nullopt};
}

int ShardOf(const QString& key, int shards)
{
    // Names that are not UTF-8 hash as the bytes they are.
    const QByteArray bytes = base::ToFsName(key).value_or(key.toUtf8());
    quint64 hash = 0xcbf29ce484222325ULL;
    for (const char byte : bytes) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 0x100000001b3ULL;
    }
    return static_cast<int>(hash % static_cast<quint64>(std::max(1, shards)));
}

std::vector<TreePicture> BelowSizeFolder(std::vector<TreePicture> pictures, const QString& outputFolder,
                                         const QString& sizeFolder)
{
    const QString moved = base::JoinPath(outputFolder, sizeFolder);
    const QString below = base::JoinPath(outputFolder, QString());
    for (TreePicture& picture : pictures) {
        if (picture.OutputFolder == outputFolder)
            picture.OutputFolder = moved;
        else if (picture.OutputFolder.startsWith(below))
            picture.OutputFolder = base::JoinPath(moved, picture.OutputFolder.mid(below.size()));
    }
    return pictures;
}

Collection Collect(const QStringList& operands, const QString& outputFolder, const QStringList& nameFilters,
                   const TreeOptions& options, const output::Settings& output, const QStringList& sizeFolders)
{
    std::vector<TreePicture> found;
    Walk walk{nameFilters, options.Recursive ? SkippedFolder(outputFolder) : Skipped{}, found};
    for (const QString& operand : operands) {
        if (options.Recursive && files::FactsOf(base::ToFsPath(operand)).Kind == files::PathKind::Folder) {
            walk.Into(QDir::toNativeSeparators(StripTrailingSeparators(operand)), outputFolder, QString());
            continue;
        }
        const QFileInfo info(operand);
        found.push_back({operand, base::JoinPath(QDir::toNativeSeparators(info.path()), info.fileName()), outputFolder,
                         BaseNameOf(info.fileName()).toCaseFolded()});
    }

    Collection collection;
    for (TreePicture& picture : found) {
        if (options.Shards > 1 && ShardOf(picture.Key, options.Shards) != options.Shard - 1)
            continue;
        const auto upToDate = [&] {
            if (sizeFolders.isEmpty())
                return UpToDate(picture, output);
            for (const QString& folder : sizeFolders)
                if (!UpToDate(BelowSizeFolder({picture}, outputFolder, folder).front(), output))
                    return false;
            return true;
        };
        if (options.Update && upToDate()) {
            ++collection.UpToDate;
            continue;
        }
        collection.Pictures.push_back(std::move(picture));
    }
    return collection;
}

PlanCheck CheckCollection(const std::vector<TreePicture>& pictures, NameCase nameCase, const QString& suffix)
{
    // The pictures of each output folder, folders in the order first met.
    QStringList folders;
    QHash<QString, std::vector<std::size_t>> members;
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        auto& indexes = members[pictures[i].OutputFolder];
        if (indexes.empty())
            folders.append(pictures[i].OutputFolder);
        indexes.push_back(i);
    }
    PlanCheck check;
    check.Names = nameCase;
    check.Items.resize(pictures.size());
    for (const QString& folder : folders) {
        const std::vector<std::size_t>& indexes = members.value(folder);
        QStringList sources;
        for (const std::size_t i : indexes)
            sources.append(pictures[i].Source);
        PlanCheck part = CheckPlan(sources, folder, nameCase, suffix);
        for (std::size_t k = 0; k < indexes.size(); ++k)
            check.Items[indexes[k]] = std::move(part.Items[k]);
        check.Originals += part.Originals;
        check.SameNames += part.SameNames;
        check.Existing += part.Existing;
    }
    return check;
}

std::vector<QString> MakeOutputFolders(const std::vector<TreePicture>& pictures)
{
    std::vector<QString> failures(pictures.size());
    QHash<QString, QString> made;  // the failure text by folder, empty when it is there
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        const QString& folder = pictures[i].OutputFolder;
        auto known = made.constFind(folder);
        if (known == made.cend()) {
            const std::error_code error = files::MakeFolders(base::ToFsPath(folder));
            QString text;
            // A file in the way is an error too.
            if (error)
                text = QCoreApplication::translate("batch", "出力先のフォルダ %1 を作成できません（%2）。")
                           .arg(QDir::toNativeSeparators(folder), QString::fromLocal8Bit(error.message().c_str()));
            known = made.insert(folder, text);
        }
        failures[i] = *known;
    }
    return failures;
}

}  // namespace batch
