#!/usr/bin/env bash
# Remakes the recordings of tests/data with tolvane-gen, or with --check
# remakes them in a temporary directory and compares them with the ones
# here, byte for byte.
#
#   tests/data/remake.sh [--check] path/to/tolvane-gen
#
# After a remake the golden outputs (NAME.txt, NAME.json) must still match:
# run the cli_golden_* tests.
#
# Only the recordings whose commands were kept are here. The others
# (pocsag_1200, pocsag_2400, flex_6400_4, mixed_2level, more_4level,
# hostile, page_bytes, filters) were made with channel damage (jitter,
# clock error, bit errors and their seed) and texts with bytes the golden
# outputs show only as '.': their commands are not known, and guessed ones
# gave other files. When one of them has to change, make it anew here from
# its description in tests/cli/golden.cmake and update its golden outputs.
set -euo pipefail
check=0
if [ "${1:-}" = --check ]; then check=1; shift; fi
gen="${1:?usage: $0 [--check] path/to/tolvane-gen}"
here="$(cd "$(dirname "$0")" && pwd)"
out="$here"
if [ "$check" = 1 ]; then
    out="$(mktemp -d)"
    trap 'rm -rf "$out"' EXIT
fi

pages() {  # RATE: the seven POCSAG pages of the pocsag_* recordings
    local r="$1"
    printf '%s\n' "pocsag:$r:1234567:3:alpha:Hello world" "pocsag:$r:1234560:0:numeric:0123456789" \
        "pocsag:$r:8:1:tone:" "pocsag:$r:16:2:numeric:911" "pocsag:$r:2097151:2:tone:" \
        "pocsag:$r:1000001:1:alpha:A long message that must be streamed over batches." \
        "pocsag:$r:2000007:0:alpha:Across the batch"
}

mapfile -t p512 < <(pages 512)
"$gen" --levels 4 --gap 0.2 -o "$out/pocsag_512.tve" "${p512[@]}"
"$gen" -o "$out/controls.tve" 'pocsag:1200:1234567:3:alpha:Hello world' \
    'pocsag:1200:99:0:alpha:Bell\x07 \x1b[2J done!' 'pocsag:1200:1234560:0:numeric:0123456789'

if [ "$check" = 1 ]; then
    status=0
    for made in "$out"/*.tve; do
        if cmp -s "$made" "$here/$(basename "$made")"; then
            echo "same: $(basename "$made")"
        else
            echo "differs: $(basename "$made")"
            status=1
        fi
    done
    exit "$status"
fi
