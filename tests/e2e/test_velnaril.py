"""VelnariL end to end: the real program on our eight L-series stand-ins."""
import os
import subprocess
import unittest
import xml.etree.ElementTree as ElementTree

from harness import (FINISHED, L_SERIES, NOT_RECOGNISED, PRESS_ENTER, TIMEOUT, TIMES, USE_VELNARI,
                     FontCase, banner, cannot_open, cp932, program, renamed_lseries, run, sample_font,
                     target_line, tool, waits_for_enter)


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
                self.assertEqual(after[0], renamed_lseries(before[0], old, new, last))
                self.assertEqual(after[1:], before[1:])

                # A second run recognises nothing and leaves file and times alone.
                out, _ = run(self.velnaril, path)
                self.assertEqual(out, banner("VelnariL") + target_line(path) +
                                 cp932(NOT_RECOGNISED + PRESS_ENTER))
                self.assertUntouched(path, after)

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
        # A font for Velnari: its Kanovel names lie in the first 4,096 bytes.
        path = sample_font(self.dir)
        before = self.snapshot(path)
        out, _ = run(self.velnaril, path)
        self.assertEqual(out, banner("VelnariL") + target_line(path) +
                         cp932(NOT_RECOGNISED + USE_VELNARI + PRESS_ENTER))
        self.assertUntouched(path, before)

    def test_file_cut_short_is_not_recognised(self):
        path = self.font("KanovelL86")
        with open(path, "r+b") as f:
            f.truncate(0x050B82)
        os.utime(path, ns=TIMES)  # times Windows can hold (100 ns), as a font copied there has
        before = self.snapshot(path)
        self.assertEqual(waits_for_enter(self.velnaril, path, "/b"), (False, b"", b"", 1))
        self.assertUntouched(path, before)

    def test_batch_failure_without_a_terminal_says_why_and_ends(self):
        self.assertEqual(waits_for_enter(self.velnaril, os.path.join(self.dir, "none.ttf"), "/b"),
                         (False, cp932(cannot_open("missing")), b"", 2))


if __name__ == "__main__":
    unittest.main()
