#!/usr/bin/env bash
# The real-runtime leg: builds (or reuses) the Mono runtime of scripts/build-mono-runtime.sh, builds the launcher
# and runs the tests labelled mono_runtime, in which Wine's own mscoree.dll (rebuilt with its patch) hosts that
# runtime.
# Extra arguments go to ctest, e.g. scripts/test-mono-runtime.sh -R Windowed
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
runtime=$(scripts/build-mono-runtime.sh | tee /dev/stderr | tail -n 1)
cmake --preset mingw-x64
cmake --build --preset mingw-x64
LX_MONO_RUNTIME="$runtime" ctest --preset mingw-x64 -L mono_runtime "$@"
