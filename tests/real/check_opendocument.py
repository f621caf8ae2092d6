"""Runs the CLI on OpenDocument files that other software wrote (the shared
real-opendocument folder, read in place and never copied into the
repository) and compares what it reads and writes with the folder's
oracle.jsonl.

Usage: check_opendocument.py read|write|libreoffice CLI FOLDER

  read         every file reads as the oracle reads meta.xml: the rows,
               category, manager and company from their user-defined
               properties, and the other user-defined properties by type;
               the others have the outcome OUTCOMES gives
  write        writes all fourteen rows into a copy of every readable file,
               reads them back, and checks with zipfile that the first entry
               ("mimetype", stored) is still first and every other entry
               kept its bytes (a flat file: every byte outside office:meta);
               refused files must fail and stay byte-identical
  libreoffice  LibreOffice must show all fourteen written values of a
               written spreadsheet, text, presentation and flat spreadsheet
               in its own metadata

Exit 0 passed, 1 failed, 77 skipped: the folder or soffice (libreoffice) is
missing; under CI=true that fails instead.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
import zipfile
from fractions import Fraction

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_real_files as real  # noqa: E402  (running the CLI, loading the oracle, dates)
import peers  # noqa: E402

NS_OFFICE = "urn:oasis:names:tc:opendocument:xmlns:office:1.0"
NS_META = "urn:oasis:names:tc:opendocument:xmlns:meta:1.0"
NS_DC = "http://purl.org/dc/elements/1.1/"
# The rows that are user-defined properties in an OpenDocument file.
ROW_NAMES = {"category": "OOXMLCorePropertyCategory", "manager": "Manager", "company": "Company"}

# Outcomes of the files the oracle reads no meta.xml of, by the oracle's
# error (or kind) or by file: ("refused", WORD) or ("reads", None) for a
# file that is another kind of document under an OpenDocument name (the
# other checks cover those kinds).
OUTCOMES = {
    "no meta.xml": ("empty", None),
    "meta.xml is encrypted": ("refused", "password-protected"),
}
OUTCOME_BY_FILE = {
    "roo__test_files_type_excel.ods": ("reads", None),   # a compound-file workbook
    "roo__test_files_type_excelx.ods": ("reads", None),  # an Office Open XML workbook
}

WRITTEN = dict(real.WRITTEN, keywords="キーワード ✓, Ünïcode <&>, third")
WRITTEN_KEYWORDS = ["キーワード ✓", "Ünïcode <&>", "third"]


def expectation(rec):
    if rec["file"] in OUTCOME_BY_FILE:
        return OUTCOME_BY_FILE[rec["file"]]
    error = rec.get("error")
    if error is None:
        return ("oracle", None)
    if error.startswith("meta.xml: "):
        return ("refused", "not well-formed")
    if error.startswith("not a ZIP, not XML"):
        return ("refused", "not an Office document")
    return OUTCOMES.get(error, (None, None))


def duration_shown(raw):
    """The editing time as show prints it: whole minutes, halves to even;
    a duration in years or months as stored."""
    if raw is None:
        return ""
    m = re.match(r"^\s*P(?:(\d+)Y)?(?:(\d+)M)?(?:(\d+)W)?(?:(\d+)D)?"
                 r"(?:T(?:(\d+)H)?(?:(\d+)M)?(?:(\d+(?:[.,]\d+)?)S)?)?\s*$", raw)
    if not m or (m.group(1) and int(m.group(1))) or (m.group(2) and int(m.group(2))):
        return raw
    w, d, h, mi = (int(g or 0) for g in m.group(3, 4, 5, 6))
    s = Fraction((m.group(7) or "0").replace(",", "."))
    return str(round((Fraction(((w * 7 + d) * 24 + h) * 60 + mi) * 60 + s) / 60))


def expected_rows(rec):
    p = rec["props"] or {}
    rows = {"title": p.get("title"), "subject": p.get("subject"), "author": p.get("author"),
            "keywords": p.get("keywords"), "comments": p.get("comments"), "lastSavedBy": p.get("last_saved_by"),
            "revision": p.get("revision"), "editTime": duration_shown(p.get("edit_duration"))}
    for key, name in ROW_NAMES.items():
        rows[key] = next((u["value"] for u in rec["user_defined"] or [] if u["name"].lower() == name.lower()), None)
    for okey, ckey in (("created_utc", "created"), ("modified_utc", "lastSaved"),
                       ("last_printed_utc", "lastPrinted")):
        rows[ckey] = ("date", p.get(okey))
    return rows


def custom_matches(want, ours):
    """The oracle's user-defined property (type, stored text) as show gives it."""
    kind, raw = want.get("type") or "string", want["value"]
    typ, value = ours.get("type"), ours.get("value")
    if kind == "string":
        return typ == "text" and value == raw
    if kind in ("float", "percentage", "currency"):
        try:
            return typ == "number" and float(value) == float(raw)
        except (TypeError, ValueError):
            return typ == kind and value == raw
    if kind == "boolean" and raw.strip() in ("true", "false"):
        return typ == "bool" and value == (raw.strip() == "true")
    if kind == "date":
        try:
            wanted = real.parse_date(raw.strip() if re.search(r"(Z|[+-]\d\d:\d\d)$", raw.strip())
                                     else (raw.strip() + ("T00:00:00" if len(raw.strip()) == 10 else "") + "Z"))
            return typ == "date" and real.parse_date(value) == wanted
        except ValueError:
            return typ == "date" or (typ == kind and value == raw)
    return typ == kind and value == raw


def check_read(rec, obj, checker):
    name = rec["file"]
    what, word = expectation(rec)
    got, value = real.outcome_of(obj)
    if what is None:
        checker.fail(name, "no outcome defined for the oracle's error %r" % rec.get("error"))
        return False
    if what == "refused":
        if got != "refused" or word.lower() not in value.lower():
            checker.fail(name, "should be refused (%s)" % word, "refused", value if got == "refused" else got)
            return False
        return True
    if got != "reads":
        checker.fail(name, "not read", "read", value)
        return False
    if what == "reads":
        return True
    ok = True
    for key, want in (expected_rows(rec) if what == "oracle" else {}).items():
        ours = value.get(key)
        good = real.same("date", want[1], ours) if isinstance(want, tuple) else (want or "") == ours
        if not good:
            checker.fail(name, key, want, ours)
            ok = False
    if what == "empty" and any(v for v in value.values()):
        checker.fail(name, "a file without meta.xml shows values", {}, value)
        ok = False
    wanted = [u for u in rec["user_defined"] or [] if u["name"].lower() not in
              {n.lower() for n in ROW_NAMES.values()}]
    ours = obj.get("custom") or []
    if [u["name"] for u in wanted] != [c.get("name") for c in ours]:
        checker.fail(name, "user-defined names", [u["name"] for u in wanted], [c.get("name") for c in ours])
        return False
    for want, got_one in zip(wanted, ours):
        if not custom_matches(want, got_one):
            checker.fail(name, "user-defined %s" % want["name"], want, got_one)
            ok = False
    return ok


def mode_read(cli, records, checker):
    objs = real.show(cli, [r["path"] for r in records])
    passed = sum(check_read(rec, objs.get(rec["path"]), checker) for rec in records)
    print("%d read as expected, %d failures" % (passed, len(checker.files)))


def entry_bytes(path):
    with zipfile.ZipFile(path) as z:
        first = z.infolist()[0]
        return ({i.filename: z.read(i.filename) for i in z.infolist()},
                (first.filename, first.compress_type))


def meta_span(data):
    """Where office:meta stands in a flat file's bytes."""
    start = data.index(b"<office:meta")
    end = data.find(b"</office:meta>", start)
    return start, (end + len(b"</office:meta>") if end >= 0 else data.index(b">", start) + 1)


def check_flat_written(rec, copy, checker):
    """Every byte outside office:meta is kept, but for namespaces declared
    at the end of the root's start tag; the written keywords are elements
    of their own."""
    with open(rec["path"], "rb") as f:
        old = f.read()
    with open(copy, "rb") as f:
        new = f.read()
    (a, b), (c, d) = meta_span(old), meta_span(new)
    root_end = old.index(b">", old.index(b":document"))
    kept = new[:root_end] == old[:root_end] and new[c - (a - root_end):c] == old[root_end:a] and new[d:] == old[b:]
    if not kept:
        checker.fail(rec["file"], "bytes outside office:meta changed")
        return False
    meta = ET.fromstring(new).find("{%s}meta" % NS_OFFICE)
    keywords = [k.text or "" for k in meta.findall("{%s}keyword" % NS_META)]
    if keywords != WRITTEN_KEYWORDS:
        checker.fail(rec["file"], "meta:keyword elements", WRITTEN_KEYWORDS, keywords)
        return False
    return True


def check_written(rec, copy, obj, checker):
    name, ok = rec["file"], True
    got, props = real.outcome_of(obj)
    if got != "reads":
        checker.fail(name, "unreadable after writing", "reads", props)
        return False
    for key, want in WRITTEN.items():
        ours = props.get(key)
        good = real.same("date", want, ours) if key in ("created", "lastSaved", "lastPrinted") else want == ours
        if not good:
            checker.fail(name, "%s read back" % key, want, ours)
            ok = False
    if rec["kind"] == "flat":
        return check_flat_written(rec, copy, checker) and ok
    old, was_first = entry_bytes(rec["path"])
    new, first = entry_bytes(copy)
    # "mimetype" stays first and stored; a writer that put it elsewhere or
    # compressed it keeps its order.
    if first != was_first:
        checker.fail(name, "first entry after writing", was_first, first)
        ok = False
    # A created meta.xml is listed in the manifest.
    exempt = {"meta.xml"} | ({"META-INF/manifest.xml"} if "meta.xml" not in old else set())
    if set(new) != set(old) | {"meta.xml"}:
        checker.fail(name, "entries after writing", sorted(set(old) | {"meta.xml"}), sorted(new))
        ok = False
    for entry, data in old.items():
        if entry not in exempt and new.get(entry) != data:
            checker.fail(name, "entry %r changed" % entry)
            ok = False
    meta = ET.fromstring(new["meta.xml"]).find("{%s}meta" % NS_OFFICE)
    keywords = [k.text or "" for k in meta.findall("{%s}keyword" % NS_META)]
    if keywords != WRITTEN_KEYWORDS:
        checker.fail(name, "meta:keyword elements", WRITTEN_KEYWORDS, keywords)
        ok = False
    return ok


def write_copies(cli, records, tmp, checker):
    """Copies and writes every record; returns the written ones (rec, copy)."""
    written, refused = [], 0
    jobs = [(rec, expectation(rec)) for rec in records]
    jobs = [(rec, what, word) for rec, (what, word) in jobs if what in ("oracle", "empty", "refused")]
    for rec, _, _ in jobs:
        rec["copy"] = real.fresh_copy(rec, tmp)
    lines = real.set_rows(cli, WRITTEN, [rec["copy"] for rec, _, _ in jobs])
    # The signed file is refused too: its signature covers meta.xml.
    for rec, what, word in jobs:
        line = lines[rec["copy"]]
        if rec.get("signed"):
            what, word = "refused", "signature"
        if what == "refused":
            if not line.startswith("failed") or word.lower() not in line.lower():
                checker.fail(rec["file"], "set on a refused file", "failed: ...%s..." % word, line)
            elif real.sha256_file(rec["copy"]) != rec["sha256"]:
                checker.fail(rec["file"], "a refused file changed")
            else:
                refused += 1
        elif line != "changed":
            checker.fail(rec["file"], "set", "changed", line)
        else:
            written.append(rec)
    return written, refused


def mode_write(cli, records, checker):
    tmp = tempfile.mkdtemp(prefix="qv-odf-")
    try:
        written, refused = write_copies(cli, records, tmp, checker)
        objs = real.show(cli, [r["copy"] for r in written])
        checked = sum(check_written(rec, rec["copy"], objs.get(rec["copy"]), checker) for rec in written)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    print("%d written and checked, %d refused and unchanged, %d failures" % (checked, refused, len(checker.files)))


def lo_meta(soffice, path, fmt, outdir, profile):
    subprocess.run([soffice, "-env:UserInstallation=file://" + profile, "--headless", "--convert-to", fmt,
                    "--outdir", outdir, path], timeout=300, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   env=real.ENV)
    out = os.path.join(outdir, os.path.splitext(os.path.basename(path))[0] + "." + fmt)
    return ET.parse(out).getroot().find("{%s}meta" % NS_OFFICE) if os.path.exists(out) else None


def mode_libreoffice(cli, records, checker):
    soffice = shutil.which("soffice")
    if not soffice:
        return peers.tool_missing("soffice (libreoffice-core)")
    if (crippled := peers.soffice_converts(soffice)) is not None:
        return peers.crippled(crippled)
    tmp = tempfile.mkdtemp(prefix="qv-odf-lo-")
    try:
        # The first file of each kind that LibreOffice itself wrote.
        sample = []
        for folder, fmt in (("ods", "fods"), ("odt", "fodt"), ("odp", "fodp"), ("flat", "fods")):
            rec = next(r for r in records if (r["folder"] == folder or r["kind"] == folder)
                       and expectation(r)[0] == "oracle" and r["file"].endswith(("." + folder, ".fods"))
                       and not r.get("signed") and (r.get("generator") or "").startswith("LibreOffice"))
            sample.append((rec, fmt))
        copies = [real.fresh_copy(rec, tmp) for rec, _ in sample]
        lines = real.set_rows(cli, WRITTEN, copies)
        for (rec, fmt), copy in zip(sample, copies):
            if lines[copy] != "changed":
                checker.fail(rec["file"], "set", "changed", lines[copy])
                continue
            meta = lo_meta(soffice, copy, fmt, os.path.join(tmp, "out"), os.path.join(tmp, "profile"))
            if meta is None:
                checker.fail(rec["file"], "LibreOffice did not convert the written file")
                continue
            text = lambda ns, local: (meta.find("{%s}%s" % (ns, local)).text  # noqa: E731
                                      if meta.find("{%s}%s" % (ns, local)) is not None else None)
            user = {u.get("{%s}name" % NS_META): u.text for u in meta.findall("{%s}user-defined" % NS_META)}
            shown = {"title": text(NS_DC, "title"), "subject": text(NS_DC, "subject"),
                     "comments": text(NS_DC, "description"), "author": text(NS_META, "initial-creator"),
                     "keywords": ", ".join(k.text or "" for k in meta.findall("{%s}keyword" % NS_META)),
                     "category": user.get(ROW_NAMES["category"]), "manager": user.get(ROW_NAMES["manager"]),
                     "company": user.get(ROW_NAMES["company"]), "lastSavedBy": text(NS_DC, "creator"),
                     "revision": text(NS_META, "editing-cycles"),
                     "editTime": duration_shown(text(NS_META, "editing-duration"))}
            for key, value in shown.items():
                if value != WRITTEN[key]:
                    checker.fail(rec["file"], "LibreOffice shows %s" % key, WRITTEN[key], value)
            for key, ns, local in (("created", NS_META, "creation-date"), ("lastSaved", NS_DC, "date"),
                                   ("lastPrinted", NS_META, "print-date")):
                stored = text(ns, local) or ""
                try:
                    good = real.parse_date(stored if re.search(r"(Z|[+-]\d\d:\d\d)$", stored) else stored + "Z") \
                        == real.parse_date(WRITTEN[key])
                except ValueError:
                    good = False
                if not good:
                    checker.fail(rec["file"], "LibreOffice shows %s" % key, WRITTEN[key], stored)
        print("%d files written and shown by LibreOffice, %d failures" % (len(sample), len(checker.files)))
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    return None


def main(argv):
    if len(argv) != 4 or argv[1] not in ("read", "write", "libreoffice"):
        print(__doc__)
        return 2
    mode, cli, folder = argv[1:]
    if (missing := peers.corpus_missing(folder)) is not None:
        return missing
    checker = real.Checker()
    records = real.load(folder, checker)
    status = {"read": mode_read, "write": mode_write, "libreoffice": mode_libreoffice}[mode](cli, records, checker)
    if status is not None:
        return status
    return 1 if checker.failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
