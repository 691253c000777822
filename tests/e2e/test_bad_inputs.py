"""A sweep of inputs and events nobody plans for, on both programs: each
bad input gets its clear message, changes no byte, leaves the times as they
were and creates nothing; an edit that fails or is raced is all or nothing."""
import fcntl
import os
import resource
import shutil
import signal
import subprocess
import threading
import time
import unittest

from harness import (BANNER_NOTICE, CANNOT_WRITE, COMPLETED, COMPLETED_REVERT, DRY_RUN, FINISHED,
                     NO_NAMES, NOT_A_FONT, NOT_RECOGNISED, NOTHING_CHANGED, PARTLY_RENAMED,
                     PRESS_ENTER, REASONS, REVERT_NOTICE, SAMPLE_RENAMED, TIMES, TIMES_NOT_KEPT,
                     USE_VELNARI, WOULD_NOT_OPEN, FontCase, at_prompt, banner, cannot_open, clock,
                     cp932, fault_env, fonts_to_rename, name_lines, program, renamed_sample, run,
                     sample_font, status_of, target_line, tool, waits_for_enter)

PROGRAMS = (("velnari", "Velnari"), ("velnaril", "VelnariL"))
# The fonts of EditSafety, with the program that renames each: our sample
# font, an L-series font, and our sample font with its 4th name across a
# multiple of 512 bytes, with 7, 20 (the end of "KanovelR11") or 24 of its
# bytes before it, which Velnari writes in two writes with a sync between.
CROSSING = ("crossing7", "crossing20", "crossing24")
FONTS = (tuple((name, title, name) for name, title in PROGRAMS) +
         tuple(("velnari", "Velnari", font) for font in CROSSING))


class BadInputs(FontCase):
    def listing(self):
        found = []
        for root, dirs, files in os.walk(self.dir):
            found += [os.path.join(root, name) for name in dirs + files]
        return sorted(found)

    def expect_refused(self, path, cause, check_file=True):
        """Both programs say at once that they cannot open it and why, and
        wait for Enter; nothing changes and nothing is created."""
        before = self.snapshot(path) if check_file else None
        listing = self.listing()
        for name, title in PROGRAMS:
            with self.subTest(program=name):
                start = clock()
                self.assertEqual(waits_for_enter(program(name), path),
                                 (True, banner(title) + cp932(cannot_open(cause) + PRESS_ENTER),
                                  b"", 2))
                self.assertLess(clock() - start, 5)
                if check_file:
                    self.assertUntouched(path, before)
                self.assertEqual(self.listing(), listing)

    def test_what_cannot_be_opened_is_refused(self):
        os.mkfifo(os.path.join(self.dir, "pipe.ttf"))
        os.symlink(os.path.join(self.dir, "gone.ttf"), os.path.join(self.dir, "dangling.ttf"))
        read_only = sample_font(self.dir)
        os.chmod(read_only, 0o444)
        for path, cause in (("missing.ttf", "missing"), ("pipe.ttf", "not regular"), ("/dev/null", "not regular"),
                            ("dangling.ttf", "missing"), (read_only, "read-only")):
            with self.subTest(path=path):
                self.expect_refused(os.path.join(self.dir, path), cause,
                                    check_file=path == read_only)
        self.assertTrue(os.path.islink(os.path.join(self.dir, "dangling.ttf")))

    def test_a_read_only_drive_is_a_cause_of_its_own(self):
        # A read-only file system: there is no attribute to clear.
        drive = os.path.join(self.dir, "drive")
        os.mkdir(drive)
        mount = ["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", drive]
        if subprocess.run(mount, stderr=subprocess.DEVNULL).returncode != 0:
            self.skipTest("mounting a file system needs root and a machine that allows it")
        try:
            path = sample_font(drive)
            subprocess.run(["mount", "-o", "remount,ro", drive], check=True)
            self.expect_refused(path, "read-only drive", check_file=False)  # it cannot change
            # A dry run reads it, and says why a run could not write it.
            self.assertEqual(status_of(program("velnari"), "-n", path, "/b"),
                             (2, name_lines(SAMPLE_RENAMED) + cp932(
                                 WOULD_NOT_OPEN + REASONS["read-only drive"] + DRY_RUN)))
        finally:
            subprocess.run(["umount", drive], check=True)

    def test_file_held_open_by_another_process(self):
        path = sample_font(self.dir)
        with open(path, "rb") as held:
            holder = subprocess.Popen(["sleep", "60"], stdin=held)
        try:
            self.expect_refused(path, "in use")
        finally:
            holder.kill()
            holder.wait()
        # Under another process's lease: refused at once, not after the
        # lease-break time, and not edited behind its holder's back.
        previous = signal.signal(signal.SIGIO, signal.SIG_IGN)  # the lease-break notice
        try:
            with open(path, "rb") as leased:
                fcntl.fcntl(leased.fileno(), fcntl.F_SETLEASE, fcntl.F_RDLCK)
                self.expect_refused(path, "in use")
        finally:
            signal.signal(signal.SIGIO, previous)

    def check_run(self, name, title, path, verdict, expected=None, detail=None):
        before = self.snapshot(path)
        listing = self.listing()
        out, err = run(program(name), path)
        if detail is None:
            detail = NO_NAMES if verdict == FINISHED and expected is None else ""
        self.assertEqual(out, banner(title) + target_line(path) +
                         cp932(verdict + detail + PRESS_ENTER))
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
        self.check_run("velnari", "Velnari", path, NOT_RECOGNISED, detail=NOT_A_FONT)
        self.check_run("velnaril", "VelnariL", path, NOT_RECOGNISED)
        self.assertEqual(os.path.getsize(path), 0)

    def test_twenty_mebibyte_file(self):
        block = bytes(range(256)) * 4096
        path = self.write("big.ttf", b"OTTO" + (block * 20)[4:])
        self.check_run("velnari", "Velnari", path, FINISHED)
        self.check_run("velnaril", "VelnariL", path, NOT_RECOGNISED)

    def test_path_with_spaces_and_japanese(self):
        fonts, expected = fonts_to_rename(self.dir)
        for name, title in PROGRAMS:
            with self.subTest(program=name):
                odd = os.path.join(self.dir, f"フォント {name} ／ 見本.ttf")
                os.rename(fonts[name], odd)
                self.check_run(name, title, odd, FINISHED, expected[name])

    def test_symbolic_link_edits_its_target(self):
        fonts, expected = fonts_to_rename(self.dir)
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
        self.fonts, self.expected = fonts_to_rename(self.dir)
        for font in CROSSING:
            self.fonts[font] = os.path.join(self.dir, font + ".ttf")
            tool("make_sample_font", self.fonts[font], "KanovelR11 Bold", font[8:])
            os.utime(self.fonts[font], ns=TIMES)
        self.originals = {name: self.snapshot(path) for name, path in self.fonts.items()}
        for font in CROSSING:
            self.expected[font] = renamed_sample(self.originals[font][0])

    def fresh(self, name, data=None):
        """The font as it was made (or with data), with its times."""
        path = self.fonts[name]
        with open(path, "wb") as f:
            f.write(self.originals[name][0] if data is None else data)
        os.utime(path, ns=self.originals[name][1:])
        return path

    def changed_span(self, name):
        changed = [i for i, (a, b) in enumerate(zip(self.originals[name][0], self.expected[name]))
                   if a != b]
        return changed[0], changed[-1]

    def test_failed_writes_leave_the_file_as_it_was(self):
        for prog, _, name in FONTS:
            first, last = self.changed_span(name)
            rows = [("write", {"env": fault_env("write")}), ("second", {"env": fault_env("second")}),
                    ("short", {"env": fault_env("short")}),
                    ("file-size limit", {"preexec_fn": file_size_limit((first + last) // 2)})]
            for fault, popen in rows:
                with self.subTest(program=name, fault=fault):
                    path = self.fresh(name)
                    self.assertEqual(waits_for_enter(program(prog), path, "/b", **popen),
                                     (False, cp932(CANNOT_WRITE), b"", 3))
                    self.assertEqual(self.snapshot(path), self.originals[name])

    def test_edit_that_ends_in_doubt_is_never_reported_as_done(self):
        # Each says what the file holds; a run again, without the fault,
        # always ends in the fully renamed font.
        rows = (("close", PARTLY_RENAMED, 5), ("sync", PARTLY_RENAMED, 5),
                ("undo", PARTLY_RENAMED, 5), ("times", TIMES_NOT_KEPT, 4))
        for prog, _, name in FONTS:
            for fault, message, status in rows:
                with self.subTest(font=name, fault=fault):
                    path = self.fresh(name)
                    self.assertEqual(waits_for_enter(program(prog), path, "/b",
                                                     env=fault_env(fault)),
                                     (False, cp932(message), b"", status))
                    if fault == "undo":  # the first write is in, the rest are not
                        self.assertNotIn(self.snapshot(path)[0],
                                         (self.expected[name], self.originals[name][0]))
                    if fault == "sync" and name in CROSSING:
                        # The sync after the first write failed: the rest
                        # was never sent, and that write was put back.
                        self.assertEqual(self.snapshot(path), self.originals[name])
                    self.assertIn(run(program(prog), path, "/b"), ((b"", b""),))
                    self.assertEqual(self.snapshot(path)[0], self.expected[name])

    def test_a_run_killed_after_any_write_is_finished_by_the_next(self):
        # Killed after write k (a closed window, a crash): every name is
        # wholly old or new, but for a name across a sector boundary, whose
        # first write leaves it torn, and the next run completes the rename,
        # or the revert.
        writes = {"velnari": 4, "velnaril": 15}  # one per name; VelnariL: copies and bytes
        writes.update((font, 5) for font in CROSSING)  # the 4th name in two
        for reverting in (False, True):
            options = ["--revert"] if reverting else []
            notice = REVERT_NOTICE if reverting else BANNER_NOTICE
            completed = FINISHED + (COMPLETED_REVERT if reverting else COMPLETED)
            after_last = {"velnari": FINISHED + NOTHING_CHANGED,
                          "velnaril": FINISHED + NOTHING_CHANGED if reverting else NOT_RECOGNISED}
            for name, title, font in FONTS:
                start, end = self.originals[font][0], self.expected[font]
                start, end = (end, start) if reverting else (start, end)
                kills = 0
                for after in range(1, 40):
                    path = self.fresh(font, start)
                    env = dict(fault_env("kill"), KILL_AFTER=str(after))
                    killed = subprocess.run([program(name), *options, path, "/b"],
                                            stdin=subprocess.DEVNULL, env=env,
                                            timeout=30).returncode == -signal.SIGKILL
                    if not killed:
                        break
                    kills += 1
                    with self.subTest(font=font, reverting=reverting, after=after):
                        out, _ = run(program(name), *options, path)
                        line = after_last[name] if after == writes[font] else completed
                        self.assertEqual(out, banner(title, notice) + target_line(path) +
                                         cp932(line + PRESS_ENTER))
                        self.assertEqual(self.snapshot(path)[0], end)
                self.assertEqual(kills, writes[font])

    def test_another_writers_bytes_inside_the_edit_survive(self):
        # A byte of the edit region outside every renamed name, which is
        # written whole from its first to its last changed byte: here, the
        # changed bytes at most one unchanged byte apart.
        for name, _ in PROGRAMS:
            with self.subTest(program=name):
                first, last = self.changed_span(name)
                old, new = self.originals[name][0], self.expected[name]
                outside = [i for i in range(first - 1, last) if old[i] == new[i] != 0xA5 and
                           (old[i - 1] == new[i - 1] or old[i + 1] == new[i + 1])]
                at = outside[len(outside) // 2]
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
            stop, errors = threading.Event(), []

            def opener():
                try:
                    while not stop.is_set():
                        fd = os.open(path, os.O_RDONLY)
                        time.sleep(0.0001)
                        os.close(fd)
                        time.sleep(0.0003)
                except Exception as error:  # noqa: BLE001: any failure of the racer must show
                    errors.append(error)

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
                        self.assertEqual(out, cp932(cannot_open("in use")))
                        self.assertEqual(after, self.originals[name])
                    outcomes.add(out)
            finally:
                stop.set()
                racer.join()
            with self.subTest(program=name):
                self.assertEqual(errors, [])
                # Some runs met the opener and were refused, some did not.
                self.assertEqual(outcomes, {b"", cp932(cannot_open("in use"))})

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
                self.assertEqual(out, banner(title) + cp932(cannot_open("not owner") + PRESS_ENTER))
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
        with at_prompt(program("velnaril"), path) as prompt:
            self.assertTrue(prompt.at_prompt)
            held = [os.readlink(f"/proc/{prompt.proc.pid}/fd/{fd}")
                    for fd in os.listdir(f"/proc/{prompt.proc.pid}/fd")]
            self.assertNotIn(os.path.realpath(path), held)
        self.assertTrue(prompt.out.endswith(cp932(NOT_RECOGNISED + USE_VELNARI + PRESS_ENTER)))


if __name__ == "__main__":
    unittest.main()
