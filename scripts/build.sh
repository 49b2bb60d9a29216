#!/usr/bin/env bash
# Configures and builds the program, the tools and the tests into build/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
BUILD_DIR=${BUILD_DIR:-build}
JOBS=${JOBS:-$(nproc)}
launcher=()
# A developer machine with ccache shares compiled objects between build folders.
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" >/dev/null
cmake --build "$BUILD_DIR" -j "$JOBS"
