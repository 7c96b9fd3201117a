#!/usr/bin/env bash
# Installs what is missing, builds Korvane and its tests with warnings as errors, and runs
# every test. The end-to-end tests start and stop their own mail server.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
export KORVANE_BUILD_DIR=${KORVANE_BUILD_DIR:-build-test}
bash scripts/build.sh -DKORVANE_WERROR=ON
cd "$KORVANE_BUILD_DIR"
ctest --output-on-failure --timeout 600 -j2
