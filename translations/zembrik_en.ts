<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>basMain</name>
    <message>
        <source>ファイルが見つかりません。</source>
        <translation>File not found.</translation>
    </message>
    <message>
        <source>画像ファイルを開けません。</source>
        <translation>Cannot open the picture file.</translation>
    </message>
    <message>
        <source>ファイル名を読み取れません。</source>
        <translation>Cannot read the file name.</translation>
    </message>
</context>
<context>
    <name>frmHelp</name>
    <message>
        <source>%1 ヘルプ</source>
        <translation>%1 Help</translation>
    </message>
    <message>
        <source>目次</source>
        <translation>Contents</translation>
    </message>
    <message>
        <source>探したい語を入力してください(&amp;K):</source>
        <translation>&amp;Type the word you are looking for:</translation>
    </message>
    <message>
        <source>表示(&amp;D)</source>
        <translation>&amp;Display</translation>
    </message>
    <message>
        <source>キーワード</source>
        <translation>Keywords</translation>
    </message>
    <message>
        <source>&lt;h2&gt;ヘルプ ファイルが見つかりません&lt;/h2&gt;&lt;p&gt;%1&lt;/p&gt;</source>
        <translation>&lt;h2&gt;Help file not found&lt;/h2&gt;&lt;p&gt;%1&lt;/p&gt;</translation>
    </message>
</context>
<context>
    <name>zembrik</name>
    <message>
        <source>写真をまとめて縮小します。</source>
        <translation>Shrinks photographs in bulk.</translation>
    </message>
    <message>
        <source>開くフォルダ、またはそのフォルダで選択する画像。</source>
        <translation>A folder to open, or pictures to select in their folder.</translation>
    </message>
    <message>
        <source>[フォルダ | ファイル...]</source>
        <translation>[FOLDER | FILE...]</translation>
    </message>
</context>
<context>
    <name>zembrik-batch</name>
    <message>
        <source>使い方: zembrik-batch [-r PERCENT] [-j THREADS] [--force] [--quiet] -o OUTDIR FILE...
</source>
        <translation>Usage: zembrik-batch [-r PERCENT] [-j THREADS] [--force] [--quiet] -o OUTDIR FILE...
</translation>
    </message>
    <message>
        <source>JPEG・BMP・GIF 画像を縮小し、それぞれを OUTDIR/&lt;ベース名&gt;.jpg（ベースライン JPEG）
として保存します。同じ名前のファイルは置き換えます。

  -r PERCENT   縮小率（パーセント、1〜100。省略時は 100: 元の大きさのまま）。
               縮小率の欄と同じく読み取り、範囲外の値は範囲内に収め、
               数でない値は 100 とします
  -o OUTDIR    出力先フォルダ（あらかじめあること）
  -j THREADS   同時に縮小する画像の数（省略時はプロセッサのコア数）。
               いくつにしても書き出すファイルは同じです
  --force      出力が指定したファイルを置き換える場合や、複数のファイルが
               同じ出力になる場合も続けます。元の画像は置き換えられ、
               同じ名前では最後のファイルが残ります
  --quiet      エラー出力に進行状況の行とまとめを表示しません
  --help       このヘルプを表示して終了します
  --version    バージョンを表示して終了します

オプションは getopt と同じく、最初の FILE より前にだけ書けます。それより後の
&apos;-&apos; で始まる引数（* が展開した --force という名前のファイルなど）はファイル名
です。&apos;--&apos; の後もすべてファイル名です。

書き出したファイルごとに、指定した順に 1 行（元のファイル、その大きさ、出力、
その大きさ）を表示します。失敗したファイルはエラー出力に報告して続けます。
ただし出力先フォルダがなくなったか書き込めなくなったときは、そこで止まり、
そのことを 1 度だけ表示します。各ファイルは名前なしで（または一時的な名前で）
書き、書き終えたときに、指定した順に置きます。書き込む前にファイルを調べ、
--force がなければ、指定したファイルを置き換える出力や、複数のファイルが
同じ名前になる出力を一覧にして、何も書き込みません。
端末では、エラー出力に進行状況の行（済んだ数/全体、ファイル、時間）が表示され、
最後にまとめ（画像の数、縮小前と縮小後の大きさ、時間）が表示されます。
終了コード: 0 すべて書き出した、1 失敗したファイルがあったか標準出力に書き込め
なかった、2 指定が正しくないか、--force なしで置き換えなどを断った。
中断（Ctrl+C）されても、書き出し済みのファイルは残り、一時ファイルは残りません。
</source>
        <translation>Shrinks JPEG, BMP and GIF pictures and writes each as OUTDIR/&lt;base name&gt;.jpg
(baseline JPEG), replacing a file of that name.

  -r PERCENT   reduction ratio in percent, 1 to 100 (default 100: same size);
               read like the ratio box: a value outside is clamped, a text
               that is not a number counts as 100
  -o OUTDIR    output folder (must exist)
  -j THREADS   pictures shrunk at once (default: one per processor core);
               the files written are the same whatever the number
  --force      go on when an output would replace one of the given files,
               or when several given files would write the same output:
               the originals are replaced, the last file of a name wins
  --quiet      no progress line and no summary on standard error
  --help       show this help and exit
  --version    show the version and exit

Options are read only before the first FILE, as getopt reads them: a later
argument that starts with &apos;-&apos; (a file named --force that * expands to) is a
file name. &apos;--&apos; ends the options too.

Prints one line per written file, in the order given: source, its size,
output, its size. A file that fails is reported on standard error and the
run goes on, unless the output folder is gone or cannot be written: then
the run stops there and says so once. Each file is written unnamed (or
under a temporary name) and put in place only when complete, in the order
given. Before anything is written, the files are checked: without --force,
outputs that would replace given files or that several given files share
are listed and nothing is written.
On a terminal a progress line (done/total, file, time) shows on standard
error, and a summary (pictures, size before and after, time) ends the run.
Exit status: 0 all files written, 1 a file failed or standard output could
not be written, 2 bad usage or a clash refused without --force.
Interrupted (Ctrl+C), it keeps the files already written and leaves no
temporary file.
</translation>
    </message>
    <message>
        <source>zembrik-batch: 標準出力に書き込めません。
</source>
        <translation>zembrik-batch: cannot write to standard output.
</translation>
    </message>
    <message>
        <source>zembrik-batch: 何も書き込んでいません。続行するには --force を指定してください。
</source>
        <translation>zembrik-batch: nothing was written; give --force to go on.
</translation>
    </message>
    <message>
        <source>詳しくは &apos;zembrik-batch --help&apos; を実行してください。
</source>
        <translation>Try &apos;zembrik-batch --help&apos; for more information.
</translation>
    </message>
    <message>
        <source>オプションには引数が必要です -- &apos;%1&apos;</source>
        <translation>option requires an argument -- &apos;%1&apos;</translation>
    </message>
    <message>
        <source>スレッド数が正しくありません: &apos;%1&apos;</source>
        <translation>invalid number of threads &apos;%1&apos;</translation>
    </message>
    <message>
        <source>認識できないオプションです: &apos;%1&apos;</source>
        <translation>unrecognized option &apos;%1&apos;</translation>
    </message>
    <message>
        <source>出力先フォルダが指定されていません (-o OUTDIR)</source>
        <translation>missing output folder (-o OUTDIR)</translation>
    </message>
    <message>
        <source>入力ファイルが指定されていません</source>
        <translation>no input files</translation>
    </message>
    <message>
        <source>zembrik-batch: %1: 出力フォルダが見つかりません。
</source>
        <translation>zembrik-batch: %1: output folder not found.
</translation>
    </message>
    <message>
        <source>予期しないエラーが発生しました。</source>
        <translation>An unexpected error occurred.</translation>
    </message>
    <message numerus="yes">
        <source>zembrik-batch: 残りの %n 個のファイルは処理していません。
</source>
        <translation>
            <numerusform>zembrik-batch: the remaining %n file was not processed.
</numerusform>
            <numerusform>zembrik-batch: the remaining %n files were not processed.
</numerusform>
        </translation>
    </message>
</context>
</TS>
