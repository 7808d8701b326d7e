#!/usr/bin/env bash
# build.sh PRESET [targets...] — set up packages, configure and build one preset.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-release}"; shift || true
./scripts/setup.sh
cmake --preset "$preset" >/dev/null
if [ $# -gt 0 ]; then
  cmake --build --preset "$preset" --target "$@"
else
  cmake --build --preset "$preset"
fi
