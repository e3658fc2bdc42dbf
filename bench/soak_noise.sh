#!/usr/bin/env bash
# Ten minutes of noise on the line (the noise test at its soak length).
# Usage: bench/soak_noise.sh [BUILD_DIR] [SECONDS] [BYTES_PER_SECOND]
set -euo pipefail
build=${1:-build}
TAVREL_SOAK_SECONDS=${2:-600} TAVREL_NOISE_RATE=${3:-50} "$build/bin/test_noise"
