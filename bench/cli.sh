#!/usr/bin/env bash
# Usage: bench/cli.sh [PRINTERS] [IMAGE_BYTES]   (defaults 16 and 262144)
set -euo pipefail
cd "$(dirname "$0")/.."
exec ./build/default/bench/cli_bench "$@"
