#!/usr/bin/env bash
# Runs every fuzz target for SECONDS each (default 60), as many at once as there are cores, from
# the seeds of make-corpus.py and what earlier runs kept in build/fuzz/corpus. Fails when any
# target finds a crash, a leak, an input taking over 5 s or memory over 2 GB; the input that did
# it is left in build/fuzz/findings. Expects the `fuzz` preset built (make fuzz does both).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=build/fuzz
targets=(fuzz_inifile fuzz_codepages fuzz_reply fuzz_texttoint fuzz_firmware fuzz_logo)
parallel=${FUZZ_JOBS:-$(nproc)}

python3 fuzz/make-corpus.py "$build/seeds"
mkdir -p "$build/findings"

run_one() {
    local t=$1
    mkdir -p "$build/corpus/$t"
    if "$build/fuzz/$t" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 \
        -artifact_prefix="$build/findings/$t-" "$build/corpus/$t" "$build/seeds/$t" \
        >"$build/$t.log" 2>&1; then
        echo "== $t (${seconds} s): $(grep -E '^#[0-9]+[[:space:]]+DONE' "$build/$t.log" | tail -1)"
    else
        echo "== $t (${seconds} s): FAILED"
        tail -n 40 "$build/$t.log"
        touch "$build/$t.failed"
    fi
}

for t in "${targets[@]}"; do
    rm -f "$build/$t.failed"
    while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do
        wait -n || true
    done
    run_one "$t" &
done
wait
failed=()
for t in "${targets[@]}"; do
    [ -e "$build/$t.failed" ] && failed+=("$t")
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "Findings from: ${failed[*]} (inputs in $build/findings, logs in $build/<target>.log)"
    exit 1
fi
