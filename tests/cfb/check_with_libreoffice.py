"""Writes rows into copies of some .xls fixtures with cfb_write_tool and has
LibreOffice convert the original and the written file to CSV: both must
convert, to the same cells. Exit 77 skips (no soffice; under CI=true a
failure)."""
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "real"))
import peers  # noqa: E402

SOFFICE = shutil.which("soffice") or shutil.which("libreoffice")
if not SOFFICE:
    sys.exit(peers.tool_missing("soffice"))
REASON = peers.soffice_converts(SOFFICE, ("fods",))
if REASON:
    sys.exit(peers.crippled(REASON))

TOOL, DATA = sys.argv[1], sys.argv[2]
FILES = ["lo_japanese.xls", "sheetjs_ascii.xls", "xls_no_dsi.xls", "xls_si_large.xls", "xls_dsi_userdefined.xls"]
VALUES = ["title=Title 🎉 タイトル", "comments=" + "long コメント " * 400, "category=Cat",
          "created=2015/01/02 9:00:00", "editTime=0", "lastPrinted="]


def to_csv(path, outdir, profile):
    os.makedirs(outdir, exist_ok=True)
    subprocess.run([SOFFICE, "-env:UserInstallation=file://" + profile, "--headless", "--convert-to", "csv",
                    "--outdir", outdir, path], check=True, timeout=240,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    csv = os.path.join(outdir, os.path.splitext(os.path.basename(path))[0] + ".csv")
    with open(csv, "rb") as f:
        return f.read()


def main():
    tmp = tempfile.mkdtemp()
    passed = failed = 0
    try:
        profile = os.path.join(tmp, "profile")
        for name in FILES:
            written = os.path.join(tmp, "w", name)
            os.makedirs(os.path.dirname(written), exist_ok=True)
            shutil.copy(os.path.join(DATA, name), written)
            subprocess.run([TOOL, written] + VALUES, check=True, env=dict(os.environ, TZ="UTC"))
            try:
                before = to_csv(os.path.join(DATA, name), os.path.join(tmp, "before"), profile)
                after = to_csv(written, os.path.join(tmp, "after"), profile)
                ok = before == after and len(after) > 0
            except (subprocess.SubprocessError, OSError) as e:
                ok, after = False, str(e).encode()
            print("%s: %s" % (name, "ok" if ok else "FAILED (%r)" % after[:200]))
            passed += ok
            failed += not ok
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
