#!/usr/bin/env bash
# A machine with only the program's packages, as `scripts/deps.sh run` or `demo` leaves it:
# GoogleTest is hidden in a private mount namespace (empty folders over its headers, its CMake
# files and its sources). A configure with the defaults then works, says that the tests are off
# and makes no test target, and the build of `scripts/start.sh --demo` (scripts/build.sh --demo)
# makes a program and a demo tool that run, and no test or benchmark. Everything is built in a
# temporary folder, removed at the end. Needs root for the namespace; skips without it.
# Usage: without_googletest.sh <source folder>
set -euo pipefail
source=$(cd "$1" && pwd)

passed=0
fail() { echo "FAILED: $*" >&2; echo "$passed passed, 1 failed"; exit 1; }
ok() { echo "ok: $*"; passed=$((passed + 1)); }
skip() { echo "skipped: $*"; exit 77; }

# The script runs itself again inside the namespace; the mounts end with it.
if [ -z "${KORVANE_GOOGLETEST_HIDDEN:-}" ]; then
    [ "$(id -u)" = 0 ] || skip "hiding GoogleTest needs root"
    command -v unshare >/dev/null || skip "unshare is not installed"
    unshare --mount --propagation private true 2>/dev/null || skip "no private mount namespace here"
    KORVANE_GOOGLETEST_HIDDEN=1 exec unshare --mount --propagation private bash "$0" "$@"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

hidden=0
for folder in /usr/include/gtest /usr/include/gmock /usr/lib/*/cmake/GTest /usr/src/googletest \
    /usr/src/gtest /usr/src/gmock; do
    # /usr/src/gtest is a link into /usr/src/googletest, which is hidden by then.
    [ -d "$folder" ] && [ ! -L "$folder" ] || continue
    mount -t tmpfs -o ro,size=4k,mode=755 korvane-no-googletest "$folder" || fail "cannot hide $folder"
    hidden=$((hidden + 1))
done
if [ -e /usr/include/gtest/gtest.h ] || compgen -G '/usr/lib/*/cmake/GTest/*.cmake' >/dev/null; then
    fail "GoogleTest is still visible"
fi
ok "GoogleTest hidden ($hidden folders)"

# 1. The defaults, as a developer configures by hand.
log=$work/defaults.log
cmake -S "$source" -B "$work/defaults" -G Ninja >"$log" 2>&1 || fail "configure: $(cat "$log")"
grep -q "GoogleTest was not found: the tests are off" "$log" && grep -q "^-- Tests: off" "$log" \
    || fail "the configure does not say that the tests are off: $(cat "$log")"
tests=$(ninja -C "$work/defaults" -t targets all | grep -E -o '^[^:]*_tests[^:]*' || true)
[ -z "$tests" ] || fail "test targets without GoogleTest: $tests"
ok "a configure with the defaults says that the tests are off and makes no test target"

# 2. What start.sh --demo builds, in a build type without optimisation and debug information,
# which compiles fastest.
build=$work/program
KORVANE_BUILD_DIR=$build CMAKE_BUILD_PARALLEL_LEVEL=2 \
    bash "$source/scripts/build.sh" --demo -DCMAKE_BUILD_TYPE= >"$work/build.log" 2>&1 \
    || fail "build.sh --demo: $(cat "$work/build.log")"
grep "^Built " "$work/build.log" || fail "build.sh does not say how long it took: $(cat "$work/build.log")"
built=$(cut -f4 "$build/.ninja_log" | grep -E '(_tests|korvane_test_|bench_)' || true)
[ -z "$built" ] || fail "built for tests or benchmarks: $built"
targets=$(ninja -C "$build" -t targets all | cut -d: -f1 | grep -E '(_tests|korvane_test_|bench_)' || true)
[ -z "$targets" ] || fail "test or benchmark targets: $targets"
ok "build.sh --demo builds without GoogleTest, and no test or benchmark"

version=$(timeout 60 "$build/src/korvane" --version 2>&1) || fail "korvane --version: $version"
[[ "$version" == "Korvane "* ]] || fail "korvane --version said: $version"
timeout 120 "$build/tools/korvane_demo" mailbox "$work/mailbox" >/dev/null \
    || fail "korvane_demo mailbox failed"
count=$(find "$work/mailbox" -name '*.eml' | wc -l)
[ "$count" -gt 0 ] || fail "korvane_demo wrote no messages"
ok "the program says \"$version\" and the demo's tool writes $count messages"

echo "$passed passed, 0 failed"
