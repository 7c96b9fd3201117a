#!/usr/bin/env bash
# Configures and builds Korvane into build/ (or $KORVANE_BUILD_DIR).
# Extra arguments are passed to the CMake configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${KORVANE_BUILD_DIR:-build}
if [ ! -f "$build_dir/build.ninja" ]; then
    cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
elif [ $# -gt 0 ]; then
    cmake "$build_dir" "$@" >/dev/null
fi
# Quiet when there is nothing to do; the whole output when the build fails.
if ! output=$(cmake --build "$build_dir" -- --quiet 2>&1); then
    printf '%s\n' "$output"
    exit 1
fi
printf '%s\n' "$output" | grep -v -e '^ninja: no work to do' -e 'Re-checking globbed directories' || true
