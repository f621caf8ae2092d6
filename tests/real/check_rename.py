"""A company renamed across copies of documents that other software wrote
(the shared real-workbooks and real-documents folders, read in place, the
copies in a temporary folder): set --replace changes exactly the values that
hold the old name, and leaves every other file byte for byte as it was.

Usage: check_rename.py CLI FOLDER...

Exit 0 passed, 1 failed, 77 skipped (a folder is missing; under CI=true that
fails instead).
"""
import hashlib
import json
import os
import re
import shutil
import stat
import subprocess
import sys
import tempfile

OLD, NEW = "microsoft", "新社名"
KINDS = ("xls", "xlsx", "doc", "docx", "ppt", "pptx")


def renamed(text):
    return re.sub(re.escape(OLD), NEW, text, flags=re.IGNORECASE)


def show(cli, paths):
    out = subprocess.run([cli, "show", "--json", *paths], capture_output=True, check=False)
    return {entry["path"]: entry for entry in json.loads(out.stdout.decode("utf-8"))}


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def main():
    cli, folders = sys.argv[1], sys.argv[2:]
    missing = [f for f in folders if not os.path.isdir(f)]
    if missing:
        print("missing corpus: " + ", ".join(missing))
        return 1 if os.environ.get("CI") == "true" else 77
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        copies = []
        for folder in folders:
            for kind in KINDS:
                sub = os.path.join(folder, kind)
                if not os.path.isdir(sub):
                    continue
                for name in sorted(os.listdir(sub)):
                    target = os.path.join(tmp, f"{len(copies):04d}_{name}")
                    shutil.copyfile(os.path.join(sub, name), target)
                    os.chmod(target, stat.S_IRUSR | stat.S_IWUSR)
                    copies.append(target)
        before = show(cli, copies)
        readable = [p for p in copies if before[p]["ok"]]
        sums = {p: (digest(p), os.stat(p).st_mtime_ns) for p in readable}
        run = subprocess.run([cli, "set", "--ignore-case", "--replace", f"company={OLD}/{NEW}",
                              "--replace", f"custom:*={OLD}/{NEW}", *readable],
                             capture_output=True, check=False)
        lines = dict(l.split(": ", 1) for l in run.stdout.decode("utf-8").splitlines() if ": " in l)
        after = show(cli, readable)
        changed = 0
        for p in readable:
            b, a = before[p], after[p]
            want = dict(b["properties"])
            want["company"] = renamed(want["company"])
            want_custom = [dict(c, value=renamed(c["value"])) if c.get("type") == "text" and not c.get("readOnly")
                           else c for c in b["custom"]]
            expected_change = want != b["properties"] or want_custom != b["custom"]
            outcome = lines.get(p, "")
            if outcome.startswith("failed"):
                # A refusal (a signature, say) leaves the file as it was.
                if (digest(p), os.stat(p).st_mtime_ns) != sums[p]:
                    failures.append(f"{p}: failed but was touched: {outcome}")
                continue
            if a["properties"] != want:
                failures.append(f"{p}: properties {a['properties']} != {want}")
            if [(c["name"], c["value"]) for c in a["custom"]] != [(c["name"], c["value"]) for c in want_custom]:
                failures.append(f"{p}: custom {a['custom']} != {want_custom}")
            if expected_change:
                changed += 1
                if outcome != "changed":
                    failures.append(f"{p}: expected a change, got '{outcome}'")
            elif outcome != "unchanged" or (digest(p), os.stat(p).st_mtime_ns) != sums[p]:
                failures.append(f"{p}: nothing to change, yet '{outcome}' or rewritten")
        print(f"{len(readable)} readable of {len(copies)} files, {changed} renamed, {len(failures)} faults")
        if changed == 0:
            failures.append("no file held the old name: the check checked nothing")
    for f in failures[:40]:
        print(f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
