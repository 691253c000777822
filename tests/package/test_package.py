"""The release as a user gets it: the install tree, the .deb installed in a
scratch root, the manual pages, and the same commit built twice."""
import glob
import gzip
import os
import subprocess
import tempfile
import unittest
import zipfile

SOURCE = os.environ["VELNARI_SOURCE"]
BUILD = os.environ["VELNARI_BUILD"]
VERSION = os.environ["VELNARI_VERSION"]
CMAKE = os.environ["CMAKE"]
CPACK = os.environ["CPACK"]
TIMEOUT = 120

PROGRAMS = ["Velnari", "VelnariL"]
# What every install holds, written out here rather than taken from the install rules.
LAYOUT = sorted(["bin/Velnari", "bin/VelnariL",
                 "share/doc/velnari/README.md", "share/doc/velnari/LICENSE",
                 "share/doc/velnari/CHANGELOG.md",
                 "share/man/man1/Velnari.1.gz", "share/man/man1/VelnariL.1.gz",
                 "share/man/ja/man1/Velnari.1.gz", "share/man/ja/man1/VelnariL.1.gz"])
# The sample font's Japanese family name after the rename (README).
RENAMED_FAMILY = "Ｋ．ａｎｏｖｅｌＲＢ１"


def run(*command, **options):
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, check=True,
                          timeout=TIMEOUT, **options).stdout.decode("utf-8", "replace")


def files_under(root):
    return sorted(os.path.relpath(os.path.join(folder, name), root)
                  for folder, _, names in os.walk(root) for name in names)


class InstallLayout(unittest.TestCase):
    def test_install_puts_programs_documents_and_manual_pages_in_place(self):
        with tempfile.TemporaryDirectory() as prefix:
            run(CMAKE, "--install", BUILD, "--prefix", prefix)
            self.assertEqual(files_under(prefix), LAYOUT)
            for program in PROGRAMS:
                self.assertTrue(os.access(os.path.join(prefix, "bin", program), os.X_OK))
                with gzip.open(os.path.join(prefix, "share/man/ja/man1", program + ".1.gz")) as f:
                    page = f.read().decode("utf-8")  # UTF-8, or this raises
                self.assertIn(".SH 終了ステータス", page)
            with open(os.path.join(prefix, "share/doc/velnari/LICENSE")) as f:
                self.assertIn("Copyright (c) 2026 the Velnari developers", f.read())


class DebianPackage(unittest.TestCase):
    def test_deb_installs_runs_and_passes_lintian(self):
        with tempfile.TemporaryDirectory() as scratch:
            run(CPACK, "-G", "DEB", "-B", scratch, "--config",
                os.path.join(BUILD, "CPackConfig.cmake"))
            deb, = glob.glob(os.path.join(scratch, "*.deb"))
            fields = {name: run("dpkg-deb", "-f", deb, name).strip()
                      for name in ["Package", "Version", "Section", "Maintainer", "Depends"]}
            self.assertEqual(fields["Package"], "velnari")
            self.assertEqual(fields["Version"], VERSION)
            self.assertIn(fields["Section"], ["utils", "fonts"])
            self.assertTrue(fields["Maintainer"].startswith("Velnari developers <"))
            depends = {d.split()[0] for d in fields["Depends"].split(",")}
            self.assertLessEqual(depends, {"libc6", "libstdc++6"})
            self.assertIn("libc6", depends)

            root = os.path.join(scratch, "root")
            run("dpkg-deb", "-x", deb, root)
            self.assertEqual(files_under(os.path.join(root, "usr")),
                             sorted(LAYOUT + ["share/doc/velnari/changelog.gz",
                                              "share/doc/velnari/copyright"]))
            velnari = os.path.join(root, "usr/bin/Velnari")
            with open(os.devnull) as nothing:
                shown = run(velnari, "--version", stdin=nothing)
            self.assertEqual(shown.splitlines()[0], f"Velnari {VERSION}")

            font = os.path.join(scratch, "sample.ttf")
            run(os.environ["MAKE_SAMPLE_FONT"], font)
            self.assertNotIn(RENAMED_FAMILY, run("fc-query", "--format", "%{family}", font))
            with open(os.devnull) as nothing:
                done = subprocess.run([velnari, font, "/b"], stdin=nothing, timeout=TIMEOUT)
            self.assertEqual(done.returncode, 0)
            self.assertIn(RENAMED_FAMILY, run("fc-query", "--format", "%{family}", font))

            lint = subprocess.run(["lintian", "--fail-on", "error", deb], stdout=subprocess.PIPE,
                                  stderr=subprocess.STDOUT, timeout=300)
            self.assertEqual(lint.returncode, 0, lint.stdout.decode())
            self.assertNotRegex(lint.stdout.decode(), r"(?m)^E: ")


class ManualPages(unittest.TestCase):
    def test_pages_have_no_warning(self):
        pages = [os.path.join(BUILD, folder, program + ".1")
                 for folder in ["man", "man/ja"] for program in PROGRAMS]
        for page in pages:
            with self.subTest(page=page):
                # mandoc's exit status is 0 with no warning at all; it lists what it finds.
                lint = subprocess.run(["mandoc", "-T", "lint", "-W", "warning", "-K", "utf-8", page],
                                      stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                      timeout=TIMEOUT)
                self.assertEqual((lint.returncode, lint.stdout.decode()), (0, ""))
                # groff, as man formats them on an 80-column terminal: no line it cannot break.
                shown = subprocess.run(["man", "--warnings", "-l", page], stdout=subprocess.DEVNULL,
                                       stderr=subprocess.PIPE, timeout=TIMEOUT,
                                       env=dict(os.environ, LANG="C.UTF-8", MANWIDTH="80"))
                self.assertEqual((shown.returncode, shown.stderr.decode()), (0, ""))


def release_build(folder, *configure):
    """The programs and their packages, built from SOURCE in FOLDER."""
    run(CMAKE, "-S", SOURCE, "-B", folder, "-DCMAKE_BUILD_TYPE=Release",
        "-DVELNARI_BUILD_TESTS=OFF", "-DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON", *configure)
    targets = ["Velnari", "VelnariL"]
    if not configure:
        targets += [f"man_{p}_{language}" for p in PROGRAMS for language in ["en", "ja"]]
    run(CMAKE, "--build", folder, "-j2", "--target", *targets)
    run(CPACK, "-B", folder, "--config", os.path.join(folder, "CPackConfig.cmake"), cwd=folder)


class Reproducible(unittest.TestCase):
    def test_two_build_folders_give_the_same_bytes(self):
        toolchain = "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(SOURCE, "cmake/mingw-w64-x86_64.cmake")
        made = {(): ["Velnari", "VelnariL", f"velnari-{VERSION}-linux-x86_64.tar.gz",
                     f"velnari_{VERSION}_amd64.deb"],
                (toolchain,): ["Velnari.exe", "VelnariL.exe", f"Velnari-{VERSION}-windows-x64.zip"]}
        for configure, names in made.items():
            with self.subTest(windows=bool(configure)), tempfile.TemporaryDirectory() as scratch:
                folders = [os.path.join(scratch, "one"), os.path.join(scratch, "a-second-folder")]
                for folder in folders:
                    release_build(folder, *configure)
                for name in names:
                    with open(os.path.join(folders[0], name), "rb") as a, \
                            open(os.path.join(folders[1], name), "rb") as b:
                        self.assertTrue(a.read() == b.read(), f"{name} differs")
                if configure:  # the ZIP, as a Windows user unpacks it
                    with zipfile.ZipFile(os.path.join(folders[0], names[-1])) as z:
                        self.assertEqual(sorted(z.namelist()), [
                            "LICENSE.txt", "README.txt", "Velnari-revert.exe", "Velnari.exe",
                            "VelnariL-revert.exe", "VelnariL.exe"])


if __name__ == "__main__":
    unittest.main()
