"""Writes the fuzzers' seed corpus from the project's own generators:
    scan/   our sample font, for several names of the family; and with its 4th
            name across a multiple of 512 (CROSSED, SPLITS bytes before it),
            also torn there both ways: old start with new end and the reverse
    patch/  our eight L-series fonts, from FUZZ_BASE on (the patch target's input
            is laid into its file at that offset); each also renamed, and cut
            short after the lengths and two copies, as VelnariL's writes leave it

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
L_SERIES_NEW = {"KanovelSL86 Bold": "Ｋ．ａｎｏｖｅｌＳＢＬ", "KanovelTL86 Bold": "Ｋ．ａｎｏｖｅｌＴＢＬ",
                "KanovelRL86 Bold": "Ｋ．ａｎｏｖｅｌＲＢＬ", "KanovelL86 Bold": "Ｋ．ａｎｏｖｅｌＢＬ",
                "KanovelSL86": "Ｋ．ａｎｏｖｅｌＳＬ", "KanovelTL86": "Ｋ．ａｎｏｖｅｌＴＬ",
                "KanovelRL86": "Ｋ．ａｎｏｖｅｌＲＬ", "KanovelL86": "Ｋ．ａｎｏｖｅｌＬ"}

CROSSED = 1024
SPLITS = (7, 20, 24)
CROSSING_NAME = ("KanovelR11 Bold", "Ｋ．ａｎｏｖｅｌＲＢ１")


def torn_seeds(data, split):
    """data with its 4th name, CROSSING_NAME's old one, torn at CROSSED both ways."""
    old = CROSSING_NAME[0].encode("utf-16-be")
    new = CROSSING_NAME[1].encode("utf-16-be").ljust(len(old), b"\0")
    at = CROSSED - split
    assert data[at:at + len(old)] == old
    return [data[:at] + old[:split] + new[split:] + data[at + len(old):],
            data[:at] + new[:split] + old[split:] + data[at + len(old):]]


def writes(old):
    """VelnariL's 15 writes for the font named old, in file order: (offset, bytes)."""
    new = L_SERIES_NEW[old]
    old_cp, new_cp = old.encode("cp932"), new.encode("cp932")
    old_u16, new_u16 = old.encode("utf-16-be"), new.encode("utf-16-be")
    out = [(at, bytes([len(new_cp)])) for at in (0x04D817, 0x04D82F, 0x04D83B, 0x04D86B)]
    out += [(at, bytes([len(new_u16)])) for at in (0x04D8EF, 0x04D907, 0x04D913)]
    out += [(at, new_cp.ljust(len(old_cp), b"\0")) for at in (0x04E23A, 0x04E43A, 0x04E53A, 0x04E93A)]
    out += [(at, new_u16.ljust(len(old_u16), b"\0")) for at in (0x04FD3A, 0x05013A, 0x05033A)]
    return out + [(0x050B78 + len(old_cp), None)]


def renamed(data, old, count):
    """data, the font from FUZZ_BASE on, after the first count of its writes."""
    out = bytearray(data)
    for at, new in writes(old)[:count]:
        at -= FUZZ_BASE
        if new is None:
            out[at] += 1
        else:
            out[at:at + len(new)] = new
    return bytes(out)


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
        for split in SPLITS:
            path = os.path.join(work, f"sample-crossing{split}.ttf")
            subprocess.run(runner + [make_sample, path, CROSSING_NAME[0], str(split)], check=True)
            with open(path, "rb") as f:
                data = f.read()
            seeds = zip(("", "-old-start", "-new-start"), [data] + torn_seeds(data, split))
            for suffix, seed in seeds:
                with open(os.path.join(out, "scan", f"crossing{split}{suffix}"), "wb") as f:
                    f.write(seed)
        subprocess.run(runner + [make_lseries, work], check=True)
        for font in sorted(os.listdir(work)):
            if font.startswith("sample"):
                continue
            with open(os.path.join(work, font), "rb") as f:
                data = f.read()[FUZZ_BASE:]
            old = font[:-4].replace("-", " ")
            for suffix, count in (("", 0), ("-cut", 9), ("-renamed", 15)):
                with open(os.path.join(out, "patch", font[:-4] + suffix), "wb") as seed:
                    seed.write(renamed(data, old, count))


if __name__ == "__main__":
    main()
