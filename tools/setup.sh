#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test tesktoqvx.
# Idempotent: installs nothing when everything is there.
set -euo pipefail

packages=(cmake ninja-build g++ make qtbase5-dev libgtest-dev libgmock-dev libbenchmark-dev
          clang libclang-rt-14-dev valgrind time)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Install them with: sudo apt-get install ${missing[*]}" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
