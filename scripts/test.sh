#!/usr/bin/env bash
# Builds everything and runs every test (unit and process-level) under Wine in a throwaway prefix.
# Extra arguments go to ctest, e.g. scripts/test.sh -R Report
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset mingw-x64
cmake --build --preset mingw-x64
# The real-runtime tests need a runtime built first: scripts/test-mono-runtime.sh runs them.
ctest --preset mingw-x64 -LE mono_runtime "$@"
