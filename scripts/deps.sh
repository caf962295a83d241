#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that
# are missing (nothing is done when all are there). Needs root for apt-get.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config git
  libgtest-dev libgmock-dev
  libssl-dev openssl libcurl4-openssl-dev
  qtbase5-dev qtbase5-dev-tools libqt5network5 qtkeychain-qt5-dev
  qttools5-dev qttools5-dev-tools
  libxml2-utils python3 iproute2
  clang-format
  clang libclang-rt-14-dev
  libbenchmark-dev libpugixml-dev libxml2-dev libonvif-dev
  fonts-noto-cjk
  xvfb xauth
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if [[ ${#missing[@]} -eq 0 ]]; then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
  if command -v sudo >/dev/null 2>&1; then
    sudo_cmd=(sudo)
  else
    echo "error: packages are missing and this is not root (no sudo either): ${missing[*]}" >&2
    exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
