#!/usr/bin/env bash
# The scan built natively against the same scan built by the Windows tree (clang-cl, Microsoft's ABI)
# and run under Wine, on the benchmarks' image, alternating the two ROUNDS times; prints each row's
# median over the rounds for both builds and their ratio (Windows / native: below 1 is faster under
# Wine).
#
#   bench/timing/compare.sh [ROUNDS] [REPETITIONS] [BYTES]
#
# BYTES: scan only the image's first BYTES (a slice that stays in the cache: the kernels alone).
# Builds what it runs in the native and Windows trees (configured: ./brickwright test does it once).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
rounds=${1:-5}
repetitions=${2:-7}
bytes=${3:-0}
native="$root/build/native/bin/brickwright-scan-timing"
windows="$root/build/windows/bin/brickwright-scan-timing.exe"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --build --preset native --target brickwright-bench brickwright-scan-timing >&2
cmake --build --preset windows --target brickwright-scan-timing >&2
image="$work/image.bin"
"$root/build/native/bin/brickwright-bench" --save-image "$image" >&2

for ((round = 0; round < rounds; ++round)); do
    "$native" "$image" "$repetitions" "$bytes" >>"$work/native"
    "$root/build/windows/wine-run" "$windows" "Z:$image" "$repetitions" "$bytes" | tr -d '\r' >>"$work/windows"
done
if ! diff <(grep '^found' "$work/native" | sort -u) <(grep '^found' "$work/windows" | sort -u) >/dev/null; then
    echo "compare: the two builds found different matches" >&2
    exit 1
fi
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
printf '%-8s %-5s %12s %12s %8s\n' kernel scan "native us" "windows us" ratio
grep -v '^found' "$work/native" | awk '{ print $1, $2 }' | sort -u | while read -r kernel scan; do
    n=$(awk -v k="$kernel" -v s="$scan" '$1 == k && $2 == s { print $3 }' "$work/native" | median)
    w=$(awk -v k="$kernel" -v s="$scan" '$1 == k && $2 == s { print $3 }' "$work/windows" | median)
    awk -v k="$kernel" -v s="$scan" -v n="$n" -v w="$w" 'BEGIN { printf "%-8s %-5s %12.1f %12.1f %8.2f\n", k, s, n, w, w / n }'
done
