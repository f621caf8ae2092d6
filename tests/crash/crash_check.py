#!/usr/bin/python3
"""Crash consistency of `quorvix-cli set --backup`.

Each round copies real workbooks of both kinds (small ones from tests/data and
a few-megabyte package and compound file built here from real ones), starts
`quorvix-cli set` writing all fourteen properties with backups on, kills it
with SIGKILL after a random delay and checks that

  * every workbook is byte-identical to its old version, or reads back
    completely with the new values (and, seen by an independent reader,
    every other part or stream keeps its bytes);
  * every backup that exists is a complete copy of the old version (or, where
    an older backup was there before, still that older backup);
  * the only files beside the workbooks are the workbooks, their backups,
    the decoys planted here, and temporary files of our own naming;

then runs the same change again to its end and checks that it removed every
leftover temporary file of our naming, and nothing else.

Rounds: QV_CRASH_ROUNDS (default 10). Seed: QV_CRASH_SEED (default random,
printed so a failure can be replayed).
"""

import argparse
import hashlib
import io
import json
import os
import random
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import zipfile

try:
    import olefile  # Debian's python3-olefile
except ImportError:
    olefile = None

SMALL = [
    "lo_japanese.xls", "xls_cp932_full.xls", "xls_dsi_userdefined.xls", "sheetjs_ascii.xls",
    "lo_ascii.xlsx", "sheetjs_japanese.xlsx", "zip_data_descriptor.xlsx", "exceljs_nonsjis.xlsx",
]
PROPERTY_PARTS = {"docProps/core.xml", "docProps/app.xml"}
PROPERTY_STREAMS = {"\x05SummaryInformation", "\x05DocumentSummaryInformation"}
TEMP_NAME = re.compile(r"^(?P<base>.+)\.QVZ[a-z0-9]{6}\.tmp$")
# Near misses of our naming that no run may remove.
DECOYS = ["{}.QVZ12345.tmp", "{}.QVZabcdef.tmp.keep", "{}.qvzabcdef.tmp", "notes.QVZabcdef.txt"]


class Failure(Exception):
    pass


# ---------------------------------------------------------------------------
# Building the large workbooks

def build_large_package(source, target, rng):
    """A real package with a few megabytes added: a stored part that does not
    compress and a Deflate part that does."""
    shutil.copyfile(source, target)
    noise = bytes(rng.getrandbits(8) for _ in range(1 << 16)) * 48  # 3 MiB
    rows = "".join('<row r="%d"><c r="A%d"><v>%d</v></c></row>' % (i, i, i * 7) for i in range(1, 60000))
    with zipfile.ZipFile(target, "a") as z:
        z.writestr(zipfile.ZipInfo("xl/media/image_big.bin", (2020, 1, 1, 0, 0, 0)), noise,
                   compress_type=zipfile.ZIP_STORED)
        z.writestr("xl/worksheets/sheet_big.xml", "<sheetData>" + rows + "</sheetData>",
                   compress_type=zipfile.ZIP_DEFLATED)


def cfb_name_key(name):
    return (len(name), name.upper())


def write_compound_file(target, streams):
    """Writes a version-3 compound file holding the given root streams
    (name -> bytes): small streams in the mini stream, large ones in regular
    sectors, FAT sectors listed in the header and in DIFAT sectors as needed."""
    SS, MSS, CUTOFF = 512, 64, 4096
    FREE, END, FATSECT, DIFSECT = 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFD, 0xFFFFFFFC
    per = SS // 4
    names = sorted(streams, key=cfb_name_key)

    # Mini stream.
    mini, minifat, starts = bytearray(), [], {}
    for n in names:
        data = streams[n]
        if len(data) >= CUTOFF or not data:
            continue
        first = len(mini) // MSS
        count = (len(data) + MSS - 1) // MSS
        minifat += [first + i + 1 for i in range(count - 1)] + [END]
        starts[n] = first
        mini += data + b"\0" * (count * MSS - len(data))

    # Regular sectors: big streams, mini stream, mini FAT, directory.
    sectors, fat = [], []

    def place(data):
        count = max(1, (len(data) + SS - 1) // SS)
        first = len(sectors)
        for i in range(count):
            sectors.append(bytes(data[i * SS:(i + 1) * SS]).ljust(SS, b"\0"))
            fat.append(first + i + 1 if i + 1 < count else END)
        return first

    for n in names:
        if len(streams[n]) >= CUTOFF:
            starts[n] = place(streams[n])
    mini_start = place(mini) if mini else END
    minifat_bytes = b"".join(struct.pack("<I", v) for v in minifat)
    minifat_bytes += struct.pack("<I", FREE) * ((-len(minifat)) % per)
    minifat_start = place(minifat_bytes) if minifat else END
    minifat_count = len(minifat_bytes) // SS

    def entry(name, kind, start, size, left=FREE, right=FREE, child=FREE):
        raw = name.encode("utf-16-le") + b"\0\0"
        return (raw.ljust(64, b"\0") + struct.pack("<HBB", len(raw), kind, 1) +
                struct.pack("<III", left, right, child) + b"\0" * 16 + b"\0" * 4 + b"\0" * 16 +
                struct.pack("<IQ", start, size))

    # A balanced tree, all black: every path has the same black count.
    def tree(lo, hi, links):
        if lo >= hi:
            return FREE
        mid = (lo + hi) // 2
        links[mid] = (tree(lo, mid, links), tree(mid + 1, hi, links))
        return mid + 1

    links = {}
    root_child = tree(0, len(names), links)
    directory = entry("Root Entry", 5, mini_start, len(mini), child=root_child)
    for i, n in enumerate(names):
        directory += entry(n, 2, starts.get(n, END), len(streams[n]), *links[i])
    directory += b"\0" * ((-len(directory)) % SS)
    dir_start = place(directory)

    # FAT and DIFAT sectors go last; they list themselves too.
    nfat = ndif = 0
    while True:
        total = len(sectors) + nfat + ndif
        need_fat = (total + per - 1) // per
        need_dif = 0 if need_fat <= 109 else (need_fat - 109 + per - 2) // (per - 1)
        if need_fat == nfat and need_dif == ndif:
            break
        nfat, ndif = need_fat, need_dif
    fat_locs = list(range(len(sectors), len(sectors) + nfat))
    dif_locs = list(range(len(sectors) + nfat, len(sectors) + nfat + ndif))
    fat += [FATSECT] * nfat + [DIFSECT] * ndif
    fat += [FREE] * (nfat * per - len(fat))
    for k in range(nfat):
        sectors.append(b"".join(struct.pack("<I", v) for v in fat[k * per:(k + 1) * per]))
    rest = fat_locs[109:]
    for d in range(ndif):
        chunk = rest[d * (per - 1):(d + 1) * (per - 1)]
        chunk += [FREE] * (per - 1 - len(chunk))
        chunk.append(dif_locs[d + 1] if d + 1 < ndif else END)
        sectors.append(b"".join(struct.pack("<I", v) for v in chunk))

    header = (b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1" + b"\0" * 16 +
              struct.pack("<HHHHH", 0x3E, 3, 0xFFFE, 9, 6) + b"\0" * 6 +
              struct.pack("<IIIIIIIII", 0, nfat, dir_start, 0, CUTOFF, minifat_start, minifat_count,
                          dif_locs[0] if dif_locs else END, ndif))
    head_difat = fat_locs[:109] + [FREE] * (109 - min(109, nfat))
    header += b"".join(struct.pack("<I", v) for v in head_difat)
    assert len(header) == SS
    with open(target, "wb") as f:
        f.write(header)
        for s in sectors:
            f.write(s)


def build_large_compound_file(source, target, rng):
    """The property sets of a real workbook beside a Workbook stream of about
    eight megabytes: its FAT needs DIFAT sectors beyond the header's 109."""
    ole = olefile.OleFileIO(source)
    streams = {}
    for path in ole.listdir():
        if len(path) == 1:
            streams[path[0]] = ole.openstream(path).read()
    ole.close()
    book = streams.get("Workbook", b"")
    streams["Workbook"] = book + bytes(rng.getrandbits(8) for _ in range(1 << 16)) * 120
    write_compound_file(target, streams)


# ---------------------------------------------------------------------------
# Reading back

def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def package_parts(path):
    """Every part but the two property parts, by an independent reader that
    checks each CRC."""
    with zipfile.ZipFile(path) as z:
        bad = z.testzip()
        if bad is not None:
            raise Failure("%s: part %s fails its CRC" % (path, bad))
        return {i.filename: z.read(i.filename) for i in z.infolist() if i.filename not in PROPERTY_PARTS}


def compound_streams(path):
    ole = olefile.OleFileIO(path)
    try:
        return {"/".join(p): ole.openstream(p).read() for p in ole.listdir() if p[-1] not in PROPERTY_STREAMS}
    finally:
        ole.close()


def other_content(path):
    if path.lower().endswith(".xlsx"):
        return package_parts(path)
    if olefile is not None:
        return compound_streams(path)
    return None


def show(cli, paths):
    env = dict(os.environ, TZ="UTC")
    out = subprocess.run([cli, "show", "--json"] + paths, capture_output=True, env=env, timeout=120)
    try:
        return {os.path.basename(r["path"]): r for r in json.loads(out.stdout)}
    except ValueError:
        raise Failure("show --json gave no JSON (exit %d): %s" % (out.returncode, out.stderr.decode()))


def new_values(round_no):
    texts = {
        "title": "表題 round %d" % round_no, "subject": "件名 subject %d" % round_no,
        "author": "作成者 Author", "keywords": "crash, 試験", "comments": "コメント %d" % round_no,
        "category": "区分", "revision": str(100 + round_no), "lastSavedBy": "保存者 %d" % round_no,
        "manager": "管理者", "company": "Company 株式会社", "editTime": str(60 + round_no),
    }
    dates = {"created": "2021-03-04T05:06:%02d", "lastSaved": "2022-07-08T09:10:%02d",
             "lastPrinted": "2023-11-12T13:14:%02d"}
    args, expected = [], dict(texts)
    for k, v in dates.items():
        expected[k] = (v % (round_no % 60)) + "+00:00"
        args += ["--set", "%s=%sZ" % (k, v % (round_no % 60))]
    for k, v in texts.items():
        args += ["--set", "%s=%s" % (k, v)]
    return args, expected


# ---------------------------------------------------------------------------

def round_setup(folder, pristine, rng):
    """Fresh copies; in some rounds an older backup waits, to be kept."""
    if os.path.exists(folder):
        shutil.rmtree(folder)
    os.makedirs(folder)
    state = {}
    for name, src in pristine.items():
        path = os.path.join(folder, name)
        shutil.copyfile(src, path)
        old_backup = None
        if rng.random() < 0.3:
            old_backup = b"an older backup of " + name.encode()
            with open(path + ".bak", "wb") as f:
                f.write(old_backup)
        state[name] = {"digest": digest(path), "old_backup": old_backup}
    if rng.random() < 0.3:
        # A leftover of our naming from an earlier crash, for the next run to remove.
        victim = rng.choice(sorted(pristine))
        with open(os.path.join(folder, victim + ".QVZstale0.tmp"), "wb") as f:
            f.write(b"half a workbook")
    decoys = {}
    for i, pattern in enumerate(DECOYS):
        name = pattern.format(list(pristine)[i % len(pristine)])
        data = ("decoy %d" % i).encode()
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        decoys[name] = data
    return state, decoys


def check_workbooks(cli, folder, state, pristine_content, expected, label, require_new=False):
    names = sorted(state)
    shown = show(cli, [os.path.join(folder, n) for n in names])
    outcome = {}
    for name in names:
        path = os.path.join(folder, name)
        if not require_new and digest(path) == state[name]["digest"]:
            outcome[name] = "old"
        else:
            r = shown.get(name)
            if not r or not r["ok"]:
                raise Failure("%s %s: changed but unreadable: %s" % (label, name, r and r["error"]))
            got = r["properties"]
            wrong = {k: (got.get(k), v) for k, v in expected.items() if got.get(k) != v}
            if wrong:
                raise Failure("%s %s: changed but not to the new values: %s" % (label, name, wrong))
            other = other_content(path)
            if other is not None and other != pristine_content[name]:
                raise Failure("%s %s: parts other than the properties changed" % (label, name))
            outcome[name] = "new"
        # The first backup is never replaced; the newest generation holds
        # the version before this run.
        first = path + ".bak"
        old = state[name]["old_backup"]
        if old is not None and open(first, "rb").read() != old:
            raise Failure("%s %s: the first backup was replaced" % (label, name))
        generations = sorted((int(m.group(1)), e) for e in os.listdir(folder)
                             for m in [re.fullmatch(re.escape(name) + r"\.(\d+)\.bak", e)] if m)
        newest = os.path.join(folder, generations[-1][1]) if generations else first
        if os.path.exists(newest):
            with open(newest, "rb") as f:
                data = f.read()
            if data != old and hashlib.sha256(data).hexdigest() != state[name]["digest"]:
                raise Failure("%s %s: the newest backup is neither the old version nor the older backup" % (label, name))
    return outcome


def leftovers(folder, state, decoys):
    temps = []
    for entry in os.listdir(folder):
        # A backup is NAME.bak, or a later generation NAME.N.bak.
        if entry in state or entry in decoys or (entry.endswith(".bak") and re.sub(r"(\.\d+)?\.bak$", "", entry) in state):
            continue
        m = TEMP_NAME.match(entry)
        if m and (m.group("base") in state or re.sub(r"(\.\d+)?\.bak$", "", m.group("base")) in state):
            temps.append(entry)
            continue
        raise Failure("unexpected file beside the workbooks: %r" % entry)
    for name, data in decoys.items():
        p = os.path.join(folder, name)
        if not os.path.exists(p) or open(p, "rb").read() != data:
            raise Failure("a file that is not ours was removed or changed: %s" % name)
    return temps


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", required=True)
    ap.add_argument("--data", required=True)
    ap.add_argument("--work", help="folder to work in (default: a temporary one)")
    args = ap.parse_args()
    rounds = int(os.environ.get("QV_CRASH_ROUNDS", "10"))
    seed = int(os.environ.get("QV_CRASH_SEED", str(random.randrange(1 << 30))))
    rng = random.Random(seed)
    print("crash check: %d rounds, seed %d" % (rounds, seed), flush=True)

    work = args.work or tempfile.mkdtemp(prefix="qv-crash-")
    # The journals of runs with backups, in the run's own folder, not the home.
    os.environ["XDG_DATA_HOME"] = os.path.join(work, "data")
    os.makedirs(work, exist_ok=True)
    try:
        base = os.path.join(work, "pristine")
        os.makedirs(base, exist_ok=True)
        pristine = {n: os.path.join(args.data, n) for n in SMALL}
        build_large_package(os.path.join(args.data, "lo_japanese.xlsx"), os.path.join(base, "large_package.xlsx"), rng)
        pristine["large_package.xlsx"] = os.path.join(base, "large_package.xlsx")
        if olefile is not None:
            build_large_compound_file(os.path.join(args.data, "lo_japanese.xls"),
                                      os.path.join(base, "large_compound.xls"), rng)
            pristine["large_compound.xls"] = os.path.join(base, "large_compound.xls")
        else:
            print("python3-olefile is missing: no large compound file and no stream comparison")
        pristine_content = {n: other_content(p) for n, p in pristine.items()}
        for n, p in pristine.items():
            r = show(args.cli, [p])[n]
            if not r["ok"]:
                raise Failure("the pristine %s does not read: %s" % (n, r["error"]))

        folder = os.path.join(work, "round")
        order = sorted(pristine)
        # How long an uninterrupted run takes, to spread the kills over it.
        state, decoys = round_setup(folder, pristine, rng)
        set_args, expected = new_values(0)
        t0 = time.monotonic()
        done = subprocess.run([args.cli, "set", "--backup"] + set_args + [os.path.join(folder, n) for n in order],
                              capture_output=True, timeout=600)
        span = time.monotonic() - t0
        if done.returncode != 0:
            raise Failure("an uninterrupted run failed: %s" % done.stdout.decode())
        outcome = check_workbooks(args.cli, folder, state, pristine_content, expected, "uninterrupted")
        if set(outcome.values()) != {"new"} or leftovers(folder, state, decoys):
            raise Failure("an uninterrupted run left old workbooks or temporary files")
        print("an uninterrupted run takes %.2f s" % span, flush=True)

        tally = {"old": 0, "new": 0, "temps": 0, "killed": 0}
        for rnd in range(1, rounds + 1):
            state, decoys = round_setup(folder, pristine, rng)
            set_args, expected = new_values(rnd)
            cmd = [args.cli, "set", "--backup"] + set_args + [os.path.join(folder, n) for n in order]
            proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            time.sleep(rng.uniform(0, span * 1.1))
            if proc.poll() is None:
                tally["killed"] += 1
            proc.send_signal(signal.SIGKILL)
            proc.wait()
            label = "round %d (seed %d)" % (rnd, seed)
            outcome = check_workbooks(args.cli, folder, state, pristine_content, expected, label)
            temps = leftovers(folder, state, decoys)
            for v in outcome.values():
                tally[v] += 1
            tally["temps"] += len(temps)

            # The next run finishes the change and removes our leftovers, and
            # only those; its backups are copies of what the kill left.
            for name in state:
                state[name] = {"digest": digest(os.path.join(folder, name)), "old_backup": None}
            done = subprocess.run(cmd, capture_output=True, timeout=600)
            if done.returncode != 0:
                raise Failure("%s: the run after the kill failed: %s" % (label, done.stdout.decode()))
            check_workbooks(args.cli, folder, state, pristine_content, expected, label + ", next run",
                            require_new=True)
            left = leftovers(folder, state, decoys)
            if left:
                raise Failure("%s: temporary files remain after a complete run: %s" % (label, left))
            print("round %d: %d old, %d new, %d leftover temporary files" %
                  (rnd, sum(v == "old" for v in outcome.values()), sum(v == "new" for v in outcome.values()),
                   len(temps)), flush=True)
        print()
        print("done: %(killed)d runs killed mid-way; workbooks found old %(old)d times, new %(new)d times; "
              "%(temps)d leftover temporary files removed by the next run" % tally)
        if rounds >= 5 and tally["killed"] == 0:
            raise Failure("no run was killed before its end: the delays are too long to test anything")
    except Failure as e:
        print("FAILED: %s" % e)
        print("(work folder kept: %s)" % work)
        return 1
    if not args.work:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
