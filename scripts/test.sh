#!/usr/bin/env bash
# Sets up, builds the tests with AddressSanitizer and UndefinedBehaviorSanitizer, runs them.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh asan
ctest --preset asan "$@"
