// zembrik-batch: the headless companion for scripts. Shrinks each file given
// on the command line (or found in the folder trees given with -R) into an
// output folder with the same engine and the same check before writing that
// the window run uses, on one worker per core unless told otherwise, one line
// per file in the order given, and no display needed.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <io.h>
#include <mutex>
#define ZEMBRIK_ISATTY _isatty
#define ZEMBRIK_FILENO _fileno
#else
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <mutex>
#include <system_error>
#include <thread>
#define ZEMBRIK_ISATTY isatty
#define ZEMBRIK_FILENO fileno
#endif

#include "app/usersettings.h"
#include "base/language.h"
#include "base/numtext.h"
#include "base/paths.h"
#include "base/settings.h"
#include "batch/collection.h"
#include "batch/engine.h"
#include "batch/preflight.h"
#include "batch/saveerror.h"
#include "batch/summary.h"
#include "files/pathfacts.h"
#include "output/metadatawriter.h"
#include "output/outputoptions.h"
#include "pictures/pictureformats.h"

namespace {

// The usage line and the help, in the language the window would speak.
const char* const Usage =
    QT_TRANSLATE_NOOP("zembrik-batch",
                      "使い方: zembrik-batch [-r PERCENT | --max-size WxH] [--quality Q] [--keep-metadata [--keep-gps]]\n"
                      "         [--keep-date] [--suffix TEXT] [-j THREADS] [--force] [--quiet] -o OUTDIR FILE...\n");

const char* const Help = QT_TRANSLATE_NOOP(
    "zembrik-batch",
    "JPEG・HEIC（HEIF）・AVIF・PNG・WebP・TIFF・BMP・GIF 画像（種類はファイルの中身で\n"
    "判断します）を縮小し、それぞれを OUTDIR/<ベース名>.jpg（ベースライン JPEG）\n"
    "として保存します（--suffix ではベース名の後にその文字が付きます）。同じ名前の\n"
    "ファイルは置き換えます。\n"
    "\n"
    "  -r PERCENT   縮小率（パーセント、1〜100 の整数か小数。小数第 1 位までを\n"
    "               使います。省略時は 100: 元の大きさのまま）。--max-size とは\n"
    "               同時に指定できません\n"
    "  -o OUTDIR    出力先フォルダ（あらかじめあること）\n"
    "%1"
    "  -j THREADS   同時に縮小する画像の数（省略時はプロセッサのコア数。ただし、\n"
    "               合わせてメモリの半分を超えそうなときは少なくします）。\n"
    "               いくつにしても書き出すファイルは同じです\n"
    "  --force      出力が指定したファイルを置き換える場合や、複数のファイルが\n"
    "               同じ出力になる場合も続けます。元の画像は置き換えられ、\n"
    "               同じ名前では最後のファイルが残ります\n"
    "  --quiet      エラー出力に進行状況の行とまとめを表示しません\n"
    "  --help       このヘルプを表示して終了します\n"
    "  --version    バージョンを表示して終了します\n"
    "\n"
    "オプションは getopt と同じく、最初の FILE より前にだけ書けます。それより後の\n"
    "'-' で始まる引数（* が展開した --force という名前のファイルなど）はファイル名\n"
    "です。'--' の後もすべてファイル名です。\n"
    "\n"
    "書き出したファイルごとに、指定した順に 1 行（元のファイル、その大きさ、出力、\n"
    "その大きさ）を表示します（ただし、前のファイルの出力で置き換えられるファイル\n"
    "は、置き換えられる前に読むため、その前に来ます）。失敗したファイルはエラー\n"
    "出力に報告して続けます。ただし出力先フォルダがなくなったか書き込めなくなった\n"
    "ときは、そこで止まり、そのことを 1 度だけ表示します。各ファイルは名前なしで\n"
    "（または一時的な名前で）書き、書き終えたときに、その順に置きます。書き込む前に\n"
    "ファイルを調べ、--force がなければ、指定したファイルを置き換える出力や、複数の\n"
    "ファイルが同じ名前になる出力を一覧にして、何も書き込みません。\n"
    "端末では、エラー出力に進行状況の行（済んだ数/全体、最後に書き出したファイル、\n"
    "時間）が表示され、最後にまとめ（画像の数、縮小前と縮小後の大きさ、時間、\n"
    "失敗した数）が表示されます。\n"
    "終了コード: 0 すべて書き出した、1 失敗したファイルがあったか標準出力に書き込め\n"
    "なかった、2 指定が正しくないか、--force なしで置き換えなどを断った。\n"
    "中断（Ctrl+C）されても、書き出し済みのファイルは残り、一時ファイルは残りません。\n");

// A text marked above, translated.
QString Tr(const char* text)
{
    return QCoreApplication::translate("zembrik-batch", text);
}

void Print(std::FILE* stream, const QString& text)
{
#if defined(_WIN32)
    // A console is written in UTF-16, whatever its code page; a pipe or a
    // file gets UTF-8, as on Linux: the ANSI code page would turn names and
    // texts outside it (Japanese on an English Windows) into '?'.
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        std::fflush(stream);
        const std::wstring wide = text.toStdWString();
        DWORD written = 0;
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    const QByteArray bytes = text.toUtf8();
#else
    // File names keep the bytes they came with, UTF-8 or not.
    const QByteArray bytes = base::ToFsName(text).value_or(text.toUtf8());
#endif
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

// Standard output that could not be written (a full disk, a closed pipe
// reader that ignores SIGPIPE) fails the run, however well the files went.
int Ended(int status)
{
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return status;
    Print(stderr, QCoreApplication::translate("zembrik-batch", "zembrik-batch: 標準出力に書き込めません。\n"));
    return status == 0 ? 1 : status;
}

QString PixelsText(const QSize& size)
{
    return QString::number(size.width()) + QLatin1Char('x') + QString::number(size.height());
}

// -r's value: a whole or decimal number from 1 to 100 ("50", "33.3"), or
// nothing. A command line is no box being typed into: what is not such a
// number is a mistake to report, not a value to put right.
std::optional<double> RatioPercent(const QString& text)
{
    const qsizetype point = text.indexOf(QLatin1Char('.'));
    const QString digits = point < 0 ? text : QString(text).remove(point, 1);
    if (digits.isEmpty() || digits.size() > 20 ||
        !std::all_of(digits.cbegin(), digits.cend(), [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }))
        return std::nullopt;
    const double value = text.toDouble();
    if (value < 1 || value > 100)
        return std::nullopt;
    // To a tenth, as the ratio box writes it.
    return base::Val(base::NormaliseRatioText(text));
}

// The metadata too large for the JPEG, named at the end of the file's line:
// a few names, then how many more.
QString LeftOutText(const QStringList& leftOut)
{
    if (leftOut.isEmpty())
        return {};
    constexpr qsizetype Shown = 4;
    QString names = leftOut.mid(0, Shown).join(QStringLiteral(", "));
    if (leftOut.size() > Shown)
        names += QCoreApplication::translate("zembrik-batch", " ほか %n 個", nullptr, int(leftOut.size() - Shown));
    return QCoreApplication::translate("zembrik-batch", "（JPEG に収まらないため省いた撮影情報: %1）").arg(names);
}

// Lists what the checks (one per size) found and why nothing was written.
int RefuseClashes(const std::vector<batch::PlanCheck>& checks)
{
    for (const batch::PlanCheck& check : checks) {
        for (const batch::ClashLine& clash : batch::ClashLines(check)) {
            Print(stderr, QStringLiteral("zembrik-batch: ") + clash.Text + QLatin1Char('\n'));
            for (const QString& file : clash.Files)
                Print(stderr, QStringLiteral("  ") + file + QLatin1Char('\n'));
        }
    }
    Print(stderr, QCoreApplication::translate("zembrik-batch", "zembrik-batch: 何も書き込んでいません。続行するには --force を指定してください。\n"));
    return 2;
}

// The line that tells a person at a terminal how far the run is; it is
// rewritten in place, and cleared before anything else is printed.
class ProgressLine {
public:
    ProgressLine(bool on, std::FILE* stream) : on_(on), stream_(stream) {}
    void Show(int done, int total, const QString& file, qint64 ms)
    {
        if (!on_)
            return;
        QString line = QStringLiteral("\r%1/%2  ").arg(done).arg(total);
        if (!file.isEmpty())
            line += QFileInfo(file).fileName() + QStringLiteral("  ");
        Print(stream_, line + batch::DurationText(ms) + QStringLiteral("\x1b[K"));
        std::fflush(stream_);
        shown_ = true;
    }
    void Clear()
    {
        if (shown_) {
            Print(stream_, QStringLiteral("\r\x1b[K"));
            std::fflush(stream_);
            shown_ = false;
        }
    }

private:
    bool on_;
    std::FILE* stream_;
    bool shown_ = false;
};

#if !defined(_WIN32)
// Ctrl+C, a hang-up or a kill while files are in flight: the engine is
// stopped, so its temporary files are removed and what is on disk is a prefix
// of the run, and then the signal ends the process as it would have (the
// shell sees 128 + the signal). Stopping the engine is not something a signal
// handler may do, so the signals are blocked in every thread, which must
// happen before any thread exists, and one thread waits for them. What the
// libraries print to standard error about the work the stop drops (libpng's
// "Read Error" as its reads fail) is not shown: from the stop on, standard
// error leads nowhere, and the run's own lines go to a copy of it.
class Interrupts {
public:
    Interrupts()
    {
        sigemptyset(&set_);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP})
            sigaddset(&set_, signal);
        pthread_sigmask(SIG_BLOCK, &set_, nullptr);
        const int own = ::dup(STDERR_FILENO);
        if (own >= 0 && (errors_ = ::fdopen(own, "w")) != nullptr)
            std::setvbuf(errors_, nullptr, _IONBF, 0);
        else if (own >= 0)
            ::close(own);
    }
    Interrupts(const Interrupts&) = delete;
    Interrupts& operator=(const Interrupts&) = delete;
    ~Interrupts()
    {
        EndWatch();
        if (errors_)
            std::fclose(errors_);
    }

    // Where the run's own lines go once it has started.
    std::FILE* Errors() const { return errors_ ? errors_ : stderr; }

    void Watch(batch::ShrinkEngine& engine)
    {
        try {
            waiter_ = std::thread([this, &engine] {
                int signal = 0;
                sigwait(&set_, &signal);
                const std::lock_guard lock(mutex_);
                if (over_)
                    return;  // the wake-up from EndWatch, or too late to matter
                caught_ = signal;
                if (errors_)
                    Silence();
                engine.Stop();
            });
        } catch (const std::system_error&) {
            // No thread to wait with: the signals end the process as they
            // would have, and no file the run has not put in place has a name.
            pthread_sigmask(SIG_UNBLOCK, &set_, nullptr);
        }
    }

    // The signal that stopped the run, or 0.
    int EndWatch()
    {
        if (waiter_.joinable()) {
            {
                const std::lock_guard lock(mutex_);
                over_ = true;
                if (caught_ == 0)
                    pthread_kill(waiter_.native_handle(), SIGTERM);
            }
            waiter_.join();
        }
        return caught_;
    }

    // Ends the process by the signal that stopped the run, as if it had
    // never been caught.
    [[noreturn]] static void Reraise(int signal)
    {
        std::fflush(stdout);
        std::signal(signal, SIG_DFL);
        sigset_t just;
        sigemptyset(&just);
        sigaddset(&just, signal);
        pthread_sigmask(SIG_UNBLOCK, &just, nullptr);
        std::raise(signal);
        std::_Exit(128 + signal);
    }

private:
    // Standard error leads to /dev/null from here on; the process ends by
    // the signal once the engine has stopped.
    static void Silence()
    {
        std::fflush(stderr);
        const int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (nowhere >= 0) {
            ::dup2(nowhere, STDERR_FILENO);
            ::close(nowhere);
        }
    }

    std::FILE* errors_ = nullptr;
    sigset_t set_;
    std::thread waiter_;
    std::mutex mutex_;
    bool over_ = false;
    int caught_ = 0;
};
#else
// Ctrl+C, Ctrl+Break or the console closing while files are in flight: the
// engine is stopped, so its temporary files are removed and what is on disk
// is a prefix of the run. Windows calls the handler on a thread of its own,
// with nothing but the event, so the handler finds the run through a pointer
// of this file, set only while a run is watched. After Ctrl+C or Ctrl+Break
// the process ends, once the run has wound down, as the key ends it
// (STATUS_CONTROL_C_EXIT). When the console closes (or the user logs off)
// Windows ends the process as soon as the handler returns, so the handler
// waits for the run to wind down first, within the five seconds Windows gives.
class Interrupts;
std::atomic<Interrupts*> watchedRun{nullptr};

class Interrupts {
public:
    Interrupts() = default;
    Interrupts(const Interrupts&) = delete;
    Interrupts& operator=(const Interrupts&) = delete;
    ~Interrupts()
    {
        EndWatch();
        // A Ctrl+C after this must not find a run that is gone.
        SetConsoleCtrlHandler(&Interrupts::OnControl, FALSE);
        watchedRun = nullptr;
    }

    std::FILE* Errors() const { return stderr; }

    void Watch(batch::ShrinkEngine& engine)
    {
        {
            const std::lock_guard lock(mutex_);
            engine_ = &engine;
        }
        watchedRun = this;
        SetConsoleCtrlHandler(&Interrupts::OnControl, TRUE);
    }

    // The event that stopped the run (plus one), or 0.
    int EndWatch()
    {
        const std::lock_guard lock(mutex_);
        if (engine_) {
            engine_ = nullptr;
            over_ = true;
            woundDown_.notify_all();
        }
        return caught_;
    }

    [[noreturn]] static void Reraise(int)
    {
        std::fflush(stdout);
        std::fflush(stderr);
        ExitProcess(STATUS_CONTROL_C_EXIT);
    }

private:
    static BOOL WINAPI OnControl(DWORD event)
    {
        Interrupts* const self = watchedRun.load();
        if (!self)
            return FALSE;  // the default: the process ends
        std::unique_lock lock(self->mutex_);
        if (!self->engine_)
            return FALSE;  // no run in flight, or it has ended
        if (self->caught_ == 0) {
            self->caught_ = static_cast<int>(event) + 1;
            self->engine_->Stop();
        }
        if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
            self->woundDown_.wait_for(lock, std::chrono::milliseconds(4500), [self] { return self->over_; });
        return TRUE;
    }

    std::mutex mutex_;
    std::condition_variable woundDown_;
    batch::ShrinkEngine* engine_ = nullptr;
    bool over_ = false;
    int caught_ = 0;
};
#endif

int UsageError(const QString& problem)
{
    Print(stderr, QStringLiteral("zembrik-batch: ") + problem + QLatin1Char('\n'));
    Print(stderr, Tr(Usage));
    Print(stderr, QCoreApplication::translate("zembrik-batch", "詳しくは 'zembrik-batch --help' を実行してください。\n"));
    return 2;
}

}  // namespace

int main(int argc, char* argv[])
{
    Interrupts interrupts;
    // Set up before the workers that copy metadata start, kept until they end.
    const output::MetadataLibrary metadata;
#if !defined(_WIN32)
    // Past a file-size limit (ulimit -f) the write fails with EFBIG and is
    // reported as a full disk, rather than the signal killing the process
    // with its files half written.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    // No display is needed: QCoreApplication has no screen, so twips per pixel
    // is the 96-dpi value (15) whatever desktop the command runs under.
    QCoreApplication app(argc, argv);
    // The window's language: Japanese under a Japanese desktop, English
    // otherwise, unless the settings file forces one.
    QSettings store = UserSettings().Open();
    const base::Translations texts(base::UserLanguage(store));
    const QStringList args = base::CommandLine(argc, argv);

    double percent = 100;
    bool ratioGiven = false;
    output::Settings output;
    QString outputFolder;
    bool haveOutput = false;
    QStringList files;
    bool optionsDone = false;
    int threads = 0;
    bool force = false;
    bool quiet = false;
    batch::TreeOptions tree;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (optionsDone || arg == QLatin1String("-") || !arg.startsWith(QLatin1Char('-'))) {
            // Options come before the files only, as getopt reads them: a
            // file named "--force" that a * expands to stays a file.
            files.append(arg);
            optionsDone = true;
        } else if (arg == QLatin1String("--")) {
            optionsDone = true;
        } else if (arg == QLatin1String("--help")) {
            Print(stdout, Tr(Usage) + Tr(Help).arg(QCoreApplication::translate("output", output::OutputOptionsHelp) +
                                                   QCoreApplication::translate("batch", batch::TreeOptionsHelp)));
            return Ended(0);
        } else if (arg == QLatin1String("--force")) {
            force = true;
        } else if (arg == QLatin1String("--quiet")) {
            quiet = true;
        } else if (arg == QLatin1String("--version")) {
            Print(stdout, QStringLiteral("zembrik-batch (Zembrik) " ZEMBRIK_VERSION "\n"));
            return Ended(0);
        } else if (const output::OptionTaken taken = output::TakeOutputOption(args, i, output); taken.Taken) {
            if (taken.Problem)
                return UsageError(taken.Problem->Message);
        } else if (const output::OptionTaken taken = batch::TakeTreeOption(args, i, tree); taken.Taken) {
            if (taken.Problem)
                return UsageError(taken.Problem->Message);
        } else if (arg.startsWith(QLatin1String("-r")) || arg.startsWith(QLatin1String("-o")) ||
                   arg.startsWith(QLatin1String("-j"))) {
            // Both "-r 50" and "-r50", as getopt takes them.
            QString value = arg.mid(2);
            if (value.isEmpty()) {
                if (i + 1 >= args.size())
                    return UsageError(QCoreApplication::translate("zembrik-batch", "オプションには引数が必要です -- '%1'").arg(arg.at(1)));
                value = args.at(++i);
            }
            if (arg.at(1) == QLatin1Char('r')) {
                const std::optional<double> given = RatioPercent(value);
                if (!given)
                    return UsageError(QCoreApplication::translate("zembrik-batch", "-r の縮小率が正しくありません: '%1'（1〜100 の数。例: 50、33.3）").arg(value));
                percent = *given;
                ratioGiven = true;
            } else if (arg.at(1) == QLatin1Char('j')) {
                bool ok = false;
                threads = value.toInt(&ok);
                if (!ok || threads < 1)
                    return UsageError(QCoreApplication::translate("zembrik-batch", "スレッド数が正しくありません: '%1'").arg(value));
            } else {
                outputFolder = value;
                haveOutput = true;
            }
        } else {
            return UsageError(QCoreApplication::translate("zembrik-batch", "認識できないオプションです: '%1'").arg(arg));
        }
    }
    if (const std::optional<output::UsageProblem> problem = output::CheckOutputOptions(output))
        return UsageError(problem->Message);
    output = output::WithByteLimitQuality(output);
    // Which of two sizes was meant, only the one who wrote them knows.
    if (ratioGiven && output.Size == output::SizeMode::Box)
        return UsageError(QCoreApplication::translate("zembrik-batch", "-r と --max-size は同時に指定できません"));
    if (!haveOutput || outputFolder.isEmpty())
        return UsageError(QCoreApplication::translate("zembrik-batch", "出力先フォルダが指定されていません (-o OUTDIR)"));
    if (files.isEmpty())
        return UsageError(QCoreApplication::translate("zembrik-batch", "入力ファイルが指定されていません"));

    // Without this check every file would fail with the encoder's "no disk" text.
    if (files::FactsOf(base::ToFsPath(outputFolder)).Kind != files::PathKind::Folder) {
        Print(stderr, QCoreApplication::translate("zembrik-batch", "zembrik-batch: %1: 出力フォルダが見つかりません。\n")
                          .arg(QDir::toNativeSeparators(outputFolder)));
        return 1;
    }
    outputFolder = QDir::toNativeSeparators(QDir::cleanPath(outputFolder));
    const double ratio = percent / 100.0;

    // Several sizes go each into a subfolder of the output folder named for
    // it; one size, as ever, into the output folder itself.
    const QStringList sizeFolders = output::BoxFolderNames(output);
    const int sizeCount = std::max<int>(1, static_cast<int>(sizeFolders.size()));

    // Folders are walked for the pictures the window would list.
    const batch::Collection collection = batch::Collect(
        files, outputFolder, tree.Recursive ? pictures::PictureNameFilters(pictures::InstalledPictureFormats()) : QStringList(),
        tree, output, sizeFolders);
    const std::vector<batch::TreePicture>& found = collection.Pictures;
    // The pictures of each size, with its output folders; the check before
    // writing is made for each.
    std::vector<std::vector<batch::TreePicture>> sized;
    if (sizeFolders.isEmpty())
        sized.push_back(found);
    for (const QString& folder : sizeFolders)
        sized.push_back(batch::BelowSizeFolder(found, outputFolder, folder));
    const batch::NameCase nameCase = batch::FolderNameCase(outputFolder);
    std::vector<batch::PlanCheck> checks;
    for (const std::vector<batch::TreePicture>& pictures : sized)
        checks.push_back(batch::CheckCollection(pictures, nameCase, output.Suffix));
    if (!force && std::any_of(checks.begin(), checks.end(), [](const batch::PlanCheck& c) { return c.NeedsQuestion(); }))
        return RefuseClashes(checks);
    batch::PlanCheck& check = checks.front();
    // Only a walk or several sizes write below the output folder. A picture
    // whose folder cannot be made fails on its own: the engine passes it
    // over, and its line says why.
    std::vector<QString> unmade(found.size());
    if (tree.Recursive || !sizeFolders.isEmpty()) {
        for (const std::vector<batch::TreePicture>& pictures : sized) {
            const std::vector<QString> failed = batch::MakeOutputFolders(pictures);
            for (std::size_t i = 0; i < found.size(); ++i)
                if (unmade[i].isEmpty())
                    unmade[i] = failed[i];
        }
    }
    for (std::size_t k = 1; k < checks.size(); ++k)
        for (std::size_t i = 0; i < found.size(); ++i)
            check.Items[i].MoreOutputs.push_back(checks[k].Items[i].Output);
    std::vector<QString> unmadeLines(found.size());
    for (std::size_t i = 0; i < found.size(); ++i) {
        if (unmade[i].isEmpty() || check.Items[i].Skip)
            continue;
        check.Items[i].Skip = true;
        unmadeLines[i] = QStringLiteral("zembrik-batch: %1 -> %2: %3\n").arg(found[i].Shown, check.Items[i].Output, unmade[i]);
    }
    batch::Plan plan;
    plan.Items = std::move(check.Items);
    plan.Ratio = ratio;
    plan.Output = output;
    plan.Names = check.Names;
    batch::EngineOptions options;
    options.Threads = threads;
    options.Metadata = &metadata;
    options.Policy = batch::FailurePolicy::GoOn;
    batch::ShrinkEngine engine(std::move(plan), std::move(options));
    QElapsedTimer clock;
    clock.start();
    interrupts.Watch(engine);
    engine.Start();

    std::FILE* const errors = interrupts.Errors();
    ProgressLine progress(!quiet && ZEMBRIK_ISATTY(ZEMBRIK_FILENO(stderr)), errors);
    batch::RunSummary summary;
    // The progress of a run of several sizes counts each output; its summary
    // counts pictures.
    summary.AddUpToDate(collection.UpToDate);
    const int total = (static_cast<int>(found.size()) + collection.UpToDate) * sizeCount;
    int done = collection.UpToDate * sizeCount;
    // The file put in place last, as the window's progress names it; the
    // order files are put in place is not always the order given.
    QString lastWritten;
    progress.Show(done, total, lastWritten, 0);
    bool allOk = true;
    bool endedEarly = false;
    while (!engine.Finished()) {
        engine.Wait();
        for (const batch::ItemOutcome& outcome : engine.Collect()) {
            const QString& file = found.at(static_cast<std::size_t>(outcome.Index)).Shown;
            summary.Add(outcome);
            ++done;
            progress.Clear();
            if (outcome.Skipped) {
                // A later file writes the same output (it is that file's
                // line), or the output's folder could not be made.
                if (const QString& line = unmadeLines.at(static_cast<std::size_t>(outcome.Index)); !line.isEmpty()) {
                    allOk = false;
                    if (outcome.Size == 0) {  // the same line and failure for each size
                        summary.AddFailed();
                        Print(errors, line);
                    }
                }
            } else if (outcome.LoadError) {
                allOk = false;
                if (outcome.Size == 0) {  // a picture unread is unread for every size
                    summary.AddFailed();
                    Print(errors, QStringLiteral("zembrik-batch: %1: %2\n").arg(file, outcome.LoadError->Description));
                }
            } else if (outcome.SaveResult != jpeg::JpegResult::Ok) {
                allOk = false;
                summary.AddFailed();
                QString text = batch::SaveErrorText(outcome.SaveResult);
                if (text.isEmpty())
                    text = QCoreApplication::translate("zembrik-batch", "予期しないエラーが発生しました。");
                Print(errors, QStringLiteral("zembrik-batch: %1 -> %2: %3\n").arg(file, outcome.Output, text));
            } else {
                Print(stdout, QStringLiteral("%1 %2 -> %3 %4%5\n")
                                  .arg(file, PixelsText(outcome.SourceSize), outcome.Output, PixelsText(outcome.TargetSize),
                                       LeftOutText(outcome.MetadataLeftOut)));
                lastWritten = file;
            }
            std::fflush(stdout);
            endedEarly = endedEarly || outcome.EndsRun;
            if (done < total && !endedEarly)
                progress.Show(done, total, lastWritten, clock.elapsed());
        }
    }
    progress.Clear();
    if (const int signal = interrupts.EndWatch())
        Interrupts::Reraise(signal);
    // The failure above is what every later file would meet: said once.
    if (endedEarly && done < total)
        Print(errors, QCoreApplication::translate("zembrik-batch", "zembrik-batch: 残りの %n 個のファイルは処理していません。\n", nullptr, total - done));
    if (!quiet)
        Print(errors, summary.Text(clock.elapsed()) + QLatin1Char('\n'));
    return Ended(allOk ? 0 : 1);
}
