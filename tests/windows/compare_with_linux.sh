#!/usr/bin/env bash
# Shows and exports the same workbooks with the Linux build and with the
# Windows build under Wine, and requires identical output.
#   compare_with_linux.sh LINUX_CLI WINDOWS_EXE DATA_DIR
set -euo pipefail
linux="$1" windows="$2" data="$3"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

files=(lo_ascii.xls lo_japanese.xls sheetjs_ascii.xls xls_cp932_full.xls xls_odd_types.xls xls_not_ole.xls
       lo_ascii.xlsx lo_japanese.xlsx exceljs_nonsjis.xlsx sheetjs_japanese.xlsx zip_data_descriptor.xlsx)

# Each build reads its own copy, prepared alike: Wine rewrites the extended
# attribute that carries the creation time when it puts attributes back.
names=()
for i in "${!files[@]}"; do
  f="${files[$i]}"
  # Japanese names for half of them.
  if (( i % 2 )); then name="ブック${i}_${f}"; else name="$f"; fi
  names+=("$name")
done
for side in linux windows; do
  mkdir "$side"
  for i in "${!files[@]}"; do
    cp "$data/${files[$i]}" "$side/${names[$i]}"
    chmod u+w "$side/${names[$i]}"
  done
  # Times on whole seconds, creation equal to the last write and the archive
  # bit set: what both file systems hold alike (Wine keeps no creation time
  # of its own and always reports the archive bit). xls_not_ole.xls is no
  # Office document, so its times change only with --any-file.
  (cd "$side" && touch -d "2020-01-02 03:04:05" "${names[@]}" &&
   "$linux" set --any-file --creation-date 2020-01-02 --creation-time 03:04:05 --archive on "${names[@]}" >/dev/null &&
   touch -d "2020-01-02 03:04:05" "${names[@]}")
done

export TZ=Asia/Tokyo QUORVIX_DATETIME_FORMAT='yyyy/MM/dd|H:mm:ss'
export WINEDEBUG=-all LC_ALL=ja_JP.UTF-8
status=0
compare() {
  local what="$1"; shift
  (cd linux && "$linux" "$@" > "../linux.$what" 2>/dev/null) || true
  (cd windows && wine "$windows" "$@" > "../windows.$what" 2>/dev/null) || true
  if cmp -s "linux.$what" "windows.$what"; then
    echo "same: $what"
  else
    echo "DIFFERENT: $what"
    diff "linux.$what" "windows.$what" | head -20
    status=1
  fi
}
compare show.json show --json "${names[@]}"
compare export.sjis.csv export -o - "${names[@]}"
compare export.utf8.csv export --encoding utf-8 -o - "${names[@]}"
# Reading changed nothing: the Linux build sees the same again.
(cd linux && "$linux" show --json "${names[@]}" > ../linux.again 2>/dev/null) || true
if ! cmp -s linux.show.json linux.again; then
  echo "DIFFERENT: showing the files changed them"
  diff linux.show.json linux.again | head -20
  status=1
fi
exit $status
