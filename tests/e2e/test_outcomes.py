"""What a caller can rely on, for both programs: the exit status of every
outcome, several fonts in one run, and the usage text."""
import os
import shutil
import subprocess
import unittest

from harness import (BANNER_NOTICE, DRY_RUN, FINISHED, L_SERIES, NOT_RECOGNISED, NOTHING_CHANGED,
                     PRESS_ENTER, REVERT_NOTICE, RUNNER, SAMPLE_RENAMED, SKIPPED, SUMMARY,
                     TIMEOUT, TIMES, USE_VELNARI, WINDOWS, FontCase, banner, cannot_open, cp932,
                     name_lines, program, read_terminal, renamed_lseries, renamed_sample,
                     status_of, target_line, tool, utf16be, waits_for_enter)

PROGRAMS = (("velnari", "Velnari"), ("velnaril", "VelnariL"))


class Outcomes(FontCase):
    def setUp(self):
        super().setUp()
        self.lseries = os.path.join(self.dir, "lseries")
        os.mkdir(self.lseries)
        tool("make_lseries_fonts", self.lseries)

    def font(self, name, kind="own", file_name=None):
        """A font for the program: its own (renamed by it), a stranger (left
        alone: no names it knows), or an empty file."""
        path = os.path.join(self.dir, file_name or f"{name}-{kind}.ttf")
        if kind == "own" and name == "velnaril":
            shutil.copyfile(os.path.join(self.lseries, "KanovelSL86.ttf"), path)
        elif kind == "own" or (kind == "stranger" and name == "velnaril"):
            tool("make_sample_font", path)
        elif kind == "stranger":
            tool("make_sample_font", path, "KanovelX11 Bold")
        else:
            open(path, "wb").close()
        os.utime(path, ns=TIMES)
        return path

    def make_read_only(self, path):
        if WINDOWS:
            subprocess.run(RUNNER + [program("win_helper"), "readonly", path], check=True,
                           timeout=TIMEOUT)
        else:
            os.chmod(path, 0o444)

    def test_exit_status_tells_what_happened_to_the_file(self):
        from harness import fault_env  # the shim exists in native Linux builds only
        for name, _ in PROGRAMS:
            rows = [("renamed", [self.font(name)], None, 0),
                    ("no names", [self.font(name, "empty")], None, 1),
                    ("not recognised", [self.font(name, "stranger")], None, 1),
                    ("missing", [os.path.join(self.dir, "missing.ttf")], None, 2),
                    ("no argument", [], None, 2)]
            read_only = self.font(name, file_name=f"{name}-read-only.ttf")
            self.make_read_only(read_only)
            rows.append(("read-only", [read_only], None, 2))
            if os.environ.get("WRITE_FAULT_SHIM"):
                rows += [("write fault", [self.font(name, file_name=f"{name}-w.ttf"), "/b"],
                          fault_env("write"), 3),
                         ("times fault", [self.font(name, file_name=f"{name}-t.ttf"), "/b"],
                          fault_env("times"), 4)]
            for what, args, env, status in rows:
                for batch in ([], ["/b"]) if "/b" not in args else ([],):
                    with self.subTest(program=name, outcome=what, batch=batch):
                        if what == "renamed" and batch:
                            args = [self.font(name, file_name=f"{name}-again.ttf")]
                        self.assertEqual(status_of(program(name), *args, *batch, env=env)[0],
                                         status)

    def test_several_files_in_one_run(self):
        # The middle argument, as a drop or a typo gives it: each is said, the
        # others go on, no wait between, and the summary counts them all.
        # The maker's font ends in a maker's name that begins with "Kanovel":
        # Velnari renames it all the same, and says so.
        stranger = {"velnari": NOT_RECOGNISED, "velnaril": NOT_RECOGNISED + USE_VELNARI}
        maker = {"velnari": FINISHED, "velnaril": NOT_RECOGNISED + USE_VELNARI}
        rows = (("stranger", stranger, {"velnari": 1, "velnaril": 1}, ".ttf", ".TTF"),
                ("maker", maker, {"velnari": 0, "velnaril": 1}, ".ttf", ".ttf"),
                ("read-only", cannot_open("read-only"), 2, ".otf", ".otf"),
                ("missing", cannot_open("missing"), 2, ".ttf", ".ttf"),
                ("text file", SKIPPED, 1, ".ttc", ".ttf"),
                ("folder", SKIPPED, 1, ".ttf", ".ttf"),
                ("batch word naming a file", SKIPPED, 1, ".ttf", ".ttf"))
        for name, title in PROGRAMS:
            for middle_kind, message, expected_status, first_ext, last_ext in rows:
                with self.subTest(program=name, middle=middle_kind):
                    message = message[name] if isinstance(message, dict) else message
                    if isinstance(expected_status, dict):
                        expected_status = expected_status[name]
                    stem = f"{name}-{len(middle_kind)}"
                    first = self.font(name, file_name=f"{stem}-1{first_ext}")
                    middle = os.path.join(self.dir, f"{stem}-2")
                    if middle_kind == "stranger":
                        middle = self.font(name, "stranger")
                    elif middle_kind == "maker":
                        names = [utf16be(n) for n in ["KanovelR11 Bold"] * 7 +
                                 ["Kanovel Type Foundry"]]
                        middle = self.write(f"{stem}-maker.ttf",
                                            b"true" + bytes(60) + b"".join(names) + bytes(900))
                    elif middle_kind == "read-only":
                        middle = self.font(name, file_name=f"{stem}-ro.ttf")
                        self.make_read_only(middle)
                    elif middle_kind == "missing":
                        middle += ".ttf"
                    elif middle_kind == "folder":
                        os.mkdir(middle)
                    else:
                        middle = self.write(f"{stem}-readme.txt" if middle_kind == "text file"
                                            else "x", b"not a font\n")
                    last = self.font(name, file_name=f"{stem}-3{last_ext}")
                    untouched = expected_status != 0 and os.path.isfile(middle) and \
                        self.snapshot(middle)
                    status, out = status_of(program(name), first, middle, last)
                    counts = [2 + (expected_status == 0), int(expected_status == 1),
                              int(expected_status == 2)]
                    self.assertEqual(out, banner(title) +
                                     target_line(first) + cp932(FINISHED) +
                                     target_line(middle) + cp932(message) +
                                     target_line(last) + cp932(FINISHED) +
                                     cp932(SUMMARY % tuple(counts) + PRESS_ENTER))
                    self.assertEqual(status, expected_status)
                    if untouched:
                        self.assertUntouched(middle, untouched, was_read=True)
                    for path in (first, last):
                        self.assertEqual(self.snapshot(path)[1:], TIMES)
                        self.assertEqual(status_of(program(name), path, "/b")[0], 1)  # done already

    def test_options_preview_list_and_revert(self):
        # -n reads (a read-only file too) and writes nothing; -v lists the
        # names changed; --revert, before or after the file, takes a rename
        # back to the original bytes and times; none of them is a batch word.
        lseries = L_SERIES[4]  # the font self.font makes for VelnariL
        pairs = {"velnari": (SAMPLE_RENAMED, None), "velnaril": ([lseries[:2]], 7)}
        renames = {"velnari": renamed_sample, "velnaril": lambda d: renamed_lseries(d, *lseries)}
        unchanged = {"velnari": FINISHED + NOTHING_CHANGED, "velnaril": NOT_RECOGNISED}
        for name, title in PROGRAMS:
            with open(self.font(name), "rb") as f:
                original = f.read()
            renamed = renames[name](original)
            names = name_lines(*pairs[name])
            back = name_lines([(new, old) for old, new in pairs[name][0]], pairs[name][1])
            rows = (  # before the file, after it, the file, its lines, the status, its bytes after
                (["-n"], [], "read-only", names + cp932(FINISHED + DRY_RUN), 0, original),
                (["-v"], [], original, names + cp932(FINISHED), 0, renamed),
                ([], ["--revert"], renamed, cp932(FINISHED), 0, original),
                (["--revert", "-v"], [], renamed, back + cp932(FINISHED), 0, original),
                (["--revert"], [], original, cp932(FINISHED + NOTHING_CHANGED), 1, original),
                (["-n"], ["--revert"], renamed, back + cp932(FINISHED + DRY_RUN), 0, renamed),
                (["--dry-run"], [], renamed, cp932(unchanged[name] + DRY_RUN), 1, renamed),
                (["-n"], [], None, cp932(cannot_open("missing")), 2, None))
            for number, (before, after, start, lines, status, end) in enumerate(rows):
                with self.subTest(program=name, args=before + after, row=number):
                    path = os.path.join(self.dir, f"{name}-{number}.ttf")
                    if start is not None:
                        self.write(path, original if start == "read-only" else start)
                    if start == "read-only":
                        self.make_read_only(path)
                    notice = REVERT_NOTICE if "--revert" in before + after else BANNER_NOTICE
                    shown = target_line(path) + lines if start is not None else lines
                    self.assertEqual(waits_for_enter(program(name), *before, path, *after),
                                     (True, banner(title, notice) + shown + cp932(PRESS_ENTER),
                                      b"", status))
                    if end is not None:
                        self.assertEqual(self.snapshot(path), (end,) + TIMES)

    def test_other_second_arguments_keep_batch_mode(self):
        for name, _ in PROGRAMS:
            for second in ("/b", "b", "x", "batch", os.path.join(self.dir, "missing")):
                with self.subTest(program=name, second=second):
                    path = self.font(name, file_name=f"{name}-batch.ttf")
                    other = self.font(name, file_name=f"{name}-other.ttf")
                    before = self.snapshot(other)
                    self.assertEqual(status_of(program(name), path, second), (0, b""))
                    self.assertEqual(status_of(program(name), path, other, second),
                                     (1, b""))  # already renamed; other is not touched
                    self.assertEqual(self.snapshot(other), before)

    def test_usage_text(self):
        for name, title in PROGRAMS:
            for word in ("/?", "-?", "-h", "--help"):
                with self.subTest(program=name, word=word):
                    status, out = status_of(program(name), word)
                    self.assertEqual(status, 0)
                    text = out.replace(b"\r\n", b"\n").decode("cp932")
                    self.assertIn(f"使い方: {title} フォントファイル", text)
                    self.assertIn(f"Usage: {title} FONTFILE", text)
                    self.assertIn("終了コード: 0 変更した", text)
                    self.assertIn("Exit status: 0 renamed", text)
                    self.assertIn("5 partly renamed", text)
                    self.assertIn(f"{title} --help | --version", text)
                    for line in ("  --revert ", "  -n, --dry-run ", "  -v, --verbose ", "  -- ",
                                 f"{title}-revert", "--dry-run: 0 names would change"):
                        self.assertIn(line, text)
                    # Which fonts the program is for.
                    self.assertIn({"velnari": "first 4 KiB", "velnaril": "KanovelRL86 Bold, "
                                   "KanovelL86 Bold, KanovelSL86, KanovelTL86"}[name], text)
                    self.assertNotIn(cp932(PRESS_ENTER), out)
            with self.subTest(program=name, word="--version"):
                self.assertEqual(status_of(program(name), "--version"), (0, (
                    f"{title} {os.environ['VELNARI_VERSION']}\n"
                    "Copyright (c) 2026 the Velnari developers\nMIT License\n").encode().replace(
                        b"\n", b"\r\n" if WINDOWS else b"\n")))
        # A file of that name is a font to rename, not a request for help.
        cwd = os.getcwd()
        os.chdir(self.dir)
        try:
            self.font("velnari", file_name="-h")
            self.assertEqual(status_of(program("velnari"), "-h")[0], 0)
            self.assertEqual(status_of(program("velnari"), "-h", "/b")[0], 1)
            self.font("velnari", file_name="--version")
            self.assertEqual(status_of(program("velnari"), "--version", "/b")[0], 0)
            # After "--", every argument is a file name, and "--" is none.
            self.assertEqual(status_of(program("velnari"), "--", "--help"),
                             (2, banner("Velnari") + cp932(cannot_open("missing") + PRESS_ENTER)))
            font = self.font("velnari", file_name="a.ttf")
            self.assertEqual(status_of(program("velnari"), "--", font),
                             (0, banner("Velnari") + target_line(font) +
                              cp932(FINISHED + PRESS_ENTER)))
        finally:
            os.chdir(cwd)

    @unittest.skipIf(WINDOWS, "POSIX pipes")
    def test_a_closed_output_stops_nothing(self):
        # A reader that goes away after 100 bytes, as head -c 100 does: every
        # font is still renamed, and the status is that of the files.
        first = self.font("velnari", file_name="font-0.ttf")
        with open(first, "rb") as f:
            expected = renamed_sample(f.read())
        fonts = [first] + [shutil.copy(first, os.path.join(self.dir, f"font-{i}.ttf"))
                           for i in range(1, 100)]
        proc = subprocess.Popen([program("velnari"), *fonts], stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE)
        self.assertEqual(len(proc.stdout.read(100)), 100)
        proc.stdout.close()
        self.assertEqual(proc.wait(timeout=TIMEOUT), 0)
        for path in fonts:
            with open(path, "rb") as f:
                self.assertEqual(f.read(), expected, path)

    @unittest.skipIf(WINDOWS, "POSIX terminals")
    def test_usage_on_a_utf8_terminal(self):
        screen = read_terminal([program("velnari"), "--help"], dict(os.environ, LC_ALL="C.UTF-8"))
        redirected = status_of(program("velnari"), "--help")[1]
        self.assertIn("使い方: Velnari フォントファイル", screen.decode("utf-8"))
        self.assertEqual(screen.decode("utf-8"), redirected.decode("cp932"))


if __name__ == "__main__":
    unittest.main()
