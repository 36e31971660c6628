#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in their own build folder and runs fuzz_des_decrypt for
# a bounded time. Fails (non-zero status) on a crash, a sanitizer report or a broken check.
#
#   fuzz/run_fuzz.sh [SECONDS]        default 60; OSTREL_FUZZ_BUILD sets the build folder
set -euo pipefail

seconds="${1:-60}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${OSTREL_FUZZ_BUILD:-$root/build-fuzz}"

cmake -S "$root" -B "$build" \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DOSTREL_FUZZ=ON -DOSTREL_WERROR=ON -DOSTREL_GUI=OFF -DOSTREL_PCSC=OFF >/dev/null
cmake --build "$build" --target fuzz_des_decrypt -j2

corpus="$build/fuzz-corpus/des_decrypt"
mkdir -p "$corpus"
cd "$build"
"$build/bin/fuzz_des_decrypt" -max_total_time="$seconds" -print_final_stats=1 \
    -max_len=4096 "$corpus" "$root/fuzz/seeds/des_decrypt"
