#!/usr/bin/env bash
# Ten minutes of noise on the line (the noise test at its soak length).
# Usage: bench/soak_noise.sh [BUILD_DIR] [SECONDS] [BYTES_PER_SECOND]
set -euo pipefail
build=${1:-build}
seconds=${2:-600}
# Qt Test stops a test function after five minutes unless told otherwise.
QTEST_FUNCTION_TIMEOUT=$(((seconds + 120) * 1000)) TAVREL_SOAK_SECONDS=$seconds \
  TAVREL_NOISE_RATE=${3:-50} "$build/bin/test_noise"
