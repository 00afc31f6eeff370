#!/bin/bash
# Instructions per pixel of the whole Save path and of its two big stages, as
# callgrind counts them (stable on a noisy machine, unlike times).
#   bench/callgrind_stages.sh BUILD_DIR [chart|chart32|photo|giflib]...
# Each picture's path runs three times (bench_path --once); the figures are per
# pixel and run. Needs valgrind and a build with MILMAN_BENCH=ON.
set -euo pipefail
build=${1:?usage: $0 BUILD_DIR [chart|chart32|photo|giflib]...}
shift
pictures=${*:-chart photo giflib}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
per_pixel() { echo "scale=2; ${1:-0} / 3 / $2" | bc; }
for picture in $pictures; do
    case $picture in
    photo) pixels=$((1024 * 768)) ;;
    *) pixels=$((1024 * 721)) ;;
    esac
    valgrind --tool=callgrind --callgrind-out-file="$work/out" \
        --toggle-collect='*RunPath*' --toggle-collect='*RunGiflib*' \
        "$build/bench/bench_path" --once "$picture" >"$work/log" 2>&1
    callgrind_annotate --inclusive=yes "$work/out" >"$work/annotated" 2>/dev/null
    total=$(grep -m1 'PROGRAM TOTALS' "$work/annotated" | awk '{gsub(",", "", $1); print $1}')
    stage() { grep -m1 "$1" "$work/annotated" | awk '{gsub(",", "", $1); print $1}'; }
    line="$picture: $(grep bytes "$work/log"), total $(per_pixel "$total" $pixels) Ir/px"
    if [ "$picture" != giflib ]; then
        line+=", reduction $(per_pixel "$(stage 'gif::ReduceRowsToDIB8')" $pixels)"
        line+=", LZW $(per_pixel "$(stage 'gif::LzwEncodeBits')" $pixels)"
    fi
    echo "$line"
done
