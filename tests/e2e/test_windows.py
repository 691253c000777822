"""The Windows programs under Wine: what only Windows has (file times read
through the Windows API, share modes, CR LF on standard output, code pages,
the console, the .exe's resources)."""
import os
import pty
import re
import select
import shutil
import subprocess
import termios
import time
import unittest

from harness import (FINISHED, NOT_RECOGNISED, PRESS_ENTER, REVERT_NOTICE, RUNNER, SUMMARY,
                     TIMEOUT, TIMES, USE_VELNARI, WINDOWS, FontCase, at_prompt, banner, cannot_open,
                     cp932, fonts_to_rename, program, renamed_sample, run, sample_font, status_of,
                     target_line)

PROGRAMS = (("velnari", "Velnari"), ("velnaril", "VelnariL"))
# Unix locales for Wine's two ANSI code pages: 932 (Japanese) and 1252 (Western).
LOCALES = ((932, "ja_JP.UTF-8"), (1252, "en_US.UTF-8"))
ESCAPES = re.compile(rb"\x1b\[[0-9;?]*[A-Za-z]|\x1b\][^\x07]*\x07")


def helper(*args, **kwargs):
    return subprocess.run(RUNNER + [program("win_helper"), *args], stdout=subprocess.PIPE,
                          check=True, timeout=TIMEOUT, **kwargs).stdout


def file_times(path):
    """Creation, last-access and last-write time as GetFileTime reports them."""
    return [int(t) for t in helper("times", path).split()]


def shown_path(path):
    """A path as redirected output shows it: CP932, "?" for what CP932 lacks."""
    return path.encode("cp932", errors="replace")


@unittest.skipUnless(WINDOWS, "Windows programs only")
class WindowsFileEdit(FontCase):
    def locale_env(self, locale):
        """Wine takes its code pages from the Unix locale, and reads UTF-8
        arguments only when that locale exists; a copy of C.UTF-8 under the
        locale's name is enough, and needs no locale package."""
        folder = os.path.join(self.dir, "locales")
        if not os.path.isdir(os.path.join(folder, locale)):
            shutil.copytree("/usr/lib/locale/C.utf8", os.path.join(folder, locale))
        return dict(os.environ, LOCPATH=folder, LANG=locale, LC_ALL=locale)

    def test_any_path_opens_the_right_file_under_either_code_page(self):
        with open(sample_font(self.dir), "rb") as f:
            original = f.read()
        renamed = renamed_sample(original)
        long_folder = os.path.join(*(["d" * 60] * 5))
        rows = [os.path.join("日本語のフォルダ", "見本フォント.ttf"), "한국어 글꼴.ttf", "emoji 😀.ttf",
                "Café.ttf", os.path.join(long_folder, "long.ttf"),
                os.path.join("my fonts", "a font.ttf")]
        head, tail = cp932("対象フォントファイル: %s\n").split(b"%s")
        for code_page, locale in LOCALES:
            env = self.locale_env(locale)
            self.assertEqual(helper("codepages", env=env).split()[0], str(code_page).encode())
            root = os.path.join(self.dir, f"cp{code_page}")
            for row in rows + ["Cafe.ttf"]:  # Cafe.ttf: what a best-fit Café would open
                os.makedirs(os.path.dirname(os.path.join(root, row)), exist_ok=True)
                self.write(os.path.join(root, row), original)
            self.assertGreater(len(os.path.join(root, rows[4])), 300)
            for row in rows:
                with self.subTest(code_page=code_page, path=row):
                    path = os.path.join(root, row)
                    others = {p: self.snapshot(p) for p in self.files(root) if p != path}
                    before = self.snapshot(path)
                    out, _ = run(program("velnari"), path, env=env)
                    # Windows may show a character outside the BMP as one "?" per UTF-16 unit.
                    self.assertIn(out, [banner("Velnari") + head + shown + tail +
                                        cp932(FINISHED + PRESS_ENTER)
                                        for shown in (shown_path(path),
                                                      shown_path(path).replace(b"?", b"??"))])
                    self.assertEqual(self.snapshot(path), (renamed,) + before[1:])
                    self.assertEqual({p: self.snapshot(p) for p in others}, others)

    def files(self, root):
        return [os.path.join(d, f) for d, _, names in os.walk(root) for f in names]

    def test_console_shows_japanese_and_enter_ends_the_wait(self):
        for code_page, locale in LOCALES:
            with self.subTest(code_page=code_page):
                folder = os.path.join(self.dir, f"日本語 {code_page}")
                os.mkdir(folder)
                path = os.path.join(folder, "見本.ttf")
                os.replace(sample_font(self.dir), path)
                primary, secondary = pty.openpty()
                proc = subprocess.Popen(RUNNER + [program("velnari"), path], stdin=secondary,
                                        stdout=secondary, stderr=secondary,
                                        env=self.locale_env(locale))
                os.close(secondary)
                screen, pressed, deadline = b"", 0.0, time.monotonic() + TIMEOUT
                while proc.poll() is None and time.monotonic() < deadline:
                    if select.select([primary], [], [], 0.1)[0]:
                        try:
                            screen += os.read(primary, 4096)
                        except OSError:
                            break
                    # Enter pressed before Wine's console reads is lost: pressed
                    # again every half second until the program ends.
                    if ("押してください".encode() in ESCAPES.sub(b"", screen) and
                            time.monotonic() > pressed + 0.5):
                        attributes = termios.tcgetattr(primary)
                        attributes[0] &= ~termios.ICRNL  # Enter is a carriage return
                        termios.tcsetattr(primary, termios.TCSANOW, attributes)
                        os.write(primary, b"\r")
                        pressed = time.monotonic()
                status = proc.wait(timeout=TIMEOUT)
                os.close(primary)
                text = ESCAPES.sub(b"", screen).decode("utf-8", errors="replace")
                for line in ("Velnari - Kanovel フォント名変更ツール",
                             "フォントファイルの中のフォント名を全角の名前に書き換えます。",
                             path, "処理を終了しました。", "[Enter]キーを押してください。"):
                    self.assertIn(line, text)
                self.assertEqual(status, 0)  # Enter ended the wait; the font was renamed

    def test_exe_files_carry_a_manifest_and_version_information(self):
        for name, title in PROGRAMS:
            with self.subTest(program=name):
                exe = program(name)
                dump = subprocess.run([os.environ["OBJDUMP"], "-p", exe], stdout=subprocess.PIPE,
                                      check=True, timeout=TIMEOUT).stdout.decode()
                dlls = {d.lower() for d in re.findall(r"DLL Name: (\S+)", dump)}
                self.assertLessEqual(dlls, {"kernel32.dll", "msvcrt.dll", "shell32.dll"})
                types = re.search(r"Type Table:.*?Resources start", dump, re.S).group(0)
                self.assertIn("Entry: ID: 0x000010", types)  # RT_VERSION
                self.assertIn("Entry: ID: 0x000018", types)  # RT_MANIFEST
                with open(exe, "rb") as f:
                    data = f.read()
                self.assertIn(b'<requestedExecutionLevel level="asInvoker"', data)
                self.assertRegex(data, rb"<longPathAware[^>]*>true</longPathAware>")
                self.assertIn(b"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", data)  # Windows 10/11
                self.assertIn(f"{title}: Kanovel".encode("utf-16-le"), data)  # Japanese description
                self.assertIn("フォント名変更ツール".encode("utf-16-le"), data)
                self.assertIn(os.environ["VELNARI_VERSION"].encode("utf-16-le"), data)

    def test_all_three_times_are_kept_to_100_ns(self):
        fonts, _ = fonts_to_rename(self.dir)
        for name, title in PROGRAMS:
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

    def test_what_cannot_be_opened_says_why(self):
        # A name ending in a dot is that name, not the font beside it that
        # the full-path conversion would make of it.
        path = sample_font(self.dir)
        read_only = shutil.copy(path, os.path.join(self.dir, "read-only.ttf"))
        helper("readonly", read_only)
        os.utime(read_only, ns=TIMES)
        holder = subprocess.Popen(RUNNER + [program("win_helper"), "hold", path, "60"],
                                  stdout=subprocess.PIPE)
        rows = (("missing.ttf", "missing"), ("sample.ttf.", "missing"),
                ("read-only.ttf", "read-only"),
                ("sample.ttf", "in use"))
        try:
            self.assertEqual(holder.stdout.readline(), b"held\r\n")
            before = {p: self.snapshot(p) for p in (path, read_only)}
            for name, title in PROGRAMS:
                for given, cause in rows:
                    with self.subTest(program=name, path=given):
                        out, _ = run(program(name), os.path.join(self.dir, given))
                        self.assertEqual(out, banner(title) + cp932(cannot_open(cause) +
                                                                    PRESS_ENTER))
        finally:
            holder.kill()
            holder.wait()
        self.assertUntouched(path, before[path])
        self.assertUntouched(read_only, before[read_only])

    def test_wildcards_are_matched_as_dir_matches_them(self):
        # cmd and PowerShell pass * and ? on as typed: the program matches
        # them, case-insensitively, and takes the files in name order.
        with open(sample_font(self.dir), "rb") as f:
            original = f.read()
        folder = os.path.join(self.dir, "fonts")
        os.mkdir(folder)
        names = ("a.ttf", "B.TTF", "ab.ttf", "c.otf", "readme.txt")
        # One match is a run of one file, as if it had been named.
        rows = (("*.ttf", ["a.ttf", "ab.ttf", "B.TTF"]), ("?.ttf", ["a.ttf", "B.TTF"]),
                ("c.*", ["c.otf"]))
        for pattern, matched in rows:
            with self.subTest(pattern=pattern):
                paths = {name: self.write(os.path.join(folder, name), original) for name in names}
                status, out = status_of(program("velnari"), os.path.join(folder, pattern))
                summary = SUMMARY % (len(matched), 0, 0) if len(matched) > 1 else ""
                self.assertEqual((status, out), (0, banner("Velnari") + b"".join(
                    target_line(paths[name]) + cp932(FINISHED) for name in matched) +
                    cp932(summary + PRESS_ENTER)))
                for name, path in paths.items():
                    self.assertEqual(self.snapshot(path)[0],
                                     renamed_sample(original) if name in matched else original)
        with self.subTest(pattern="no match"):
            self.assertEqual(status_of(program("velnari"), os.path.join(folder, "*.xyz")),
                             (2, banner("Velnari") + cp932(cannot_open("no match") +
                                                           PRESS_ENTER)))

    def test_an_installed_font_says_how_to_rename_it(self):
        # Windows holds an installed font open itself, sharing nothing: no
        # program can be closed to free it. Held elsewhere, a font is in use;
        # held by nobody, an installed font is renamed as any other.
        font = sample_font(self.dir)
        installed = helper("fontsdir").decode().strip() + f"\\velnari-{os.getpid()}.ttf"
        helper("copy", font, installed)
        try:
            for path, cause in ((installed, "installed"), (font, "in use")):
                with self.subTest(cause=cause):
                    holder = subprocess.Popen(RUNNER + [program("win_helper"), "lock", path, "60"],
                                              stdout=subprocess.PIPE)
                    try:
                        self.assertEqual(holder.stdout.readline(), b"held\r\n")
                        self.assertEqual(status_of(program("velnari"), path),
                                         (2, banner("Velnari") + cp932(cannot_open(cause) +
                                                                       PRESS_ENTER)))
                    finally:
                        holder.kill()
                        holder.wait()
            self.assertEqual(status_of(program("velnari"), installed),
                             (0, banner("Velnari") + target_line(installed) +
                              cp932(FINISHED + PRESS_ENTER)))
        finally:
            helper("move", installed, os.path.join(self.dir, "removed.ttf"))

    def test_racing_opener_never_sees_renamed_but_cannot_open(self):
        fonts, renamed = fonts_to_rename(self.dir)
        for name, _ in PROGRAMS:
            with open(fonts[name], "rb") as f:
                original = f.read()
            racer = subprocess.Popen(RUNNER + [program("win_helper"), "race", fonts[name], "60"],
                                     stdout=subprocess.PIPE)
            outcomes = set()
            try:
                self.assertEqual(racer.stdout.readline(), b"racing\r\n")
                for _ in range(6):
                    with open(fonts[name], "wb") as f:
                        f.write(original)
                    os.utime(fonts[name], ns=TIMES)
                    out, _ = run(program(name), fonts[name], "/b")
                    data, atime, mtime = self.snapshot(fonts[name])
                    self.assertIn(out, (b"", cp932(cannot_open("in use"))))
                    self.assertEqual(data, renamed[name] if out == b"" else original)
                    self.assertEqual(mtime, TIMES[1])
                    outcomes.add(out)
            finally:
                racer.kill()
                racer.wait()
            self.assertIn(cp932(cannot_open("in use")), outcomes)  # the race happened

    def test_a_copy_named_revert_takes_back_what_is_dropped_on_it(self):
        # A drop puts the path, as it is, on the copy's command line: no
        # shell comes between to read &, % or ^.
        fonts, renamed = fonts_to_rename(self.dir)
        folder = os.path.join(self.dir, "fonts & more %PATH% ^1")
        os.mkdir(folder)
        for name, title in PROGRAMS:
            with self.subTest(program=name):
                with open(fonts[name], "rb") as f:
                    original = f.read()
                path = self.write(os.path.join(folder, f"{name} 100% & ^.ttf"), renamed[name])
                out, _ = run(program(name + "_revert"), path)
                self.assertEqual(out, banner(title, REVERT_NOTICE) + target_line(path) +
                                 cp932(FINISHED + PRESS_ENTER))
                self.assertEqual(self.snapshot(path), (original,) + TIMES)

    def test_unrecognised_file_can_be_moved_while_the_program_waits(self):
        path = sample_font(self.dir)
        with at_prompt(program("velnaril"), path) as prompt:
            self.assertTrue(prompt.at_prompt)
            moved = subprocess.run(RUNNER + [program("win_helper"), "move", path, path + ".moved"],
                                   timeout=TIMEOUT)
            self.assertEqual(moved.returncode, 0)
        self.assertTrue(prompt.waited)
        self.assertTrue(prompt.out.endswith(cp932(NOT_RECOGNISED + USE_VELNARI + PRESS_ENTER)))


if __name__ == "__main__":
    unittest.main()
