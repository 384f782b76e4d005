#!/usr/bin/env bash
# Builds the suite with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs it. Every sanitizer report ends the test process with an error, so
# any report fails the run, leaks included. The only suppressions
# (scripts/lsan.supp) name uninstrumented system libraries, never the
# game's code. The end-to-end test on a real X server runs the sanitized
# program too.
#
# Usage: scripts/sanitized.sh [BUILD_FOLDER] [extra ctest arguments]   (default build-asan)
set -euo pipefail
cd "$(dirname "$0")/.."
here="$(pwd)"

build="${1:-build-asan}"
shift || true

export QT_QPA_PLATFORM=offscreen
# fast_unwind_on_malloc=0: an allocation's whole stack is kept, also through
# system libraries built without frame pointers (Mesa's), so that a
# suppression can find the library that made it.
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:fast_unwind_on_malloc=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$here/scripts/lsan.supp:print_suppressions=0"

# -O1 keeps the instrumented build and its run quick.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
  -DCOILRUNNER_SANITIZE=ON -DCOILRUNNER_TESTS=ON >/dev/null
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j2 "$@"
