#!/usr/bin/env bash
# Configures and builds Korvane into build/ (or $KORVANE_BUILD_DIR).
# Extra arguments are passed to the CMake configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${KORVANE_BUILD_DIR:-build}
# Qt's tools warn on every run without a runtime folder.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    export XDG_RUNTIME_DIR=/tmp/runtime-$(id -un)
    mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
fi
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
printf '%s\n' "$output" | grep -v -e '^ninja: no work to do' -e 'Re-checking globbed directories' \
    -e '^-- ' -e '^$' || true
