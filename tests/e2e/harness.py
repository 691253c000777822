"""Shared helpers of the end-to-end tests: run a real program as a user or a
script would, and say what it must have printed, in bytes.

The expected texts are typed from the specification in Unicode and turned
into CP932 and UTF-16BE by iconv, so they do not come from the code under test.
"""
import contextlib
import os
import shlex
import subprocess
import tempfile
import time
import unittest

TIMEOUT = float(os.environ.get("E2E_TIMEOUT", "30"))
# Prefix for running the programs (an emulator for the Windows build).
RUNNER = shlex.split(os.environ.get("E2E_RUNNER", ""))
WINDOWS = bool(os.environ.get("E2E_WINDOWS"))
NEWLINE = b"\r\n" if WINDOWS else b"\n"
# Distinctive access and write times (ns) for test files. Windows keeps file
# times in 100 ns units, so there they are whole multiples of 100.
TIMES = ((1_000_000_123_456_700, 1_200_000_987_654_300) if WINDOWS else
         (1_000_000_123_456_789, 1_200_000_987_654_321))


def program(name):
    path = os.environ.get(name.upper())
    if not path:
        raise unittest.SkipTest(f"{name.upper()} is not set")
    return path


def iconv(text, to):
    return subprocess.run(["iconv", "-f", "UTF-8", "-t", to], input=text.encode("utf-8"),
                          stdout=subprocess.PIPE, check=True).stdout


def cp932(text):
    """The console bytes of a message: CP932, with CR LF on Windows."""
    return iconv(text, "CP932").replace(b"\n", NEWLINE)


def utf16be(text):
    return iconv(text, "UTF-16BE")


NO_FILE = "フォントファイルが指定されていません。\n"
CANNOT_OPEN = "フォントファイルが開けません。\n"
TARGET = "対象フォントファイル: %s\n"
NOT_RECOGNISED = "フォントファイルが不正か、既にフォント名が変更されています。\n"
FINISHED = "\n処理を終了しました。\n"
PRESS_ENTER = "[Enter]キーを押してください。\n"
CANNOT_WRITE = "フォントファイルに書き込めません。\n"
TIMES_NOT_KEPT = "フォント名は変更しましたが、ファイルの日時を元に戻せませんでした。\n"


def banner(title):
    return (title.encode() + cp932(" - Kanovel フォント名変更ツール\n") +
            cp932("フォントファイルの中のフォント名を全角の名前に書き換えます。\n\n"))


def target_line(path):
    head, tail = TARGET.split("%s")
    return cp932(head) + os.fsencode(path) + cp932(tail)


def run(prog, *args, stdin=b"", env=None, **popen):
    """Runs the program to its end with stdin as given; returns (stdout, stderr)."""
    done = subprocess.run(RUNNER + [prog, *args], input=stdin, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=TIMEOUT, env=env, **popen)
    return done.stdout, done.stderr


def waits_for_enter(prog, *args, env=None, **popen):
    """Runs the program with a stdin that stays open; returns (waited, stdout).

    waited is True when the program was still running after a pause and ended
    once a line was typed: it sat at its prompt. False when it ended alone."""
    proc = subprocess.Popen(RUNNER + [prog, *args], stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env, **popen)
    try:
        proc.wait(timeout=2.0 if not WINDOWS else 4.0)
        waited = False
    except subprocess.TimeoutExpired:
        waited = True
    out, _ = proc.communicate(input=b"\n", timeout=TIMEOUT)
    return waited, out


@contextlib.contextmanager
def at_prompt(prog, *args):
    """Runs the program until it asks for Enter and yields (its process, what
    it printed); then presses Enter."""
    proc = subprocess.Popen(RUNNER + [prog, *args], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    seen = b""
    try:
        while not seen.endswith(cp932(PRESS_ENTER)):
            chunk = proc.stdout.read1(4096)
            if not chunk:
                break
            seen += chunk
        yield proc, seen
    finally:
        proc.communicate(b"\n", timeout=TIMEOUT)


class FontCase(unittest.TestCase):
    """A test with a scratch folder, and helpers for a file's bytes and times."""

    def setUp(self):
        self._dir = tempfile.TemporaryDirectory()
        self.dir = self._dir.name

    def tearDown(self):
        self._dir.cleanup()

    def write(self, name, data, times=None):
        """Writes a file and gives it distinctive access and write times (ns)."""
        times = times or TIMES
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(data)
        os.utime(path, ns=times)
        return path

    def snapshot(self, path):
        st = os.stat(path)
        with open(path, "rb") as f:
            data = f.read()
        os.utime(path, ns=(st.st_atime_ns, st.st_mtime_ns))  # our read must not count
        return data, st.st_atime_ns, st.st_mtime_ns

    def assertUntouched(self, path, before, was_read=False):
        """Same bytes and times. A file the program read but did not ask to have
        its times restored (VelnariL, not recognised) keeps its access time only
        where the platform lets a reader leave it alone: Linux, not Windows."""
        after = self.snapshot(path)
        if was_read and WINDOWS:
            after, before = (after[0], after[2]), (before[0], before[2])
        self.assertEqual(after, before)


def tool(name, *args):
    """Runs one of the project's generators (built for the same platform as the programs)."""
    subprocess.run(RUNNER + [program(name), *args], check=True, timeout=TIMEOUT,
                   stdout=subprocess.DEVNULL)


def sample_font(folder, name=None):
    """Our sample font, made by the project's generator."""
    path = os.path.join(folder, "sample.ttf")
    tool("make_sample_font", path, *([name] if name else []))
    os.utime(path, ns=TIMES)
    return path


def fc_query(path, element):
    """What FreeType (through fontconfig) reads as the font's names."""
    done = subprocess.run(["fc-query", "--format", "%{" + element + "}", path],
                          stdout=subprocess.PIPE, check=True, timeout=TIMEOUT)
    return done.stdout.decode("utf-8").split(",")


def fault_env(fault):
    """Environment that preloads the write-fault shim (see write_fault_shim.cpp)."""
    shim = os.environ.get("WRITE_FAULT_SHIM")
    if not shim:
        raise unittest.SkipTest("no write-fault shim in this build")
    # A sanitized program wants its runtime first; the shim goes before it.
    asan = (os.environ.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0").lstrip(":")
    return dict(os.environ, LD_PRELOAD=shim, WRITE_FAULT=fault, ASAN_OPTIONS=asan)


def clock():
    return time.monotonic()
