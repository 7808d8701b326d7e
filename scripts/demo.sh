#!/usr/bin/env bash
# The main job on the demo machine.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh release brellum brellum-machine
./build/release/cli/brellum --help
