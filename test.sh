#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless: the suite,
# a brief fuzz run of the high-score loader, then the suite again built with
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh test
export QT_QPA_PLATFORM=offscreen
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
ctest --test-dir build --output-on-failure -j2

echo "== Fuzzing the high-score loader for 30 seconds"
scripts/fuzz.sh 30 build-fuzz

echo "== The suite again, with AddressSanitizer and UndefinedBehaviorSanitizer"
scripts/sanitized.sh build-asan
