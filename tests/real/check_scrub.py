#!/usr/bin/env python3
"""Scrub over both real corpora: every file audited, scrubbed copies of all
made with --out into a temporary folder, the copies audited again. Nothing of
the scrubbed set may remain; every other compound-file stream (read with
olefile) or ZIP entry of a copy must be byte-identical to its source, less
the property streams and parts the scrub changes and the thumbnail it
removes; the source trees must be byte-identical afterwards; LibreOffice
must open a small sample of the copies.

usage: check_scrub.py CLI FOLDER... (skips with 77 when a folder, olefile or
soffice is missing; under CI=true that fails)"""
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from peers import corpus_missing, tool_missing, soffice_converts, crippled  # noqa: E402

SCRUBBED = {"author", "lastSavedBy", "manager", "company", "comments", "template", "hyperlinkbase", "custom",
            "thumbnail"}
PROPERTY_STREAMS = {"\x05SummaryInformation", "\x05DocumentSummaryInformation"}
# meta.xml and the manifest that lists the thumbnail: an OpenDocument file
# under an Office name (one .xlsm is) keeps its properties there.
PROPERTY_PARTS = {"docprops/app.xml", "docprops/core.xml", "docprops/custom.xml", "_rels/.rels", "[content_types].xml",
                  "meta.xml", "meta-inf/manifest.xml"}


def tree_digest(folders):
    out = {}
    for top in folders:
        for root, _, names in os.walk(top):
            for n in names:
                p = os.path.join(root, n)
                with open(p, "rb") as f:
                    out[p] = hashlib.sha256(f.read()).hexdigest()
    return out


def audit(cli, folder):
    r = subprocess.run([cli, "audit", "--json", "-r", folder], capture_output=True, timeout=600)
    return {os.path.relpath(f["path"], folder): f for f in json.loads(r.stdout)}


def streams(path):
    import olefile
    with olefile.OleFileIO(path) as ole:
        return {"/".join(e): ole.openstream(e).read() for e in ole.listdir(streams=True, storages=False)}


def entries(path):
    with zipfile.ZipFile(path) as z:
        return {i.filename: z.read(i.filename) for i in z.infolist()}


def main():
    cli, folders = sys.argv[1], sys.argv[2:]
    for f in folders:
        missing = corpus_missing(f)
        if missing is not None:
            return missing
    try:
        import olefile  # noqa: F401
    except ImportError:
        return tool_missing("python3-olefile")
    soffice = shutil.which("soffice")
    if not soffice:
        return tool_missing("soffice (libreoffice)")
    failures = []
    before = tree_digest(folders)
    tmp = tempfile.mkdtemp(prefix="qv-scrub-")
    try:
        out = os.path.join(tmp, "out")
        r = subprocess.run([cli, "scrub", "-r", "--force", "--json", "--out", out] + folders,
                           capture_output=True, timeout=1200)
        report = json.loads(r.stdout)
        copies = 0
        thumbnails = set()
        for f in report["files"]:
            if f["state"] == "failed":
                # Refused files are named with their reason, never half made.
                if not f["error"] or (f["destination"] and os.path.exists(f["destination"])):
                    failures.append("%s: refused without a reason, or a copy made" % f["path"])
                continue
            copies += 1
            for item in f["removed"]:
                if item["key"] == "thumbnail":
                    thumbnails.add(f["destination"])
            src, dst = f["path"], f["destination"]
            with open(src, "rb") as s:
                head = s.read(8)
            if head.startswith(b"\xd0\xcf\x11\xe0"):
                a, b = streams(src), streams(dst)
                skip = PROPERTY_STREAMS
            else:
                a, b = entries(src), entries(dst)
                skip = PROPERTY_PARTS
            for name, data in a.items():
                if name.lower() in {s.lower() for s in skip} or name in skip:
                    continue
                if name not in b:
                    if dst in thumbnails and "thumbnail" in name.lower():
                        continue
                    failures.append("%s: %s is gone" % (dst, name))
                elif b[name] != data:
                    failures.append("%s: %s changed" % (dst, name))
            for name in b:
                if name not in a:
                    failures.append("%s: %s appeared" % (dst, name))
        after_audit = audit(cli, out)
        for rel, f in after_audit.items():
            if not f["ok"]:
                failures.append("%s: the copy can't be read: %s" % (rel, f["error"]))
            for item in f["items"]:
                if item["key"] in SCRUBBED:
                    failures.append("%s: %s remains" % (rel, item["key"]))
        if tree_digest(folders) != before:
            failures.append("a source tree changed")
        # LibreOffice opens a sample of the copies, one of each extension.
        sample = {}
        for f in report["files"]:
            if f["state"] != "failed":
                sample.setdefault(os.path.splitext(f["destination"])[1].lower(), f["destination"])
        reason = soffice_converts(soffice)
        if reason:
            return crippled(reason)
        profile = os.path.join(tmp, "profile")

        def opens(path, conv):
            subprocess.run([soffice, "-env:UserInstallation=file://" + profile, "--headless", "--convert-to", "pdf",
                            "--outdir", conv, path], timeout=300, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            pdf = os.path.join(conv, os.path.splitext(os.path.basename(path))[0] + ".pdf")
            return os.path.exists(pdf) and os.path.getsize(pdf) > 0

        source_of = {f["destination"]: f["path"] for f in report["files"]}
        for ext, path in sorted(sample.items()):
            conv = os.path.join(tmp, "conv" + ext.replace(".", "_"))
            # A copy counts when its original opens (an encrypted one doesn't).
            if not opens(path, conv) and opens(source_of[path], conv + "-source"):
                failures.append("LibreOffice can't open the copy %s" % path)
        print("scrubbed %d copies, %d without their thumbnail, %d sampled in LibreOffice"
              % (copies, len(thumbnails), len(sample)))
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    for f in failures[:50]:
        print("FAIL: " + f)
    print("%d passed, %d failed" % (1 if not failures else 0, 1 if failures else 0))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
