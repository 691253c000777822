"""Writes the fuzzers' seed corpus from the project's own generators:
    scan/   our sample font, for several names of the family
    patch/  our eight L-series fonts, from FUZZ_BASE on (the patch target's input
            is laid into its file at that offset)

    python3 make_seeds.py MAKE_SAMPLE_FONT MAKE_LSERIES_FONTS OUTDIR
"""
import os
import shlex
import subprocess
import sys
import tempfile

FUZZ_BASE = 0x04D800
NAMES = ["KanovelR11 Bold", "KanovelRQ86", "KanovelVS86", "Kanovel11 Bold", "KanovelW86",
         "KanovelX99 Bold"]


def main():
    make_sample, make_lseries, out = sys.argv[1:4]
    runner = shlex.split(os.environ.get("E2E_RUNNER", ""))
    os.makedirs(os.path.join(out, "scan"), exist_ok=True)
    os.makedirs(os.path.join(out, "patch"), exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        for i, name in enumerate(NAMES):
            path = os.path.join(work, f"sample{i}.ttf")
            subprocess.run(runner + [make_sample, path, name], check=True)
            with open(path, "rb") as f, open(os.path.join(out, "scan", f"sample{i}"), "wb") as seed:
                seed.write(f.read())
        subprocess.run(runner + [make_lseries, work], check=True)
        for font in sorted(os.listdir(work)):
            if font.startswith("sample"):
                continue
            with open(os.path.join(work, font), "rb") as f:
                data = f.read()[FUZZ_BASE:]
            with open(os.path.join(out, "patch", font[:-4]), "wb") as seed:
                seed.write(data)


if __name__ == "__main__":
    main()
