"""A sweep of inputs and events nobody plans for, on both programs: each
bad input gets its clear message, changes no byte, leaves the times as they
were and creates nothing; an edit that fails or is raced is all or nothing."""
import fcntl
import os
import resource
import shutil
import signal
import stat
import subprocess
import threading
import time
import unittest

from harness import (CANNOT_OPEN, CANNOT_WRITE, FINISHED, NOT_RECOGNISED, PRESS_ENTER, TIMES,
                     TIMES_NOT_KEPT, FontCase, at_prompt, banner, clock, cp932, fault_env, program,
                     run, sample_font, target_line, tool, waits_for_enter)

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
        # Under another process's lease: refused at once, not after the
        # lease-break time, and not edited behind its holder's back.
        previous = signal.signal(signal.SIGIO, signal.SIG_IGN)  # the lease-break notice
        try:
            with open(path, "rb") as leased:
                fcntl.fcntl(leased.fileno(), fcntl.F_SETLEASE, fcntl.F_RDLCK)
                self.expect_refused(path)
        finally:
            signal.signal(signal.SIGIO, previous)

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



def file_size_limit(limit):
    return lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))


class EditSafety(FontCase):
    """The edit under faults, intruders and racing openers."""

    def setUp(self):
        super().setUp()
        self.fonts, self.expected = BadInputs.renamed_pair(self)
        self.originals = {name: self.snapshot(path) for name, path in self.fonts.items()}

    def fresh(self, name):
        """The program's font as it was made, with its times."""
        path = self.fonts[name]
        with open(path, "wb") as f:
            f.write(self.originals[name][0])
        os.utime(path, ns=self.originals[name][1:])
        return path

    def changed_span(self, name):
        changed = [i for i, (a, b) in enumerate(zip(self.originals[name][0], self.expected[name]))
                   if a != b]
        return changed[0], changed[-1]

    def test_failed_writes_leave_the_file_as_it_was(self):
        for name, _ in PROGRAMS:
            first, last = self.changed_span(name)
            rows = [("write", {"env": fault_env("write")}), ("second", {"env": fault_env("second")}),
                    ("short", {"env": fault_env("short")}),
                    ("file-size limit", {"preexec_fn": file_size_limit((first + last) // 2)})]
            for fault, popen in rows:
                with self.subTest(program=name, fault=fault):
                    path = self.fresh(name)
                    waited, out = waits_for_enter(program(name), path, "/b", **popen)
                    self.assertTrue(waited)
                    self.assertEqual(out, cp932(CANNOT_WRITE + PRESS_ENTER))
                    self.assertEqual(self.snapshot(path), self.originals[name])

    def test_edit_that_ends_in_doubt_is_never_reported_as_done(self):
        rows = (("close", CANNOT_WRITE), ("times", TIMES_NOT_KEPT))
        for name, _ in PROGRAMS:
            for fault, message in rows:
                with self.subTest(program=name, fault=fault):
                    path = self.fresh(name)
                    waited, out = waits_for_enter(program(name), path, "/b", env=fault_env(fault))
                    self.assertTrue(waited)
                    self.assertEqual(out, cp932(message + PRESS_ENTER))
                    self.assertEqual(self.snapshot(path)[0], self.expected[name])

    def test_another_writers_bytes_inside_the_edit_survive(self):
        for name, _ in PROGRAMS:
            with self.subTest(program=name):
                first, last = self.changed_span(name)
                at = next(i for i in range((first + last) // 2, last)
                          if self.expected[name][i] == self.originals[name][0][i] != 0xA5)
                path = self.fresh(name)
                env = dict(fault_env("intrude"), INTRUDE_AT=str(at))
                out, _ = run(program(name), path, "/b", env=env)
                self.assertEqual(out, b"")
                expected = bytearray(self.expected[name])
                expected[at] = 0xA5
                self.assertEqual(self.snapshot(path)[0], bytes(expected))

    def test_racing_opener_never_sees_renamed_but_cannot_open(self):
        for name, _ in PROGRAMS:
            path = self.fresh(name)
            stop = threading.Event()

            def opener():
                while not stop.is_set():
                    fd = os.open(path, os.O_RDONLY)
                    time.sleep(0.0001)
                    os.close(fd)
                    time.sleep(0.0003)

            outcomes = set()
            racer = threading.Thread(target=opener)
            racer.start()
            try:
                for _ in range(60):
                    path = self.fresh(name)
                    out, _ = run(program(name), path, "/b")
                    after = self.snapshot(path)
                    if out == b"":
                        self.assertEqual(after, (self.expected[name],) + self.originals[name][1:])
                    else:
                        self.assertEqual(out, cp932(CANNOT_OPEN + PRESS_ENTER))
                        self.assertEqual(after, self.originals[name])
                    outcomes.add(out)
            finally:
                stop.set()
                racer.join()
            with self.subTest(program=name):
                self.assertIn(b"", outcomes)  # the race did not refuse every run

    @unittest.skipUnless(os.geteuid() == 0, "needs root to make a file another user may write")
    def test_a_user_who_cannot_set_the_times_is_refused_before_the_edit(self):
        os.chmod(self.dir, 0o777)
        for name, title in PROGRAMS:
            with self.subTest(program=name):
                path = self.fresh(name)
                os.chmod(path, 0o666)
                before = self.snapshot(path)
                # A copy the other user can reach, wherever the build lies.
                copy = shutil.copy(program(name), os.path.join(self.dir, name))
                out, _ = run(copy, path,
                             preexec_fn=lambda: (os.setgid(65534), os.setuid(65534)))
                self.assertEqual(out, banner(title) + cp932(CANNOT_OPEN + PRESS_ENTER))
                self.assertEqual(self.snapshot(path), before)

    def test_times_far_from_1970_are_kept(self):
        # tmpfs stores any 64-bit time; ext4 stops at 1901 and 2446.
        folder = "/dev/shm" if os.path.isdir("/dev/shm") else self.dir
        far = ((-11_676_096_000 * 10**9, 10_413_792_000 * 10**9 + 500_000_000),
               (10_413_792_000 * 10**9 + 500_000_000, -11_676_096_000 * 10**9))
        for name, _ in PROGRAMS:
            for times in far:
                with self.subTest(program=name, times=times):
                    path = os.path.join(folder, f"far-{os.getpid()}-{name}.ttf")
                    shutil.copyfile(self.fresh(name), path)
                    try:
                        os.utime(path, ns=times)
                        self.assertEqual(self.snapshot(path)[1:], times)
                        out, _ = run(program(name), path, "/b")
                        self.assertEqual(out, b"")
                        self.assertEqual(self.snapshot(path), (self.expected[name],) + times)
                    finally:
                        os.remove(path)

    def test_file_is_closed_before_the_wait(self):
        path = self.fonts["velnari"]  # not an L-series font
        with at_prompt(program("velnaril"), path) as (proc, seen):
            held = [os.readlink(f"/proc/{proc.pid}/fd/{fd}")
                    for fd in os.listdir(f"/proc/{proc.pid}/fd")]
            self.assertNotIn(os.path.realpath(path), held)
        self.assertTrue(seen.endswith(cp932(NOT_RECOGNISED + PRESS_ENTER)))


if __name__ == "__main__":
    unittest.main()
