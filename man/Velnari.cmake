# What Velnari's manual pages say of it alone (man/velnari.1.in, man/velnari.ja.1.in).
set(VELNARI_OTHER_PROGRAM VelnariL)
set(VELNARI_MAN_EXAMPLE "KanovelR11 Bold")
set(VELNARI_MAN_SUMMARY_EN "rename the Kanovel fonts in place")
set(VELNARI_MAN_SUMMARY_JA "Kanovel フォントのフォント名をその場で書き換える")
set(VELNARI_MAN_ENGINE_EN [=[
Velnari finds the Kanovel names in the first 4,096 bytes of the font and
renames only the 4th to the 7th occurrences, byte length for byte length,
from a table of the 35 names it knows.
It counts as an occurrence every full-width name that begins as its new
names do (Ｋ．ａｎｏｖｅｌ), as it counts every Latin one that begins with
Kanovel, whether or not the name is in its table; so a second run changes
nothing and a run that was interrupted is finished by the next.
It edits only a font file: one whose first four bytes are those of a
TrueType, OpenType or Apple TrueType font or of a collection.]=])
set(VELNARI_MAN_ENGINE_JA [=[
Velnari はフォントの先頭 4,096 バイトから Kanovel のフォント名を探し、
4 番目から 7 番目までの出現だけを、\:知っている 35 種類の名前の表に従って、
同じバイト数の全角の名前に書き換えます。
Kanovel で始まるラテン文字の名前と同じく、\:Ｋ．ａｎｏｖｅｌ で始まる全角の名前も、
表にあるかどうかにかかわらず出現として数えるので、\:2\ 回目の実行では何も変わらず、
途中で止まった変更は次の実行で完了します。
先頭の 4 バイトが TrueType、\:OpenType、\:Apple TrueType のフォントか
コレクションのものであるファイルだけを書き換えます。]=])
set(VELNARI_MAN_MESSAGES_EN [=[
.TP
TrueType や OpenType のフォントファイルではないため、...
After "not recognised": the file does not begin as a font file does
(a text, an archive), so it was not edited.
.TP
フォント名は変更していません。ファイルは元のままです。
After "finished": no name was changed; the file is as it was.
The names found needed no change: already renamed, fewer than four, or,
in a revert, never renamed.
.TP
Kanovel のフォント名が見つからないため、何も変更していません ...
The same, when no Kanovel name was found at all: use VelnariL for the
fonts of the L series.
With
.BR \-n ,
printed without "finished".]=])
set(VELNARI_MAN_MESSAGES_JA [=[
.TP
TrueType や OpenType のフォントファイルではないため、何も変更していません。
「フォントファイルが不正か、\:既に…」の後に：ファイルの先頭がフォントの形式ではない
（テキストや ZIP など）ので、\:書き換えていません。
.TP
フォント名は変更していません。ファイルは元のままです。
「処理を終了しました。」の後に：名前を 1 つも変更していません。
見つけた名前を変える必要がありませんでした
（変更済み、\:4\ つより少ない、\:元に戻す処理で書き換えていないフォントなど）。
.TP
Kanovel のフォント名が見つからないため、何も変更していません ...
Kanovel の名前がまったく見つかりませんでした。
L シリーズのフォントには VelnariL を使ってください。
.B \-n
のときは「処理を終了しました。」を表示せずに表示します。]=])
