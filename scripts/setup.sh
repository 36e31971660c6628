#!/usr/bin/env bash
# Installs what building, running and testing need (Debian 12). Skips the package manager when
# everything is already there.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config clang libclang-rt-14-dev procps
  qt6-base-dev qt6-svg-dev libgl-dev qt6-charts-dev libqt6opengl6-dev qt6-translations-l10n
  libpcsclite-dev pcscd vsmartcard-vpcd
  libgtest-dev libgmock-dev libssl-dev libsqlite3-dev libpq-dev postgresql-15 pgbouncer openssl
  xvfb xauth fonts-dejavu-core iproute2 openbox python3
  # The monospace fonts a Debian desktop commonly has, together: the dump must line up in each.
  fonts-noto-mono fonts-urw-base35 fonts-dejavu
  help2man dpkg-dev file lintian desktop-file-utils appstream man-db bash-completion
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [[ $(id -u) -eq 0 ]] || SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
