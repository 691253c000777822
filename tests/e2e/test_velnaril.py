"""VelnariL end to end: the real program on our eight L-series stand-ins."""
import os
import subprocess
import unittest
import xml.etree.ElementTree as ElementTree

from harness import (CANNOT_OPEN, FINISHED, NOT_RECOGNISED, PRESS_ENTER, TIMEOUT, TIMES, FontCase,
                     banner, cp932, iconv, program, run, sample_font, target_line, tool, utf16be,
                     waits_for_enter)

# From the specification's table of the eight sets: old name, new name, last record.
L_SERIES = [
    ("KanovelSL86 Bold", "Ｋ．ａｎｏｖｅｌＳＢＬ", 0x050B88),
    ("KanovelTL86 Bold", "Ｋ．ａｎｏｖｅｌＴＢＬ", 0x050B88),
    ("KanovelRL86 Bold", "Ｋ．ａｎｏｖｅｌＲＢＬ", 0x050B88),
    ("KanovelL86 Bold", "Ｋ．ａｎｏｖｅｌＢＬ", 0x050B87),
    ("KanovelSL86", "Ｋ．ａｎｏｖｅｌＳＬ", 0x050B83),
    ("KanovelTL86", "Ｋ．ａｎｏｖｅｌＴＬ", 0x050B83),
    ("KanovelRL86", "Ｋ．ａｎｏｖｅｌＲＬ", 0x050B83),
    ("KanovelL86", "Ｋ．ａｎｏｖｅｌＬ", 0x050B82),
]
CP932_LENGTHS = [0x04D817, 0x04D82F, 0x04D83B, 0x04D86B]
UTF16_LENGTHS = [0x04D8EF, 0x04D907, 0x04D913]
CP932_COPIES = [0x04E23A, 0x04E43A, 0x04E53A, 0x04E93A]
UTF16_COPIES = [0x04FD3A, 0x05013A, 0x05033A]


def expected_after(data, old, new, last):
    """The file as the specification says VelnariL leaves it, built with iconv's encodings."""
    out = bytearray(data)
    old_cp, new_cp = iconv(old, "CP932"), iconv(new, "CP932")
    old_u16, new_u16 = utf16be(old), utf16be(new)
    for at in CP932_LENGTHS:
        assert out[at] == len(old_cp)
        out[at] = len(new_cp)
    for at in UTF16_LENGTHS:
        assert out[at] == len(old_u16)
        out[at] = len(new_u16)
    for at in CP932_COPIES:
        assert out[at:at + len(new_cp)] == old_cp + bytes(len(new_cp) - len(old_cp))
        out[at:at + len(new_cp)] = new_cp
    for at in UTF16_COPIES:
        assert out[at:at + len(old_u16)] == old_u16
        out[at:at + len(old_u16)] = new_u16 + bytes(len(old_u16) - len(new_u16))
    out[last] += 1
    return bytes(out)


def ttx_names(path):
    """(platform, language, nameID) -> text, as fontTools reads the name table."""
    xml = subprocess.run(["ttx", "-q", "-t", "name", "-o", "-", path], stdout=subprocess.PIPE,
                         check=True, timeout=TIMEOUT).stdout
    names = {}
    for record in ElementTree.fromstring(xml).iter("namerecord"):
        key = (int(record.get("platformID")), int(record.get("langID"), 16),
               int(record.get("nameID")))
        names[key] = record.text.strip()
    return names


class LSeries(FontCase):
    def setUp(self):
        super().setUp()
        self.velnaril = program("velnaril")
        tool("make_lseries_fonts", self.dir)

    def font(self, old):
        return os.path.join(self.dir, old.replace(" ", "-") + ".ttf")

    def test_each_font_is_renamed_and_keeps_its_times(self):
        for old, new, last in L_SERIES:
            with self.subTest(font=old):
                path = self.font(old)
                os.utime(path, ns=TIMES)
                before = self.snapshot(path)
                out, err = run(self.velnaril, path)
                self.assertEqual(out, banner("VelnariL") + target_line(path) +
                                 cp932(FINISHED + PRESS_ENTER))
                self.assertEqual(err, b"")
                after = self.snapshot(path)
                self.assertEqual(after[0], expected_after(before[0], old, new, last))
                self.assertEqual(after[1:], before[1:])

                # A second run recognises nothing and leaves file and times alone.
                out, _ = run(self.velnaril, path)
                self.assertEqual(out, banner("VelnariL") + target_line(path) +
                                 cp932(NOT_RECOGNISED + PRESS_ENTER))
                self.assertUntouched(path, after, was_read=True)

    def test_font_parser_reads_the_new_names(self):
        old, new, _ = L_SERIES[3]
        path = self.font(old)
        names = ttx_names(path)
        self.assertEqual(names[(1, 11, 1)], old)
        self.assertEqual(names[(3, 0x411, 4)], old)
        out, _ = run(self.velnaril, path, "/b")
        self.assertEqual(out, b"")
        names = ttx_names(path)
        for key in [(1, 11, 1), (1, 11, 3), (1, 11, 4), (1, 11, 16), (3, 0x411, 1),
                    (3, 0x411, 3), (3, 0x411, 4)]:
            self.assertEqual(names[key], new, key)
        self.assertEqual(names[(3, 0x409, 1)], old)  # English names stay in Latin

    def test_unrecognised_file_is_left_alone(self):
        path = sample_font(self.dir)
        before = self.snapshot(path)
        out, _ = run(self.velnaril, path)
        self.assertEqual(out, banner("VelnariL") + target_line(path) +
                         cp932(NOT_RECOGNISED + PRESS_ENTER))
        self.assertUntouched(path, before, was_read=True)

    def test_file_cut_short_is_not_recognised(self):
        path = self.font("KanovelL86")
        with open(path, "r+b") as f:
            f.truncate(0x050B82)
        before = self.snapshot(path)
        waited, out = waits_for_enter(self.velnaril, path, "/b")
        self.assertFalse(waited)
        self.assertEqual(out, b"")
        self.assertUntouched(path, before, was_read=True)

    def test_batch_failure_still_prompts(self):
        waited, out = waits_for_enter(self.velnaril, self.dir, "/b")
        self.assertTrue(waited)
        self.assertEqual(out, cp932(CANNOT_OPEN + PRESS_ENTER))


if __name__ == "__main__":
    unittest.main()
