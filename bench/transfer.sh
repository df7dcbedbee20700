#!/usr/bin/env bash
# Usage: bench/transfer.sh [IMAGE_BYTES] [FONT_BYTES]   (defaults 262144 and 65536)
set -euo pipefail
cd "$(dirname "$0")/.."
exec ./build/default/bench/transfer_bench "$@"
