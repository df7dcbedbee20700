#!/usr/bin/env bash
# Runs every fuzz target for SECONDS each (default 60), from the seeds of make-corpus.py and what
# earlier runs kept in build/fuzz/corpus. Fails when any target finds a crash, a leak, an input
# taking over 5 s or memory over 2 GB; the input that did it is left in build/fuzz/findings.
# Expects the `fuzz` preset built (make fuzz does both).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=build/fuzz
targets=(fuzz_inifile fuzz_codepages fuzz_reply fuzz_texttoint fuzz_firmware fuzz_logo)

python3 fuzz/make-corpus.py "$build/seeds"
mkdir -p "$build/findings"
failed=()
for t in "${targets[@]}"; do
    mkdir -p "$build/corpus/$t"
    echo "== $t (${seconds} s)"
    if "$build/fuzz/$t" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 \
        -artifact_prefix="$build/findings/$t-" "$build/corpus/$t" "$build/seeds/$t" \
        >"$build/$t.log" 2>&1; then
        grep -E '^#[0-9]+[[:space:]]+DONE' "$build/$t.log" | tail -1 || true
    else
        tail -n 40 "$build/$t.log"
        failed+=("$t")
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "Findings from: ${failed[*]} (inputs in $build/findings, logs in $build/<target>.log)"
    exit 1
fi
