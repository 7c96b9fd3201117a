#!/usr/bin/env bash
# Installs what is missing, builds Korvane and its tests with warnings as errors, and runs
# every test. The end-to-end tests start and stop their own mail server.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
export KORVANE_BUILD_DIR=${KORVANE_BUILD_DIR:-build-test}
# Tests and benchmarks on, also in a build folder that was configured without them. Without
# GoogleTest the configure leaves the tests out, and ctest then fails on finding none.
bash scripts/build.sh -DKORVANE_WERROR=ON -DKORVANE_BUILD_TESTS=ON -DKORVANE_BUILD_BENCH=ON
cd "$KORVANE_BUILD_DIR"
ctest --output-on-failure --timeout 600 --no-tests=error -j2
