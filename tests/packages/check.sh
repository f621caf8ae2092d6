#!/usr/bin/env bash
# Checks the two packages that scripts/package builds.
#   check.sh WINDOWS_ZIP DEB SAMPLES
# The zip holds exactly the two programs, the help page and the Japanese
# README, and its quorvix-cli.exe runs under Wine. The .deb installs (as root,
# with apt resolving its dependencies), quorvix-cli runs from /usr/bin, the
# window finds its help beside itself, and the menu entry and the AppStream
# metadata validate; it is removed again unless it was installed before.
set -euo pipefail
zip="$1" deb="$2" samples="$3"
work="$(mktemp -d)"
installed_here=0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
cleanup() {
  if [ "$installed_here" -eq 1 ]; then
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get remove -y -q quorvix >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

# --- The Windows zip.
unzip -Z1 "$zip" | grep -v '/$' | sort > "$work/zip.list"
printf '%s\n' quorvix-windows-x64/README.txt quorvix-windows-x64/help.html \
  quorvix-windows-x64/quorvix-cli.exe quorvix-windows-x64/quorvix.exe | sort > "$work/zip.want"
diff -u "$work/zip.want" "$work/zip.list" || fail "the zip holds other files"
unzip -q "$zip" -d "$work/win"
dir="$work/win/quorvix-windows-x64"
for exe in quorvix.exe quorvix-cli.exe; do
  file -b "$dir/$exe" | grep -q 'PE32+ executable (\(GUI\|console\)) x86-64' || fail "$exe: $(file -b "$dir/$exe")"
done
file -b "$dir/quorvix.exe" | grep -q '(GUI)' || fail "quorvix.exe would open a console window"
# Self-contained: nothing but the system's own DLLs.
for exe in quorvix.exe quorvix-cli.exe; do
  x86_64-w64-mingw32-objdump -p "$dir/$exe" | sed -n 's/^\s*DLL Name: //p' |
    grep -viE '^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comdlg32|comctl32|imm32|winmm|ws2_32|uxtheme|dwmapi|shcore|shlwapi|version|netapi32|userenv|uuid|setupapi|mpr|authz|wtsapi32|d3d9|d3d11|dxgi|dwrite|msvcrt|api-ms-win-[a-z0-9-]+)\.dll$' &&
    fail "$exe needs DLLs that Windows does not have"
done
head -c 3 "$dir/README.txt" | cmp -s - <(printf '\xef\xbb\xbf') || fail "README.txt lacks its UTF-8 byte order mark"
grep -q 'quorvix.exe をダブルクリック' "$dir/README.txt" || fail "README.txt does not say how to start"
grep -q 'HKEY_CURRENT_USER\\SOFTWARE\\Norvane\\QuorvixJP' "$dir/README.txt" || fail "README.txt does not say where the settings are"
cp "$samples/経理.xlsx" "$work/book.xlsx"
if command -v wine >/dev/null; then
  WINEDEBUG=-all wine "$dir/quorvix-cli.exe" show --json "$(winepath -w "$work/book.xlsx")" 2>/dev/null |
    grep -q '"ok": true' || fail "quorvix-cli.exe from the zip does not read a workbook"
fi
echo "ok: the zip holds the two programs, the help page and the README"

# --- The Debian package.
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' | grep -v '/$' | sort > "$work/deb.list"
for f in /usr/bin/quorvix /usr/bin/quorvix-cli /usr/lib/quorvix/quorvix /usr/lib/quorvix/quorvix-cli \
         /usr/lib/quorvix/help.html /usr/share/applications/com.example.norvane.Quorvix.desktop \
         /usr/share/metainfo/com.example.norvane.Quorvix.metainfo.xml \
         /usr/share/icons/hicolor/scalable/apps/com.example.norvane.Quorvix.svg; do
  grep -qx "$f" "$work/deb.list" || fail "the .deb lacks $f"
done
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "the .deb does not depend on Qt: $(dpkg-deb -f "$deb" Depends)"
mkdir "$work/deb"
dpkg-deb -x "$deb" "$work/deb"
desktop-file-validate "$work/deb/usr/share/applications/com.example.norvane.Quorvix.desktop" ||
  fail "desktop-file-validate"
appstreamcli validate --no-net "$work/deb/usr/share/metainfo/com.example.norvane.Quorvix.metainfo.xml" ||
  fail "appstreamcli validate"

if ! dpkg-query -W -f='${Status}' quorvix 2>/dev/null | grep -q "install ok installed"; then
  installed_here=1
fi
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$deb" >/dev/null ||
  fail "the .deb does not install"
[ "$(command -v quorvix-cli)" = /usr/bin/quorvix-cli ] || fail "quorvix-cli is not /usr/bin/quorvix-cli"
(cd "$work" && /usr/bin/quorvix-cli show --json book.xlsx) | grep -q '"ok": true' ||
  fail "the installed quorvix-cli does not read a workbook"
[ "$(readlink -f /usr/bin/quorvix)" = /usr/lib/quorvix/quorvix ] || fail "/usr/bin/quorvix is not the window"
ldd /usr/lib/quorvix/quorvix | grep -q 'not found' && fail "the window misses libraries: $(ldd /usr/lib/quorvix/quorvix | grep 'not found')"
echo "ok: the .deb installs, quorvix-cli runs from /usr/bin, the menu entry and metadata validate"
