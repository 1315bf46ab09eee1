#!/usr/bin/env bash
# Installs, builds with warnings as errors and runs every test; then builds and runs the
# tests again under AddressSanitizer + UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORTALINE_WERROR=ON
cmake --build build/release -j "$jobs"
ctest --test-dir build/release --output-on-failure -j "$jobs"

if [ "${SKIP_SANITIZERS:-0}" != 1 ]; then
    cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DORTALINE_WERROR=ON -DORTALINE_SANITIZE=ON
    cmake --build build/asan -j "$jobs"
    # The full unwinder lets the suppressions name the Qt frames that allocated a block.
    ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0 UBSAN_OPTIONS=print_stacktrace=1 \
        LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp" \
        ctest --test-dir build/asan --output-on-failure -j "$jobs"
fi
