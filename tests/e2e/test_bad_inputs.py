"""A sweep of inputs nobody plans for, on both programs: each gets its clear
message, changes no byte, leaves the times as they were and creates nothing."""
import os
import stat
import subprocess
import unittest

from harness import (CANNOT_OPEN, FINISHED, NOT_RECOGNISED, PRESS_ENTER, TIMES, FontCase, banner,
                     clock, cp932, program, run, sample_font, target_line, tool)

PROGRAMS = (("velnari", "Velnari"), ("velnaril", "VelnariL"))


class BadInputs(FontCase):
    def listing(self):
        found = []
        for root, dirs, files in os.walk(self.dir):
            found += [os.path.join(root, name) for name in dirs + files]
        return sorted(found)

    def expect_refused(self, path, check_file=True):
        """Both programs say they cannot open it, and nothing changes."""
        before = self.snapshot(path) if check_file else None
        listing = self.listing()
        for name, title in PROGRAMS:
            with self.subTest(program=name):
                start = clock()
                out, err = run(program(name), path)
                self.assertLess(clock() - start, 10)
                self.assertEqual(out, banner(title) + cp932(CANNOT_OPEN + PRESS_ENTER))
                self.assertEqual(err, b"")
                if check_file:
                    self.assertUntouched(path, before)
                self.assertEqual(self.listing(), listing)

    def test_missing_file(self):
        self.expect_refused(os.path.join(self.dir, "missing.ttf"), check_file=False)

    def test_directory(self):
        os.mkdir(os.path.join(self.dir, "fonts.ttf"))
        self.expect_refused(os.path.join(self.dir, "fonts.ttf"), check_file=False)

    def test_fifo_returns_at_once(self):
        fifo = os.path.join(self.dir, "pipe.ttf")
        os.mkfifo(fifo)
        self.expect_refused(fifo, check_file=False)

    def test_character_device(self):
        self.expect_refused("/dev/null", check_file=False)
        self.assertTrue(stat.S_ISCHR(os.stat("/dev/null").st_mode))

    def test_dangling_link(self):
        link = os.path.join(self.dir, "dangling.ttf")
        os.symlink(os.path.join(self.dir, "gone.ttf"), link)
        self.expect_refused(link, check_file=False)
        self.assertTrue(os.path.islink(link))

    def test_read_only_file(self):
        path = sample_font(self.dir)
        os.chmod(path, 0o444)
        self.expect_refused(path)

    def test_file_held_open_by_another_process(self):
        path = sample_font(self.dir)
        with open(path, "rb") as held:
            holder = subprocess.Popen(["sleep", "60"], stdin=held)
        try:
            self.expect_refused(path)
        finally:
            holder.kill()
            holder.wait()

    def check_run(self, name, title, path, verdict, expected=None):
        before = self.snapshot(path)
        listing = self.listing()
        out, err = run(program(name), path)
        self.assertEqual(out, banner(title) + target_line(path) + cp932(verdict + PRESS_ENTER))
        self.assertEqual(err, b"")
        after = self.snapshot(path)
        if expected is None:
            self.assertEqual(after[0], before[0])
        else:
            self.assertEqual(after[0], expected)
        # Restored after a finished edit; never moved by reading otherwise (O_NOATIME).
        self.assertEqual(after[1:], before[1:])
        self.assertEqual(self.listing(), listing)

    def test_zero_length_file(self):
        path = self.write("empty.ttf", b"")
        self.check_run("velnari", "Velnari", path, FINISHED)
        self.check_run("velnaril", "VelnariL", path, NOT_RECOGNISED)
        self.assertEqual(os.path.getsize(path), 0)

    def test_twenty_mebibyte_file(self):
        block = bytes(range(256)) * 4096
        path = self.write("big.ttf", block * 20)
        self.check_run("velnari", "Velnari", path, FINISHED)
        self.check_run("velnaril", "VelnariL", path, NOT_RECOGNISED)

    def renamed_pair(self):
        """A sample font and an L-series font, with their bytes after a run
        made on copies at plain paths."""
        tool("make_lseries_fonts", self.dir)
        fonts = {"velnari": sample_font(self.dir),
                 "velnaril": os.path.join(self.dir, "KanovelL86.ttf")}
        expected = {}
        for name, path in fonts.items():
            plain = path + ".copy"
            with open(path, "rb") as f, open(plain, "wb") as g:
                g.write(f.read())
            run(program(name), plain, "/b")
            with open(plain, "rb") as f:
                expected[name] = f.read()
            os.remove(plain)
            os.utime(path, ns=TIMES)
        return fonts, expected

    def test_path_with_spaces_and_japanese(self):
        fonts, expected = self.renamed_pair()
        for name, title in PROGRAMS:
            with self.subTest(program=name):
                odd = os.path.join(self.dir, f"フォント {name} ／ 見本.ttf")
                os.rename(fonts[name], odd)
                self.check_run(name, title, odd, FINISHED, expected[name])

    def test_symbolic_link_edits_its_target(self):
        fonts, expected = self.renamed_pair()
        for name, title in PROGRAMS:
            with self.subTest(program=name):
                link = os.path.join(self.dir, f"link-{name}.ttf")
                os.symlink(fonts[name], link)
                link_before = os.lstat(link)
                before = self.snapshot(fonts[name])
                out, _ = run(program(name), link)
                self.assertEqual(out, banner(title) + target_line(link) +
                                 cp932(FINISHED + PRESS_ENTER))
                after = self.snapshot(fonts[name])
                self.assertEqual(after, (expected[name],) + before[1:])
                self.assertTrue(os.path.islink(link))
                self.assertEqual(os.lstat(link).st_mtime_ns, link_before.st_mtime_ns)


if __name__ == "__main__":
    unittest.main()
