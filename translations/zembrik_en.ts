<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>AboutDialog</name>
    <message>
        <source>指定したフォルダ内の JPEG・HEIC（HEIF）・AVIF・PNG・WebP・TIFF・BMP・GIF 画像を、一括でサイズ変更し、JPEG 形式で保存します。</source>
        <translation>Resizes the JPEG, HEIC (HEIF), AVIF, PNG, WebP, TIFF, BMP and GIF pictures of a folder in one go and saves them as JPEG files.</translation>
    </message>
    <message>
        <source>デジカメで撮った画像を、ホームページに掲載する目的でファイルサイズを小さくする場合などにご利用ください。</source>
        <translation>Use it, for instance, to make photos from a digital camera smaller before putting them on a web page.</translation>
    </message>
    <message>
        <source>本ソフトウェアは無保証で提供されます。
ご使用によって生じたいかなる損害にも、
作者は一切の責任を負いません。</source>
        <translation>This software comes with no warranty.
The author accepts no liability for any
damage that its use may cause.</translation>
    </message>
    <message>
        <source>%1&#x3000;のバージョン情報</source>
        <translation>About %1</translation>
    </message>
</context>
<context>
    <name>FileListBox</name>
    <message>
        <source>パスが見つかりません。</source>
        <translation>Path not found.</translation>
    </message>
    <message>
        <source>パスにアクセスできません。</source>
        <translation>Cannot access the path.</translation>
    </message>
</context>
<context>
    <name>FolderListBox</name>
    <message>
        <source>パスが見つかりません。</source>
        <translation>Path not found.</translation>
    </message>
</context>
<context>
    <name>HelpViewer</name>
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
    <name>MainWindow</name>
    <message>
        <source>ファイル(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>サイズ変更(&amp;R)...</source>
        <translation>&amp;Resize...</translation>
    </message>
    <message>
        <source>終了(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>表示(&amp;V)</source>
        <translation>&amp;View</translation>
    </message>
    <message>
        <source>選択反転(&amp;R)</source>
        <translation>&amp;Invert Selection</translation>
    </message>
    <message>
        <source>すべて選択(&amp;A)</source>
        <translation>Select &amp;All</translation>
    </message>
    <message>
        <source>ツール(&amp;T)</source>
        <translation>&amp;Tools</translation>
    </message>
    <message>
        <source>画像を表示(&amp;V)...</source>
        <translation>&amp;View Pictures...</translation>
    </message>
    <message>
        <source>画像を閉じる(&amp;C)</source>
        <translation>&amp;Close Pictures</translation>
    </message>
    <message>
        <source>画像情報(&amp;O)...</source>
        <translation>Picture &amp;Information...</translation>
    </message>
    <message>
        <source>出力の設定(&amp;S)...</source>
        <translation>Output &amp;Settings...</translation>
    </message>
    <message>
        <source>ヘルプ(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>ヘルプ(&amp;H)...</source>
        <translation>&amp;Help Contents...</translation>
    </message>
    <message>
        <source>トピックの検索(&amp;C)...</source>
        <translation>&amp;Search Help...</translation>
    </message>
    <message>
        <source>バージョン(&amp;A)...</source>
        <translation>&amp;About Zembrik...</translation>
    </message>
    <message>
        <source>サイズ変更</source>
        <translation>Resize</translation>
    </message>
    <message>
        <source>画像を表示</source>
        <translation>View Pictures</translation>
    </message>
    <message>
        <source>画像を閉じる</source>
        <translation>Close Pictures</translation>
    </message>
    <message>
        <source>画像情報</source>
        <translation>Picture Information</translation>
    </message>
    <message>
        <source>パスが見つかりません。</source>
        <translation>Path not found.</translation>
    </message>
    <message>
        <source>縮小率</source>
        <translation>Reduction ratio</translation>
    </message>
    <message numerus="yes">
        <source>%n 個のオブジェクトを選択</source>
        <translation>
            <numerusform>%n item selected</numerusform>
            <numerusform>%n items selected</numerusform>
        </translation>
    </message>
    <message>
        <source>フォルダをサブフォルダごと縮小(&amp;T)...</source>
        <translation>Shrink Folder and &amp;Subfolders...</translation>
    </message>
</context>
<context>
    <name>MessageBoxes</name>
    <message>
        <source>この画像をスキップして、残りの画像を続けますか？</source>
        <translation>Skip this picture and go on with the rest?</translation>
    </message>
    <message>
        <source>はい(&amp;Y)</source>
        <translation>&amp;Yes</translation>
    </message>
    <message>
        <source>いいえ(&amp;N)</source>
        <translation>&amp;No</translation>
    </message>
    <message>
        <source>スキップ(&amp;S)</source>
        <translation>&amp;Skip</translation>
    </message>
    <message>
        <source>中止(&amp;C)</source>
        <translation>S&amp;top</translation>
    </message>
    <message>
        <source>エラー</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>情報</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>質問</source>
        <translation>Question</translation>
    </message>
</context>
<context>
    <name>OutputSettingsDialog</name>
    <message>
        <source>出力の設定</source>
        <translation>Output Settings</translation>
    </message>
    <message>
        <source>大きさ</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>ツールバーの縮小率</source>
        <translation>Reduction ratio on the toolbar</translation>
    </message>
    <message>
        <source>幅</source>
        <translation>Width</translation>
    </message>
    <message>
        <source>幅 W × 高さ H ピクセル以内</source>
        <translation>Within width W × height H pixels</translation>
    </message>
    <message>
        <source>定型サイズ：</source>
        <translation>Preset:</translation>
    </message>
    <message>
        <source>× 高さ</source>
        <translation>× height</translation>
    </message>
    <message>
        <source>ピクセル以内</source>
        <translation>pixels at most</translation>
    </message>
    <message>
        <source>JPEG の品質：</source>
        <translation>JPEG quality:</translation>
    </message>
    <message>
        <source>撮影情報 (Exif・XMP) を残す</source>
        <translation>Keep the photo metadata (Exif, XMP)</translation>
    </message>
    <message>
        <source>位置情報 (GPS) も残す</source>
        <translation>Keep the GPS position too</translation>
    </message>
    <message>
        <source>元の画像の更新日時を付ける</source>
        <translation>Keep the original&apos;s modification time</translation>
    </message>
    <message>
        <source>例：_small</source>
        <translation>e.g. _small</translation>
    </message>
    <message>
        <source>ファイル名の末尾に付ける文字：</source>
        <translation>Added to the file name:</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>出力が最新の画像は飛ばす</source>
        <translation>Skip pictures whose output is up to date</translation>
    </message>
    <message>
        <source>ほかの大きさ：</source>
        <translation>Other sizes:</translation>
    </message>
    <message>
        <source>例：1280x960</source>
        <translation>e.g. 1280x960</translation>
    </message>
    <message>
        <source>なし</source>
        <translation>None</translation>
    </message>
    <message>
        <source>ファイルの上限：</source>
        <translation>File size limit:</translation>
    </message>
    <message>
        <source>大きさ（%1）が正しくありません。幅x高さで、各辺 %2〜%3 ピクセルの数を入力してください。</source>
        <translation>The size (%1) is not valid. Enter it as WxH, each side %2 to %3 pixels.</translation>
    </message>
</context>
<context>
    <name>PictureInfoDialog</name>
    <message>
        <source>画像情報</source>
        <translation>Picture Information</translation>
    </message>
    <message>
        <source>ファイル名：</source>
        <translation>File name:</translation>
    </message>
    <message>
        <source>幅：</source>
        <translation>Width:</translation>
    </message>
    <message>
        <source>ピクセル</source>
        <translation>pixels</translation>
    </message>
    <message>
        <source>高さ：</source>
        <translation>Height:</translation>
    </message>
</context>
<context>
    <name>ProgressWindow</name>
    <message>
        <source>サイズを変更しています...</source>
        <translation>Resizing...</translation>
    </message>
    <message>
        <source>サイズ変更中...</source>
        <translation>Resizing pictures...</translation>
    </message>
    <message>
        <source>中止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>経過 %1</source>
        <translation>Elapsed %1</translation>
    </message>
    <message>
        <source>応答待ち</source>
        <translation>Awaiting answer</translation>
    </message>
    <message>
        <source>残り %1</source>
        <translation>%1 left</translation>
    </message>
</context>
<context>
    <name>batch</name>
    <message>
        <source>--shard の指定が正しくありません: &apos;%1&apos;（K/N、1 ≤ K ≤ N。例: 2/8）</source>
        <translation>invalid value for --shard: &apos;%1&apos; (K/N with 1 ≤ K ≤ N, such as 2/8)</translation>
    </message>
    <message>
        <source>出力先のフォルダ %1 を作成できません（%2）。</source>
        <translation>Cannot create the output folder %1 (%2).</translation>
    </message>
    <message>
        <source>メモリが足りません。</source>
        <translation>Not enough memory.</translation>
    </message>
    <message numerus="yes">
        <source>元の画像 %n 個が縮小した画像で置き換えられます。</source>
        <translation>
            <numerusform>%n original picture will be replaced by its shrunk copy.</numerusform>
            <numerusform>%n original pictures will be replaced by their shrunk copies.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>同じ名前になる画像が %n 個あります。リストで後の画像だけが保存されます。</source>
        <translation>
            <numerusform>%n picture gets the same output name as another. Only the later picture in the list is saved.</numerusform>
            <numerusform>%n pictures get the same output name as another. Only the later picture in the list is saved.</numerusform>
        </translation>
    </message>
    <message>
        <source>続行しますか？</source>
        <translation>Do you want to continue?</translation>
    </message>
    <message>
        <source>ファイルが選択されていません。</source>
        <translation>No file is selected.</translation>
    </message>
    <message>
        <source>幅 %1 × 高さ %2 ピクセル以内で縮小を開始します。</source>
        <translation>Start shrinking to fit within %1 × %2 pixels?</translation>
    </message>
    <message>
        <source>縮小率 %1 で縮小を開始します。</source>
        <translation>Start shrinking at a reduction ratio of %1?</translation>
    </message>
    <message>
        <source>縮小した画像を出力するフォルダを選択してください。</source>
        <translation>Choose the folder for the shrunk pictures.</translation>
    </message>
    <message>
        <source>サイズの変換が終了しました。</source>
        <translation>Resizing is complete.</translation>
    </message>
    <message>
        <source>中止しました。</source>
        <translation>Resizing was stopped.</translation>
    </message>
    <message>
        <source>サイズの変換を途中で終了しました。</source>
        <translation>Resizing ended before the last picture.</translation>
    </message>
    <message>
        <source>ディスク容量が足りません。</source>
        <translation>Not enough disk space.</translation>
    </message>
    <message>
        <source>書き込み出来ません。</source>
        <translation>Cannot write: permission denied.</translation>
    </message>
    <message>
        <source>ディスクがセットされていません。</source>
        <translation>The disk or folder is not available.</translation>
    </message>
    <message>
        <source>ファイル名が不正です。</source>
        <translation>Invalid file name.</translation>
    </message>
    <message>
        <source>対象となる画像が大きすぎて、保存が出来ません。</source>
        <translation>The picture is too large to be saved.</translation>
    </message>
    <message>
        <source>予期しないエラーが発生しました。</source>
        <translation>An unexpected error occurred.</translation>
    </message>
    <message>
        <source>同じ名前のフォルダがあるため、保存が出来ません。</source>
        <translation>Cannot save: a folder of the same name is in the way.</translation>
    </message>
    <message>
        <source>書き込んだファイルを出力先フォルダに移せません。出力先フォルダが途中で別のドライブに変わりました。</source>
        <translation>Cannot move the written file into the output folder: the folder is now on another drive.</translation>
    </message>
    <message numerus="yes">
        <source>%n 個の画像：%1 → %2（%3）</source>
        <translation>
            <numerusform>%n picture: %1 → %2 (%3)</numerusform>
            <numerusform>%n pictures: %1 → %2 (%3)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>（%n 個は最新）</source>
        <translation>
            <numerusform> (%n up to date)</numerusform>
            <numerusform> (%n up to date)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>（%n 個は失敗）</source>
        <translation>
            <numerusform> (%n failed)</numerusform>
            <numerusform> (%n failed)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n バイト</source>
        <translation>
            <numerusform>%n byte</numerusform>
            <numerusform>%n bytes</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 秒</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1 分 %2 秒</source>
        <translation>%1 min %2 s</translation>
    </message>
    <message>
        <source>%1 時間 %2 分</source>
        <translation>%1 h %2 min</translation>
    </message>
    <message>
        <source>約 %1 秒</source>
        <translation>about %1 s</translation>
    </message>
    <message>
        <source>約 %1 分</source>
        <translation>about %1 min</translation>
    </message>
    <message>
        <source>約 %1 時間 %2 分</source>
        <translation>about %1 h %2 min</translation>
    </message>
    <message>
        <source>  -R, --recursive  FILE にフォルダも指定できます。フォルダはサブフォルダも
               含めて名前の順にたどり、ウィンドウが一覧に出す画像を縮小し
               ます（隠しファイル・隠しフォルダ、フォルダへのシンボリック
               リンク、OUTDIR は除きます）。出力は OUTDIR の下に同じ
               フォルダの並びで書き、フォルダは必要に応じて作ります
  --update     出力があり、元の画像より古くなければ、その画像は読まずに
               最新として数えます（--keep-date の出力も最新です）
  --shard K/N  画像を N 個に分けたうちの K 番目だけを縮小します。分け方は
               フォルダの下のパス（拡張子を除く）だけで決まるため、同じ
               指定の N 個の実行で、1 回の実行と同じファイルを重ならずに
               書きます
</source>
        <translation>  -R, --recursive  a FILE may be a folder: it is walked with its
               subfolders in name order for the pictures the window lists
               (hidden files and folders, links to folders and OUTDIR left
               out), and each is written below OUTDIR in the same folders,
               made as needed
  --update     leave a picture unread when its output exists and is not
               older than it, and count it as up to date (an output of
               --keep-date is up to date)
  --shard K/N  shrink only part K of N; the parts go by the path below the
               folder (without extension) alone, so N runs with the same
               options write what one run would, none writing what another
               does
</translation>
    </message>
    <message>
        <source>品質 1 でも %1 バイトに収まらないため、書き出していません。</source>
        <translation>Not written: it does not fit in %1 bytes even at quality 1.</translation>
    </message>
    <message>
        <source>このフォルダとサブフォルダには画像がありません。</source>
        <translation>This folder and its subfolders hold no pictures.</translation>
    </message>
    <message numerus="yes">
        <source>%n 個のフォルダ</source>
        <translation>
            <numerusform>%n folder</numerusform>
            <numerusform>%n folders</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n 個の画像</source>
        <translation>
            <numerusform>%n picture</numerusform>
            <numerusform>%n pictures</numerusform>
        </translation>
    </message>
    <message>
        <source>%1にある %2を、幅 %3 × 高さ %4 ピクセル以内で縮小します。</source>
        <translation>Shrink %2 in %1 to fit within %3 × %4 pixels?</translation>
    </message>
    <message>
        <source>%1にある %2を、縮小率 %3 で縮小します。</source>
        <translation>Shrink %2 in %1 at a reduction ratio of %3?</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>幅 × 高さ %1 ピクセル以内の各大きさで縮小を開始します。</source>
        <translation>Start shrinking to fit within each of %1 pixels?</translation>
    </message>
    <message>
        <source>%1にある %2を、幅 × 高さ %3 ピクセル以内の各大きさで縮小します。</source>
        <translation>Shrink %2 in %1 to fit within each of %3 pixels?</translation>
    </message>
</context>
<context>
    <name>dialogs</name>
    <message>
        <source>一度に表示可能な画像は %1 までです。</source>
        <translation>No more than %1 pictures can be shown at once.</translation>
    </message>
</context>
<context>
    <name>mainwin::drives</name>
    <message>
        <source>デバイスの準備ができていません。</source>
        <translation>The device is not ready.</translation>
    </message>
    <message>
        <source>パスにアクセスできません。</source>
        <translation>Cannot access the path.</translation>
    </message>
</context>
<context>
    <name>mainwin::openwith</name>
    <message numerus="yes">
        <source>ほか %n 個</source>
        <translation>
            <numerusform>and %n more</numerusform>
            <numerusform>and %n more</numerusform>
        </translation>
    </message>
    <message>
        <source>指定されたファイルを開けません。</source>
        <translation>Cannot open the given files.</translation>
    </message>
</context>
<context>
    <name>output</name>
    <message>
        <source>オプション &apos;%1&apos; には引数を付けられません</source>
        <translation>option &apos;%1&apos; doesn&apos;t allow an argument</translation>
    </message>
    <message>
        <source>オプション &apos;%1&apos; には引数が必要です</source>
        <translation>option &apos;%1&apos; requires an argument</translation>
    </message>
    <message>
        <source>元の画像の撮影情報を読み込めません。</source>
        <translation>Cannot read the original picture&apos;s metadata.</translation>
    </message>
    <message>
        <source>撮影情報を書き込めません。</source>
        <translation>Cannot write the metadata.</translation>
    </message>
    <message>
        <source>16 MB を超える PNG のテキスト</source>
        <translation>PNG text past 16 MB</translation>
    </message>
    <message>
        <source>拡張 XMP</source>
        <translation>extended XMP</translation>
    </message>
    <message>
        <source>元の画像の更新日時を付けられません。</source>
        <translation>Cannot give the output the original picture&apos;s modification time.</translation>
    </message>
    <message>
        <source>大きさが正しくありません: &apos;%1&apos;（幅x高さ、各辺 1〜65500。例: 1920x1080）</source>
        <translation>invalid size &apos;%1&apos; (WxH, each side 1 to 65500, such as 1920x1080)</translation>
    </message>
    <message>
        <source>品質が正しくありません: &apos;%1&apos;（1〜100）</source>
        <translation>invalid quality &apos;%1&apos; (1 to 100)</translation>
    </message>
    <message>
        <source>末尾に付ける文字が正しくありません: ファイル名に &apos;%1&apos; は使えません</source>
        <translation>invalid suffix: a file name cannot hold &apos;%1&apos;</translation>
    </message>
    <message>
        <source>--keep-gps には --keep-metadata が必要です</source>
        <translation>--keep-gps needs --keep-metadata</translation>
    </message>
    <message>
        <source>幅 %1 × 高さ %2 ピクセル以内</source>
        <translation>Within %1 × %2 pixels</translation>
    </message>
    <message>
        <source>ファイル名に使えない文字（%1）が含まれています。</source>
        <translation>It holds characters a file name cannot have (%1).</translation>
    </message>
    <message>
        <source>  --max-size WxH  幅 W × 高さ H ピクセル（各辺 1〜65500）に収まるように
               縮小します。縦横比はそのまま、拡大はしません。8 個まで
               繰り返せます。そのときは各画像を 1 度だけ読んで、大きさ
               ごとに OUTDIR/WxH/ の下へ書き出します（フォルダは必要に
               応じて作ります）
  --quality Q  JPEG の品質（libjpeg と同じ 1〜100。省略時は 50）
  --max-bytes N  各出力を N バイト（500K、2M のように K = 1024、
               M = 1024×1024 も使えます）以内にします。品質は 1 から
               --quality（省略時は 90）までで収まる最も高いものです。
               品質 1 でも収まらない画像は失敗とし、書き出しません
  --keep-metadata  元の画像の撮影情報（Exif・XMP・IPTC）を残します。向きは
               正立、大きさは出力のものにし、サムネイルと位置情報は除き
               ます。撮影情報を読み込めない画像は失敗とします。JPEG に
               収まらない撮影情報（セグメント 1 つを超える Exif、パケット
               1 つを超える XMP）は、大きいものから省いて収まる分を残し、
               省いたものをその画像の行に書きます。どの形式の画像でも同じ
               です。カラープロファイルは撮影情報ではないため、画像を
               読み込めるかどうかはこのオプションで変わりません
  --keep-gps   位置情報（GPS）も残します（--keep-metadata と共に）
  --keep-date  出力の更新日時を元の画像のものにします
  --suffix TEXT  出力のベース名の末尾に TEXT を付けます
               （IMG_0012.JPG から IMG_0012_small.jpg）
</source>
        <translation>  --max-size WxH  fit each picture inside W x H pixels (1 to 65500 each),
               aspect kept, never enlarged. Up to 8 may be given: each
               picture is then read once and written at every size, each
               size below OUTDIR/WxH/ (folders made as needed)
  --quality Q  JPEG quality, 1 to 100 as libjpeg counts it (default 50)
  --max-bytes N  keep each output within N bytes (K = 1024 and
               M = 1024x1024 as in 500K, 2M): the highest quality from 1
               up to --quality (default 90) that fits. A picture that
               does not fit even at quality 1 fails and is not written
  --keep-metadata  copy the source&apos;s Exif, XMP and IPTC: upright, with the
               new pixel size, without thumbnail and GPS position; a
               picture whose metadata cannot be read fails. Metadata too
               large for a JPEG (Exif over one segment, XMP over one
               packet) keeps what fits, the largest left out first, and
               the picture&apos;s line names what was left out; the same for
               every kind of picture. The colour profile is no metadata:
               whether a picture can be read does not depend on this option
  --keep-gps   keep the GPS position too (with --keep-metadata)
  --keep-date  give each output the source&apos;s modification time
  --suffix TEXT  add TEXT to each output&apos;s base name
               (IMG_0012.JPG gives IMG_0012_small.jpg)
</translation>
    </message>
    <message>
        <source>--max-size は %1 個まで指定できます</source>
        <translation>--max-size can be given at most %1 times</translation>
    </message>
    <message>
        <source>ファイルの大きさの上限が正しくありません: &apos;%1&apos;（バイト数。K、M も使えます。例: 500K）</source>
        <translation>invalid byte limit &apos;%1&apos; (a number of bytes, or with K or M, such as 500K)</translation>
    </message>
</context>
<context>
    <name>pictures</name>
    <message>
        <source>ファイルが見つかりません。</source>
        <translation>File not found.</translation>
    </message>
    <message>
        <source>画像ファイルを開けません。</source>
        <translation>Cannot open the picture file.</translation>
    </message>
    <message>
        <source>画像ではなくフォルダです。</source>
        <translation>Is a folder, not a picture.</translation>
    </message>
    <message>
        <source>ファイル名を読み取れません。</source>
        <translation>Cannot read the file name.</translation>
    </message>
    <message>
        <source>画像ファイルを読み込めません。</source>
        <translation>Cannot read the picture file.</translation>
    </message>
    <message>
        <source>画像が大きすぎて読み込めません。</source>
        <translation>The picture is too large to read.</translation>
    </message>
    <message>
        <source>メモリが足りません。</source>
        <translation>Not enough memory.</translation>
    </message>
    <message>
        <source>画像が大きすぎて扱えません。</source>
        <translation>The picture is too large to handle.</translation>
    </message>
</context>
<context>
    <name>shell</name>
    <message>
        <source>場所:</source>
        <translation>Look in:</translation>
    </message>
    <message>
        <source>フォルダ名:</source>
        <translation>Folder name:</translation>
    </message>
    <message>
        <source>種類:</source>
        <translation>Files of type:</translation>
    </message>
    <message>
        <source>選択</source>
        <translation>&amp;Choose</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
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
    <message>
        <source>使い方: zembrik-batch [-r PERCENT | --max-size WxH] [--quality Q] [--keep-metadata [--keep-gps]]
         [--keep-date] [--suffix TEXT] [-j THREADS] [--force] [--quiet] -o OUTDIR FILE...
</source>
        <translation>Usage: zembrik-batch [-r PERCENT | --max-size WxH] [--quality Q] [--keep-metadata [--keep-gps]]
         [--keep-date] [--suffix TEXT] [-j THREADS] [--force] [--quiet] -o OUTDIR FILE...
</translation>
    </message>
    <message>
        <source>-r と --max-size は同時に指定できません</source>
        <translation>-r and --max-size cannot be given together</translation>
    </message>
    <message>
        <source>JPEG・HEIC（HEIF）・AVIF・PNG・WebP・TIFF・BMP・GIF 画像（種類はファイルの中身で
判断します）を縮小し、それぞれを OUTDIR/&lt;ベース名&gt;.jpg（ベースライン JPEG）
として保存します（--suffix ではベース名の後にその文字が付きます）。同じ名前の
ファイルは置き換えます。

  -r PERCENT   縮小率（パーセント、1〜100 の整数か小数。小数第 1 位までを
               使います。省略時は 100: 元の大きさのまま）。--max-size とは
               同時に指定できません
  -o OUTDIR    出力先フォルダ（あらかじめあること）
%1  -j THREADS   同時に縮小する画像の数（省略時はプロセッサのコア数。ただし、
               合わせてメモリの半分を超えそうなときは少なくします）。
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
その大きさ）を表示します（ただし、前のファイルの出力で置き換えられるファイル
は、置き換えられる前に読むため、その前に来ます）。失敗したファイルはエラー
出力に報告して続けます。ただし出力先フォルダがなくなったか書き込めなくなった
ときは、そこで止まり、そのことを 1 度だけ表示します。各ファイルは名前なしで
（または一時的な名前で）書き、書き終えたときに、その順に置きます。書き込む前に
ファイルを調べ、--force がなければ、指定したファイルを置き換える出力や、複数の
ファイルが同じ名前になる出力を一覧にして、何も書き込みません。
端末では、エラー出力に進行状況の行（済んだ数/全体、最後に書き出したファイル、
時間）が表示され、最後にまとめ（画像の数、縮小前と縮小後の大きさ、時間、
失敗した数）が表示されます。
終了コード: 0 すべて書き出した、1 失敗したファイルがあったか標準出力に書き込め
なかった、2 指定が正しくないか、--force なしで置き換えなどを断った。
中断（Ctrl+C）されても、書き出し済みのファイルは残り、一時ファイルは残りません。
</source>
        <translation>Shrinks JPEG, HEIC (HEIF), AVIF, PNG, WebP, TIFF, BMP and GIF pictures (the
kind told by the file&apos;s content) and writes each as OUTDIR/&lt;base name&gt;.jpg
(baseline JPEG; with --suffix, the text follows the base name), replacing a
file of that name.

  -r PERCENT   reduction ratio in percent, a whole or decimal number from 1
               to 100, used to a tenth (default 100: same size); not with
               --max-size
  -o OUTDIR    output folder (must exist)
%1  -j THREADS   pictures shrunk at once (default: one per processor core;
               fewer while together they would need more than half the
               memory); the files written are the same whatever the number
  --force      go on when an output would replace one of the given files,
               or when several given files would write the same output:
               the originals are replaced, the last file of a name wins
  --quiet      no progress line and no summary on standard error
  --help       show this help and exit
  --version    show the version and exit

Options are read only before the first FILE, as getopt reads them: a later
argument that starts with &apos;-&apos; (a file named --force that * expands to) is a
file name. &apos;--&apos; ends the options too.

Prints one line per written file, in the order given (except that a file an
earlier file&apos;s output replaces comes before that file: it is read before it
is replaced): source, its size, output, its size. A file that fails is
reported on standard error and the run goes on, unless the output folder is
gone or cannot be written: then the run stops there and says so once. Each
file is written unnamed (or under a temporary name) and put in place only
when complete, in that order. Before anything is written, the files are
checked: without --force, outputs that would replace given files or that
several given files share are listed and nothing is written.
On a terminal a progress line (done/total, the file written last, time) shows
on standard error, and a summary (pictures, size before and after, time, files
that failed) ends the run.
Exit status: 0 all files written, 1 a file failed or standard output could
not be written, 2 bad usage or a clash refused without --force.
Interrupted (Ctrl+C), it keeps the files already written and leaves no
temporary file.
</translation>
    </message>
    <message>
        <source>-r の縮小率が正しくありません: &apos;%1&apos;（1〜100 の数。例: 50、33.3）</source>
        <translation>invalid ratio for -r: &apos;%1&apos; (a number from 1 to 100, such as 50 or 33.3)</translation>
    </message>
    <message>
        <source>（JPEG に収まらないため省いた撮影情報: %1）</source>
        <translation> (metadata too large for a JPEG, left out: %1)</translation>
    </message>
    <message numerus="yes">
        <source> ほか %n 個</source>
        <translation>
            <numerusform> and %n more</numerusform>
            <numerusform> and %n more</numerusform>
        </translation>
    </message>
</context>
</TS>
