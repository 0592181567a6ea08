#!/bin/sh
# Runs the DS_Entry fuzzer for a few seconds; skipped (77) when it could not
# be built because clang is not installed.
fuzzer="$1"
[ -x "$fuzzer" ] || exit 77
corpus="$(mktemp -d)"
trap 'rm -rf "$corpus"' EXIT
"$fuzzer" -max_total_time=5 -max_len=4096 -print_final_stats=1 "$corpus"
