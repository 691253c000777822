# What VelnariL's manual pages say of it alone (man/velnari.1.in, man/velnari.ja.1.in).
set(VELNARI_OTHER_PROGRAM Velnari)
set(VELNARI_MAN_EXAMPLE "KanovelSL86 Bold")
set(VELNARI_MAN_SUMMARY_EN "rename the eight L-series Kanovel fonts in place")
set(VELNARI_MAN_SUMMARY_JA "Kanovel L シリーズの 8 つのフォントのフォント名をその場で書き換える")
set(VELNARI_MAN_ENGINE_EN [=[
VelnariL knows the exact layout of the eight fonts of the L series.
It recognises which one it has by every byte it would change, then renames
the font's seven stored copies of its name (four CP932, three UTF-16BE)
and their lengths.
A file it does not recognise, or one already renamed, is left alone;
a rename that was interrupted is completed by the next run.
Where such a file holds Kanovel names in its first 4,096 bytes, where
Velnari looks for them, VelnariL says to use Velnari if the file begins as
a font file does, and that it is no font file otherwise (a UTF-16 memo,
a ZIP, a PDF, a WOFF).
With
.B \-n
or
.B \-v
it names the font once, with the number of stored copies of its name
that a run would write or wrote ("（7 か所）");
.B \-v
lists no name when a run only completes a length or the last byte.]=])
set(VELNARI_MAN_ENGINE_JA [=[
VelnariL は L シリーズの 8 つのフォントの配置を正確に知っています。
書き換えるはずのすべてのバイトでどのフォントかを見分け、
フォントに 7 か所ある名前（CP932 で 4 か所、\:UTF-16BE で 3 か所）と
その長さを書き換えます。
見分けられないファイルや変更済みのファイルはそのまま残します。
途中で止まった変更は次の実行で完了します。
そのようなファイルの先頭 4,096 バイトに\:（Velnari が探す場所に）\:Kanovel の名前があるときは、
ファイルの先頭がフォントの形式なら Velnari を使うように表示し、
そうでなければ\:（UTF-16 のメモ、\:ZIP、\:PDF、\:WOFF など）\:フォントファイルではないと表示します。
.B \-n
や
.B \-v
では、\:フォントの名前を 1\ 回だけ、\:書き換える（または書き換えた）\:箇所の数と一緒に、
「（7\ か所）」のように表示します。
長さや最後のバイトだけを書き換えて完了した実行では、\:
.B \-v
は名前を表示しません。]=])
set(VELNARI_MAN_MESSAGES_EN [=[
.TP
L シリーズではない Kanovel のフォントのようです。...
After "not recognised": a font file with Kanovel names in its first
4,096 bytes, where Velnari looks for them; use Velnari for this font.
.TP
TrueType や OpenType のフォントファイルではないため、...
After "not recognised": the file holds Kanovel names where Velnari looks
for them, but does not begin as a font file does (a text, an archive),
so it is no font at all.
.TP
フォント名は変更していません。ファイルは元のままです。
After "finished", in a revert: the font's names are already the Latin
ones, so no name was changed; the file is as it was.
]=])
set(VELNARI_MAN_MESSAGES_JA [=[
.TP
L シリーズではない Kanovel のフォントのようです。...
「フォントファイルが不正か、\:既に…」の後に：
先頭の 4,096 バイトに Kanovel の名前がある、\:フォントファイルです。\:このフォントには Velnari を使ってください。
.TP
TrueType や OpenType のフォントファイルではないため、何も変更していません。
「フォントファイルが不正か、\:既に…」の後に：
Velnari が探す場所に Kanovel の名前がありますが、
ファイルの先頭がフォントの形式ではない\:（テキストや ZIP など）\:ので、
フォントファイルではありません。
.TP
フォント名は変更していません。ファイルは元のままです。
元に戻す処理で「処理を終了しました。」の後に：\:名前が既に元のラテン文字の名前なので、
何も変更していません。
]=])
