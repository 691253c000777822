"""The peer figure: the same renaming done with fontTools, the usual way to
edit a font's names from a script. Renames the names that our programs
rename, in the file given, in place.

    python3 fonttools_rename.py velnari|velnaril FONT
"""
import sys

from fontTools.ttLib import TTFont

kind, path = sys.argv[1], sys.argv[2]
font = TTFont(path)
names = font["name"]
if kind == "velnari":
    # The sample's fourth to seventh "Kanovel" strings: its Windows Japanese names.
    for name_id, new in ((1, "Ｋ．ａｎｏｖｅｌＲＢ１"), (3, "Ｋ．ａｎｏｖｅｌＲＢ１"),
                         (4, "Ｋ．ａｎｏｖｅｌＲＢ１"), (16, "Ｋ．ａｎｏｖｅｌＲ１")):
        names.setName(new, name_id, 3, 1, 0x411)
else:
    new = "Ｋ．ａｎｏｖｅｌＳＢＬ"
    for name_id in (1, 3, 4, 16):
        names.setName(new, name_id, 1, 1, 11)
    for name_id in (1, 3, 4):
        names.setName(new, name_id, 3, 1, 0x411)
font.save(path)
