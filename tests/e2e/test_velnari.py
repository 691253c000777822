"""Velnari end to end: the real program on generated files."""
import io
import os
import pty
import select
import subprocess
import unittest
import zipfile

from harness import (FINISHED, NO_NAMES, NOT_A_FONT, NOT_RECOGNISED, NOTHING_CHANGED, PRESS_ENTER,
                     TARGET,
                     TIMEOUT, TIMES, WINDOWS, FontCase, banner, cannot_open, cp932, fc_query,
                     no_file, program, read_terminal, run, sample_font, target_line, tool, utf16be,
                     waits_for_enter)

FILLER = bytes(0x80 + i % 61 for i in range(8192))  # holds no "Kanovel"
TRUETYPE = b"\x00\x01\x00\x00"  # how a TrueType font file begins


def font_with(names, size=6000, at=None):
    """Bytes of a file that begins as a TrueType font, with the given names in
    UTF-16BE, 64 bytes apart from offset 32."""
    data = bytearray(TRUETYPE + FILLER[4:size])
    for i, name in enumerate(names):
        start = (at[i] if at else 32 + 64 * i)
        encoded = utf16be(name)
        data[start:start + len(encoded)] = encoded
    return bytes(data)


def renamed(data, new_names, at):
    out = bytearray(data)
    for start, name in zip(at, new_names):
        encoded = utf16be(name)
        out[start:start + len(encoded)] = encoded
    return bytes(out)


class Dialogue(FontCase):
    def setUp(self):
        super().setUp()
        self.velnari = program("velnari")

    def test_no_argument(self):
        self.assertEqual(waits_for_enter(self.velnari),
                         (True, banner("Velnari") + no_file("Velnari") + cp932(PRESS_ENTER), b"",
                          2))

    def test_success_then_wait(self):
        path = self.write("f.ttf", font_with(["KanovelR11"] * 3))
        self.assertEqual(waits_for_enter(self.velnari, path),
                         (True, banner("Velnari") + target_line(path) +
                          cp932(FINISHED + NOTHING_CHANGED + PRESS_ENTER), b"", 1))

    def test_standard_input_at_its_end_returns_at_once(self):
        path = self.write("f.ttf", font_with([]))
        out, _ = run(self.velnari, path, stdin=b"")
        self.assertTrue(out.endswith(cp932(PRESS_ENTER)))

    def test_batch_success_prints_nothing_and_reads_nothing(self):
        data = font_with(["KanovelT86"] * 5)
        path = self.write("f.ttf", data)
        self.assertEqual(waits_for_enter(self.velnari, path, "/b"), (False, b"", b"", 0))
        self.assertNotEqual(self.snapshot(path)[0], data)

    def test_batch_not_recognised_is_silent_too(self):
        path = self.write("f.ttf", font_with(["KanovelR11", "KanovelNope"]))
        before = self.snapshot(path)
        self.assertEqual(waits_for_enter(self.velnari, path, "batch", "more"), (False, b"", b"", 1))
        self.assertUntouched(path, before)

    def test_batch_failure_without_a_terminal_says_why_and_ends(self):
        self.assertEqual(waits_for_enter(self.velnari, os.path.join(self.dir, "none.ttf"), "/b"),
                         (False, cp932(cannot_open("missing")), b"", 2))

    @unittest.skipIf(WINDOWS, "a POSIX shell")
    def test_a_script_loop_processes_every_file(self):
        # The failing first run must neither stop at a prompt nor eat the
        # script's remaining lines.
        data = font_with(["KanovelT86"] * 5)
        paths = [self.write(name, data) for name in ("a.ttf", "b.ttf")]
        lines = "".join(f"{p}\n" for p in [os.path.join(self.dir, "missing.ttf")] + paths)
        done = subprocess.run(["sh", "-c", 'while read -r f; do "$0" "$f" /b; echo "$?"; done',
                               self.velnari], input=lines.encode(), stdout=subprocess.PIPE,
                              timeout=TIMEOUT)
        self.assertEqual(done.stdout, cp932(cannot_open("missing")) + b"2\n0\n0\n")
        for path in paths:
            self.assertEqual(self.snapshot(path)[0],
                             renamed(data, ["Ｋ．ａｎｏｖｅｌＴ\0"] * 2, [224, 288]))

    def test_not_recognised_has_no_leading_empty_line(self):
        path = self.write("f.ttf", font_with(["KanovelR11", "KanovelNope"]))
        out, _ = run(self.velnari, path)
        self.assertEqual(out, banner("Velnari") + target_line(path) +
                         cp932(NOT_RECOGNISED + PRESS_ENTER))


@unittest.skipIf(WINDOWS, "POSIX terminals")
class Terminal(FontCase):
    def test_utf8_terminal_reads_japanese_and_the_path_stays_as_given(self):
        path = os.path.join(os.fsencode(self.dir), b"caf\xe9.ttf")  # not UTF-8: printed as is
        with open(path, "wb") as f:
            f.write(font_with([]))
        out = read_terminal([program("velnari"), path], dict(os.environ, LC_ALL="C.UTF-8"))
        head, tail = TARGET.split("%s")
        expected = ("Velnari - Kanovel フォント名変更ツール\n"
                    "フォントファイルの中のフォント名を全角の名前に書き換えます。\n\n").encode()
        expected += head.encode() + path + tail.encode() + (FINISHED + NO_NAMES +
                                                            PRESS_ENTER).encode()
        self.assertEqual(out, expected)

    def test_a_batch_failure_on_a_terminal_still_waits(self):
        primary, secondary = pty.openpty()
        proc = subprocess.Popen([program("velnari"), os.path.join(self.dir, "none.ttf"), "/b"],
                                stdin=secondary, stdout=secondary, stderr=subprocess.DEVNULL,
                                env=dict(os.environ, LC_ALL="C.UTF-8"))
        os.close(secondary)
        try:
            seen = b""
            while not seen.endswith(PRESS_ENTER.encode().replace(b"\n", b"\r\n")):
                self.assertTrue(select.select([primary], [], [], TIMEOUT)[0], seen)
                seen += os.read(primary, 4096)
            self.assertIsNone(proc.poll())
            os.write(primary, b"\n")
            self.assertEqual(proc.wait(timeout=TIMEOUT), 2)
        finally:
            if proc.poll() is None:
                proc.kill()
            os.close(primary)
        self.assertEqual(seen, (cannot_open("missing") + PRESS_ENTER).encode().replace(
            b"\n", b"\r\n"))


class Renaming(FontCase):
    def setUp(self):
        super().setUp()
        self.velnari = program("velnari")

    def check_run(self, data, expected, verdict=FINISHED, detail=""):
        """detail: the line after the verdict, when nothing was written."""
        path = self.write("font.ttf", data)
        before = self.snapshot(path)
        waited, out, err, status = waits_for_enter(self.velnari, path)
        self.assertEqual(out, banner("Velnari") + target_line(path) +
                         cp932(verdict + detail + PRESS_ENTER))
        self.assertEqual((waited, err, status), (True, b"", 0 if expected != data else 1))
        after = self.snapshot(path)
        self.assertEqual(after[0], expected)
        self.assertEqual(after[1:], before[1:], "times must be kept to the nanosecond")
        return path

    def test_no_occurrence(self):
        data = font_with([])
        self.check_run(data, data, detail=NO_NAMES)

    def test_three_occurrences_change_nothing(self):
        data = font_with(["KanovelR11 Bold", "KanovelR11", "KanovelQ86"])
        self.check_run(data, data, detail=NOTHING_CHANGED)

    def test_seven_occurrences(self):
        names = ["KanovelR11 Bold", "KanovelR11", "Kanovel86", "KanovelRQ11 Bold",
                 "KanovelRQ11", "KanovelVS86", "KanovelW86"]
        data = font_with(names)
        starts = [32 + 64 * i for i in range(7)]
        new = ["Ｋ．ａｎｏｖｅｌＲＱＢ１\0\0\0\0", "Ｋ．ａｎｏｖｅｌＲＱ１", "Ｋ．ａｎｏｖｅｌＶＳ\0",
               "Ｋ．ａｎｏｖｅｌＷ\0"]
        self.check_run(data, renamed(data, new, starts[3:7]))

    def test_nine_occurrences_rename_only_four_to_seven(self):
        names = ["KanovelS86"] * 9
        data = font_with(names)
        starts = [32 + 64 * i for i in range(9)]
        self.check_run(data, renamed(data, ["Ｋ．ａｎｏｖｅｌＳ\0"] * 4, starts[3:7]))

    def test_prefix_rows(self):
        # A Bold name takes its Bold row; a longer name takes the row of its prefix.
        names = ["KanovelT11", "KanovelT11", "KanovelT11", "KanovelT11 Bold",
                 "KanovelT11 Italic", "KanovelVS86 Bold", "KanovelV86"]
        data = font_with(names)
        starts = [32 + 64 * i for i in range(7)]
        new = ["Ｋ．ａｎｏｖｅｌＴＢ１\0\0\0\0", "Ｋ．ａｎｏｖｅｌＴ１", "Ｋ．ａｎｏｖｅｌＶＳ\0",
               "Ｋ．ａｎｏｖｅｌＶ\0"]
        self.check_run(data, renamed(data, new, starts[3:7]))

    def test_unknown_names_are_counted_not_written(self):
        # Last, a maker's name that begins with the family word: the file was
        # renamed all the same, and is never called invalid or renamed already.
        names = ["KanovelR11", "KanovelR11", "KanovelR11", "KanovelX11", "KanovelR86",
                 "KanovelR86", "KanovelR86", "Kanovel Type Foundry"]
        data = font_with(names)
        starts = [32 + 64 * i for i in range(8)]
        self.check_run(data, renamed(data, ["Ｋ．ａｎｏｖｅｌＲ\0"] * 3, starts[4:7]))
        # Nothing written and the last name unknown: that is "not recognised".
        data = font_with(names[:3] + ["Kanovel Type Foundry"])
        self.check_run(data, data, verdict=NOT_RECOGNISED)

    def test_only_a_font_file_is_edited(self):
        # A Notepad "Unicode" memo: its text read one byte off is UTF-16BE.
        memo = "\ufeffメモ\r\n" + "KanovelR11 Bold の見本\r\n" * 7
        # A font stored in a ZIP archive without compression.
        archive = io.BytesIO()
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_STORED) as z:
            z.writestr("sample.ttf", font_with(["KanovelR11 Bold"] * 7))
        for data in (memo.encode("utf-16-le"), archive.getvalue()):
            with self.subTest(begins=data[:4]):
                self.check_run(data, data, verdict=NOT_RECOGNISED, detail=NOT_A_FONT)

    def test_scan_range_ends_at_4095(self):
        starts = [4, 100, 200, 4095]
        data = font_with(["KanovelR86"] * 4, size=5000, at=starts)
        self.check_run(data, renamed(data, ["Ｋ．ａｎｏｖｅｌＲ\0"], [4095]))
        data = font_with(["KanovelR86"] * 4, size=5000, at=[4, 100, 200, 4096])
        self.check_run(data, data, detail=NOTHING_CHANGED)

    def test_short_files(self):
        for size in (4, 47, 100):
            with self.subTest(size=size):
                data = font_with([], size=size)
                self.check_run(data, data, detail=NO_NAMES)
        # The fourth name ends the file: renamed, and the file keeps its length.
        data = font_with(["KanovelW86"] * 4, size=32 + 64 * 3 + 20)
        self.assertEqual(data[-20:], utf16be("KanovelW86"))
        self.check_run(data, renamed(data, ["Ｋ．ａｎｏｖｅｌＷ\0"], [224]))

    def test_second_run_leaves_the_file_alone(self):
        # Twelve names: the second run counts the renamed ones, so the 8th to
        # the 11th stay Latin.
        data = font_with(["KanovelSQ11 Bold"] * 12)
        path = self.check_run(data, renamed(data, ["Ｋ．ａｎｏｖｅｌＳＱＢ１\0\0\0\0"] * 4,
                                            [32 + 64 * i for i in range(3, 7)]))
        before = self.snapshot(path)
        out, _ = run(self.velnari, path)
        self.assertTrue(out.endswith(cp932(FINISHED + NOTHING_CHANGED + PRESS_ENTER)))
        self.assertUntouched(path, before)


class SampleFont(FontCase):
    def test_strict_parser_accepts_every_sample_font_before_and_after(self):
        # The OpenType Sanitizer, the parser browsers use, rejects malformed
        # fonts before they are ever looked at for names.
        fonts = {"velnari": [sample_font(self.dir)]}
        tool("make_lseries_fonts", self.dir)
        fonts["velnaril"] = sorted(os.path.join(self.dir, f) for f in os.listdir(self.dir)
                                   if f.startswith("Kanovel"))
        self.assertEqual(len(fonts["velnaril"]), 8)
        for name, paths in fonts.items():
            for path in paths:
                for stage in ("before", "after"):
                    with self.subTest(program=name, font=os.path.basename(path), stage=stage):
                        checked = subprocess.run(["ots-sanitize", path, path + ".ots"],
                                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                                 timeout=TIMEOUT)
                        self.assertEqual(checked.returncode, 0, checked.stdout)
                        if stage == "before":
                            before = self.snapshot(path)[0]
                            self.assertEqual(run(program(name), path, "/b"), (b"", b""))
                            self.assertNotEqual(self.snapshot(path)[0], before)

    def test_freetype_reads_the_new_names(self):
        path = sample_font(self.dir)
        self.assertEqual(sorted(fc_query(path, "family")), ["KanovelR11", "KanovelR11 Bold"])
        os.utime(path, ns=TIMES)  # fc-query's read moved the access time
        before = self.snapshot(path)
        out, _ = run(program("velnari"), path, "/b")
        self.assertEqual(out, b"")
        after = self.snapshot(path)
        self.assertEqual(len(after[0]), len(before[0]))
        self.assertEqual(after[1:], before[1:])
        self.assertEqual(sorted(fc_query(path, "family")),
                         ["KanovelR11 Bold", "Ｋ．ａｎｏｖｅｌＲ１", "Ｋ．ａｎｏｖｅｌＲＢ１"])
        self.assertEqual(fc_query(path, "postscriptname"), ["KanovelR11-Bold"])


if __name__ == "__main__":
    unittest.main()
