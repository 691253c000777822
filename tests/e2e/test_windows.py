"""The Windows programs under Wine: what only Windows has (file times read
through the Windows API, share modes, CR LF on standard output)."""
import os
import subprocess
import unittest

from harness import (CANNOT_OPEN, FINISHED, NOT_RECOGNISED, PRESS_ENTER, RUNNER, TIMEOUT, WINDOWS,
                     TIMES, FontCase, banner, cp932, program, run, sample_font, target_line, tool)

PROGRAMS = (("velnari", "Velnari"), ("velnaril", "VelnariL"))


def helper(*args, **kwargs):
    return subprocess.run(RUNNER + [program("win_helper"), *args], stdout=subprocess.PIPE,
                          check=True, timeout=TIMEOUT, **kwargs).stdout


def file_times(path):
    """Creation, last-access and last-write time as GetFileTime reports them."""
    return [int(t) for t in helper("times", path).split()]


@unittest.skipUnless(WINDOWS, "Windows programs only")
class WindowsFileEdit(FontCase):
    def test_all_three_times_are_kept_to_100_ns(self):
        tool("make_lseries_fonts", self.dir)
        fonts = {"velnari": sample_font(self.dir),
                 "velnaril": os.path.join(self.dir, "KanovelTL86.ttf")}
        for name, title in (("velnari", "Velnari"), ("velnaril", "VelnariL")):
            with self.subTest(program=name):
                path = fonts[name]
                # Wine on a Linux file system cannot store a creation time; it
                # reports one of its own, and that must be unchanged as well.
                helper("settimes", path, "125000000000000001", "126000000000000002",
                       "127000000000000003")
                before = file_times(path)
                self.assertEqual(before[1:], [126000000000000002, 127000000000000003])
                out, _ = run(program(name), path)
                self.assertEqual(out, banner(title) + target_line(path) +
                                 cp932(FINISHED + PRESS_ENTER))
                self.assertEqual(file_times(path), before)

    def test_output_lines_end_in_cr_lf(self):
        path = sample_font(self.dir)
        out, _ = run(program("velnari"), path)
        self.assertEqual(out, banner("Velnari") + target_line(path) +
                         cp932(FINISHED + PRESS_ENTER))
        self.assertEqual(out.count(b"\n"), out.count(b"\r\n"))
        self.assertEqual(out.count(b"\r\n"), 7)

    def test_file_held_open_by_another_windows_process(self):
        path = sample_font(self.dir)
        before = self.snapshot(path)
        holder = subprocess.Popen(RUNNER + [program("win_helper"), "hold", path, "60"],
                                  stdout=subprocess.PIPE)
        try:
            self.assertEqual(holder.stdout.readline(), b"held\r\n")
            for name, title in (("velnari", "Velnari"), ("velnaril", "VelnariL")):
                out, _ = run(program(name), path)
                self.assertEqual(out, banner(title) + cp932(CANNOT_OPEN + PRESS_ENTER))
        finally:
            holder.kill()
            holder.wait()
        self.assertUntouched(path, before)

    def test_read_only_attribute_is_refused(self):
        # Wine run by root would let the program write; Windows would not.
        path = sample_font(self.dir)
        helper("readonly", path)
        before = self.snapshot(path)
        for name, title in PROGRAMS:
            out, _ = run(program(name), path)
            self.assertEqual(out, banner(title) + cp932(CANNOT_OPEN + PRESS_ENTER))
        # Wine reads the file's first bytes when asked for its type, and Linux
        # then moves the access time; Windows asked not to would not.
        self.assertUntouched(path, before, was_read=True)

    def test_racing_opener_never_sees_renamed_but_cannot_open(self):
        tool("make_lseries_fonts", self.dir)
        fonts = {"velnari": sample_font(self.dir),
                 "velnaril": os.path.join(self.dir, "KanovelTL86.ttf")}
        for name, _ in PROGRAMS:
            with open(fonts[name], "rb") as f:
                original = f.read()
            run(program(name), fonts[name], "/b")
            with open(fonts[name], "rb") as f:
                renamed = f.read()
            racer = subprocess.Popen(RUNNER + [program("win_helper"), "race", fonts[name], "60"],
                                     stdout=subprocess.PIPE)
            try:
                self.assertEqual(racer.stdout.readline(), b"racing\r\n")
                for _ in range(6):
                    with open(fonts[name], "wb") as f:
                        f.write(original)
                    os.utime(fonts[name], ns=TIMES)
                    out, _ = run(program(name), fonts[name], "/b")
                    data, atime, mtime = self.snapshot(fonts[name])
                    self.assertIn(out, (b"", cp932(CANNOT_OPEN + PRESS_ENTER)))
                    self.assertEqual(data, renamed if out == b"" else original)
                    self.assertEqual(mtime, TIMES[1])
            finally:
                racer.kill()
                racer.wait()

    def test_unrecognised_file_can_be_moved_while_the_program_waits(self):
        path = sample_font(self.dir)
        proc = subprocess.Popen(RUNNER + [program("velnaril"), path], stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE)
        try:
            seen = b""
            while not seen.endswith(cp932(PRESS_ENTER)):
                seen += proc.stdout.read1(4096)
            moved = subprocess.run(RUNNER + [program("win_helper"), "move", path, path + ".moved"],
                                   timeout=TIMEOUT)
            self.assertEqual(moved.returncode, 0)
        finally:
            proc.communicate(b"\n", timeout=TIMEOUT)
        self.assertTrue(seen.endswith(cp932(NOT_RECOGNISED + PRESS_ENTER)))


if __name__ == "__main__":
    unittest.main()
