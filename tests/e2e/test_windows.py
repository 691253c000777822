"""The Windows programs under Wine: what only Windows has (file times read
through the Windows API, share modes, CR LF on standard output)."""
import os
import subprocess
import unittest

from harness import (CANNOT_OPEN, FINISHED, PRESS_ENTER, RUNNER, TIMEOUT, WINDOWS, FontCase,
                     banner, cp932, program, run, sample_font, target_line, tool)


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


if __name__ == "__main__":
    unittest.main()
