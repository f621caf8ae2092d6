#!/usr/bin/env bash
# The window under Wine, on the X display in $DISPLAY with Wine's prefix in
# $WINEPREFIX:
#  1. wine_session_test.exe drives the real widgets on a copy of the samples:
#     lists the folder, reads the view, runs a batch change with backups and
#     saves the defaults; the Linux command line then reads what it wrote and
#     reg.exe the defaults in the registry.
#  2. quorvix.exe itself starts, lists the folder through its folder chooser
#     (path typed, Return), and a picture of it is saved to SCREENSHOT.
#   wine_session.sh LINUX_CLI BUILD_WIN SAMPLES SCREENSHOT
set -euo pipefail
linux="$(realpath "$1")" win="$(realpath "$2")" samples="$(realpath "$3")" shot="$(realpath -m "$4")"
work="$(mktemp -d)"
app=""
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

mkdir "$work/books"
cp "$samples"/*.xls "$samples"/*.xlsx "$work/books/"
chmod u+w "$work/books"/*
(cd "$work/books" && "$linux" show --json ./*) > "$work/before.json"

# 1. The session.
QV_WINE_WORK="$(winepath -w "$work/books")" timeout 300 wine "$win/tests/windows/wine_session_test.exe" \
  -o "$(winepath -w "$work/session.txt"),txt" >/dev/null 2>&1 || { cat "$work/session.txt" 2>/dev/null; fail "the window session"; }
grep -a '^Totals' "$work/session.txt"

python3 - "$work" "$linux" <<'EOF'
import json, os, subprocess, sys
work, linux = sys.argv[1], sys.argv[2]
books = os.path.join(work, "books")
before = {os.path.basename(f["path"]): f for f in json.load(open(os.path.join(work, "before.json")))}
names = sorted(before)
def show(paths):
    out = subprocess.run([linux, "show", "--json"] + paths, cwd=books, capture_output=True, check=True).stdout
    return {os.path.basename(f["path"]): f for f in json.loads(out)}
after = show(names)
backups = show([n + ".bak" for n in names])
for n in names:
    p, old = after[n]["properties"], before[n]["properties"]
    assert after[n]["ok"], n
    assert p["title"] == "ワインで一括変更" and p["company"] == "株式会社ノルヴェーン", (n, p)
    # Only the ticked rows changed.
    assert {k: v for k, v in p.items() if k not in ("title", "company")} == \
           {k: v for k, v in old.items() if k not in ("title", "company")}, n
    assert backups[n + ".bak"]["properties"] == old, n
print("same: the Linux command line reads the batch change and the backups of %d workbooks" % len(names))
EOF

# The saved defaults: string values under the user's key.
wine reg export 'HKCU\Software\Norvane\QuorvixJP' "$work/defaults.reg" /y >/dev/null 2>&1 ||
  fail "no saved defaults in HKEY_CURRENT_USER\\SOFTWARE\\Norvane\\QuorvixJP"
iconv -f UTF-16 -t UTF-8 "$work/defaults.reg" | tr -d '\r' > "$work/defaults.txt"
grep -qx '"作成者check"="1"' "$work/defaults.txt" || fail "the ticked author row is not saved"
grep -qx '"作成者string"="既定の作成者"' "$work/defaults.txt" || fail "the author value is not saved"
if grep -E '^"[^"]*"=' "$work/defaults.txt" | grep -vqE '^"[^"]*"="'; then
  fail "saved defaults that are not string values: $(grep -E '^"[^"]*"=' "$work/defaults.txt" | grep -vE '^"[^"]*"="' | head -3)"
fi
echo "same: $(grep -cE '^"' "$work/defaults.txt") saved defaults in the registry, all strings"

# 2. The program itself: a folder listed through its folder chooser.
# Fresh copies of the samples, for the picture.
rm -f "$work/books"/*
cp "$samples"/* "$work/books/"
wine "$win/src/app/quorvix.exe" >/dev/null 2>&1 &
app=$!
wid=""
for _ in $(seq 60); do
  wid="$(xdotool search --onlyvisible --name '^Quorvix$' 2>/dev/null | head -n 1)" && [ -n "$wid" ] && break
  sleep 0.5
done
[ -n "$wid" ] || fail "quorvix.exe shows no window"
sleep 1
eval "$(xdotool getwindowgeometry --shell "$wid")"
import -window "$wid" "$work/empty.png"
# "フォルダからファイル追加", the second button above the list.
xdotool mousemove $((X + 220)) $((Y + 33)) click 1
chooser=""
for _ in $(seq 60); do
  chooser="$(xdotool search --onlyvisible --name '^フォルダを選択してください$' 2>/dev/null | head -n 1)" && [ -n "$chooser" ] && break
  sleep 0.5
done
[ -n "$chooser" ] || fail "the folder chooser did not open"
sleep 1
xdotool type --delay 5 "$(winepath -w "$work/books")"
xdotool key Return
for _ in $(seq 60); do
  xdotool search --onlyvisible --name '^フォルダを選択してください$' >/dev/null 2>&1 || break
  sleep 0.5
done
sleep 2
xdotool mousemove 0 0
sleep 0.5
import -window "$wid" "$work/listed.png"
# The list (left half, below the buttons) now shows the workbooks.
changed="$(compare -metric AE -crop "$((WIDTH / 2))x$((HEIGHT / 3))+0+80" "$work/empty.png" "$work/listed.png" null: 2>&1 || true)"
[ "${changed%% *}" -gt 500 ] 2>/dev/null || fail "the list looks empty after choosing the folder ($changed pixels changed)"
mkdir -p "$(dirname "$shot")"
cp "$work/listed.png" "$shot"
echo "saved $shot"
