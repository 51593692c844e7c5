#!/bin/bash
# Decoding speed side by side: the program's TransferToFile against
# `openssl base64 -d`, `base64 -d -i` and `cp` on the same base64 text.
#
#   bench/run_decode_bench.sh [build-folder]     (default: build-bench, a Release build)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build-bench}
bin=$build/bin/bench_decode
[ -x "$bin" ] || { echo "build bench_decode first: cmake -S $here -B $build -G Ninja -DCMAKE_BUILD_TYPE=Release && ninja -C $build bench_decode" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/kivrel-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

out=$("$bin" "$work")
echo "$out"
ours_ms=$(echo "$out" | awk '/^TransferToFile/ {print $4}')
input=$work/attachment.b64
bytes=$(stat -c %s "$input")

# Best of five wall-clock runs, in milliseconds.
best_ms() {
    local best=""
    for _ in 1 2 3 4 5; do
        local s e
        s=$(date +%s%N)
        "$@" > /dev/null 2>&1
        e=$(date +%s%N)
        local ms=$(( (e - s) / 1000 ))
        if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
    done
    awk -v us="$best" 'BEGIN { printf "%.1f", us / 1000 }'
}

openssl_ms=$(best_ms openssl base64 -d -in "$input" -out "$work/openssl.out")
coreutils_ms=$(best_ms sh -c "base64 -d -i < '$input' > '$work/base64.out'")
cp_ms=$(best_ms cp "$input" "$work/copy.out")

cmp -s "$work/openssl.out" "$work/CC991224.LZH" || echo "warning: openssl output differs from ours"

echo
printf "%-28s %8s ms  %8s MB/s  %s\n" "tool" "time" "speed" "its time / ours"
row() {
    awk -v name="$1" -v ms="$2" -v ours="$ours_ms" -v bytes="$bytes" \
        'BEGIN { printf "%-28s %8.1f ms  %8.0f MB/s  %.2f\n", name, ms, bytes / (ms / 1000) / 1e6, ms / ours }'
}
row "kivrel TransferToFile" "$ours_ms"
row "openssl base64 -d" "$openssl_ms"
row "base64 -d -i" "$coreutils_ms"
row "cp" "$cp_ms"
