"""User-defined (custom) document properties of documents that other
software wrote (the shared real-workbooks and real-documents folders, read
in place and never copied into the repository), checked against exiftool
and LibreOffice, two readers of their own.

Usage: check_custom.py read|write|libreoffice CLI FOLDER

  read         for every document show reads, its custom list must be the
               user-defined properties exiftool finds: same names, same
               values; what exiftool can't express (see EXIFTOOL below) is
               counted as unseen and checked against this script's own
               reading of the file instead
  write        on two copies of every document with custom properties and
               ten without (one with text no 8-bit code page holds, one
               with text the file's may): one set changes one, removes one
               and adds five (text, two numbers, a bool, a date); show must
               read back exactly that, nothing else in the file may change
               (stream by stream, property by property, part by part), and
               exiftool must read what show reads
  libreoffice  a mixed sample written so must show each custom property in
               LibreOffice's own metadata, as meta:user-defined

Exit 0 passed, 1 failed, 77 skipped: the folder, exiftool, python3-olefile
or soffice (libreoffice) is missing; under CI=true that fails instead.
"""
import codecs
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
from collections import Counter
from datetime import datetime, timedelta, timezone

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_real_files as real  # noqa: E402  (the folder's records, the package wiring checks)
import peers  # noqa: E402
from peers import tool_missing  # noqa: E402

olefile = real.olefile

# EXIFTOOL: how exiftool 12.x reports user-defined properties, which this
# script has to undo to compare.
# Compound files: the tags of the FlashPix group (family 1) whose family 2
# group is Document, family 3 Main (the root storage, not an embedded
# object) and whose family 7 group is "ID-" + the dictionary name rather
# than a number. That ID is the raw dictionary bytes (not decoded) with
# every byte outside [-_A-Za-z0-9] written as two hex digits ("Date
# completed" -> ID-Date20completed). The tag name is made from the same
# bytes: a lowercase ASCII letter at the start or after a space is
# capitalised, then everything outside [-_A-Za-z0-9] is dropped, and a name
# shorter than two characters or not starting with a letter gets "Tag" in
# front. A name left empty is not reported at all. exiftool reads names as
# 8-bit strings even in a code page 1200 section (so it sees none of them
# there), only the section that directly follows the first, only names
# listed before the properties in the section's table, and FILETIMEs only
# from 1970 to 2069 (outside, it "repairs" them). Dates come as UTC
# "YYYY:MM:DD HH:MM:SS", bools as the stored 16-bit number.
# Packages: docProps/*.xml parts only, each as family 3 group DocN, the
# same N as that ZIP entry's ZipFileName tag; their tags are in group XML.
# ID and tag name are the normalised name (same rule, on the UTF-8 bytes,
# after _xHHHH_ escapes are decoded), so names that normalise alike
# collide. Dates come as "YYYY:MM:DD HH:MM:SSZ" (or as stored when a
# property of that name was not a date in an earlier file of the run).
# JSON: text that looks like a number or true/false is printed as one.
EXIFTOOL = None  # its path, set by main()

UD_FMTID = "D5CDD505-2E9C-101B-9397-08002B2CF9AE"
DSI_FMTID = real.DSI_FMTID
DSI_NAME = real.DSI_NAME
NS_CUSTOM = ("http://schemas.openxmlformats.org/officeDocument/2006/custom-properties",
             "http://purl.oclc.org/ooxml/officeDocument/customProperties")
REL_CUSTOM = ("http://schemas.openxmlformats.org/officeDocument/2006/relationships/custom-properties",
              "http://purl.oclc.org/ooxml/officeDocument/relationships/customProperties")
CT_CUSTOM = "application/vnd.openxmlformats-officedocument.custom-properties+xml"
EDITABLE = ("text", "number", "date", "bool")
FILETIME_EPOCH = real.FILETIME_EPOCH
DAY = 86400

# exiftool in the run's own time zone; dates are compared as instants.
ENV = dict(os.environ)


class Checker(real.Checker):
    """Failures as check_real_files prints them; skipped tools fail under CI."""


# --- the CLI --------------------------------------------------------------

# The CLI as the other real-file checks run it (retried once while it may
# be relinking, show in batches).
run = real.run
show = real.show


def set_custom(cli, args, path):
    """The text after "PATH: " in set's output ("changed", "failed: ...")."""
    p = run([cli, "set"] + args + ["--", path])
    for line in p.stdout.decode("utf-8", "replace").splitlines():
        if line.startswith(path + ": "):
            return line[len(path) + 2:]
    return "(no line; exit %d; stderr %r)" % (p.returncode, p.stderr.decode("utf-8", "replace")[:300])


def readable(obj):
    return obj is not None and obj.get("ok") and not obj.get("propertiesError")


# --- dates ----------------------------------------------------------------

ISO = re.compile(r"^(\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d):(\d\d)(\.\d+)?(Z|[+-]\d\d:\d\d)?$")
EXIF_DATE = re.compile(r"^(\d{4}):(\d\d):(\d\d) (\d\d):(\d\d):(\d\d)(\.\d+)?(Z|[+-]\d\d:\d\d)?$")


def instant(text):
    """A date as UTC, to the whole second (exiftool truncates); no offset
    means UTC, as both exiftool and the stored FILETIME mean it. None when
    it isn't a date."""
    if not isinstance(text, str):
        return None
    m = ISO.match(text) or EXIF_DATE.match(text)
    if not m:
        return None
    y, mo, d, h, mi, s = (int(g) for g in m.groups()[:6])
    try:
        dt = datetime(y, mo, d, h, mi, s, tzinfo=timezone.utc)
    except ValueError:
        return None
    zone = m.group(8)
    if zone and zone != "Z":
        sign = 1 if zone[0] == "+" else -1
        dt -= sign * timedelta(hours=int(zone[1:3]), minutes=int(zone[4:6]))
    return dt


def filetime_instant(ft):
    return FILETIME_EPOCH + timedelta(microseconds=ft // 10)


def exiftool_reads_filetime(ft):
    """exiftool prints a FILETIME as a date only for 1970..2069; it shows
    smaller ones as seconds and "repairs" the rest."""
    secs = ft * 1e-7
    if secs <= 365 * DAY:
        return False
    unix = secs - 134774 * DAY
    return 0 <= unix <= 100 * 365 * DAY


# --- property sets --------------------------------------------------------

# Short names of the stored types, as show names the ones it can't edit.
VT_NAMES = {0x0: "empty", 0x1: "null", 0x2: "i2", 0x3: "i4", 0x4: "r4", 0x5: "r8", 0x6: "cy", 0x7: "date",
            0x8: "bstr", 0xA: "error", 0xB: "bool", 0xC: "variant", 0xE: "decimal", 0x10: "i1",
            0x11: "ui1", 0x12: "ui2", 0x13: "ui4", 0x14: "i8", 0x15: "ui8", 0x16: "int", 0x17: "uint",
            0x1E: "lpstr", 0x1F: "lpwstr", 0x40: "filetime", 0x41: "blob", 0x47: "cf", 0x48: "clsid"}
SCALAR = {0x2: "<h", 0x3: "<i", 0x4: "<f", 0x5: "<d", 0x6: "<q", 0x7: "<d", 0xA: "<I", 0xB: "<H",
          0x10: "<b", 0x11: "<B", 0x12: "<H", 0x13: "<I", 0x14: "<q", 0x15: "<Q", 0x16: "<i",
          0x17: "<I", 0x40: "<Q"}
# What exiftool reads at all (the rest it drops with a warning).
EXIFTOOL_VTS = {0x2, 0x3, 0x4, 0x5, 0x7, 0x8, 0xA, 0xB, 0xC, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15,
                0x1E, 0x1F, 0x40, 0x41, 0x47, 0x48}
# The code pages exiftool decodes 8-bit strings from (and 1200).
EXIFTOOL_CODEPAGES = {65001, 1252, 1250, 1251, 1253, 1254, 1255, 1256, 1257, 1258, 874, 437, 850, 866,
                      10000, 10029, 10007, 10006, 10081, 10010, 10079, 10082, 1200}
CODECS = {1200: "utf-16-le", 65001: "utf-8", 10000: "mac_roman", 10029: "mac_latin2",
          10007: "mac_cyrillic", 10006: "mac_greek", 10081: "mac_turkish", 10079: "mac_iceland",
          10010: "mac_romanian", 10082: "mac_croatian", 10008: "gb2312", 20127: "ascii", 28591: "latin-1"}


def codec_of(codepage):
    name = CODECS.get(codepage, "cp%d" % codepage)
    try:
        codecs.lookup(name)
        return name
    except LookupError:
        return None


def decode(raw, codepage):
    codec = codec_of(codepage)
    text = raw.decode(codec or "latin-1", "replace")
    return text.split("\0")[0]


def typed_value(body, off, codepage, vt=None, in_vector=False):
    """(vt, value, end) of the value at off; vt read there when None."""
    if vt is None:
        vt = struct.unpack_from("<H", body, off)[0]
        off += 4
    base = vt & 0x0FFF
    if vt & 0x1000:
        n = struct.unpack_from("<I", body, off)[0]
        off += 4
        if n > len(body):
            raise ValueError("vector of %d" % n)
        items = []
        for _ in range(n):
            item_vt, item, off = typed_value(body, off, codepage, None if base == 0xC else base, True)
            items.append((item_vt, item) if base == 0xC else item)
        return vt, items, (off + 3) & ~3
    if vt & 0xF000:
        raise ValueError("type 0x%x" % vt)
    if base in SCALAR:
        size = struct.calcsize(SCALAR[base])
        value = struct.unpack_from(SCALAR[base], body, off)[0]
        return vt, value, off + (size if in_vector else (size + 3) & ~3)
    if base in (0x0, 0x1):
        return vt, None, off
    if base in (0x1E, 0x1F, 0x8, 0x41, 0x47):
        n = struct.unpack_from("<I", body, off)[0]
        size = 2 * n if base == 0x1F else n
        if off + 4 + size > len(body):
            raise ValueError("runs past the section")
        raw = body[off + 4:off + 4 + size]
        if base == 0x1F:
            value = raw.decode("utf-16-le", "replace").split("\0")[0]
        elif base in (0x1E, 0x8):
            value = decode(raw, codepage)
        else:
            value = raw
        # Office leaves 8-bit strings in a vector unpadded.
        unpadded = in_vector and base == 0x1E and codepage != 1200
        return vt, value, off + 4 + (size if unpadded else (size + 3) & ~3)
    if base == 0x48:
        return vt, real.guid(body[off:off + 16]), off + 16
    if base == 0xE:
        return vt, body[off:off + 16], off + 16
    raise ValueError("type 0x%x" % vt)


def read_dictionary(body, off, codepage):
    """[(pid, raw name bytes up to the first NUL, name)]"""
    n = struct.unpack_from("<I", body, off)[0]
    off += 4
    entries = []
    for _ in range(n):
        pid, length = struct.unpack_from("<II", body, off)
        off += 8
        size = 2 * length if codepage == 1200 else length
        if off + size > len(body):
            raise ValueError("dictionary runs past the section")
        raw = body[off:off + size]
        off += size
        if codepage == 1200:
            off = (off + 3) & ~3
            name = raw.decode("utf-16-le", "replace").split("\0")[0]
        else:
            raw = raw.split(b"\0")[0]
            name = decode(raw, codepage)
        entries.append((pid, raw, name))
    return entries


def parse_sections(stream):
    """The stream's sections: dicts of fmtid, offset, size, body, entries
    [(pid, offset)], codepage, dictionary, dict_index (its place in the
    table), props {pid: (vt, value, bytes)}. ValueError when it is no
    property set."""
    if len(stream) < 28 or struct.unpack_from("<H", stream, 0)[0] != 0xFFFE:
        raise ValueError("no property set")
    count = struct.unpack_from("<I", stream, 24)[0]
    if count > 16:
        raise ValueError("%d sections" % count)
    sections = []
    for i in range(count):
        fmtid = real.guid(stream[28 + 20 * i:44 + 20 * i])
        offset = struct.unpack_from("<I", stream, 44 + 20 * i)[0]
        size, n = struct.unpack_from("<II", stream, offset)
        body = stream[offset:offset + size]
        if len(body) < 8 + 8 * n:
            raise ValueError("section %d's table runs past the stream" % i)
        entries = [struct.unpack_from("<II", body, 8 + 8 * j) for j in range(n)]
        codepage = 1252
        for pid, off in entries:
            if pid == 1 and off + 6 <= len(body):
                codepage = struct.unpack_from("<H", body, off + 4)[0]
        ends = sorted({off for _, off in entries} | {len(body)})
        section = {"fmtid": fmtid, "offset": offset, "size": size, "body": body, "entries": entries,
                   "codepage": codepage, "dictionary": [], "dict_index": None, "props": {}}
        for index, (pid, off) in enumerate(entries):
            if pid == 0:
                section["dict_index"] = index
                section["dictionary"] = read_dictionary(body, off, codepage)
                continue
            try:
                vt, value, end = typed_value(body, off, codepage)
            except (ValueError, struct.error):
                vt = struct.unpack_from("<H", body, off)[0] if off + 2 <= len(body) else None
                value = None
                end = next(e for e in ends if e > off) if off < len(body) else off
            section["props"][pid] = (vt, value, body[off:end])
        sections.append(section)
    return sections


def user_defined(ole):
    """(the user-defined section or None, the first section or None, the
    DSI sections), from the file's DocumentSummaryInformation."""
    if not ole.exists(DSI_NAME):
        return None, None, []
    sections = parse_sections(ole.openstream(DSI_NAME).read())
    first = sections[0] if sections and sections[0]["fmtid"] == DSI_FMTID else None
    ud = next((s for s in sections if s["fmtid"] == UD_FMTID), None)
    return ud, first, sections


def by_name(section):
    """name (case-folded, as names compare) -> (pid, raw name, name)"""
    return {name.casefold(): (pid, raw, name) for pid, raw, name in section["dictionary"]} if section else {}


# --- packages -------------------------------------------------------------

def custom_part_name(z):
    """The custom properties part the package relationships name, or None."""
    try:
        targets = real.rel_targets(z.read("_rels/.rels"), REL_CUSTOM)
    except (KeyError, ET.ParseError):
        return None
    return targets[0] if targets else None


def custom_elements(xml):
    """[(name, fmtid, pid, linkTarget, value tag, value text)] of a custom part."""
    result = []
    root = ET.fromstring(xml)
    for prop in (p for ns in NS_CUSTOM for p in root.iter("{%s}property" % ns)):
        kids = list(prop)
        tag = kids[0].tag.split("}")[-1] if kids else None
        text = "".join(kids[0].itertext()) if kids else None
        result.append((prop.get("name"), prop.get("fmtid"), prop.get("pid"), prop.get("linkTarget"), tag, text))
    return result


# --- exiftool ---------------------------------------------------------------

class Num(str):
    """A number as exiftool printed it, unparsed."""


def exiftool_json(paths, timeout=300):
    """path -> [(groups, tag, value)], in exiftool's order, duplicates kept."""
    if not paths:
        return {}
    with tempfile.NamedTemporaryFile("w", suffix=".args", delete=False, encoding="utf-8") as f:
        f.write("".join(p + "\n" for p in paths))
    try:
        p = subprocess.run([EXIFTOOL, "-j", "-a", "-n", "-G1:2:3:7", "-charset", "filename=utf8", "-@", f.name],
                           capture_output=True, timeout=timeout, env=ENV)
    finally:
        os.unlink(f.name)
    try:
        objs = json.loads(p.stdout.decode("utf-8"), object_pairs_hook=list, parse_int=Num, parse_float=Num)
    except ValueError:
        raise RuntimeError("exiftool printed no JSON (exit %d): %s" % (
            p.returncode, p.stderr.decode("utf-8", "replace")[:500]))
    result = {}
    for pairs in objs:
        source, tags = None, []
        for key, value in pairs:
            if key == "SourceFile":
                source = value
                continue
            parts = key.split(":")
            tags.append((parts[:-1], parts[-1], value))
        result[source] = tags
    return result


def group7(groups):
    return next((g[3:] for g in groups if g.startswith("ID-")), None)


def exiftool_custom(tags, container, part):
    """[(id, tag, value)]: the user-defined properties among the tags."""
    if container == "ole":
        return [(group7(g), t, v) for g, t, v in tags
                if len(g) >= 3 and g[0] == "FlashPix" and g[1] == "Document" and g[2] == "Main"
                and group7(g) is not None and not group7(g).isdigit()]
    doc = next((g[2] for g, t, v in tags if g[0] == "ZIP" and t == "ZipFileName" and part
                and isinstance(v, str) and v.lower() == part.lower()), None)
    if doc is None:
        return []
    return [(group7(g), t, v) for g, t, v in tags if len(g) >= 3 and g[2] == doc and g[0] != "ZIP"]


def escape_id(raw):
    return "".join(chr(b) if re.match(rb"[-_A-Za-z0-9]", bytes([b])) else "%02x" % b for b in raw)


# The two names exiftool knows beforehand.
FLASHPIX_KNOWN = {b"_PID_LINKBASE": "HyperlinkBase", b"_PID_HLINKS": "Hyperlinks"}


def flashpix_tag(raw):
    """exiftool's tag name for a dictionary name, "" when it reports none."""
    if raw in FLASHPIX_KNOWN:
        return FLASHPIX_KNOWN[raw]
    name = re.sub(rb"(^| )([a-z])", lambda m: m.group(2).upper(), raw)
    name = re.sub(rb"[^-_a-zA-Z0-9]", b"", name).decode("ascii")
    return prefixed(name)


def ooxml_id(name):
    """exiftool's tag ID for a custom.xml name ("" when it reports none)."""
    name = re.sub(r"_x([0-9a-fA-F]{4})_", lambda m: chr(int(m.group(1), 16)), name)
    name = re.sub(r"(^| )([a-z])", lambda m: m.group(1) + m.group(2).upper(), name)
    return re.sub(r"[^-_a-zA-Z0-9]", "", name)


def prefixed(name):
    if not name:
        return ""
    name = name[0].upper() + name[1:]
    return name if len(name) >= 2 and re.match(r"[A-Za-z]", name) else "Tag" + name


# --- read: show's list against exiftool's ----------------------------------

def container_of(path):
    if olefile is not None and olefile.isOleFile(path):
        return "ole"
    if zipfile.is_zipfile(path):
        return "zip"
    return None


def structure(path):
    """What the file holds, read here, for deciding what exiftool can see."""
    container = container_of(path)
    info = {"container": container, "all_unseen": None, "section": None, "part": None, "elements": []}
    if container == "ole":
        ole = olefile.OleFileIO(path)
        try:
            ud, first, sections = user_defined(ole)
        except (ValueError, struct.error) as e:
            info["all_unseen"] = "DocumentSummaryInformation unreadable here: %s" % e
            ud, first, sections = None, None, []
        finally:
            ole.close()
        info["section"] = ud
        if ud is not None:
            if len(sections) < 2 or sections[1] is not ud or first is None \
                    or ud["offset"] != first["offset"] + first["size"]:
                info["all_unseen"] = "exiftool reads the user-defined section only right after the first"
            elif ud["codepage"] == 1200:
                info["all_unseen"] = "exiftool reads a UTF-16 (code page 1200) dictionary as 8-bit"
    elif container == "zip":
        with zipfile.ZipFile(path) as z:
            part = custom_part_name(z)
            info["part"] = part
            if part is not None and part in z.namelist():
                try:
                    info["elements"] = custom_elements(z.read(part))
                except ET.ParseError:
                    pass
        if part is not None and not re.match(r"(?i)^docProps/[^/]*\.xml$", part):
            info["all_unseen"] = "exiftool reads only docProps/*.xml"
    return info


class Tally:
    def __init__(self):
        self.files = self.props = self.agreed = self.presence = 0
        self.unseen = Counter()
        self.own = Counter()
        self.disagreements = []

    def summary(self, what):
        unseen = sum(self.unseen.values())
        line = "%s: %d files with custom properties, %d properties, %d compared, %d agreed (%d by presence " \
               "only), %d unseen, %d disagreements" % (
                   what, self.files, self.props, self.props - unseen, self.agreed + self.presence,
                   self.presence, unseen, len(self.disagreements))
        print(line)
        for reason, n in sorted(self.unseen.items(), key=lambda kv: -kv[1]):
            print("  unseen %d: %s" % (n, reason))
        if unseen:
            print("  the unseen against this script's own reading: %d agreed, %d by presence only, %d not "
                  "found, %d disagreed" % (self.own["agreed"], self.own["presence"], self.own["missing"],
                                            self.own["disagreed"]))


def as_bool(v):
    if isinstance(v, bool):
        return v
    if isinstance(v, str) and v.strip().lower() in ("true", "1", "-1"):
        return True
    if isinstance(v, str) and v.strip().lower() in ("false", "0"):
        return False
    return None


def as_number(v):
    if isinstance(v, bool) or not isinstance(v, (str, int, float)):
        return None
    try:
        return float(v)
    except ValueError:
        return None


def close(a, b):
    return a == b or abs(a - b) <= 1e-14 * max(abs(a), abs(b))


def value_verdict(ours, ex, container):
    """(verdict, detail): "agreed", "presence" (not comparable) or "disagreed"."""
    kind, value = ours.get("type"), ours.get("value")
    if container == "zip" and isinstance(ex, str):
        # exiftool keeps the line ends an XML reader turns into \n.
        ex = ex.replace("\r\n", "\n").replace("\r", "\n")
    if isinstance(ex, list) and kind != "text":
        return "presence", None
    if kind == "text":
        if not isinstance(value, str):
            return "disagreed", "show's text value is %r" % (value,)
        if isinstance(ex, bool):  # exiftool prints "true"/"false" text as JSON booleans
            return ("agreed", None) if value.lower() == str(ex).lower() else ("disagreed", None)
        if isinstance(ex, str):
            return ("agreed", None) if ex == value.replace("\0", "") else ("disagreed", None)
        return "disagreed", None
    if kind == "number":
        a, b = as_number(value), as_number(ex)
        if a is None or isinstance(value, str):
            return "disagreed", "show's number is %r" % (value,)
        return ("agreed", None) if b is not None and close(a, b) else ("disagreed", None)
    if kind == "bool":
        if not isinstance(value, bool):
            return "disagreed", "show's bool is %r" % (value,)
        return ("agreed", None) if as_bool(ex) is value else ("disagreed", None)
    if kind == "date":
        a, b = instant(value), instant(ex)
        if a is None:
            return "disagreed", "show's date is %r" % (value,)
        return ("agreed", None) if b is not None and a == b else ("disagreed", None)
    # The kinds show only shows: compare what is comparable.
    if value is None or isinstance(value, (list, dict)) or isinstance(ex, list):
        return "presence", None
    if isinstance(ex, str) and ex.startswith("(Binary data "):
        return "presence", None
    a, b = as_number(value), as_number(ex)
    if a is not None and b is not None:
        return ("agreed", None) if close(a, b) else ("disagreed", None)
    if instant(value) is not None and instant(ex) is not None:
        return ("agreed", None) if instant(value) == instant(ex) else ("disagreed", None)
    return ("agreed", None) if str(value) == str(ex) else ("disagreed", None)


def own_verdict(prop, container, stored, held):
    """show's value against the stored one as read here."""
    if stored is None:
        return "missing"
    kind, value = prop.get("type"), prop.get("value")
    if kind not in EDITABLE or held is None:
        return "presence"
    if container == "zip":
        if kind == "bool":
            held = {"true": True, "1": True, "false": False, "0": False}.get(held.strip().lower())
        elif kind == "number":
            held = as_number(held)
        elif kind == "date":
            held = instant(held)
    elif kind == "bool":
        held = held != 0
    elif kind == "date":
        held = filetime_instant(held).replace(microsecond=0) if isinstance(held, int) else None
    if kind == "date":
        return "agreed" if held is not None and instant(value) == held else "disagreed"
    if kind == "number":
        good = as_number(value) is not None and held is not None and close(float(value), float(held))
        return "agreed" if good else "disagreed"
    return "agreed" if value == held else "disagreed"


def expected_kind(container, stored):
    """The kind show must give a stored type: an editable one, "other"
    (read-only), or None where either is defensible."""
    if container == "ole":
        base = {0x1E: "text", 0x1F: "text", 0x3: "number", 0x5: "number", 0xB: "bool", 0x40: "date"}
        if stored in base:
            return base[stored]
        return "other" if stored is not None and (stored & 0x1000 or stored in (0x41, 0x47, 0x48, 0x14, 0x15)) \
            else None
    base = {"lpwstr": "text", "lpstr": "text", "i4": "number", "r8": "number", "bool": "bool",
            "filetime": "date"}
    if stored in base:
        return base[stored]
    return "other" if stored in ("vector", "array", "blob", "oblob", "stream", "ostream", "storage",
                                 "ostorage", "vstream", "clsid", "cf", "i8", "ui8") else None


def compare_file(name, ours, tags, info, tally, fail):
    """Compares show's custom list with exiftool's user-defined tags; fail(what) reports a disagreement."""
    container = info["container"]
    ex = exiftool_custom(tags, container, info["part"])
    ex_by_id = {}
    for tid, tag, value in ex:
        ex_by_id.setdefault(tid, []).append((tag, value))
    if ours or ex:
        tally.files += 1
    consumed = set()
    section = info["section"]
    names = by_name(section)
    ooxml_ids = Counter(ooxml_id(p.get("name", "")) for p in ours) if container == "zip" else Counter()
    elements = {e[0]: e for e in info["elements"]}
    for prop in ours:
        tally.props += 1
        pname = prop.get("name")
        if not isinstance(pname, str):
            tally.disagreements.append(name)
            fail("a custom property without a name: %r" % (prop,))
            continue
        unseen, value_unseen, stored, tid, raw_value, element = None, None, None, None, None, None
        if container == "ole":
            codepage = section["codepage"] if section else 1252
            entry = names.get(pname.casefold())
            pid = entry[0] if entry else None
            vt, raw_value = (section["props"].get(pid, (None, None, b""))[:2] if section and pid is not None
                             else (None, None))
            stored = vt
            codec = codec_of(codepage)
            try:
                raw = pname.encode(codec) if codec else None
            except UnicodeEncodeError:
                raw = None
            if info["all_unseen"]:
                unseen = info["all_unseen"]
            elif raw is None:
                tally.disagreements.append(name)
                fail("%r: a name the section's code page %d can't hold" % (pname, codepage))
                continue
            elif not raw:
                unseen = "an empty name"
            elif not flashpix_tag(raw):
                unseen = "a name without ASCII letters or digits (exiftool drops it)"
            elif raw.isdigit():
                unseen = "a number for a name (exiftool takes it for a property id)"
            elif section and pid is not None and section["dict_index"] is not None and \
                    [p for p, _ in section["entries"]].index(pid) < section["dict_index"]:
                unseen = "listed before the dictionary (exiftool doesn't know its name yet)"
            elif vt is not None and (vt & 0x0FFF) not in EXIFTOOL_VTS:
                unseen = "a type exiftool doesn't read (%s)" % VT_NAMES.get(vt & 0x0FFF, "0x%x" % vt)
            elif vt == 0x40 and isinstance(raw_value, int) and not exiftool_reads_filetime(raw_value):
                unseen = "a date outside 1970..2069 (exiftool's window)"
            if unseen is None and vt == 0x1E and codepage not in EXIFTOOL_CODEPAGES and \
                    isinstance(raw_value, str) and not raw_value.isascii():
                value_unseen = "text in code page %d, which exiftool doesn't decode" % codepage
            if raw is not None:
                tid = escape_id(raw)
        else:
            tid = ooxml_id(pname)
            element = elements.get(pname)
            stored = element[4] if element else None
            if info["all_unseen"]:
                unseen = info["all_unseen"]
            elif not tid:
                unseen = "a name without ASCII letters or digits (exiftool drops it)"
            elif ooxml_ids[tid] > 1:
                unseen = "names alike after exiftool's normalisation"
            if element is not None and bool(prop.get("linked")) != (element[3] is not None):
                tally.disagreements.append(name)
                fail("%r: linked is %r, the part %s a linkTarget" % (
                    pname, prop.get("linked"), "has" if element[3] is not None else "has no"))
        want = expected_kind(container, stored)
        kind = prop.get("type")
        if want is not None and (kind if kind in EDITABLE else "other") != want:
            tally.disagreements.append(name)
            fail("%r: type %r for a stored %s" % (pname, kind, VT_NAMES.get(stored, stored)
                                                   if container == "ole" else stored))
        elif stored in (0x3, "i4") and not isinstance(prop.get("value"), int):
            tally.disagreements.append(name)
            fail("%r: a 32-bit integer shown as %r" % (pname, prop.get("value")))
        elif stored in (0x5, "r8") and not isinstance(prop.get("value"), float):
            tally.disagreements.append(name)
            fail("%r: a double shown as %r" % (pname, prop.get("value")))
        elif (kind in EDITABLE) == bool(prop.get("readOnly")) and not prop.get("linked"):
            tally.disagreements.append(name)
            fail("%r: type %r with readOnly %r" % (pname, kind, prop.get("readOnly")))
        found = ex_by_id.get(tid) if tid else None
        if unseen:
            tally.unseen[unseen] += 1
            if tid:
                consumed.add(tid)
            # What exiftool can't tell us, this script's own reading can.
            held = (raw_value if container == "ole" else element[5]) if stored is not None else None
            verdict = own_verdict(prop, container, stored, held)
            tally.own[verdict] += 1
            if verdict == "missing":
                tally.disagreements.append(name)
                fail("%r (%s): not in the file as read here" % (pname, kind))
            elif verdict == "disagreed":
                tally.disagreements.append(name)
                fail("%r (%s): stored as %s %r, show %r" % (pname, kind, VT_NAMES.get(stored, stored),
                                                            held, prop.get("value")))
            continue
        if not found:
            tally.disagreements.append(name)
            fail("%r (%s %r): exiftool finds no such property" % (pname, kind, prop.get("value")))
            continue
        consumed.add(tid)
        tag, value = found[0]
        if container == "ole" and tag != flashpix_tag(raw):
            print("NOTE %s: exiftool names %r %s, not %s as expected here" % (name, pname, tag, flashpix_tag(raw)))
        if container == "zip" and tag != prefixed(tid):
            print("NOTE %s: exiftool names %r %s, not %s as expected here" % (name, pname, tag, prefixed(tid)))
        if value_unseen:
            tally.presence += 1
            continue
        verdict, detail = value_verdict(prop, value, container)
        if verdict == "agreed":
            tally.agreed += 1
        elif verdict == "presence":
            tally.presence += 1
        else:
            tally.disagreements.append(name)
            fail("%r (%s): exiftool reads %r, show %r%s" % (pname, kind, value, prop.get("value"),
                                                             "; " + detail if detail else ""))
    if info["all_unseen"]:
        return
    for tid, found in ex_by_id.items():
        if tid in consumed:
            continue
        for tag, value in found:
            tally.disagreements.append(name)
            fail("exiftool finds %s (ID %s) = %r; show lists no such property" % (tag, tid, value))


def compare_all(cli_objs, paths, tally, checker, label=lambda p: os.path.basename(p)):
    """The read comparison for paths show read; exiftool once over them all."""
    ex = exiftool_json(paths)
    for path in paths:
        obj = cli_objs[path]
        name = label(path)
        ours = obj.get("custom")
        if not isinstance(ours, list):
            checker.fail(name, "show --json gives no custom list")
            continue
        if path not in ex:
            checker.fail(name, "exiftool printed nothing for it")
            continue
        try:
            info = structure(path)
        except (OSError, zipfile.BadZipFile) as e:
            checker.fail(name, "unreadable here: %s" % e)
            continue
        compare_file(name, ours, ex[path], info, tally, lambda what, n=name: checker.fail(n, what))


def mode_read(cli, records, checker):
    objs = show(cli, [r["path"] for r in records])
    paths = [r["path"] for r in records if readable(objs.get(r["path"]))]
    tally = Tally()
    compare_all(objs, paths, tally, checker)
    tally.summary("%d documents read" % len(paths))


# --- write ------------------------------------------------------------------

# Each document is written twice: once with text beyond any 8-bit code
# page, which moves a compound file's section to code page 1200 (where
# exiftool reads no names), once with text its code page may hold, so that
# exiftool can read the compound file's section as written.
VARIANTS = ("unicode", "latin")
TEXT = {"unicode": ("Projekt Überblick 進捗", "geändert 変更 "), "latin": ("Projekt Überblick", "geändert ")}


def additions(variant):
    """What one set adds: a name exiftool has to normalise, both kinds of number."""
    return [
        ("qv Projekt Überblick", "text", TEXT[variant][0]),
        ("qv count", "number", 42),
        ("qv ratio", "number", 2.5),
        ("qv approved", "bool", True),
        ("qv due", "date", "2021-03-04T09:00:00+00:00"),
    ]


SAMPLE_WITHOUT = 10
EXPECTED_REFUSALS = ("password", "signature")


def arg_value(kind, value):
    if kind == "bool":
        return "true" if value else "false"
    return str(value)


def new_value(prop, variant):
    """Another value of the same kind, or None when it isn't editable."""
    kind, value = prop.get("type"), prop.get("value")
    if kind == "text":
        return TEXT[variant][1] + (value or "")[:20]
    if kind == "number":
        return 7 if isinstance(value, int) and not isinstance(value, bool) else 0.25
    if kind == "bool":
        return not value
    if kind == "date":
        return "2019-05-06T07:08:09+00:00"
    return None


def plan(ours, variant):
    """(args, expected custom list, what was changed/removed/added) for one file."""
    editable = [p for p in ours if p.get("type") in EDITABLE and not p.get("readOnly") and not p.get("linked")
                and isinstance(p.get("name"), str) and "=" not in p["name"] and p.get("value") is not None]
    changed = editable[0] if editable else None
    removable = [p for p in ours if p is not changed and isinstance(p.get("name"), str) and "=" not in p["name"]
                 and not p.get("linked")]
    removed = None
    if len(ours) >= 2 and removable:
        plain = [p for p in removable if p in editable]
        removed = (plain or removable)[-1]
    args, expected, changed_to = [], [], None
    if changed is not None:
        changed_to = new_value(changed, variant)
        args += ["--custom-type", changed["type"],
                 "--custom", "%s=%s" % (changed["name"], arg_value(changed["type"], changed_to))]
    for prop in ours:
        if prop is removed:
            continue
        if prop is changed:
            prop = dict(prop, value=changed_to)
        expected.append(prop)
    added = additions(variant)
    for pname, kind, value in added:
        args += ["--custom-type", kind, "--custom", "%s=%s" % (pname, arg_value(kind, value))]
        expected.append({"name": pname, "type": kind, "value": value, "readOnly": False, "linked": False})
    if removed is not None:
        args += ["--remove-custom", removed["name"]]
        # A property shown read-only goes only when forced.
        if removed.get("readOnly"):
            args.append("--force")
    return args, expected, {"changed": changed and changed["name"], "changed_to": changed_to,
                            "removed": removed and removed["name"], "added": added}


def same_custom_value(kind, want, got):
    if kind == "date":
        return instant(want) is not None and instant(want) == instant(got)
    if kind == "number":
        return isinstance(got, (int, float)) and not isinstance(got, bool) and close(float(want), float(got)) \
            and isinstance(got, int) == isinstance(want, int)
    if kind in ("text", "bool"):
        return want == got and type(want) is type(got)
    return want == got


def check_read_back(name, expected, got, checker):
    ok = True
    if not isinstance(got, list):
        checker.fail(name, "show gives no custom list after writing")
        return False
    want_names = [p["name"] for p in expected]
    got_names = [p.get("name") for p in got]
    if sorted(want_names) != sorted(n for n in got_names if isinstance(n, str)):
        checker.fail(name, "custom names after writing", want_names, got_names)
        return False
    if want_names != got_names:
        checker.fail(name, "custom properties out of order after writing (kept ones in place, added ones "
                     "at the end)", want_names, got_names)
        ok = False
    got_by = {p["name"]: p for p in got}
    for want in expected:
        have = got_by[want["name"]]
        for key, norm in (("type", str), ("readOnly", bool), ("linked", bool)):
            if norm(have.get(key)) != norm(want.get(key)):
                checker.fail(name, "%r: %s after writing" % (want["name"], key), want.get(key), have.get(key))
                ok = False
        if not same_custom_value(want["type"], want.get("value"), have.get("value")):
            checker.fail(name, "%r: value after writing" % want["name"], want.get("value"), have.get("value"))
            ok = False
    return ok


def decoded(vt, value):
    """A property's value compared across a change of code page."""
    if isinstance(value, list):
        return [decoded(vt & 0x0FFF, v) for v in value]
    if isinstance(value, tuple):
        return (value[0] & 0x0FFF if value[0] not in (0x1E, 0x1F) else "string", decoded(*value))
    return value


def stored_matches(vt, value, kind, want):
    """A written or changed property holds want, as kind, in the section."""
    if kind == "text":
        return vt in (0x1E, 0x1F) and value == want
    if kind == "number":
        if isinstance(want, int):
            return (vt == 0x3 and value == want) or (vt == 0x5 and value == float(want))
        return vt == 0x5 and value == want
    if kind == "bool":
        return vt == 0xB and value == (0xFFFF if want else 0)
    if kind == "date":
        return vt == 0x40 and isinstance(value, int) and \
            filetime_instant(value).replace(microsecond=0) == instant(want)
    return False


def check_compound(rec, path, name, done, checker):
    try:
        old = olefile.OleFileIO(rec["path"])
        new = olefile.OleFileIO(path)
    except Exception as e:  # olefile raises OSError or its own exceptions
        checker.fail(name, "olefile can't open the written file: %s" % e)
        return False
    ok = True
    try:
        known = {str(msg) for _, msg in old.parsing_issues}
        for _, msg in new.parsing_issues:
            if str(msg) not in known:
                checker.fail(name, "olefile finds a defect the original lacked: %s" % msg)
                ok = False
        old_streams = {"/".join(e) for e in old.listdir(streams=True, storages=False)}
        new_streams = {"/".join(e) for e in new.listdir(streams=True, storages=False)}
        for stream in sorted(old_streams - {DSI_NAME}):
            if stream not in new_streams:
                checker.fail(name, "stream %r lost" % stream)
                ok = False
            elif old.openstream(stream).read() != new.openstream(stream).read():
                checker.fail(name, "stream %r changed" % stream)
                ok = False
        for stream in sorted(new_streams - old_streams - {DSI_NAME}):
            checker.fail(name, "stream %r appeared" % stream)
            ok = False
        try:
            old_ud, old_first, _ = user_defined(old)
        except (ValueError, struct.error):
            old_ud, old_first = None, None
        try:
            new_ud, new_first, _ = user_defined(new)
        except (ValueError, struct.error) as e:
            checker.fail(name, "DocumentSummaryInformation unreadable after writing: %s" % e)
            return False
        if new_ud is None:
            checker.fail(name, "no user-defined section after writing")
            return False
        if old_first is not None:
            if new_first is None:
                checker.fail(name, "the DocumentSummaryInformation section lost")
                ok = False
            else:
                old_props = {pid: p[2] for pid, p in old_first["props"].items()}
                new_props = {pid: p[2] for pid, p in new_first["props"].items()}
                if old_props != new_props:
                    changed = sorted(pid for pid in set(old_props) | set(new_props)
                                     if old_props.get(pid) != new_props.get(pid))
                    checker.fail(name, "the DocumentSummaryInformation section's properties %s changed" % changed)
                    ok = False
        ok = check_user_defined(name, old_ud, new_ud, done, checker) and ok
    finally:
        old.close()
        new.close()
    return ok


def check_user_defined(name, old_ud, new_ud, done, checker):
    """Untouched properties keep their bytes (their decoded values when the
    code page changed), the touched ones hold what was written."""
    ok = True
    new_names = by_name(new_ud)
    if len(new_names) != len(new_ud["dictionary"]):
        checker.fail(name, "user-defined names repeat after writing", None, [n for _, _, n in new_ud["dictionary"]])
        ok = False
    named = {pid for pid, _, _ in new_ud["dictionary"]}
    for pid in named:
        if pid not in new_ud["props"]:
            checker.fail(name, "the dictionary names property %d, which isn't there" % pid)
            ok = False
    recoded = old_ud is not None and old_ud["codepage"] != new_ud["codepage"]

    def key_of(section, pid):
        """Properties without a name (links, the locale) by what they belong to."""
        if pid & 0x01000000:
            target = {p: n.casefold() for p, _, n in section["dictionary"]}.get(pid & ~0x01000000)
            return ("link", target)
        return ("pid", pid)
    touched = {n.casefold() for n in [done["changed"], done["removed"]] + [a[0] for a in done["added"]] if n}
    if old_ud is not None:
        old_named = {pid for pid, _, _ in old_ud["dictionary"]}
        for folded, (pid, _, pname) in by_name(old_ud).items():
            if folded in touched:
                continue
            if folded not in new_names:
                checker.fail(name, "user-defined %r lost" % pname)
                ok = False
                continue
            old_p = old_ud["props"].get(pid)
            new_p = new_ud["props"].get(new_names[folded][0])
            if old_p is None or new_p is None:
                if (old_p is None) != (new_p is None):
                    checker.fail(name, "user-defined %r: value lost or appeared" % pname)
                    ok = False
                continue
            ok = same_property(name, repr(pname), old_p, new_p, recoded, checker) and ok
        old_unnamed = {key_of(old_ud, pid): p for pid, p in old_ud["props"].items() if pid not in old_named | {1}}
        new_unnamed = {key_of(new_ud, pid): p for pid, p in new_ud["props"].items() if pid not in named | {1}}
        for key, old_p in old_unnamed.items():
            if key[0] == "link" and key[1] in touched:
                continue
            if key not in new_unnamed:
                checker.fail(name, "user-defined section: unnamed property %s lost" % (key,))
                ok = False
            else:
                ok = same_property(name, "unnamed property %s" % (key,), old_p, new_unnamed[key], recoded,
                                   checker) and ok
    for pname, kind, value in ([(done["changed"], None, done["changed_to"])] if done["changed"] else []) + done["added"]:
        entry = new_names.get(pname.casefold())
        if entry is None:
            checker.fail(name, "user-defined %r missing after writing" % pname)
            ok = False
            continue
        vt, got = new_ud["props"].get(entry[0], (None, None, b""))[:2]
        if kind is None:  # changed: same stored type
            old_vt = old_ud["props"].get(by_name(old_ud)[pname.casefold()][0], (None,))[0]
            kind = {0x1E: "text", 0x1F: "text", 0x3: "number", 0x5: "number", 0xB: "bool", 0x40: "date"}.get(old_vt)
            if kind == "number" and not isinstance(value, int):
                good = vt == old_vt and got == value
            else:
                good = kind is not None and stored_matches(vt, got, kind, value) and (
                    vt == old_vt or {vt, old_vt} == {0x1E, 0x1F})
        else:
            good = stored_matches(vt, got, kind, value)
        if not good:
            checker.fail(name, "user-defined %r as stored" % pname, value, (VT_NAMES.get(vt, vt), got))
            ok = False
    if done["removed"] and done["removed"].casefold() in new_names:
        checker.fail(name, "user-defined %r still there after removing it" % done["removed"])
        ok = False
    return ok


def same_property(name, what, old_p, new_p, recoded, checker):
    old_vt, old_value, old_bytes = old_p
    new_vt, new_value, new_bytes = new_p
    if old_bytes == new_bytes:
        return True
    strings = old_vt is not None and (old_vt & 0x0FFF) in (0x1E, 0x8, 0xC)
    if recoded and strings and new_vt is not None and (new_vt & 0x0FFF) in (0x1E, 0x1F, 0x8, 0xC) and \
            (old_vt & 0x1000) == (new_vt & 0x1000) and decoded(old_vt, old_value) == decoded(new_vt, new_value):
        return True
    checker.fail(name, "user-defined section: %s changed" % what, (VT_NAMES.get(old_vt, old_vt), old_value),
                 (VT_NAMES.get(new_vt, new_vt), new_value))
    return False


def check_package(rec, path, name, done, checker):
    try:
        new = zipfile.ZipFile(path)
        bad = new.testzip()
    except (zipfile.BadZipFile, OSError, EOFError) as e:
        checker.fail(name, "zipfile can't read the written file: %s" % e)
        return False
    old = zipfile.ZipFile(rec["path"])
    ok = True
    try:
        if bad is not None:
            checker.fail(name, "zipfile: entry %r is corrupt" % bad)
            ok = False
        old_part = custom_part_name(old)
        part = custom_part_name(new)
        if part is None or part not in new.namelist():
            checker.fail(name, "no custom properties part after writing (%r)" % part)
            return False
        if old_part is not None and old_part in old.namelist() and old_part != part:
            checker.fail(name, "the custom properties part moved", old_part, part)
            ok = False
        exempt = {part, "[Content_Types].xml", "_rels/.rels"}
        names = new.namelist()
        if len(set(names)) != len(names):
            checker.fail(name, "entries repeat after writing")
            ok = False
        for entry in old.namelist():
            if entry not in names:
                checker.fail(name, "entry %r lost" % entry)
                ok = False
            elif entry not in exempt and old.read(entry) != new.read(entry):
                checker.fail(name, "entry %r changed" % entry)
                ok = False
        for entry in sorted(set(names) - set(old.namelist()) - {part}):
            checker.fail(name, "entry %r appeared" % entry)
            ok = False
        try:
            ok = real.check_added_part_wiring(name, new, old, part, REL_CUSTOM, CT_CUSTOM, checker) and ok
        except (KeyError, ET.ParseError) as e:
            checker.fail(name, "package wiring unreadable after writing: %s" % e)
            ok = False
        try:
            root = ET.fromstring(new.read(part))
            elements = custom_elements(new.read(part))
        except ET.ParseError as e:
            checker.fail(name, "%s is not XML after writing: %s" % (part, e))
            return False
        if root.tag not in ["{%s}Properties" % ns for ns in NS_CUSTOM]:
            checker.fail(name, "%s: root element is %s" % (part, root.tag))
            ok = False
        old_elements = []
        if old_part is not None and old_part in old.namelist():
            try:
                old_elements = custom_elements(old.read(old_part))
            except ET.ParseError:
                pass
        ok = check_custom_elements(name, part, old_elements, elements, done, checker) and ok
    finally:
        new.close()
        old.close()
    return ok


def check_custom_elements(name, part, old_elements, elements, done, checker):
    ok = True
    by = {}
    for e in elements:
        if e[0] is None or e[0].casefold() in by:
            checker.fail(name, "%s: property name %r missing or repeated" % (part, e[0]))
            ok = False
        by[(e[0] or "").casefold()] = e
    pids = [e[2] for e in elements]
    if len(set(pids)) != len(pids) or not all(p is not None and p.isdigit() and int(p) >= 2 for p in pids):
        checker.fail(name, "%s: pids not distinct numbers from 2 up" % part, None, pids)
        ok = False
    touched = {n.casefold() for n in [done["changed"], done["removed"]] + [a[0] for a in done["added"]] if n}
    old_by = {(e[0] or "").casefold(): e for e in old_elements}
    for folded, e in old_by.items():
        if folded in touched:
            continue
        if by.get(folded) != e:
            checker.fail(name, "%s: untouched property %r changed" % (part, e[0]), e, by.get(folded))
            ok = False
    written = [(done["changed"], None, done["changed_to"])] if done["changed"] else []
    for pname, kind, value in written + done["added"]:
        e = by.get(pname.casefold())
        if e is None:
            checker.fail(name, "%s: %r missing after writing" % (part, pname))
            ok = False
            continue
        if e[1] is None or e[1].upper() != "{%s}" % UD_FMTID:
            checker.fail(name, "%s: %r has fmtid %r" % (part, pname, e[1]))
            ok = False
        tag, text = e[4], e[5]
        if kind is None:  # changed: same element, new text
            old_tag = old_by[pname.casefold()][4]
            kind = {"lpwstr": "text", "lpstr": "text", "i4": "number", "r8": "number", "bool": "bool",
                    "filetime": "date"}.get(old_tag)
            good = tag == old_tag and kind is not None and element_holds(tag, text, kind, value)
        else:
            good = element_holds(tag, text, kind, value)
        if not good:
            checker.fail(name, "%s: %r as stored" % (part, pname), value, (tag, text))
            ok = False
    if done["removed"] and done["removed"].casefold() in by:
        checker.fail(name, "%s: %r still there after removing it" % (part, done["removed"]))
        ok = False
    return ok


def element_holds(tag, text, kind, want):
    text = text or ""
    if kind == "text":
        return tag in ("lpwstr", "lpstr") and text == want
    if kind == "number":
        if tag not in ("i4", "r8") or (tag == "i4" and not isinstance(want, int)):
            return False
        try:
            return float(text) == float(want)
        except ValueError:
            return False
    if kind == "bool":
        return tag == "bool" and text == ("true" if want else "false")
    if kind == "date":
        return tag == "filetime" and instant(text) is not None and instant(text) == instant(want)
    return False


def choose_sample(records, objs):
    """Every readable record with custom properties, and ten without, half
    compound files where there are any."""
    with_custom, without = [], {"ole": [], "zip": []}
    for rec in records:
        obj = objs.get(rec["path"])
        if not readable(obj):
            continue
        if obj.get("custom"):
            with_custom.append(rec)
        else:
            container = container_of(rec["path"])
            if container:
                without[container].append(rec)
    picked = []
    for group in without.values():
        group.sort(key=lambda r: r["file"])
    half = SAMPLE_WITHOUT // 2
    take_ole = min(len(without["ole"]), max(half, SAMPLE_WITHOUT - len(without["zip"])))
    for container, n in (("ole", take_ole), ("zip", SAMPLE_WITHOUT - take_ole)):
        group = without[container]
        step = max(1, len(group) // max(1, n))
        picked += group[::step][:n]
    return with_custom + picked


def expected_refusal(rec, reason):
    """A refusal the real-file checks expect too: a password, a signature,
    or one of their read-only damaged files."""
    if any(word in reason.lower() for word in EXPECTED_REFUSALS):
        return True
    outcome = real.expectation(rec)[0]
    return outcome is not None and outcome[0] == "read-only" and outcome[-1].lower() in reason.lower()


def write_sample(cli, sample, before, folder, checker, variants=VARIANTS):
    """Writes fresh copies of each record, one per variant; returns the
    jobs changed (rec, variant, copy, expected list, done) and the number
    refused as expected."""
    written, refused = [], 0
    for variant in variants:
        os.makedirs(os.path.join(folder, variant), exist_ok=True)
        for rec in sample:
            copy = real.fresh_copy(rec, os.path.join(folder, variant))
            args, expected, done = plan(before[rec["path"]].get("custom") or [], variant)
            line = set_custom(cli, args, copy)
            label = "%s (%s)" % (rec["file"], variant)
            if line == "changed":
                written.append({"rec": rec, "label": label, "copy": copy, "expected": expected, "done": done})
            elif line.startswith("failed") and expected_refusal(rec, line):
                print("refused as expected: %s: %s" % (label, line))
                if real.sha256_file(copy) != rec["sha256"]:
                    checker.fail(label, "a refused file changed")
                else:
                    refused += 1
            else:
                checker.fail(label, "set %s" % " ".join(args), "changed", line)
    return written, refused


def mode_write(cli, records, checker):
    before = show(cli, [r["path"] for r in records])
    sample = choose_sample(records, before)
    tmp = tempfile.mkdtemp(prefix="qv-custom-")
    try:
        written, refused = write_sample(cli, sample, before, tmp, checker)
        after = show(cli, [job["copy"] for job in written])
        checked = 0
        readable_copies = []
        for job in written:
            rec, name, copy, done = job["rec"], job["label"], job["copy"], job["done"]
            obj = after.get(copy)
            if not readable(obj):
                checker.fail(name, "unreadable after writing: %s" % (obj and (obj.get("propertiesError")
                                                                               or obj.get("error"))))
                continue
            readable_copies.append(copy)
            ok = check_read_back(name, job["expected"], obj.get("custom"), checker)
            old_props = before[rec["path"]].get("properties")
            if obj.get("properties") != old_props:
                keys = sorted(k for k in set(old_props or {}) | set(obj.get("properties") or {})
                              if (old_props or {}).get(k) != (obj.get("properties") or {}).get(k))
                checker.fail(name, "document properties changed: %s" % keys)
                ok = False
            if container_of(copy) == "ole":
                ok = check_compound(rec, copy, name, done, checker) and ok
            else:
                ok = check_package(rec, copy, name, done, checker) and ok
            checked += ok
        tally = Tally()
        names = {job["copy"]: job["label"] for job in written}
        failed_before = len(checker.failures)
        compare_all(after, readable_copies, tally, checker, label=lambda p: names[p])
        tally.summary("exiftool on the %d written copies" % len(readable_copies))
        print("%d sampled, %d copies written and checked, %d refused as expected, %d copies failed (%d exiftool "
              "disagreements)" % (len(sample), checked, refused, len(checker.files),
                                  len(checker.failures) - failed_before))
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


# --- libreoffice ------------------------------------------------------------

NS_META = "urn:oasis:names:tc:opendocument:xmlns:meta:1.0"
NS_OFFICE = "urn:oasis:names:tc:opendocument:xmlns:office:1.0"
SAMPLE_LO = 6


def unfit_for_libreoffice(folder):
    """The files SOURCES.md marks encrypted (LibreOffice would ask for the
    password) or named for another application than their content's."""
    names = set()
    try:
        with open(os.path.join(folder, "SOURCES.md"), encoding="utf-8") as f:
            for line in f:
                cells = [c.strip() for c in line.strip().strip("|").split("|")]
                if len(cells) > 2 and "/" in cells[0] and (
                        "encrypted" in cells[-1] or "extension-does-not-match-content" in cells[-1]):
                    names.add(os.path.basename(cells[0]))
    except OSError:
        pass
    return names


def lo_sample(records, objs, folder):
    """Up to six written-to documents, compound files and packages of each
    application in turn, those with the most kinds of custom property of
    their own first."""
    groups = {}
    unfit = unfit_for_libreoffice(folder)
    for rec in records:
        obj = objs.get(rec["path"])
        container = container_of(rec["path"])
        if not readable(obj) or container is None or real.password_protected(rec) or rec["file"] in unfit:
            continue
        key = (container, real.flat_odf_of(rec["file"]))
        groups.setdefault(key, []).append(rec)
    for key, group in groups.items():
        group.sort(key=lambda r: (-len({p.get("type") for p in objs[r["path"]].get("custom") or []} & set(EDITABLE)),
                                  r["file"]))
    sample = []
    while len(sample) < SAMPLE_LO and any(groups.values()):
        for key in sorted(groups):
            if groups[key] and len(sample) < SAMPLE_LO:
                sample.append(groups[key].pop(0))
    return sample


def lo_user_defined(flat):
    """meta:name -> (value-type, text) of a flat ODF export."""
    meta = ET.fromstring(flat).find("{%s}meta" % NS_OFFICE)
    result = {}
    if meta is None:
        return result
    for el in meta.iter("{%s}user-defined" % NS_META):
        result[el.get("{%s}name" % NS_META)] = (el.get("{%s}value-type" % NS_META, "string"), el.text or "")
    return result


def lo_agrees(prop, lo):
    kind, value = prop["type"], prop.get("value")
    vtype, text = lo
    if kind == "text":
        return vtype == "string" and text == value
    if kind == "number":
        try:
            return vtype == "float" and close(float(text), float(value))
        except ValueError:
            return False
    if kind == "bool":
        return vtype == "boolean" and text == ("true" if value else "false")
    if kind == "date":
        # LibreOffice writes local time (soffice runs in UTC) without an
        # offset, or only the day.
        want = instant(value)
        if vtype != "date" or want is None:
            return False
        if re.match(r"^\d{4}-\d\d-\d\d$", text):
            return text == want.strftime("%Y-%m-%d")
        got = instant(text[:19])
        return got is not None and got == want
    return False


def mode_libreoffice(cli, records, folder, checker):
    soffice = shutil.which("soffice") or shutil.which("libreoffice")
    if not soffice:
        return tool_missing("soffice")
    reason = peers.soffice_converts(soffice)
    if reason:
        return peers.crippled(reason)
    before = show(cli, [r["path"] for r in records])
    sample = lo_sample(records, before, folder)
    tmp = tempfile.mkdtemp(prefix="qv-custom-lo-")
    passed = 0
    try:
        written, _ = write_sample(cli, sample, before, tmp, checker, ("unicode",))
        after = show(cli, [job["copy"] for job in written])
        profile = os.path.join(tmp, "profile")
        flats = {}
        for fmt in ("fods", "fodt", "fodp"):
            group = [job["copy"] for job in written if real.flat_odf_of(job["rec"]["file"]) == fmt]
            # a.xls and a.xlsx would convert to the same a.fods: one round each.
            rounds = []
            for copy in group:
                stem = os.path.splitext(os.path.basename(copy))[0]
                free = next((r for r in rounds if stem not in r), None)
                if free is None:
                    free = {}
                    rounds.append(free)
                free[stem] = copy
            for i, stems in enumerate(rounds):
                flats.update(real.convert(soffice, fmt, list(stems.values()),
                                          os.path.join(tmp, "flat%d" % i), profile))
        for job in written:
            name, copy = job["rec"]["file"], job["copy"]
            if copy not in flats:
                checker.fail(name, "LibreOffice converts no flat ODF from the written copy")
                continue
            try:
                lo = lo_user_defined(flats[copy])
            except ET.ParseError as e:
                checker.fail(name, "LibreOffice's flat ODF is not XML: %s" % e)
                continue
            ok = True
            for prop in (after.get(copy) or {}).get("custom") or []:
                if prop.get("type") not in EDITABLE:
                    continue  # LibreOffice imports none of the other kinds
                got = lo.get(prop["name"])
                if got is None:
                    checker.fail(name, "LibreOffice has no meta:user-defined %r" % prop["name"], prop.get("value"),
                                 sorted(lo))
                    ok = False
                elif not lo_agrees(prop, got):
                    checker.fail(name, "LibreOffice reads %r" % prop["name"], (prop["type"], prop.get("value")), got)
                    ok = False
            passed += ok
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    print("%d of %d sampled documents show their custom properties in LibreOffice (%s), %d files failed" % (
        passed, len(sample), ", ".join(r["file"] for r in sample), len(checker.files)))
    return 0


def main(argv):
    global EXIFTOOL
    if len(argv) != 4 or argv[1] not in ("read", "write", "libreoffice"):
        print(__doc__)
        return 2
    mode, cli, folder = argv[1], argv[2], argv[3]
    missing = peers.corpus_missing(folder)
    if missing is not None:
        return missing
    if olefile is None:
        return tool_missing("python3-olefile")
    EXIFTOOL = shutil.which("exiftool")
    if mode in ("read", "write") and not EXIFTOOL:
        return tool_missing("exiftool")
    if mode in ("read", "write"):
        reason = peers.exiftool_reads_packages(EXIFTOOL)
        if reason:
            return peers.crippled(reason)
    checker = Checker()
    # An OpenDocument file under an Office name keeps its user-defined
    # properties in meta.xml, which check_opendocument.py checks.
    records = [r for r in real.load(folder, checker) if (real.expectation(r)[0] or ("",))[0] != "opendocument"]
    if mode == "read":
        mode_read(cli, records, checker)
    elif mode == "write":
        mode_write(cli, records, checker)
    else:
        status = mode_libreoffice(cli, records, folder, checker)
        if status:
            return status
    return 1 if checker.failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
