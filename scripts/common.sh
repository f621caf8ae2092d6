# Shared by scripts/run and scripts/test: installs what a fresh Debian 12
# machine lacks, and configures and builds the project.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

# Packages the build and the tests need; the fonts cover Japanese, Chinese
# and Korean, which real files' names and texts hold. Everything is installed
# without Debian's recommended packages, so a piece a peer only recommends
# but the tests need is named here: exiftool reads ZIP packages only through
# Archive::Zip (libarchive-zip-perl).
QV_PACKAGES=(
  cmake ninja-build g++ pkg-config
  zlib1g-dev libpugixml-dev libgtest-dev googletest libicu-dev
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
  locales fonts-ipafont-gothic fonts-noto-cjk qt6-translations-l10n
  python3 python3-olefile libimage-exiftool-perl libarchive-zip-perl zip unzip acl e2fsprogs util-linux
  xvfb xauth
)
# Only for the fuzzers (scripts/fuzz, scripts/test --fuzz).
QV_FUZZ_PACKAGES=(clang libclang-rt-14-dev)
# An independent office suite, to prove written documents still open.
QV_OFFICE_PACKAGES=(libreoffice-calc-nogui libreoffice-writer-nogui libreoffice-impress-nogui)

qv_install() {
  local missing=()
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ "${#missing[@]}" -gt 0 ]; then
    echo "== installing: ${missing[*]}"
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -q
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
  fi
}

# The tests of the date-time text need a Japanese and an English locale.
qv_locales() {
  local want=(ja_JP.UTF-8 en_US.UTF-8) need=0 l
  for l in "${want[@]}"; do
    locale -a 2>/dev/null | grep -qi "^${l%.UTF-8}.utf-\?8$" || need=1
  done
  if [ "$need" -eq 1 ]; then
    echo "== generating locales: ${want[*]}"
    for l in "${want[@]}"; do
      grep -q "^$l UTF-8" /etc/locale.gen 2>/dev/null || echo "$l UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
    done
    $SUDO locale-gen >/dev/null
  fi
}

# An unprivileged user for the tests that must not run as root (another
# owner's files, a reader who may not write).
qv_test_user() {
  if [ "$(id -u)" -eq 0 ] && ! id quorvix-test >/dev/null 2>&1; then
    useradd --system --no-create-home --shell /usr/sbin/nologin quorvix-test
  fi
}

# qv_build DIR [cmake options...]; QV_TARGETS limits what is built.
qv_build() {
  local dir="$1"; shift
  cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="${QV_BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
  # shellcheck disable=SC2086
  ninja -C "$dir" ${QV_TARGETS:-}
}
