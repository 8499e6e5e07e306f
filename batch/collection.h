// What zembrik-batch works on when its operands are folder trees, when it
// only does what is missing, or when it is one of several machines sharing a
// collection: the walk of each folder given (-R), the skipping of outputs
// that are up to date (--update) and the choice of one part of the pictures
// (--shard K/N). Each picture found goes into the output folder's mirror of
// the folder it lies in below the operand, so the check before writing is
// made per output folder. Plain logic over the file system; no window.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <vector>

#include "batch/preflight.h"
#include "output/outputoptions.h"

namespace batch {

struct TreeOptions {
    bool Recursive = false;  // folder operands are walked with their subfolders
    bool Update = false;     // outputs not older than their pictures are left as they are
    int Shard = 1;           // this run's part, 1 to Shards
    int Shards = 1;
};

// Takes -R, --recursive, --update and --shard K/N (or --shard=K/N) at
// args[index], as output::TakeOutputOption takes the output options.
output::OptionTaken TakeTreeOption(const QStringList& args, qsizetype& index, TreeOptions& options);

// The lines of --help that explain the options above, to be translated in
// the context "batch".
inline constexpr const char* TreeOptionsHelp = QT_TRANSLATE_NOOP(
    "batch",
    "  -R, --recursive  FILE にフォルダも指定できます。フォルダはサブフォルダも\n"
    "               含めて名前の順にたどり、ウィンドウが一覧に出す画像を縮小し\n"
    "               ます（隠しファイル・隠しフォルダ、フォルダへのシンボリック\n"
    "               リンク、OUTDIR は除きます）。出力は OUTDIR の下に同じ\n"
    "               フォルダの並びで書き、フォルダは必要に応じて作ります\n"
    "  --update     出力があり、元の画像より古くなければ、その画像は読まずに\n"
    "               最新として数えます（--keep-date の出力も最新です）\n"
    "  --shard K/N  画像を N 個に分けたうちの K 番目だけを縮小します。分け方は\n"
    "               フォルダの下のパス（拡張子を除く）だけで決まるため、同じ\n"
    "               指定の N 個の実行で、1 回の実行と同じファイルを重ならずに\n"
    "               書きます\n");

// The part of N (0 to N - 1) that a picture's key falls in: FNV-1a (64 bits)
// of the key's UTF-8 bytes, modulo N. The same on every machine.
int ShardOf(const QString& key, int shards);

// A picture to shrink and where its output goes.
struct TreePicture {
    QString Shown;         // as the file's line names it: the operand, or the walked path
    QString Source;        // the path to read
    QString OutputFolder;  // the output folder, or its mirror of the picture's folder
    // What decides its shard: the path below the operand with '/' between
    // names, without the extension and with letter case folded, so that the
    // pictures that write one output always fall in one part.
    QString Key;
};

struct Collection {
    std::vector<TreePicture> Pictures;  // to shrink, in the order given and walked
    int UpToDate = 0;                   // left out by --update
};

// The pictures of operands: a file as it is given (whatever its name), a
// folder walked with -R, taking the files nameFilters match (case ignored);
// then those of this run's shard, and with --update those whose output is
// missing or older than they are.
// With sizeFolders (a run of several sizes, each into its own subfolder of
// the output folder), a picture is up to date when its output is in each.
Collection Collect(const QStringList& operands, const QString& outputFolder, const QStringList& nameFilters,
                   const TreeOptions& options, const output::Settings& output, const QStringList& sizeFolders = {});

// The pictures with their output folders moved from below outputFolder to
// below its subfolder sizeFolder, the tree mirrored there as it is below
// outputFolder.
std::vector<TreePicture> BelowSizeFolder(std::vector<TreePicture> pictures, const QString& outputFolder,
                                         const QString& sizeFolder);

// The check before writing, made per output folder: the same name in two
// folders is no clash. Items are in the order of pictures.
PlanCheck CheckCollection(const std::vector<TreePicture>& pictures, NameCase nameCase, const QString& suffix);

// Makes each output folder that is missing. The text for each picture whose
// folder cannot be made, by its index (empty for the others).
std::vector<QString> MakeOutputFolders(const std::vector<TreePicture>& pictures);

}  // namespace batch
