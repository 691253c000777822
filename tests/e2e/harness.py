"""Shared helpers of the end-to-end tests: run a real program as a user or a
script would, and say what it must have printed, in bytes.

The expected texts are typed in Unicode and turned
into CP932 and UTF-16BE by iconv, so they do not come from the code under test.
"""
import contextlib
import os
import pty
import select
import shlex
import subprocess
import tempfile
import time
import types
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
PARTLY_RENAMED = ("フォント名の変更が途中で止まりました。ディスクに空きができるか直ってから、"
                  "もう一度実行すると変更が完了します。\n")
NOTHING_CHANGED = "フォント名は変更していません。ファイルは元のままです。\n"
NO_NAMES = ("Kanovel のフォント名が見つからないため、何も変更していません（ファイルは元のままです）。"
            "L シリーズのフォントには VelnariL を使ってください。\n")
COMPLETED = "中断されていたフォント名の変更を最後まで行いました。\n"
COMPLETED_REVERT = ("中断されていた取り消しを最後まで行い、フォント名を元のラテン文字の名前に戻しました。"
                    "\n")
SKIPPED = "フォントファイルではないため、飛ばしました。\n"
SUMMARY = "結果: 変更 %d 件、変更なし %d 件、失敗 %d 件\n"
NOT_A_FONT = "TrueType や OpenType のフォントファイルではないため、何も変更していません。\n"
USE_VELNARI = "L シリーズではない Kanovel のフォントのようです。このフォントには Velnari を使ってください。\n"
DRY_RUN = "確認だけのため、ファイルには何も書き込んでいません。\n"
# What a dry run says a run would do.
WOULD_RENAME = "実行すると、上のフォント名を全角の名前に変更します。\n"
WOULD_REVERT = "実行すると、上のフォント名を元のラテン文字の名前に戻します。\n"
WOULD_COMPLETE = "実行すると、中断されていたフォント名の変更を最後まで行います。\n"
WOULD_CHANGE_NOTHING = "実行しても、変更するフォント名はありません。\n"
WOULD_NOT_OPEN = "実行しても、このファイルは書き換えられません。\n"
SUMMARY_DRY_RUN = "確認の結果: 変更される %d 件、変更なし %d 件、失敗 %d 件\n"
UNKNOWN_OPTION = "不明なオプションです: %s（使い方: %s --help）\n"
FOLDER_WITHOUT_FONTS = "フォルダーにフォントファイルがありません: %s\n"
FOLDER_UNREADABLE = "フォルダーを開けません: %s\n"
BANNER_NOTICE = "フォントファイルの中のフォント名を全角の名前に書き換えます。\n\n"
REVERT_NOTICE = "フォントファイルの中の全角のフォント名を、元のラテン文字の名前に戻します。\n\n"
# The line after CANNOT_OPEN, by cause.
REASONS = {
    "missing": "原因: ファイルが見つかりません。名前と場所を確かめてください。\n",
    "not regular": "原因: 通常のファイルではありません（フォルダーやデバイスなど）。\n",
    "in use": ("原因: ほかのプログラムが使用中です。そのプログラムを閉じてから、"
               "もう一度実行してください。\n"),
    "read-only": ("原因: 読み取り専用です。読み取り専用の属性を外して（書き込みを許可して）から、"
                  "もう一度実行してください。\n"),
    "not owner": "原因: ファイルの所有者ではないため、日時を元に戻せません。所有者として実行してください。\n",
    "read-only drive": ("原因: 読み取り専用のドライブにあります。書き込めるフォルダーにコピーしてから"
                        "（または書き込み禁止を解除してから）、もう一度実行してください。\n"),
    "access denied": "原因: アクセスが拒否されました。\n",
    "no match": "原因: 名前に一致するファイルがありません。名前と場所を確かめてください。\n",
    "installed": ("原因: Windows にインストールされ、Windows が使用中のフォントです。"
                  "フォントをアンインストールしてからフォント名を変更し、もう一度インストールしてください。\n"),
}


def cannot_open(cause):
    return CANNOT_OPEN + REASONS[cause]


def no_file(title):
    """What a run without a file says before its prompt."""
    return cp932(NO_FILE + "フォントファイルをこのプログラムのアイコンにドラッグ＆ドロップするか、"
                 "フォントファイルのパスを指定して実行してください。\n"
                 f"使い方の詳細: {title} --help\n")


def banner(title, notice=None):
    notice = BANNER_NOTICE if notice is None else notice
    return title.encode() + cp932(" - Kanovel フォント名変更ツール\n" + notice)


def name_lines(pairs, copies=None):
    """What -v and -n list: one line a name, old and new (VelnariL: and the copies)."""
    tail = "" if copies is None else f"（{copies} か所）"
    return cp932("".join(f"  {old} → {new}{tail}\n" for old, new in pairs))


def target_line(path, text=TARGET):
    """A line that names a path (the target line, or a folder's line): the
    path's bytes as given, the rest CP932."""
    head, tail = text.split("%s")
    return cp932(head) + os.fsencode(path) + cp932(tail)


def run(prog, *args, stdin=b"", env=None, **popen):
    """Runs the program to its end with stdin as given; returns (stdout, stderr)."""
    done = subprocess.run(RUNNER + [prog, *args], input=stdin, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=TIMEOUT, env=env, **popen)
    return done.stdout, done.stderr


def status_of(prog, *args, env=None):
    """(exit status, stdout) of a run whose standard input is at its end."""
    done = subprocess.run(RUNNER + [prog, *args], input=b"", stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=TIMEOUT, env=env)
    return done.returncode, done.stdout


@contextlib.contextmanager
def at_prompt(prog, *args, env=None, **popen):
    """Runs the program with a standard input that stays open. Yields a record
    once its output ends in the Enter prompt or closes: proc, out so far, and
    at_prompt (the prompt is there and the program still runs). Then types one
    line if it is at the prompt, and waits for the end: out, err and status
    are then all it printed and returned, and waited says the line typed was
    read, so the program sat at its prompt. Every step has the deadline
    TIMEOUT, after which the test fails; there is no fixed pause."""
    reader, writer = os.pipe()  # ours too: a line the program did not read stays in it
    proc = subprocess.Popen(RUNNER + [prog, *args], stdin=reader, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, env=env, **popen)
    record = types.SimpleNamespace(proc=proc, waited=False)
    try:
        record.out = read_until(proc.stdout, cp932(PRESS_ENTER))
        record.at_prompt = record.out.endswith(cp932(PRESS_ENTER)) and proc.poll() is None
        yield record
        if record.at_prompt:
            os.write(writer, b"\n")
        record.out += read_until(proc.stdout, None)
        record.status = proc.wait(timeout=TIMEOUT)
        record.err = proc.stderr.read()
        record.waited = record.at_prompt and not select.select([reader], [], [], 0)[0]
    finally:
        if proc.poll() is None:
            proc.kill()
        proc.wait()
        proc.stdout.close()
        proc.stderr.close()
        os.close(reader)
        os.close(writer)


def read_until(stream, end):
    """What arrives on the stream until it ends in end, or closes (end None:
    until it closes). Fails the test at the deadline."""
    seen, deadline = b"", time.monotonic() + TIMEOUT
    while end is None or not seen.endswith(end):
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([stream], [], [], left)[0]:
            raise AssertionError(f"output not ended after {TIMEOUT} s: {seen!r}")
        chunk = os.read(stream.fileno(), 4096)
        if not chunk:
            break
        seen += chunk
    return seen


def waits_for_enter(prog, *args, env=None, **popen):
    """(waited, stdout, stderr, status) of a run through at_prompt."""
    with at_prompt(prog, *args, env=env, **popen) as record:
        pass
    return record.waited, record.out, record.err, record.status


def read_terminal(args, env):
    """What a POSIX program prints on a pseudo-terminal, with LF line ends."""
    primary, secondary = pty.openpty()
    proc = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=secondary,
                            stderr=subprocess.DEVNULL, env=env)
    os.close(secondary)
    out = b""
    while select.select([primary], [], [], TIMEOUT)[0]:
        try:
            chunk = os.read(primary, 4096)
        except OSError:  # the program has gone and the terminal is closed
            break
        if not chunk:
            break
        out += chunk
    proc.wait(timeout=TIMEOUT)
    os.close(primary)
    return out.replace(b"\r\n", b"\n")


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

    def assertUntouched(self, path, before):
        """Same bytes and times: a file the program only read keeps its access
        time too, where reading moves it (Wine) as well."""
        self.assertEqual(self.snapshot(path), before)


def tool(name, *args):
    """Runs one of the project's generators (built for the same platform as the programs).
    Under Wine, a process now and then trips glibc's assertion in _dl_fini as it
    exits, after its work is done, and Wine reports status 127. A generator
    writes its file whole, so such a run is made once more."""
    for attempt in (1, 2):
        done = subprocess.run(RUNNER + [program(name), *args], timeout=TIMEOUT,
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        tripped = done.returncode == 127 and b"Inconsistency detected by ld.so" in done.stderr
        if not (RUNNER and tripped and attempt == 1):
            break
    if done.returncode != 0:
        raise AssertionError(f"{name} {args} failed ({done.returncode}): {done.stderr!r}")


def sample_font(folder, name=None):
    """Our sample font, made by the project's generator."""
    path = os.path.join(folder, "sample.ttf")
    tool("make_sample_font", path, *([name] if name else []))
    os.utime(path, ns=TIMES)
    return path


# What becomes of our sample font's 4th to 7th stored names (the Japanese
# family, unique and full names, and the typographic family) in Velnari.
SAMPLE_RENAMED = ((("KanovelR11 Bold", "Ｋ．ａｎｏｖｅｌＲＢ１"),) * 3 +
                  (("KanovelR11", "Ｋ．ａｎｏｖｅｌＲ１"),))

# The eight L-series fonts: old name, new name, and the offset of the last
# record, whose byte VelnariL counts up by one.
L_SERIES = [
    ("KanovelSL86 Bold", "Ｋ．ａｎｏｖｅｌＳＢＬ", 0x050B88),
    ("KanovelTL86 Bold", "Ｋ．ａｎｏｖｅｌＴＢＬ", 0x050B88),
    ("KanovelRL86 Bold", "Ｋ．ａｎｏｖｅｌＲＢＬ", 0x050B88),
    ("KanovelL86 Bold", "Ｋ．ａｎｏｖｅｌＢＬ", 0x050B87),
    ("KanovelSL86", "Ｋ．ａｎｏｖｅｌＳＬ", 0x050B83),
    ("KanovelTL86", "Ｋ．ａｎｏｖｅｌＴＬ", 0x050B83),
    ("KanovelRL86", "Ｋ．ａｎｏｖｅｌＲＬ", 0x050B83),
    ("KanovelL86", "Ｋ．ａｎｏｖｅｌＬ", 0x050B82),
]
CP932_LENGTHS = [0x04D817, 0x04D82F, 0x04D83B, 0x04D86B]
UTF16_LENGTHS = [0x04D8EF, 0x04D907, 0x04D913]
CP932_COPIES = [0x04E23A, 0x04E43A, 0x04E53A, 0x04E93A]
UTF16_COPIES = [0x04FD3A, 0x05013A, 0x05033A]


def renamed_sample(data):
    """Our sample font as Velnari leaves it: SAMPLE_RENAMED in UTF-16BE, each
    new name padded with NULs to its old length."""
    out = bytearray(data)
    key = utf16be("Kanovel")
    starts = [i for i in range(len(data)) if data.startswith(key, i)][3:]
    assert len(starts) == len(SAMPLE_RENAMED)
    for at, (old, new) in zip(starts, SAMPLE_RENAMED):
        old_u16, new_u16 = utf16be(old), utf16be(new)
        assert out[at:at + len(old_u16)] == old_u16
        out[at:at + len(old_u16)] = new_u16 + bytes(len(old_u16) - len(new_u16))
    return bytes(out)


def renamed_lseries(data, old, new, last):
    """An L-series font as VelnariL leaves it, built with iconv's encodings."""
    out = bytearray(data)
    old_cp, new_cp = iconv(old, "CP932"), iconv(new, "CP932")
    old_u16, new_u16 = utf16be(old), utf16be(new)
    for at in CP932_LENGTHS:
        assert out[at] == len(old_cp)
        out[at] = len(new_cp)
    for at in UTF16_LENGTHS:
        assert out[at] == len(old_u16)
        out[at] = len(new_u16)
    for at in CP932_COPIES:
        assert out[at:at + len(new_cp)] == old_cp + bytes(len(new_cp) - len(old_cp))
        out[at:at + len(new_cp)] = new_cp
    for at in UTF16_COPIES:
        assert out[at:at + len(old_u16)] == old_u16
        out[at:at + len(old_u16)] = new_u16 + bytes(len(old_u16) - len(new_u16))
    out[last] += 1
    return bytes(out)


def fonts_to_rename(folder):
    """Our sample font and the L-series KanovelL86, with TIMES, by program;
    and the bytes each program must leave in its font."""
    tool("make_lseries_fonts", folder)
    fonts = {"velnari": sample_font(folder), "velnaril": os.path.join(folder, "KanovelL86.ttf")}
    rename = {"velnari": renamed_sample,
              "velnaril": lambda data: renamed_lseries(data, *L_SERIES[-1])}
    renamed = {}
    for name, path in fonts.items():
        with open(path, "rb") as f:
            renamed[name] = rename[name](f.read())
        os.utime(path, ns=TIMES)  # our read must not count
    return fonts, renamed


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
