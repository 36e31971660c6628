#!/usr/bin/env bash
# Sets everything up and runs every test: a plain build with warnings as errors, then the same
# tests under AddressSanitizer and UndefinedBehaviorSanitizer, then the fuzzer for a bounded time.
# The PC/SC tests run against pcscd and a virtual reader started here, the tests of several
# stations against a private PostgreSQL server started here. Then the Debian package is
# made from the plain build, installed, tried and purged.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=$(nproc)
PASSED=0
FAILED=0
SKIPPED=0

# Runs ctest on a build folder and adds its counts to the totals.
run_ctest() {
  local log="$1/ctest-summary.log" status=0
  shift
  ctest --output-on-failure -j"$JOBS" "$@" 2>&1 | tee "$log" || status=$?
  local line total failed skipped
  line=$(grep -E '[0-9]+ tests failed out of [0-9]+' "$log" | tail -1)
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
  failed=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$line")
  skipped=$(grep -c '(Skipped)$' "$log" || true)
  PASSED=$((PASSED + ${total:-0} - ${failed:-0} - skipped))
  FAILED=$((FAILED + ${failed:-0}))
  SKIPPED=$((SKIPPED + skipped))
  return "$status"
}

bash scripts/setup.sh

# shellcheck source=scripts/pcscd.sh
source scripts/pcscd.sh
# shellcheck source=scripts/pg_server.sh
source scripts/pg_server.sh
pcscd_start
trap 'pcscd_stop; pg_server_stop' EXIT
# The PC/SC tests skip without the service; here it must be there, or they would pass unseen.
pcscd_listening || { echo "test: pcscd with the virtual reader is not running" >&2; exit 1; }
# The same for the tests of several stations sharing a PostgreSQL server.
pg_server_start || { echo "test: the private PostgreSQL server did not start" >&2; exit 1; }

export QT_QPA_PLATFORM=offscreen
export OSTREL_DATA_DIR="$ROOT/build-test-data"
rm -rf "$OSTREL_DATA_DIR"

echo "== plain build, warnings as errors"
cmake -S . -B build-ci -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTREL_WERROR=ON >/dev/null
cmake --build build-ci -j"$JOBS"
run_ctest build-ci --test-dir build-ci

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DOSTREL_WERROR=ON -DOSTREL_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$JOBS"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  LSAN_OPTIONS=suppressions="$ROOT/scripts/lsan.supp" \
  run_ctest build-asan --test-dir build-asan

echo "== Debian package, from the plain build"
bash scripts/check_package.sh build-ci

if [[ -x fuzz/run_fuzz.sh ]]; then
  echo "== fuzzing"
  fuzz/run_fuzz.sh "${FUZZ_SECONDS:-60}"
fi
echo "summary: $PASSED passed, $FAILED failed, $SKIPPED skipped"
