"""An unedited CSV must change nothing: export the documents of a real
corpus (the shared real-workbooks, real-documents or real-opendocument
folder, copied into a temporary folder, never into the repository), let a
spreadsheet open and
save the CSV, and import it for real. For each encoding (shift_jis, utf-8)
and each spreadsheet (none, libreoffice, excel: see excel_save) the import
may show doubts but apply no item, and every copied file must keep its
bytes, size and modification time (and access time, where reading here
keeps it). Then one edited title must be the one item a dry run applies.

Usage: check_csv_roundtrip.py CLI FOLDER

Exit 0 passed, 1 failed, 77 skipped: the folder or soffice (libreoffice) is
missing; under CI=true that fails instead.
"""
import csv
import hashlib
import io
import json
import os
import re
import shutil
import sys
import tempfile
from collections import Counter
from decimal import ROUND_HALF_UP, Decimal, localcontext

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_real_files as real  # noqa: E402  (the CLI as the real-file checks run it)
import peers  # noqa: E402

# Dates in a fixed form, whatever the locale.
real.ENV["QUORVIX_DATETIME_FORMAT"] = "yyyy/MM/dd|H:mm:ss"
ENCODINGS = ("shift_jis", "utf-8")
SPREADSHEETS = ("none", "libreoffice", "excel")
BOM = b"\xef\xbb\xbf"
TITLE = "タイトル"
EDITED = "edited by the round trip"


# --- the copies ---------------------------------------------------------------

def snapshot(root):
    """path -> (sha256, size, mtime_ns, atime_ns) of every file under root."""
    state = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                digest = hashlib.sha256(f.read()).hexdigest()
            st = os.stat(path)
            state[path] = (digest, st.st_size, st.st_mtime_ns, st.st_atime_ns)
    return state


def differences(before, after, with_atime):
    """One line per file that changed, appeared or vanished."""
    lines = []
    for path in sorted(set(before) | set(after)):
        a, b = before.get(path), after.get(path)
        if a is None or b is None:
            lines.append("%s %s" % (path, "appeared" if a is None else "vanished"))
            continue
        what = [name for name, x, y in zip(("bytes", "size", "mtime", "atime"), a, b) if x != y]
        if not with_atime and what == ["atime"]:
            continue
        if what:
            lines.append("%s: %s changed (%r -> %r)" % (path, ", ".join(what), a[1:], b[1:]))
    return lines


# --- CSV text -------------------------------------------------------------------

def read_csv(path):
    """(rows, has BOM); UTF-8 with a BOM, else Shift-JIS as Windows reads it."""
    with open(path, "rb") as f:
        data = f.read()
    bom = data.startswith(BOM)
    text = data[len(BOM):].decode("utf-8") if bom else data.decode("cp932", "replace")
    return list(csv.reader(io.StringIO(text, newline=""))), bom


def write_csv(path, rows, bom, quoting):
    out = io.StringIO(newline="")
    csv.writer(out, quoting=quoting, lineterminator="\r\n").writerows(rows)
    with open(path, "wb") as f:
        f.write(BOM + out.getvalue().encode("utf-8") if bom else out.getvalue().encode("cp932", "replace"))


NUMBER = re.compile(r"^\s*[+-]?(\d{1,3}(,\d{3})+|\d*)(\.\d*)?([eE][+-]?\d+)?\s*$")
FORMULA = re.compile(r"^(=|(?=[+-]))([-+*/().\d\s]+)$")
DATE = re.compile(r"^(\d{4})([/-])(\d{1,2})\2(\d{1,2})(?: (\d{1,2}):(\d\d)(?::(\d\d))?)?$")


def general(d, typed=True):
    """A number as the General format shows it: plain while it has at most 15
    significant digits and 1e-5 <= |d| < 1e15, else like 1.23457E+17."""
    with localcontext() as ctx:
        ctx.rounding = ROUND_HALF_UP
        if d == 0:
            return "0"
        if not typed:
            d = Decimal(format(d, ".15g"))  # the precision a cell keeps
        if len(d.normalize().as_tuple().digits) <= 15 and -5 <= d.adjusted() < 15:
            return format(d.normalize(), "f")
        mantissa, exponent = format(d, ".5E").split("E")
        return "%sE%+03d" % (mantissa.rstrip("0").rstrip("."), int(exponent))


def excel_cell(cell):
    """What Excel writes back for a cell it read from a CSV; see excel_save."""
    cell = cell.replace("\r\n", "\n").replace("\r", "\n")
    if NUMBER.match(cell) and re.search(r"\d", cell):
        return general(Decimal(cell.strip().replace(",", "")))
    m = FORMULA.match(cell)
    if m and "//" not in m.group(2) and "**" not in m.group(2):
        expression = re.sub(r"(?<![\d.])0+(?=\d)", "", m.group(2))  # 007 is 7, not an error
        try:
            return general(Decimal(repr(float(eval(expression, {"__builtins__": {}})))), typed=False)
        except ZeroDivisionError:
            return "#DIV/0!"
        except (SyntaxError, TypeError, ValueError):
            return cell  # not a formula after all: kept as text
    m = DATE.match(cell)
    if m and 1900 <= int(m.group(1)):
        y, mo, d = int(m.group(1)), int(m.group(3)), int(m.group(4))
        days = [31, 29 if y % 4 == 0 and (y % 100 or y % 400 == 0) else 28, 31, 30, 31, 30,
                31, 31, 30, 31, 30, 31]
        if 1 <= mo <= 12 and 1 <= d <= days[mo - 1]:
            if m.group(5) is None:
                return "%d/%d/%d" % (y, mo, d)
            if int(m.group(5)) < 24 and int(m.group(6)) < 60 and int(m.group(7) or 0) < 60:
                return "%d/%d/%d %d:%s" % (y, mo, d, int(m.group(5)), m.group(6))
    if cell.lower() in ("true", "false"):
        return cell.upper()
    return cell


def excel_save(src, dest):
    """What Excel's CSV save makes of a CSV it opened and nobody edited.

    Each cell is read as if typed: numbers are normalised (leading zeros
    dropped, an exponent written out, trailing fraction zeros dropped,
    thousands separators removed), and one with more than 15 significant
    digits, or too large or small to show plainly, is written with 6 like
    1.23457E+17; a formula of numbers and + - * / ( ) (after =, or an
    expression after a sign) becomes its value; a date yyyy/MM/dd from 1900
    on becomes yyyy/M/d, and with a time H:mm:ss yyyy/M/d H:mm (no
    seconds); true and false become TRUE and FALSE; line breaks in a cell
    become LF. Fields are quoted only where needed, lines end CR LF, in the
    input's encoding: UTF-8 with a BOM when it had one, else Shift-JIS."""
    rows, bom = read_csv(src)
    write_csv(dest, [[excel_cell(c) for c in row] for row in rows], bom, csv.QUOTE_MINIMAL)


def libreoffice_save(soffice, profile, src, outdir):
    if os.path.exists(outdir):
        shutil.rmtree(outdir)
    real.run([soffice, "-env:UserInstallation=file://" + profile, "--headless",
              "--convert-to", "csv", "--outdir", outdir, src], timeout=300)
    out = os.path.join(outdir, os.path.basename(src))
    if not os.path.exists(out):
        return False
    os.replace(out, src)
    return True


# --- the CLI ----------------------------------------------------------------------

def export(cli, encoding, folder, out):
    """None when the CSV was written, else why not."""
    p = real.run([cli, "export", "--encoding", encoding, "--custom", "-r", "-o", out, "--", folder])
    if p.returncode != 0 or not os.path.exists(out):
        return "export failed (exit %d): %s" % (p.returncode, p.stderr.decode("utf-8", "replace")[-500:])
    return None


def import_json(cli, path, dry_run=False):
    """(the import's object, None) or (None, why it gave none)."""
    p = real.run([cli, "import", "--json"] + (["--dry-run"] if dry_run else []) + [path])
    try:
        obj = json.loads(p.stdout.decode("utf-8"))
    except ValueError:
        obj = None
    # Lines it skips (unreadable files) make it exit 1.
    if not isinstance(obj, dict) or p.returncode != (1 if obj.get("skipped") else 0):
        return None, "import exit %d: %s%s" % (p.returncode, p.stdout.decode("utf-8", "replace")[-800:],
                                               p.stderr.decode("utf-8", "replace")[-800:])
    return obj, None


def items(obj):
    """[(path, item)] of every item the import listed."""
    return [(c["path"], it) for c in obj.get("changes") or [] for it in c.get("items") or []]


def cell_text(path, it):
    return "%s: %s (%s): %r -> %r, doubt %r" % (os.path.basename(path), it.get("item"), it.get("key"),
                                                it.get("before"), it.get("after"), it.get("doubt"))


# --- the checks ---------------------------------------------------------------------

def round_trip(cli, soffice, profile, tmp, files, encoding, sheet, before, with_atime, skipped_plain):
    """(ok, summary, the import's object or None) of one combination."""
    csv_path = os.path.join(tmp, "%s-%s.csv" % (encoding, sheet))
    why = export(cli, encoding, files, csv_path)
    if why is None and sheet == "libreoffice" and not libreoffice_save(soffice, profile, csv_path,
                                                                        os.path.join(tmp, "lo")):
        why = "LibreOffice wrote no CSV"
    if why is None and sheet == "excel":
        excel_save(csv_path, csv_path)
    obj = None
    if why is None:
        obj, why = import_json(cli, csv_path)
    if why is not None:
        print("FAIL %s/%s: %s" % (encoding, sheet, why))
        return False, "failed to run", None
    ok = True
    listed = items(obj)
    applied = [(p, it) for p, it in listed if it.get("applied") is not False]
    doubts = [(p, it) for p, it in listed if it.get("applied") is False]
    for path, it in applied:
        print("FAIL %s/%s: applied %s" % (encoding, sheet, cell_text(path, it)))
        ok = False
    groups = Counter(it.get("doubt") for _, it in doubts)
    for doubt, n in groups.most_common():
        examples = [cell_text(p, it) for p, it in doubts if it.get("doubt") == doubt][:2]
        print("  %s/%s: %d left as they are, %s; e.g. %s" % (encoding, sheet, n, doubt, "; ".join(examples)))
    # A spreadsheet's save may not make a readable file's line miss it.
    skipped = {s.get("reason") for s in obj.get("skipped") or []}
    if skipped_plain is not None and skipped != skipped_plain:
        for reason in sorted(skipped ^ skipped_plain):
            print("FAIL %s/%s: skipped %s: %s" % (encoding, sheet, "now" if reason in skipped else "before only",
                                                   reason))
        ok = False
    for line in differences(before, snapshot(files), with_atime):
        print("FAIL %s/%s: %s" % (encoding, sheet, line))
        ok = False
    lines = len(read_csv(csv_path)[0]) - 1
    summary = "%d lines, %d skipped, %d applied items, %d doubts" % (lines, len(skipped), len(applied), len(doubts))
    return ok, summary, obj


def one_edit(cli, tmp, files, plain, before, with_atime):
    """A dry run of the plain UTF-8 CSV with one title edited must apply
    that one item and nothing else."""
    rows, bom = read_csv(os.path.join(tmp, "utf-8-none.csv"))
    head = rows[0]
    column, name = head.index(TITLE), head.index("File full name")
    unreadable = [s.get("reason") or "" for s in plain.get("skipped") or []]
    chosen = next((row for row in rows[1:] if row[column] != EDITED
                   and not any(r.startswith(row[name] + ":") for r in unreadable)), None)
    if chosen is None:
        print("FAIL one edit: no readable line to edit")
        return False, "no line"
    chosen[column] = EDITED
    edited = os.path.join(tmp, "edited.csv")
    write_csv(edited, rows, bom, csv.QUOTE_ALL)
    obj, why = import_json(cli, edited, dry_run=True)
    if why is not None:
        print("FAIL one edit: %s" % why)
        return False, "failed to run"
    applied = [(p, it) for p, it in items(obj) if it.get("applied") is not False]
    ok = len(applied) == 1 and applied[0][0] == chosen[name] and applied[0][1].get("key") == "title" \
        and applied[0][1].get("after") == EDITED
    if not ok:
        print("FAIL one edit of %s: expected the title alone, applied: %s" % (
            chosen[name], [cell_text(p, it) for p, it in applied] or "nothing"))
    for diff in differences(before, snapshot(files), with_atime):
        print("FAIL one edit (dry run): %s" % diff)
        ok = False
    return ok, "%s: %d applied items" % (os.path.basename(chosen[name]), len(applied))


def main(argv):
    if len(argv) != 3:
        print(__doc__)
        return 2
    cli, folder = argv[1], argv[2]
    missing = peers.corpus_missing(folder)
    if missing is not None:
        return missing
    soffice = shutil.which("soffice") or shutil.which("libreoffice")
    if not soffice:
        return peers.tool_missing("soffice")
    reason = peers.soffice_converts(soffice, ("fods",))
    if reason:
        return peers.crippled(reason)
    tmp = tempfile.mkdtemp(prefix="qv-roundtrip-")
    passed = failed = 0
    plain_utf8 = None
    try:
        files = os.path.join(tmp, "files")
        # Plain copies, writable as a user's own files are.
        shutil.copytree(folder, files, copy_function=shutil.copyfile)
        for sub, _, _ in os.walk(files):
            os.chmod(sub, 0o755)
        before = snapshot(files)
        # The first read may move the access time (relatime); it is checked
        # only when a second read leaves it.
        with_atime = not differences(before, snapshot(files), True)
        print("access times %s" % ("checked" if with_atime else "not checked: reading moves them here"))
        profile = os.path.join(tmp, "profile")
        for encoding in ENCODINGS:
            plain = None  # what the unchanged CSV skipped
            for sheet in SPREADSHEETS:
                ok, summary, obj = round_trip(cli, soffice, profile, tmp, files, encoding, sheet, before,
                                              with_atime, plain)
                if sheet == "none" and obj is not None:
                    plain = {s.get("reason") for s in obj.get("skipped") or []}
                    if encoding == "utf-8":
                        plain_utf8 = obj
                print("%s %s/%s: %s" % ("ok  " if ok else "FAIL", encoding, sheet, summary))
                passed, failed = passed + ok, failed + (not ok)
                if not ok:
                    # The next combinations answer for their own changes only.
                    before = snapshot(files)
        if plain_utf8 is None:
            ok, summary = False, "no plain UTF-8 import to start from"
        else:
            ok, summary = one_edit(cli, tmp, files, plain_utf8, before, with_atime)
        print("%s one edit: %s" % ("ok  " if ok else "FAIL", summary))
        passed, failed = passed + ok, failed + (not ok)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
