"""Runs the CLI on documents that other software wrote (the shared
real-workbooks and real-documents folders, read in place and never copied
into the repository) and compares what it reads and writes with the folder's
oracle.jsonl.

Usage: check_real_files.py read|write|libreoffice CLI FOLDER

  read         every document the oracle reads must read the same, property
               by property; the others must have the outcome EXCEPTIONS gives
  write        writes all fourteen rows into a copy of every readable
               document, reads them back, and checks with olefile/zipfile
               that nothing else in the file changed; refused documents must
               fail and stay byte-identical
  libreoffice  LibreOffice must read a written sample's content as it read
               the original's (workbooks as CSV, Word and PowerPoint files as
               the body of their flat ODF), and show the written rows in its
               own metadata

Exit 0 passed, 1 failed, 77 skipped: the folder, python3-olefile (write) or
soffice (libreoffice) is missing; under CI=true that fails instead, and so
does a LibreOffice that lacks a component the check converts with.
"""
import hashlib
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
import zipfile
from datetime import datetime, timezone

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import peers  # noqa: E402

try:
    import olefile  # Debian's python3-olefile
except ImportError:
    olefile = None

# Files where we deliberately differ from the oracle, or that the oracle
# can't read and so need an outcome of their own. Outcome:
#   ("refused", WORD)   show reports the properties unreadable (error or
#                       propertiesError) with WORD in the reason (None: any
#                       reason), and set fails leaving the file byte-identical
#   ("reads", {...})    read like the oracle's props with these overrides
#                       (oracle keys); write mode writes it like any other
#   ("read-only", {...}, WORD)  read so, but set fails with WORD in the
#                       reason and leaves the file byte-identical
#   ("opendocument", {...})  an OpenDocument file under an Office name: read
#                       so, and written like any other, with every entry
#                       but meta.xml byte-identical
# Password-protected compound files (EncryptionInfo + EncryptedPackage
# streams) need no line: they are refused with "password-protected".
EXCEPTIONS = {
    "phpspreadsheet__tests_data_Reader_XLS_oleloop.xls":
        (("refused", "damaged"),
         "its directory lies past the end of the file; the oracle lists no streams and calls it fine"),
    "sheetjs__crlf_CRLFR9_5.XLS":
        (("read-only", {"author": "Sheet JS"}, "damaged"),
         "property 0 (the dictionary) points at a string: the oracle stops there; the other properties are "
         "sound and read, but a rewrite would have to drop or invent the dictionary, so the write is refused"),
    "ruby-spreadsheet__test_data_test_adding_data_to_existing_file.xls":
        (("read-only", {}, "damaged"),
         "the Workbook stream's small sectors run past the mini stream's size: damage outside the property "
         "streams, which read; a write is refused as damaged"),
    "tika__tika-parsers_tika-parsers-standard_tika-parsers-standard-modules_"
    "tika-parser-microsoft-module_src_test_resources_test-documents_jxl.xls":
        (("refused", "damaged"),
         "both property streams share their sectors and hold no property set"),
    "poi__test-data_openxml4j_invalid.xlsx":
        (("refused", "Office Open XML"), "an empty archive: no content types, no relationships"),
    "roo__test_files_type_openoffice.xlsm":
        (("opendocument", {"author": "Thomas Preymesser", "last_saved_by": "Thomas Preymesser", "revision": "45",
                           "created_utc": "2007-05-07T10:26:02Z", "modified_utc": "2007-10-26T16:05:11Z",
                           "edit_minutes": 968}),
         "an OpenDocument spreadsheet named .xlsm, read from its meta.xml (dates without a zone are local time, "
         "UTC here); the oracle looks for a package's parts"),
    "exceldatareader__src_TestData_as3xls_BIFF2.xls":
        (("refused", "not an Office document"), "a bare BIFF2 stream, neither compound file nor ZIP"),
    "poi__test-data_spreadsheet_testEXCEL_3.xls":
        (("refused", "not an Office document"), "a bare BIFF3 stream, neither compound file nor ZIP"),
    "poi__test-data_spreadsheet_testEXCEL_4.xls":
        (("refused", "not an Office document"), "a bare BIFF4 stream, neither compound file nor ZIP"),
    # Word and PowerPoint documents.
    "poi__test-data_hpsf_TestInvertedClassID.doc":
        (("reads", {"title": " ", "author": "DIH-Collecticiel", "last_saved_by": "DIH-Collecticiel",
                    "revision": "78", "created_utc": "2003-06-05T10:10:00Z", "modified_utc": "2003-06-06T11:22:00Z",
                    "last_printed_utc": "2003-06-06T11:21:00Z", "edit_minutes": 0}),
         "a Macintosh writer stored the SummaryInformation format id with its first three fields big-endian; "
         "it is that set's own section, which the oracle doesn't recognise"),
    "phpword__tests_PhpWordTests__files_documents_docChinese.doc":
        (("reads", {"title": "", "subject": "", "author": "yue mao", "keywords": "", "comments": "",
                    "revision": "2", "last_saved_by": "yue mao", "company": "",
                    "created_utc": "2024-08-08T06:49:00Z", "modified_utc": "2024-08-08T06:49:00Z",
                    "edit_minutes": 0}),
         "code page 10008 (Mac Simplified Chinese), which the oracle can't decode"),
    "poi__test-data_hpsf_TestBug52372.doc":
        (("refused", "damaged"),
         "DocumentSummaryInformation's second section is recorded 3 bytes before where it starts, so its size "
         "reads 0x58000000"),
    "poi__test-data_slideshow_bug60993.pptx":
        (("reads", {"title": "PowerPoint Presentation", "author": "Andreas Beeker", "revision": "5",
                    "last_saved_by": "Teresa Kim", "created_utc": "2015-11-20T01:16:46Z",
                    "modified_utc": "2017-04-07T10:15:28Z"}),
         "the core part is related with the older .../officedocument/2006/relationships/metadata/core-properties "
         "type, which the oracle ignores; its content type and namespaces are the core part's"),
    "phppresentation__tests_resources_files_PPTX_ChartBar.pptx":
        (("reads", {"revision": "0", "created_utc": "2017-08-10T20:58:16Z"}),
         "the same older core-properties relationship type"),
}
PASSWORD_PROTECTED = (("refused", "password-protected"),
                      "an encrypted package (EncryptionInfo + EncryptedPackage)")

# oracle key, CLI key, kind
PROPS = [
    ("title", "title", "text"), ("subject", "subject", "text"), ("author", "author", "text"),
    ("keywords", "keywords", "text"), ("comments", "comments", "text"),
    ("category", "category", "text"), ("revision", "revision", "text"),
    ("last_saved_by", "lastSavedBy", "text"), ("manager", "manager", "text"),
    ("company", "company", "text"), ("created_utc", "created", "date"),
    ("modified_utc", "lastSaved", "date"), ("edit_minutes", "editTime", "minutes"),
    ("last_printed_utc", "lastPrinted", "date"),
]

# What write mode writes: distinct per row (a swap shows), beyond Latin-1
# and the BMP, with XML's special characters in one of them.
WRITTEN = {
    "title": "題名 ✓ Ünïcode title", "subject": "主題 ✓ Ünïcode subject 🎉",
    "author": "作成者 ✓ Ünïcode author", "keywords": "キーワード ✓ Ünïcode; keywords",
    "comments": "注釈 ✓ Ünïcode <&> \"quoted\" 'apos'", "category": "分類 ✓ Ünïcode category",
    "revision": "7", "lastSavedBy": "保存者 ✓ Ünïcode saver", "manager": "管理者 ✓ Ünïcode manager",
    "company": "会社 ✓ Ünïcode company", "created": "2011-02-03T04:05:06Z",
    "lastSaved": "2012-03-04T05:06:07Z", "editTime": "125", "lastPrinted": "2013-04-05T06:07:08Z",
}

# A sample for LibreOffice: xls and xlsx from different writers, one
# package without docProps at all, one strict package, one compound file
# without property streams. Each with the rows LibreOffice never shows for
# such a file, not even from the original.
LO_ALL = {"title", "subject", "comments", "author", "lastSavedBy", "created", "lastSaved",
          "lastPrinted", "revision", "editTime"}
LIBREOFFICE_SAMPLE = {
    "calamine__tests_any_sheets.xls": set(),                 # Excel 2016, cp1251
    "calamine__tests_formula-date-format.xls": set(),        # LibreOffice, cp65001, user-defined section
    "calamine__tests_misc_biff5_parsing.xls": LO_ALL,        # Mac Excel, BIFF5: LibreOffice imports no properties
    "exceldatareader__src_TestData_ExcelLibrary_newdoc.xls": set(),  # a library, no property streams
    "roo__test_files_boolean-from-google-sheets.xlsx": set(),  # Google Sheets, no docProps
    "roo__test_files_merged_ranges.xlsx": set(),             # LibreOffice, custom.xml
    "sheetjs__wps_fn.xlsx": set(),                           # WPS Spreadsheets
    "roo__test_files_strict.xlsx": {"editTime"},             # Mac Excel, strict: LibreOffice skips strict app.xml
    "xlsxwriter__xlsxwriter_test_comparison_xlsx_files_properties01.xlsx": set(),  # Excel 2007
}

# Word and PowerPoint documents of both containers, with and without macros.
LIBREOFFICE_DOCUMENT_SAMPLE = {
    # Word's binary filter takes the print date from the document itself.
    "poi__test-data_document_test.doc": {"lastPrinted"},
    "poi__test-data_hpsf_TestMickey.doc": {"lastPrinted"},
    "docx4j__legals_docx4j_IndividualContributor.docx": set(),
    "onlyoffice-templates__new_ja-JP_new.docx": set(),
    "poi__test-data_document_45690.docm": set(),
    "poi__test-data_document_60316b.dotx": set(),
    # Impress names slides from the part titles, which it can't read once the
    # written (Unicode) values move the section to code page 1200.
    "tika__tika-parsers_tika-parsers-standard_tika-parsers-standard-modules_tika-parser-microsoft-module_src_"
    "test_resources_test-documents_testPPT.ppt": {"pageNames"},
    "onlyoffice-templates__new_ko-KR_new.pptx": set(),
    "poi__test-data_slideshow_testPPT.ppsx": set(),
    "poi__test-data_slideshow_PPTWithAttachments.pptm": set(),
}
# The flat ODF each application's files convert to, and the extensions of
# its documents.
FLAT_ODF = [("fodt", (".DOC", ".DOT", ".DOCX", ".DOCM", ".DOTX", ".DOTM")),
            ("fodp", (".PPT", ".POT", ".PPS", ".PPTX", ".PPTM", ".POTX", ".POTM", ".PPSX", ".PPSM"))]


def flat_odf_of(name):
    ext = os.path.splitext(name)[1].upper()
    for fmt, exts in FLAT_ODF:
        if ext in exts:
            return fmt
    return "fods"


SI_NAME, DSI_NAME = "\x05SummaryInformation", "\x05DocumentSummaryInformation"
SI_FMTID = "F29F85E0-4FF9-1068-AB91-08002B27B3D9"
DSI_FMTID = "D5CDD502-2E9C-101B-9397-08002B2CF9AE"
SI_IDS = {"title": 2, "subject": 3, "author": 4, "keywords": 5, "comments": 6,
          "lastSavedBy": 8, "revision": 9, "editTime": 10, "lastPrinted": 11,
          "created": 12, "lastSaved": 13}
DSI_IDS = {"category": 2, "manager": 14, "company": 15}
FILETIME_EPOCH = datetime(1601, 1, 1, tzinfo=timezone.utc)
NO_DATE = "1601-01-01T00:00:00Z"  # a FILETIME of 0

NS_CP = "http://schemas.openxmlformats.org/package/2006/metadata/core-properties"
NS_DC = "http://purl.org/dc/elements/1.1/"
NS_DCTERMS = "http://purl.org/dc/terms/"
NS_XSI = "http://www.w3.org/2001/XMLSchema-instance"
NS_EXT = ("http://schemas.openxmlformats.org/officeDocument/2006/extended-properties",
          "http://purl.oclc.org/ooxml/officeDocument/extendedProperties")
NS_RELS = "http://schemas.openxmlformats.org/package/2006/relationships"
NS_CT = "http://schemas.openxmlformats.org/package/2006/content-types"
REL_CORE = ("http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties",
            "http://schemas.openxmlformats.org/officedocument/2006/relationships/metadata/core-properties")
REL_APP = ("http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties",
           "http://purl.oclc.org/ooxml/officeDocument/relationships/extendedProperties")
CT_CORE = "application/vnd.openxmlformats-package.core-properties+xml"
CT_APP = "application/vnd.openxmlformats-officedocument.extended-properties+xml"
CORE_ELEMENTS = {  # CLI key -> element in the core part
    "title": (NS_DC, "title"), "subject": (NS_DC, "subject"), "author": (NS_DC, "creator"),
    "keywords": (NS_CP, "keywords"), "comments": (NS_DC, "description"),
    "category": (NS_CP, "category"), "revision": (NS_CP, "revision"),
    "lastSavedBy": (NS_CP, "lastModifiedBy"), "created": (NS_DCTERMS, "created"),
    "lastSaved": (NS_DCTERMS, "modified"), "lastPrinted": (NS_CP, "lastPrinted"),
}
APP_ELEMENTS = {"manager": "Manager", "company": "Company", "editTime": "TotalTime"}

BATCH = 50
ENV = dict(os.environ, TZ="UTC")


class Checker:
    """Prints each failure as it comes; counts the files that failed."""

    def __init__(self):
        self.failures = []
        self.files = set()

    def fail(self, name, what, expected=None, got=None):
        line = "FAIL %s: %s" % (name, what)
        if expected is not None or got is not None:
            line += ": expected %r, ours %r" % (expected, got)
        self.failures.append(line)
        self.files.add(name)
        print(line, flush=True)


def sha256_file(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def chunks(items, size=BATCH):
    return [items[i:i + size] for i in range(0, len(items), size)]


def run(cmd, timeout=300):
    """Runs the CLI; retried once when it couldn't start or crashed without
    output (the binary may be relinking under us)."""
    for attempt in (1, 2):
        try:
            p = subprocess.run(cmd, capture_output=True, env=ENV, timeout=timeout)
        except OSError:
            if attempt == 2:
                raise
            continue
        if p.returncode in (0, 1, 2) or p.stdout or attempt == 2:
            return p
    return p


def show(cli, paths):
    """path -> the object show --json printed for it."""
    result = {}
    for batch in chunks(paths):
        for attempt in (1, 2):
            p = run([cli, "show", "--json", "--"] + batch)
            try:
                objs = json.loads(p.stdout.decode("utf-8"))
                break
            except ValueError:
                if attempt == 2:
                    raise RuntimeError("show printed no JSON (exit %d): %s" % (
                        p.returncode, p.stderr.decode("utf-8", "replace")[:500]))
        for obj in objs:
            result[obj.get("path")] = obj
    return result


def set_rows(cli, rows, paths):
    """path -> the text after "PATH: " in set's output ("changed", "failed: ...")."""
    args = []
    for key, value in rows.items():
        args += ["--set", "%s=%s" % (key, value)]
    result = {}
    for batch in chunks(paths):
        p = run([cli, "set"] + args + ["--"] + batch)
        out = p.stdout.decode("utf-8", "replace").splitlines()
        for path in batch:
            for line in out:
                if line.startswith(path + ": "):
                    result[path] = line[len(path) + 2:]
            if path not in result:
                result[path] = "(no line; exit %d; stderr %r)" % (
                    p.returncode, p.stderr.decode("utf-8", "replace")[:300])
    return result


def load(folder, checker):
    records = []
    with open(os.path.join(folder, "oracle.jsonl"), encoding="utf-8") as f:
        for line in f:
            if line.strip():
                records.append(json.loads(line))
    # The kinds' sub-folders (xls, xlsx, other; doc, pptx, ...), whatever they are.
    subfolders = sorted(d for d in os.listdir(folder) if os.path.isdir(os.path.join(folder, d)))
    for rec in records:
        rec["path"] = None
        for sub in subfolders:
            path = os.path.join(folder, sub, rec["file"])
            if os.path.isfile(path):
                rec["path"] = path
                break
        if rec["path"] is None:
            checker.fail(rec["file"], "not in %s/{%s}" % (folder, ",".join(subfolders)))
        elif sha256_file(rec["path"]) != rec["sha256"]:
            checker.fail(rec["file"], "differs from the copy the oracle read")
            rec["path"] = None
    return [r for r in records if r["path"]]


def password_protected(rec):
    streams = rec["integrity"].get("streams") or {}
    return "EncryptionInfo" in streams and "EncryptedPackage" in streams


def oracle_reads(rec):
    if rec["kind"] not in ("xls", "xlsx") or not rec["integrity"].get("ok"):
        return False
    detail = rec.get("detail") or {}
    if rec["kind"] == "xls":
        return not any(isinstance(detail.get(k), dict) and "error" in detail[k]
                       for k in ("SummaryInformation", "DocumentSummaryInformation"))
    return "error" not in detail


def expectation(rec):
    """(outcome, reason); outcome is ("oracle", {}), ("reads", overrides),
    ("read-only", overrides, word), ("refused", word), or None when nothing
    defines it."""
    if rec["file"] in EXCEPTIONS:
        return EXCEPTIONS[rec["file"]]
    if password_protected(rec):
        return PASSWORD_PROTECTED
    if oracle_reads(rec):
        return ("oracle", {}), None
    return None, None


# --- values -------------------------------------------------------------

ISO = re.compile(r"^(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)(\.\d+)?(Z|[+-]\d\d:\d\d)$")


def parse_date(text):
    """UTC to the second, None for no date; ValueError when not ISO-8601 with
    an offset."""
    if text in (None, "", NO_DATE):
        return None
    m = ISO.match(text)
    if not m:
        raise ValueError("not an ISO-8601 date with an offset: %r" % text)
    zone = "+00:00" if m.group(3) == "Z" else m.group(3)
    return datetime.fromisoformat(m.group(1) + zone).astimezone(timezone.utc)


def same(kind, expected, ours):
    """expected: oracle value (None = absent); ours: the CLI's text."""
    if kind == "text":
        return (expected or "") == ours
    if kind == "minutes":
        # Absent is "" and a present total, 0 included, is its number: the
        # oracle keeps a present TotalTime of 0 (xlsx) apart from none.
        return ("" if expected is None else str(expected)) == ours
    try:
        return parse_date(expected) == parse_date(ours)
    except ValueError:
        return False


def outcome_of(obj):
    """("reads", properties) or ("refused", reason)."""
    if obj is None:
        return "refused", "(show printed nothing for it)"
    if obj.get("propertiesError") or not obj.get("ok"):
        return "refused", obj.get("propertiesError") or obj.get("error") or "(no reason given)"
    return "reads", obj.get("properties") or {}


# --- read ---------------------------------------------------------------

def check_read(rec, obj, checker, outcome):
    name = rec["file"]
    what, arg = outcome[:2]
    got, value = outcome_of(obj)
    if what == "refused":
        if got != "refused":
            checker.fail(name, "read, but should be refused (%s)" % (arg or "any reason"))
            return False
        if arg is not None and arg.lower() not in value.lower():
            checker.fail(name, "refused for the wrong reason", arg, value)
            return False
        return True
    if got != "reads":
        checker.fail(name, "not read", "read", value)
        return False
    expected = dict(rec["props"], **arg)
    ok = True
    for okey, ckey, kind in PROPS:
        ours = value.get(ckey)
        if ours is None:
            checker.fail(name, "%s missing from show's output" % ckey)
            ok = False
        elif not same(kind, expected[okey], ours):
            checker.fail(name, ckey, expected[okey], ours)
            ok = False
    return ok


def mode_read(cli, records, checker):
    matched = exceptions = 0
    objs = show(cli, [r["path"] for r in records])
    for rec in records:
        outcome, reason = expectation(rec)
        if outcome is None:
            checker.fail(rec["file"], "the oracle can't read it and EXCEPTIONS has no line for it")
            continue
        if check_read(rec, objs.get(rec["path"]), checker, outcome):
            if outcome[0] == "oracle":
                matched += 1
            else:
                exceptions += 1
    print("%d read as the oracle reads, %d exceptions, %d failures" % (
        matched, exceptions, len(checker.files)))


# --- property sets (an independent reader) -------------------------------

def guid(raw):
    a, b, c = struct.unpack_from("<IHH", raw)
    d = raw[8:16].hex().upper()
    return "%08X-%04X-%04X-%s-%s" % (a, b, c, d[:4], d[4:])


def decode_text(raw, codepage):
    if codepage == 1200:
        return raw.decode("utf-16-le").split("\0")[0]
    enc = {65001: "utf-8", 10000: "mac_roman", 10008: "gb2312"}.get(codepage, "cp%d" % codepage)
    return raw.decode(enc, "replace").split("\0")[0]


def typed_value(body, off, codepage, vt=None, in_vector=False, unpadded_utf16=False):
    """(value, end offset) of the typed value at off (vt read there when
    None, as for a property or a variant; given for a vector's element).
    Strings are padded to 4 bytes, but Office leaves 8-bit strings in a
    vector unpadded; unpadded_utf16 reads UTF-16 ones so too, a form
    neither allows."""
    if vt is None:
        vt = struct.unpack_from("<H", body, off)[0]
        off += 4

    def pad4(n):
        if in_vector and vt == 0x1E and (codepage != 1200 or unpadded_utf16):
            return n
        return (n + 3) & ~3
    if vt == 0x1:
        return None, off
    if vt in (0x2, 0x12):
        return struct.unpack_from("<H", body, off)[0], off + 4
    if vt == 0xB:
        return struct.unpack_from("<H", body, off)[0] != 0, off + 4
    if vt in (0x3, 0x13, 0x16, 0x17):
        return struct.unpack_from("<I", body, off)[0], off + 4
    if vt in (0x40, 0x14, 0x15):
        return struct.unpack_from("<Q", body, off)[0], off + 8
    if vt == 0x1E:
        n = struct.unpack_from("<I", body, off)[0]
        return decode_text(body[off + 4:off + 4 + n], codepage), off + 4 + pad4(n)
    if vt == 0x1F:
        n = struct.unpack_from("<I", body, off)[0]
        return body[off + 4:off + 4 + 2 * n].decode("utf-16-le").split("\0")[0], off + 4 + pad4(2 * n)
    if vt in (0x41, 0x47):
        n = struct.unpack_from("<I", body, off)[0]
        return body[off + 4:off + 4 + n], off + 4 + pad4(n)
    if vt & 0x1000:
        n = struct.unpack_from("<I", body, off)[0]
        off += 4
        items = []
        for _ in range(n):
            item, off = typed_value(body, off, codepage, None if vt == 0x100C else vt & 0xFFF,
                                    True, unpadded_utf16)
            items.append(item)
        return items, off
    raise ValueError("type 0x%x" % vt)


def property_set(stream, unpadded_utf16=False):
    """[(fmtid, {id: (vt, value)}, codepage, raw section)] of a property set stream."""
    if struct.unpack_from("<H", stream, 0)[0] != 0xFFFE:
        raise ValueError("no byte order mark")
    count = struct.unpack_from("<I", stream, 24)[0]
    sections = []
    for i in range(count):
        fmtid = guid(stream[28 + 20 * i:44 + 20 * i])
        offset = struct.unpack_from("<I", stream, 44 + 20 * i)[0]
        size, n = struct.unpack_from("<II", stream, offset)
        body = stream[offset:offset + size]
        entries = [struct.unpack_from("<II", body, 8 + 8 * j) for j in range(n)]
        codepage = 1252
        for pid, off in entries:
            if pid == 1:
                codepage = struct.unpack_from("<H", body, off + 4)[0]
        props = {}
        for pid, off in entries:
            vt = struct.unpack_from("<H", body, off)[0]
            if pid == 0:
                props[pid] = (None, "dictionary")
                continue
            try:
                props[pid] = (vt, typed_value(body, off, codepage, unpadded_utf16=unpadded_utf16)[0])
            except (ValueError, struct.error, UnicodeDecodeError) as e:
                props[pid] = (vt, "undecodable: %s" % e)
        sections.append((fmtid, props, codepage, body))
    return sections


def filetime_of(dt_text):
    dt = parse_date(dt_text)
    return int((dt - FILETIME_EPOCH).total_seconds()) * 10**7


def check_property_streams(name, ole, original, checker):
    """The written rows as an independent reader sees them, and every other
    property of the original kept."""
    ok = True
    for stream_name, fmtid, ids in ((SI_NAME, SI_FMTID, SI_IDS), (DSI_NAME, DSI_FMTID, DSI_IDS)):
        if not ole.exists(stream_name):
            checker.fail(name, "%r missing after writing" % stream_name)
            ok = False
            continue
        try:
            raw = ole.openstream(stream_name).read()
            new = property_set(raw)
            loose = property_set(raw, unpadded_utf16=True)
        except (ValueError, struct.error) as e:
            checker.fail(name, "%r unreadable after writing: %s" % (stream_name, e))
            ok = False
            continue
        if not new or new[0][0] != fmtid:
            checker.fail(name, "%r: first section is not %s" % (stream_name, fmtid))
            ok = False
            continue
        props = new[0][1]
        for key, pid in ids.items():
            vt, value = props.get(pid, (None, None))
            if key in ("created", "lastSaved", "lastPrinted"):
                good = vt == 0x40 and value == filetime_of(WRITTEN[key])
            elif key == "editTime":
                good = vt == 0x40 and value == int(WRITTEN[key]) * 60 * 10**7
            else:
                good = vt in (0x1E, 0x1F) and value == WRITTEN[key]
            if not good:
                checker.fail(name, "%s as stored in %r" % (key, stream_name), WRITTEN[key], (vt, value))
                ok = False
        old = []
        if original.exists(stream_name):
            try:
                old = property_set(original.openstream(stream_name).read())
            except (ValueError, struct.error):
                old = []  # the oracle reads it, so this doesn't happen
        if old:
            written_ids = set(ids.values()) | {1}  # the code page may change to fit the new text
            for pid, (vt, value) in old[0][1].items():
                if pid in written_ids:
                    continue
                if pid not in props:
                    checker.fail(name, "property %d of %r lost" % (pid, stream_name))
                    ok = False
                elif props[pid] != (vt, value) and not (
                        vt in (0x1E, 0x1F) and props[pid][0] in (0x1E, 0x1F) and props[pid][1] == value):
                    if loose[0][1].get(pid) == (vt, value):
                        checker.fail(name, "property %d of %r: a vector of UTF-16 strings without "
                                     "their padding to 4 bytes" % (pid, stream_name))
                    else:
                        checker.fail(name, "property %d of %r changed" % (pid, stream_name),
                                     (vt, value), props[pid])
                    ok = False
            # The user-defined sections are ours to keep, byte for byte.
            for i, (fmt, _, _, body) in enumerate(old[1:], 1):
                if i >= len(new) or new[i][0] != fmt or new[i][3] != body:
                    checker.fail(name, "section %d (%s) of %r changed or lost" % (i, fmt, stream_name))
                    ok = False
    return ok


def check_compound(rec, path, checker):
    name = rec["file"]
    original = olefile.OleFileIO(rec["path"])
    try:
        ole = olefile.OleFileIO(path)
    except Exception as e:  # olefile raises OSError or its own exceptions
        checker.fail(name, "olefile can't open the written file: %s" % e)
        return False
    ok = True
    # Defects olefile lets pass; the ones the original had already aren't ours.
    known = {str(msg) for _, msg in original.parsing_issues}
    for _, msg in ole.parsing_issues:
        if str(msg) not in known:
            checker.fail(name, "olefile finds a defect the original lacked: %s" % msg)
            ok = False
    streams = {"/".join(e) for e in ole.listdir(streams=True, storages=False)}
    storages = {"/".join(e) for e in ole.listdir(streams=False, storages=True)}
    expected = rec["integrity"]["non_property_streams_sha256"]
    for stream, sha in sorted(expected.items()):
        if stream not in streams:
            checker.fail(name, "stream %r lost" % stream)
            ok = False
        elif hashlib.sha256(ole.openstream(stream).read()).hexdigest() != sha:
            checker.fail(name, "stream %r changed" % stream)
            ok = False
    for stream in sorted(streams - set(expected) - {SI_NAME, DSI_NAME}):
        checker.fail(name, "stream %r appeared" % stream)
        ok = False
    for storage in rec["integrity"].get("storages", []):
        if storage not in storages:
            checker.fail(name, "storage %r lost" % storage)
            ok = False
    ok = check_property_streams(name, ole, original, checker) and ok
    ole.close()
    original.close()
    return ok


def children(root):
    """qname -> [elements] among root's children."""
    result = {}
    for child in root:
        result.setdefault(child.tag, []).append(child)
    return result


def rel_targets(rels_xml, types):
    targets = []
    for rel in ET.fromstring(rels_xml).iter("{%s}Relationship" % NS_RELS):
        if rel.get("Type") in types and rel.get("TargetMode") != "External":
            targets.append(rel.get("Target", "").lstrip("/"))
    return targets


def element_signature(el):
    return (el.tag, sorted(el.attrib.items()), "".join(el.itertext()),
            [element_signature(c) for c in el])


def check_kept_elements(name, part, old_xml, new_root, written_tags, checker):
    """Every element of the original part that we didn't write is still there, unchanged."""
    ok = True
    try:
        old_root = ET.fromstring(old_xml)
    except ET.ParseError:
        return True  # nothing the oracle read to keep
    new = children(new_root)
    for tag, elements in children(old_root).items():
        if tag in written_tags:
            continue
        if [element_signature(e) for e in elements] != [element_signature(e) for e in new.get(tag, [])]:
            checker.fail(name, "%s: element %s changed or lost" % (part, tag))
            ok = False
    return ok


def parse_part(name, part, xml, checker):
    """The part's document element, or None (reported) when it is no XML."""
    try:
        return ET.fromstring(xml)
    except ET.ParseError as e:
        checker.fail(name, "%s is not XML: %s" % (part, e))
        return None


def check_core(name, part, xml, old_xml, checker):
    ok = True
    root = parse_part(name, part, xml, checker)
    if root is None:
        return False
    if root.tag != "{%s}coreProperties" % NS_CP:
        checker.fail(name, "%s: root element is %s" % (part, root.tag))
        return False
    kids = children(root)
    for key, (ns, local) in CORE_ELEMENTS.items():
        found = kids.get("{%s}%s" % (ns, local), [])
        if len(found) != 1:
            checker.fail(name, "%s: %d elements %s:%s" % (part, len(found), ns, local))
            ok = False
            continue
        text = found[0].text or ""
        if key in ("created", "lastSaved", "lastPrinted"):
            try:
                good = parse_date(text) == parse_date(WRITTEN[key])
            except ValueError:
                good = False
            xsi = found[0].get("{%s}type" % NS_XSI)
            if key != "lastPrinted" and (xsi is None or not xsi.endswith(":W3CDTF")):
                checker.fail(name, "%s: %s has xsi:type %r" % (part, local, xsi))
                ok = False
        else:
            good = text == WRITTEN[key]
        if not good:
            checker.fail(name, "%s: %s" % (part, local), WRITTEN[key], text)
            ok = False
    if old_xml is not None:
        written = {"{%s}%s" % e for e in CORE_ELEMENTS.values()}
        ok = check_kept_elements(name, part, old_xml, root, written, checker) and ok
    return ok


def check_app(name, part, xml, old_xml, checker):
    ok = True
    root = parse_part(name, part, xml, checker)
    if root is None:
        return False
    ns = root.tag[1:].split("}")[0] if root.tag.startswith("{") else ""
    if root.tag != "{%s}Properties" % ns or ns not in NS_EXT:
        checker.fail(name, "%s: root element is %s" % (part, root.tag))
        return False
    if old_xml is not None:
        try:
            old_tag = ET.fromstring(old_xml).tag
            if old_tag != root.tag:
                checker.fail(name, "%s: root element changed" % part, old_tag, root.tag)
                ok = False
        except ET.ParseError:
            pass
    kids = children(root)
    for key, local in APP_ELEMENTS.items():
        found = kids.get("{%s}%s" % (ns, local), [])
        if len(found) != 1:
            checker.fail(name, "%s: %d elements %s" % (part, len(found), local))
            ok = False
        elif (found[0].text or "") != WRITTEN[key]:
            checker.fail(name, "%s: %s" % (part, local), WRITTEN[key], found[0].text)
            ok = False
    if old_xml is not None:
        written = {"{%s}%s" % (ns, local) for local in APP_ELEMENTS.values()}
        ok = check_kept_elements(name, part, old_xml, root, written, checker) and ok
    return ok


def check_added_part_wiring(name, z, old, part, rel_types, content_type, checker):
    """A part the original lacked: the package relationships and the content
    types must name it, and keep everything they held."""
    ok = True
    rels = ET.fromstring(z.read("_rels/.rels"))
    new_rels = [(r.get("Id"), r.get("Type"), r.get("Target")) for r in rels.iter("{%s}Relationship" % NS_RELS)]
    ids = [r[0] for r in new_rels]
    if len(set(ids)) != len(ids):
        checker.fail(name, "_rels/.rels: relationship Ids repeat: %s" % ids)
        ok = False
    if "_rels/.rels" in old.namelist():
        old_rels = ET.fromstring(old.read("_rels/.rels"))
        for r in old_rels.iter("{%s}Relationship" % NS_RELS):
            if (r.get("Id"), r.get("Type"), r.get("Target")) not in new_rels:
                checker.fail(name, "_rels/.rels: relationship %s lost" % r.get("Id"))
                ok = False
    if not any(t in rel_types and target.lstrip("/") == part for _, t, target in new_rels):
        checker.fail(name, "_rels/.rels has no relationship to %s" % part)
        ok = False
    types = ET.fromstring(z.read("[Content_Types].xml"))
    entries = [(e.tag, sorted(e.attrib.items())) for e in types]
    for e in ET.fromstring(old.read("[Content_Types].xml")):
        if (e.tag, sorted(e.attrib.items())) not in entries:
            checker.fail(name, "[Content_Types].xml: %s lost" % sorted(e.attrib.items()))
            ok = False
    overrides = {e.get("PartName", "").lower(): e.get("ContentType") for e in types.iter("{%s}Override" % NS_CT)}
    defaults = {e.get("Extension", "").lower(): e.get("ContentType") for e in types.iter("{%s}Default" % NS_CT)}
    got = overrides.get("/" + part.lower(), defaults.get(part.rsplit(".", 1)[-1].lower()))
    if got != content_type:
        checker.fail(name, "[Content_Types].xml: content type of /%s" % part, content_type, got)
        ok = False
    return ok


def check_package(rec, path, checker):
    name = rec["file"]
    try:
        z = zipfile.ZipFile(path)
        bad = z.testzip()
    except (zipfile.BadZipFile, OSError, EOFError) as e:
        checker.fail(name, "zipfile can't read the written file: %s" % e)
        return False
    ok = True
    if bad is not None:
        checker.fail(name, "zipfile: entry %r is corrupt" % bad)
        ok = False
    names = z.namelist()
    if len(set(names)) != len(names):
        checker.fail(name, "entries repeat: %s" % sorted(n for n in set(names) if names.count(n) > 1))
        ok = False
    detail = rec["detail"]
    old = zipfile.ZipFile(rec["path"])
    try:
        rels = z.read("_rels/.rels")
        core = rel_targets(rels, REL_CORE)
        app = rel_targets(rels, REL_APP)
    except (KeyError, ET.ParseError) as e:
        checker.fail(name, "_rels/.rels unreadable after writing: %s" % e)
        return False
    if len(core) != 1 or len(app) != 1:
        checker.fail(name, "_rels/.rels names %d core and %d extended properties parts" % (len(core), len(app)))
        return False
    core, app = core[0], app[0]
    old_core, old_app = detail.get("core_entry"), detail.get("app_entry")
    exempt = {core, app, old_core, old_app}
    if old_core is None or old_app is None:
        exempt |= {"[Content_Types].xml", "_rels/.rels"}
    originals = {e["name"]: e["sha256"] for e in rec["integrity"]["entries"]}
    for entry, sha in originals.items():
        if entry not in names:
            checker.fail(name, "entry %r lost" % entry)
            ok = False
        elif entry not in exempt and hashlib.sha256(z.read(entry)).hexdigest() != sha:
            checker.fail(name, "entry %r changed" % entry)
            ok = False
    for entry in sorted(set(names) - set(originals) - {core, app}):
        checker.fail(name, "entry %r appeared" % entry)
        ok = False
    for part, old_part, check, rel_types, ctype in ((core, old_core, check_core, REL_CORE, CT_CORE),
                                                   (app, old_app, check_app, REL_APP, CT_APP)):
        if part not in names:
            checker.fail(name, "%s named in _rels/.rels but missing" % part)
            ok = False
            continue
        if old_part is not None and old_part != part:
            checker.fail(name, "the properties part moved", old_part, part)
            ok = False
        old_xml = old.read(old_part) if old_part else None
        ok = check(name, part, z.read(part), old_xml, checker) and ok
        if old_part is None:
            try:
                ok = check_added_part_wiring(name, z, old, part, rel_types, ctype, checker) and ok
            except (KeyError, ET.ParseError) as e:
                checker.fail(name, "package wiring unreadable after adding %s: %s" % (part, e))
                ok = False
    z.close()
    old.close()
    return ok


def check_entries_but(rec, path, exempt, checker):
    """Every entry the oracle lists, other than the exempt ones, keeps its
    bytes, and no entry appears."""
    name, ok = rec["file"], True
    with zipfile.ZipFile(path) as z:
        names = z.namelist()
        originals = {e["name"]: e["sha256"] for e in rec["integrity"]["entries"]}
        for entry, sha in originals.items():
            if entry not in names:
                checker.fail(name, "entry %r lost" % entry)
                ok = False
            elif entry not in exempt and hashlib.sha256(z.read(entry)).hexdigest() != sha:
                checker.fail(name, "entry %r changed" % entry)
                ok = False
        for entry in sorted(set(names) - set(originals) - exempt):
            checker.fail(name, "entry %r appeared" % entry)
            ok = False
    return ok


# --- write --------------------------------------------------------------

def fresh_copy(rec, folder):
    dest = os.path.join(folder, rec["file"])
    shutil.copyfile(rec["path"], dest)  # not the read-only mode of the shared copy
    os.chmod(dest, 0o644)
    return dest


def check_read_back(rec, obj, checker):
    name = rec["file"]
    got, props = outcome_of(obj)
    if got != "reads":
        checker.fail(name, "unreadable after writing: %s" % props)
        return False
    ok = True
    for _, key, kind in PROPS:
        value = props.get(key, "")
        if kind == "date":
            try:
                good = parse_date(value) == parse_date(WRITTEN[key])
            except ValueError:
                good = False
        else:
            good = value == WRITTEN[key]
        if not good:
            checker.fail(name, "%s read back after writing" % key, WRITTEN[key], value)
            ok = False
    return ok


def write_all(cli, records, tmp, checker):
    """Writes every readable record's copy; returns (records written, refused ones)."""
    readable, refused = [], []
    for rec in records:
        outcome, _ = expectation(rec)
        if outcome is None:
            checker.fail(rec["file"], "the oracle can't read it and EXCEPTIONS has no line for it")
        elif outcome[0] in ("refused", "read-only"):
            refused.append(rec)
        else:
            readable.append(rec)
    os.makedirs(os.path.join(tmp, "w"), exist_ok=True)
    os.makedirs(os.path.join(tmp, "r"), exist_ok=True)
    for rec in readable:
        rec["copy"] = fresh_copy(rec, os.path.join(tmp, "w"))
    for rec in refused:
        rec["copy"] = fresh_copy(rec, os.path.join(tmp, "r"))
    lines = set_rows(cli, WRITTEN, [r["copy"] for r in readable + refused])
    written = []
    for rec in readable:
        if lines[rec["copy"]] != "changed":
            checker.fail(rec["file"], "set", "changed", lines[rec["copy"]])
        else:
            written.append(rec)
    return written, refused, lines


def mode_write(cli, records, checker):
    tmp = tempfile.mkdtemp(prefix="qv-real-")
    try:
        written, refused, lines = write_all(cli, records, tmp, checker)
        checked = unchanged = 0
        objs = show(cli, [r["copy"] for r in written])
        for rec in written:
            ok = check_read_back(rec, objs.get(rec["copy"]), checker)
            if rec["kind"] == "xls":
                ok = check_compound(rec, rec["copy"], checker) and ok
            elif expectation(rec)[0][0] == "opendocument":
                ok = check_entries_but(rec, rec["copy"], {"meta.xml"}, checker) and ok
            else:
                ok = check_package(rec, rec["copy"], checker) and ok
            checked += ok
        for rec in refused:
            line = lines[rec["copy"]]
            word = expectation(rec)[0][-1]
            same_bytes = sha256_file(rec["copy"]) == rec["sha256"]
            failed = line.startswith("failed") and (word is None or word.lower() in line.lower())
            if not failed:
                checker.fail(rec["file"], "set on a refused file", "failed: ...%s..." % (word or ""), line)
            if not same_bytes:
                checker.fail(rec["file"], "a refused file changed")
            unchanged += failed and same_bytes
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    print("%d written and checked, %d refused and unchanged, %d failures" % (
        checked, unchanged, len(checker.files)))


# --- libreoffice ----------------------------------------------------------

def convert(soffice, fmt, paths, outdir, profile):
    """path -> the bytes LibreOffice converted it to (missing when it couldn't)."""
    if not paths:
        return {}  # soffice given no file would wait for one
    os.makedirs(outdir, exist_ok=True)
    subprocess.run([soffice, "-env:UserInstallation=file://" + profile, "--headless",
                    "--convert-to", fmt, "--outdir", outdir] + paths,
                   timeout=300, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=ENV)
    result = {}
    for path in paths:
        out = os.path.join(outdir, os.path.splitext(os.path.basename(path))[0] + "." + fmt)
        if os.path.exists(out):
            with open(out, "rb") as f:
                result[path] = f.read()
    return result


NS_OFFICE = "urn:oasis:names:tc:opendocument:xmlns:office:1.0"
XML_ID = "{http://www.w3.org/XML/1998/namespace}id"
NS_DRAW = "urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
NS_META = "urn:oasis:names:tc:opendocument:xmlns:meta:1.0"
# CLI key -> where LibreOffice's own document metadata keeps it
LO_META = {"title": (NS_DC, "title"), "subject": (NS_DC, "subject"),
           "comments": (NS_DC, "description"), "author": (NS_META, "initial-creator"),
           "lastSavedBy": (NS_DC, "creator"), "created": (NS_META, "creation-date"),
           "lastSaved": (NS_DC, "date"), "lastPrinted": (NS_META, "print-date"),
           "revision": (NS_META, "editing-cycles"), "editTime": (NS_META, "editing-duration")}


def duration_minutes(text):
    m = re.match(r"^P(?:(\d+)D)?T?(?:(\d+)H)?(?:(\d+)M)?(?:(\d+)S)?$", text or "")
    if not m:
        return None
    d, h, mi, _ = (int(g or 0) for g in m.groups())
    return str((d * 24 + h) * 60 + mi)


def odf_body(flat, unseen=()):
    """The document's content in a flat ODF export, to compare before and
    after; less the ids and automatic style names LibreOffice makes up anew
    on every import, the folder links are relative to, and with "pageNames"
    unseen the slides' names."""
    try:
        body = ET.fromstring(flat).find("{%s}body" % NS_OFFICE)
    except ET.ParseError:
        return None
    if body is None:
        return None
    for el in body.iter():
        # Automatic style names are numbered anew on every import, not always
        # in the same order.
        for attr in [a for a in el.attrib
                     if a == XML_ID or a.endswith("}continue-list") or a.endswith("style-name")]:
            del el.attrib[attr]
        if "pageNames" in unseen and el.tag == "{%s}page" % NS_DRAW:
            el.attrib.pop("{%s}name" % NS_DRAW, None)
    return ET.tostring(body).replace(b"../o/d/", b"../d/").replace(b"../w/d/", b"../d/")


def check_lo_meta(name, fods, unseen, checker):
    """LibreOffice, a reader of its own, finds the written rows (but those
    it never shows)."""
    try:
        meta = ET.fromstring(fods).find("{%s}meta" % NS_OFFICE)
    except ET.ParseError as e:
        checker.fail(name, "LibreOffice's flat ODF export is not XML: %s" % e)
        return False
    if meta is None:
        checker.fail(name, "LibreOffice's flat ODF export has no document metadata")
        return False
    ok = True
    for key, (ns, local) in LO_META.items():
        if key in unseen:
            continue
        el = meta.find("{%s}%s" % (ns, local))
        text = el.text if el is not None else None
        if key == "editTime":
            good = duration_minutes(text) == WRITTEN[key]
        elif key in ("created", "lastSaved", "lastPrinted"):
            # Local time without an offset; soffice runs with TZ=UTC.
            good = text is not None and text[:19] == WRITTEN[key][:19]
        else:
            good = text == WRITTEN[key]
        if not good:
            checker.fail(name, "LibreOffice reads %s:%s" % ("dc" if ns == NS_DC else "meta", local),
                         WRITTEN[key], text)
            ok = False
    return ok


def mode_libreoffice(cli, records, checker):
    soffice = shutil.which("soffice") or shutil.which("libreoffice")
    if not soffice:
        return peers.tool_missing("soffice")
    reason = peers.soffice_converts(soffice)
    if reason:
        return peers.crippled(reason)
    by_name = {r["file"]: r for r in records}
    samples = [LIBREOFFICE_SAMPLE, LIBREOFFICE_DOCUMENT_SAMPLE]
    chosen = max(samples, key=lambda names: sum(n in by_name for n in names))
    sample = []
    for name in chosen:
        if name not in by_name:
            checker.fail(name, "sample file not in the folder")
        else:
            sample.append(by_name[name])
    tmp = tempfile.mkdtemp(prefix="qv-real-lo-")
    passed = 0
    try:
        # Folders of the same name, so links relative to a document read the same.
        os.makedirs(os.path.join(tmp, "w", "d"))
        os.makedirs(os.path.join(tmp, "o", "d"))
        for rec in sample:
            rec["copy"] = fresh_copy(rec, os.path.join(tmp, "w", "d"))
            # LibreOffice leaves lock files beside what it opens: never in the shared folder.
            rec["original"] = fresh_copy(rec, os.path.join(tmp, "o", "d"))
        lines = set_rows(cli, WRITTEN, [r["copy"] for r in sample])
        written = []
        for rec in sample:
            if lines[rec["copy"]] != "changed":
                checker.fail(rec["file"], "set", "changed", lines[rec["copy"]])
            else:
                written.append(rec)
        profile = os.path.join(tmp, "profile")
        # Workbooks compare as CSV; documents by the body of their flat ODF.
        books = [r for r in written if flat_odf_of(r["file"]) == "fods"]
        before = convert(soffice, "csv", [r["original"] for r in books], os.path.join(tmp, "before"), profile)
        after = convert(soffice, "csv", [r["copy"] for r in books], os.path.join(tmp, "after"), profile)
        metas = {}
        for fmt in ("fods", "fodt", "fodp"):
            group = [r for r in written if flat_odf_of(r["file"]) == fmt]
            if not group:
                continue
            metas.update(convert(soffice, fmt, [r["copy"] for r in group], os.path.join(tmp, "meta"), profile))
            if fmt != "fods":
                flat = convert(soffice, fmt, [r["original"] for r in group], os.path.join(tmp, "flat"), profile)
                for r in group:
                    if r["original"] in flat:
                        before[r["original"]] = odf_body(flat[r["original"]], chosen[r["file"]])
                    if r["copy"] in metas:
                        after[r["copy"]] = odf_body(metas[r["copy"]], chosen[r["file"]])
        for rec in written:
            a, b = before.get(rec["original"]), after.get(rec["copy"])
            ok = True
            if not a:
                checker.fail(rec["file"], "LibreOffice converts nothing to compare from the original")
                ok = False
            elif b is None:
                checker.fail(rec["file"], "LibreOffice converts nothing to compare from the written copy")
                ok = False
            elif a != b:
                at = next(i for i in range(min(len(a), len(b)) + 1) if a[i:i + 1] != b[i:i + 1])
                checker.fail(rec["file"], "what LibreOffice reads of the content differs after writing",
                             a[max(0, at - 100):at + 100], b[max(0, at - 100):at + 100])
                ok = False
            if rec["copy"] not in metas:
                checker.fail(rec["file"], "LibreOffice converts no flat ODF from the written copy")
                ok = False
            else:
                ok = check_lo_meta(rec["file"], metas[rec["copy"]], chosen[rec["file"]], checker) and ok
            passed += ok
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    print("%d convert as before and show the written rows, %d failures" % (passed, len(checker.files)))
    return 0


def main(argv):
    if len(argv) != 4 or argv[1] not in ("read", "write", "libreoffice"):
        print(__doc__)
        return 2
    mode, cli, folder = argv[1], argv[2], argv[3]
    missing = peers.corpus_missing(folder)
    if missing is not None:
        return missing
    if mode == "write" and olefile is None:
        return peers.tool_missing("python3-olefile")
    checker = Checker()
    records = load(folder, checker)
    if mode == "read":
        mode_read(cli, records, checker)
    elif mode == "write":
        mode_write(cli, records, checker)
    else:
        status = mode_libreoffice(cli, records, checker)
        if status:
            return status
    return 1 if checker.failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
