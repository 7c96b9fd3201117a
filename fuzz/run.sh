#!/usr/bin/env bash
# Builds the ParseMessage fuzz target with clang (libFuzzer + AddressSanitizer + UBSan) into
# build-fuzz/ and runs it on the corpus in fuzz/corpus/parse for $1 seconds (default 120).
# New inputs go to a scratch folder, so the checked-in corpus stays small; pass a crash file
# instead of a number to rerun one input.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${KORVANE_FUZZ_DIR:-build-fuzz}
mkdir -p "$out/corpus"
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -Isrc $(pkg-config --cflags Qt6Core) -fPIC \
    fuzz/parse_fuzzer.cpp src/message/*.cpp \
    $(pkg-config --libs Qt6Core) -o "$out/parse_fuzzer"
if [ $# -gt 0 ] && [ -f "$1" ]; then
    exec "$out/parse_fuzzer" "$1"
fi
seconds=${1:-120}
exec "$out/parse_fuzzer" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
    -dict=fuzz/parse.dict -artifact_prefix="$out/" "$out/corpus" fuzz/corpus/parse
