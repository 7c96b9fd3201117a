#!/usr/bin/env bash
# Configures and builds Korvane into build/ (or $KORVANE_BUILD_DIR) and says how long it took.
# Usage: build.sh [--program | --demo] [CMake options...]
#   --program  only the program; a new build folder gets no tests and no benchmarks, so the
#              packages of `scripts/deps.sh run` are enough
#   --demo     the same, and the demo's tool (tools/korvane_demo) for `start.sh --demo`
#   neither    everything the build folder is configured for: with the defaults, the program,
#              the tools, the tests and the benchmarks
# A build folder that is configured already keeps its options, unless CMake options are given.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${KORVANE_BUILD_DIR:-build}
targets=()
first_options=()
what=everything
case "${1:-}" in
    --program | --demo)
        targets=(korvane)
        what="the program"
        if [ "$1" = --demo ]; then
            targets+=(korvane_demo)
            what="the program and the demo's tool"
        fi
        first_options=(-DKORVANE_BUILD_TESTS=OFF -DKORVANE_BUILD_BENCH=OFF)
        shift
        ;;
esac
# Qt's tools warn on every run without a runtime folder.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    export XDG_RUNTIME_DIR=/tmp/runtime-$(id -un)
    mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
fi
start=$SECONDS
if [ ! -f "$build_dir/build.ninja" ]; then
    cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        "${first_options[@]}" "$@" >/dev/null
elif [ $# -gt 0 ]; then
    cmake "$build_dir" "$@" >/dev/null
fi
# Quiet when there is nothing to do; the whole output when the build fails.
if ! output=$(cmake --build "$build_dir" ${targets[@]:+--target "${targets[@]}"} -- --quiet 2>&1); then
    printf '%s\n' "$output"
    exit 1
fi
printf '%s\n' "$output" | grep -v -e '^ninja: no work to do' -e 'Re-checking globbed directories' \
    -e '^-- ' -e '^$' || true
elapsed=$((SECONDS - start))
took="$((elapsed % 60)) s"
[ "$elapsed" -lt 60 ] || took="$((elapsed / 60)) min $took"
echo "Built $what in $build_dir/ in $took."
