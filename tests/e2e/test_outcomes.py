"""What a caller can rely on, for both programs: the exit status of every
outcome, several fonts in one run, and the usage text."""
import os
import shutil
import subprocess
import unittest

from harness import (BANNER_NOTICE, COMPLETED_REVERT, CP932_COPIES, DRY_RUN, FINISHED,
                     FOLDER_UNREADABLE, FOLDER_WITHOUT_FONTS, L_SERIES, NOT_A_FONT, NOT_RECOGNISED,
                     NOTHING_CHANGED, PRESS_ENTER, REASONS, REVERT_NOTICE, RUNNER, SAMPLE_RENAMED,
                     SKIPPED, SUMMARY, SUMMARY_DRY_RUN, TIMEOUT, TIMES, UNKNOWN_OPTION, USE_VELNARI,
                     WINDOWS, WOULD_CHANGE_NOTHING, WOULD_NOT_OPEN, WOULD_RENAME, WOULD_REVERT,
                     FontCase, banner, cannot_open, cp932, name_lines, program, read_terminal,
                     renamed_lseries, renamed_sample, status_of, target_line, tool, utf16be,
                     waits_for_enter)

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
                ("folder without fonts", FOLDER_WITHOUT_FONTS, 1, ".ttf", ".ttf"),
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
                    elif middle_kind == "folder without fonts":
                        os.mkdir(middle)
                        self.write(os.path.join(middle, "readme.txt"), b"not a font\n")
                    else:
                        middle = self.write(f"{stem}-readme.txt" if middle_kind == "text file"
                                            else "x", b"not a font\n")
                    last = self.font(name, file_name=f"{stem}-3{last_ext}")
                    untouched = expected_status != 0 and os.path.isfile(middle) and \
                        self.snapshot(middle)
                    status, out = status_of(program(name), first, middle, last)
                    counts = [2 + (expected_status == 0), int(expected_status == 1),
                              int(expected_status == 2)]
                    middle_lines = target_line(middle, message) if "%s" in message else \
                        target_line(middle) + cp932(message)
                    self.assertEqual(out, banner(title) +
                                     target_line(first) + cp932(FINISHED) + middle_lines +
                                     target_line(last) + cp932(FINISHED) +
                                     cp932(SUMMARY % tuple(counts) + PRESS_ENTER))
                    self.assertEqual(status, expected_status)
                    if untouched:
                        self.assertUntouched(middle, untouched)
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
        unchanged = {"velnari": WOULD_CHANGE_NOTHING, "velnaril": NOT_RECOGNISED}
        # Where a revert cut short stopped: after Velnari's 5th name, VelnariL's lengths.
        stopped = {"velnari": 32 + 4, "velnaril": CP932_COPIES[0]}
        # A Notepad "Unicode" memo: read one byte off, its text is UTF-16BE.
        memo = ("\ufeffメモ\r\n" + "KanovelR11 Bold の見本\r\n" * 7).encode("utf-16-le")
        for name, title in PROGRAMS:
            with open(self.font(name), "rb") as f:
                original = f.read()
            renamed = renames[name](original)
            names = name_lines(*pairs[name])
            back = name_lines([(new, old) for old, new in pairs[name][0]], pairs[name][1])
            key = utf16be("Kanovel")
            at = stopped[name] if name == "velnaril" else \
                [i for i in range(len(original)) if original.startswith(key, i)][5]
            half_reverted = original[:at] + renamed[at:]
            rows = (  # before the file, after it, the file, its lines, the status, its bytes after
                (["-n"], [], original, names + cp932(WOULD_RENAME + DRY_RUN), 0, original),
                (["-n"], [], "read-only", names + cp932(WOULD_NOT_OPEN + REASONS["read-only"] +
                                                        DRY_RUN), 2, original),
                (["-v"], [], original, names + cp932(FINISHED), 0, renamed),
                ([], ["--revert"], renamed, cp932(FINISHED), 0, original),
                (["--revert", "-v"], [], renamed, back + cp932(FINISHED), 0, original),
                (["--revert"], [], original, cp932(FINISHED + NOTHING_CHANGED), 1, original),
                (["--revert"], [], half_reverted, cp932(FINISHED + COMPLETED_REVERT), 0, original),
                (["-n"], ["--revert"], renamed, back + cp932(WOULD_REVERT + DRY_RUN), 0, renamed),
                (["--dry-run"], [], renamed, cp932(unchanged[name] + DRY_RUN), 1, renamed),
                ([], [], memo, cp932(NOT_RECOGNISED + NOT_A_FONT), 1, memo),
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
            with self.subTest(program=name, args=["-n", "several files"]):
                paths = [self.write(f"{name}-dry-{i}.ttf", original) for i in (1, 2)]
                self.assertEqual(status_of(program(name), "-n", *paths)[1][-len(cp932(
                    SUMMARY_DRY_RUN % (2, 0, 0) + PRESS_ENTER)):],
                    cp932(SUMMARY_DRY_RUN % (2, 0, 0) + PRESS_ENTER))

    def test_a_folder_stands_for_its_font_files(self):
        # Its font files and its subfolders', in name order; other files and
        # a link to a folder are passed over. A dry run, a rename, a revert
        # and a batch run each go through the same files.
        sep = "\\" if WINDOWS else "/"
        sample = self.font("velnari", file_name="sample.ttf")
        original = self.snapshot(sample)[0]
        renamed = renamed_sample(original)
        fonts, elsewhere = (os.path.join(self.dir, f) for f in ("fonts", "elsewhere"))
        os.makedirs(os.path.join(fonts, "sub"))
        os.mkdir(elsewhere)
        found = [os.path.join(fonts, *name) for name in (["A.TTF"], ["b.ttf"], ["sub", "c.otf"])]
        for path in found + [os.path.join(elsewhere, "d.ttf")]:
            self.write(path, original)
        shown = [fonts + sep + os.path.relpath(path, fonts).replace("/", sep) for path in found]
        self.write(os.path.join(fonts, "notes.txt"), b"not a font\n")
        if not WINDOWS:
            os.symlink(elsewhere, os.path.join(fonts, "linked"))
        each = {"-n": name_lines(SAMPLE_RENAMED) + cp932(WOULD_RENAME + DRY_RUN),
                "": cp932(FINISHED)}
        rows = ((["-n"], each["-n"], SUMMARY_DRY_RUN, original), ([], each[""], SUMMARY, renamed),
                (["--revert"], each[""], SUMMARY, original), (["/b"], None, None, renamed))
        for args, lines, summary, after in rows:
            with self.subTest(args=args):
                notice = REVERT_NOTICE if "--revert" in args else BANNER_NOTICE
                expected = b"" if lines is None else (
                    banner("Velnari", notice) + b"".join(target_line(p) + lines for p in shown) +
                    cp932(summary % (3, 0, 0) + PRESS_ENTER))
                self.assertEqual(status_of(program("velnari"), fonts, *args), (0, expected))
                for path in found:
                    self.assertEqual(self.snapshot(path), (after,) + TIMES)
                self.assertEqual(self.snapshot(os.path.join(elsewhere, "d.ttf")),
                                 (original,) + TIMES)
        empty = os.path.join(self.dir, "empty")
        os.mkdir(empty)
        self.assertEqual(status_of(program("velnari"), empty),
                         (1, banner("Velnari") + target_line(empty, FOLDER_WITHOUT_FONTS) +
                          cp932(SUMMARY % (0, 1, 0) + PRESS_ENTER)))

    @unittest.skipIf(WINDOWS, "POSIX permissions")
    def test_a_folder_that_cannot_be_read_is_a_failure(self):
        # Root reads any folder: the run is then made by another user, who
        # owns the tree (and so may set its fonts' times).
        folder = os.path.join(self.dir, "fonts")
        locked = os.path.join(folder, "locked")
        os.makedirs(locked)
        font = self.font("velnari", file_name=os.path.join("fonts", "a.ttf"))
        prog, become = program("velnari"), None
        if os.geteuid() == 0:
            os.chmod(self.dir, 0o755)
            for path in (folder, locked, font):
                os.chown(path, 65534, 65534)
            prog = shutil.copy(prog, os.path.join(self.dir, "velnari"))
            become = lambda: (os.setgid(65534), os.setuid(65534))  # noqa: E731
        os.chmod(locked, 0)
        done = subprocess.run([*RUNNER, prog, folder], stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, timeout=TIMEOUT, preexec_fn=become)
        self.assertEqual((done.returncode, done.stdout), (2, (
            banner("Velnari") + target_line(font) + cp932(FINISHED) +
            target_line(locked, FOLDER_UNREADABLE) + cp932(REASONS["access denied"] +
                                                         SUMMARY % (1, 0, 1) + PRESS_ENTER))))
        self.assertEqual(self.snapshot(font)[1:], TIMES)

    def test_a_batch_word_covers_every_file_named(self):
        # Every file named is renamed, quietly; a failure is said under its
        # target line; the status is the highest of the files'.
        renames = {"velnari": renamed_sample,
                   "velnaril": lambda d: renamed_lseries(d, *L_SERIES[4])}
        missing = os.path.join(self.dir, "missing.ttf")
        for name, _ in PROGRAMS:
            for second in ("/b", "b", "x", "-b", "batch", os.path.join(self.dir, "missing")):
                with self.subTest(program=name, second=second):
                    path = self.font(name, file_name=f"{name}-batch.ttf")
                    other = self.font(name, file_name=f"{name}-other.ttf")
                    before = self.snapshot(other)
                    self.assertEqual(status_of(program(name), path, second), (0, b""))
                    self.assertEqual(status_of(program(name), path, other, second),
                                     (1, b""))  # path renamed already, other renamed now
                    self.assertEqual(self.snapshot(other), (renames[name](before[0]),) + TIMES)
            with self.subTest(program=name, second="a failure among them"):
                path = self.font(name, file_name=f"{name}-batch.ttf")
                self.assertEqual(status_of(program(name), path, missing, "/b"),
                                 (2, target_line(missing) + cp932(cannot_open("missing"))))
                self.assertEqual(status_of(program(name), path, "/b")[0], 1)  # renamed

    def test_words_that_look_like_options_never_rename(self):
        # Short options combine; help, the version and an unknown "--" word
        # open nothing, wherever they stand; a file of that name is a file.
        cwd = os.getcwd()
        os.chdir(self.dir)
        try:
            font = self.font("velnari", file_name="a.ttf")
            original = self.snapshot(font)[0]
            names = name_lines(SAMPLE_RENAMED)
            dry = banner("Velnari") + target_line(font) + names + cp932(WOULD_RENAME + DRY_RUN +
                                                                         PRESS_ENTER)
            unknown = cp932(UNKNOWN_OPTION.replace("%s", "--dryrun", 1) % "Velnari")
            rows = ((["-nv"], 0, dry), (["-vn"], 0, dry), (["--dryrun"], 2, unknown),
                    (["--help"], 0, None), (["-h", "/b"], 0, None), (["--version"], 0, None))
            for words, status, out in rows:
                for args in ([font] + words, words + [font]):
                    with self.subTest(args=args):
                        done = status_of(program("velnari"), *args)
                        self.assertEqual(done[0], status)
                        if out is not None:
                            self.assertEqual(done[1], out)
                        self.assertEqual(self.snapshot(font), (original,) + TIMES)
            self.assertIn(b"Usage: Velnari", status_of(program("velnari"), font, "--help")[1])
            # A file named -n is renamed, and "--" is no file itself.
            named = self.font("velnari", file_name="-n")
            self.assertEqual(status_of(program("velnari"), "-n"),
                             (0, banner("Velnari") + target_line("-n") + cp932(FINISHED +
                                                                              PRESS_ENTER)))
            self.assertEqual(status_of(program("velnari"), "--", "-nv")[0], 2)
            self.assertNotEqual(self.snapshot(named)[0], original)
        finally:
            os.chdir(cwd)

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
