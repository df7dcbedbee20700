#!/usr/bin/env bash
# Usage: bench/station.sh [SPREAD_MS]   (default 60000: the printers come over a minute)
set -euo pipefail
cd "$(dirname "$0")/.."
exec ./build/default/bench/station_bench "$@"
