#!/usr/bin/env bash
# Installs the Debian packages the build needs. Quiet and quick when they are all present.
set -euo pipefail

PACKAGES=(
  g++ cmake ninja-build pkg-config
  libhivex-dev liblnk-dev libicu-dev zlib1g-dev libminizip-dev libxml2-dev
  nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
