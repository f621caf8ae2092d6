"""Writes rows into copies of the .xls fixtures with cfb_write_tool and reads
the results with an independent reader (python3-olefile): the container must
open without defects, every other stream must keep its manifest hash, and the
summary properties must read back as written. Exit 77 skips (no olefile)."""
import hashlib
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile

try:
    import olefile
except ImportError:
    print("python3-olefile is not installed: skipped")
    sys.exit(77)

TOOL, DATA = sys.argv[1], sys.argv[2]
VALUES = {
    "title": "Title タイトル", "subject": "Subject 🎉 한국어", "author": "作成者 山田",
    "keywords": "k" * 5000, "comments": "コメント①", "category": "Category",
    "revision": "12", "lastSavedBy": "Saver", "manager": "Manager", "company": "会社",
    "created": "2015/01/02 9:00:00", "lastSaved": "2016/02/29 21:34:56",
    "editTime": "90", "lastPrinted": "",
}
SI_IDS = {"title": 2, "subject": 3, "author": 4, "keywords": 5, "comments": 6,
          "revision": 9, "lastSavedBy": 8}
DSI_IDS = {"category": 2, "manager": 14, "company": 15}
EPOCH = 116444736000000000  # 1970-01-01 in file-time units


def section(stream, index=0):
    """The properties of one section: id -> (type, raw value bytes), code page."""
    count = struct.unpack_from("<I", stream, 24)[0]
    assert index < count
    offset = struct.unpack_from("<I", stream, 28 + 20 * index + 16)[0]
    size, n = struct.unpack_from("<II", stream, offset)
    body = stream[offset:offset + size]
    props = {}
    for i in range(n):
        pid, off = struct.unpack_from("<II", body, 8 + 8 * i)
        props[pid] = (struct.unpack_from("<H", body, off)[0], body[off + 4:])
    codepage = struct.unpack_from("<H", props[1][1])[0]
    return props, codepage, body


def text(prop, codepage):
    vt, raw = prop
    assert vt == 30, vt
    size = struct.unpack_from("<I", raw)[0]
    chars = raw[4:4 + size]
    enc = {1200: "utf-16-le", 65001: "utf-8"}.get(codepage, "cp%d" % codepage)
    return chars.decode(enc).rstrip("\0")


def filetime(prop):
    vt, raw = prop
    return struct.unpack_from("<Q", raw)[0] if vt == 64 else None


def main():
    manifest = json.load(open(os.path.join(DATA, "manifest.json"), encoding="utf-8"))
    failures = passed = 0
    tmp = tempfile.mkdtemp()
    env = dict(os.environ, TZ="UTC")
    try:
        for name, entry in sorted(manifest["files"].items()):
            integrity = entry["expected"]["integrity"]
            if not name.endswith(".xls") or not integrity.get("ok"):
                continue
            path = os.path.join(tmp, name)
            shutil.copy(os.path.join(DATA, name), path)
            subprocess.run([TOOL, path] + ["%s=%s" % kv for kv in VALUES.items()], check=True, env=env)
            ole = olefile.OleFileIO(path, raise_defects=olefile.DEFECT_INCORRECT)
            problems = []
            for stream, sha in integrity["non_property_streams_sha256"].items():
                if hashlib.sha256(ole.openstream(stream).read()).hexdigest() != sha:
                    problems.append("stream %r changed" % stream)
            si, si_cp, _ = section(ole.openstream("\x05SummaryInformation").read())
            dsi_stream = ole.openstream("\x05DocumentSummaryInformation").read()
            dsi, dsi_cp, _ = section(dsi_stream)
            for key, pid in SI_IDS.items():
                if text(si[pid], si_cp) != VALUES[key]:
                    problems.append("%s reads %r" % (key, text(si[pid], si_cp)))
            for key, pid in DSI_IDS.items():
                if text(dsi[pid], dsi_cp) != VALUES[key]:
                    problems.append("%s reads %r" % (key, text(dsi[pid], dsi_cp)))
            if filetime(si[12]) != EPOCH + 1420189200 * 10**7:
                problems.append("created reads %r" % filetime(si[12]))
            if filetime(si[10]) != 90 * 60 * 10**7:
                problems.append("edit time reads %r" % filetime(si[10]))
            if si[11][0] != 1:
                problems.append("erased last-printed date is type %d, not VT_NULL" % si[11][0])
            # olefile's own summary reader agrees on the times.
            props = ole.getproperties("\x05SummaryInformation", convert_time=True, no_conversion=[10])
            if str(props.get(12)) != "2015-01-02 09:00:00":
                problems.append("olefile reads created as %r" % props.get(12))
            original = olefile.OleFileIO(os.path.join(DATA, name))
            if original.exists("\x05DocumentSummaryInformation"):
                old = original.openstream("\x05DocumentSummaryInformation").read()
                count = struct.unpack_from("<I", old, 24)[0]
                for i in range(1, count):
                    if section(old, i)[2] != section(dsi_stream, i)[2]:
                        problems.append("user-defined section %d changed" % i)
            status = "ok" if not problems else "FAILED: " + "; ".join(problems)
            print("%s: %s" % (name, status))
            failures += bool(problems)
            passed += not problems
    finally:
        shutil.rmtree(tmp)
    print("%d passed, %d failed" % (passed, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
