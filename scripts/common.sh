# Shared by scripts/run, scripts/test and scripts/bench: install what is missing,
# configure once, build incrementally. Source it; do not run it.
set -euo pipefail

FEROX_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Every Debian package the build, the program, the tests and the benchmarks need.
FEROX_PACKAGES=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev libqscintilla2-qt6-dev libbenchmark-dev
  python3 python3-aiosmtpd
  qtkeychain-qt6-dev openssl xdg-utils
  gnome-keyring dbus-daemon dbus-bin
  xvfb xauth xdotool x11-utils imagemagick openbox
  fonts-liberation2 fonts-dejavu-core librsvg2-bin
  desktop-file-utils
  dpkg-dev lintian fakeroot file
  clang libclang-rt-14-dev clang-format
  coreutils grep procps acl
)

ferox_install_packages() {
  local missing=()
  local pkg
  for pkg in "${FEROX_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  echo "Installing missing packages: ${missing[*]}"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# ferox_build BUILD_DIR [cmake options...]: configure when needed, then build.
ferox_build() {
  local dir="$1"
  shift
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$FEROX_ROOT" -B "$dir" -G Ninja "$@"
  fi
  cmake --build "$dir" --parallel "$(nproc)"
}
