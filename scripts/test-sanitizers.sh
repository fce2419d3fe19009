#!/usr/bin/env bash
# Builds the Linux program, its unzip library and every test with AddressSanitizer and
# UndefinedBehaviorSanitizer into build-asan (or $BUILD_DIR) and runs the whole test suite;
# the first report of either sanitizer fails the test that shows it, and so this script.
# Then builds the same with ThreadSanitizer into build-tsan (or $TSAN_BUILD_DIR) and runs the
# unzip library's tests, whose runs decode on workers, with four workers.
#
# The whole tree carries the flags, so the library that the tests load by name and the
# program that the end-to-end tests start are checked as well.
#
# GCC's shared sanitizer runtime interposes dlopen, which hides the program's RUNPATH
# ($ORIGIN) from the loader; the program therefore looks beside itself for its library
# explicitly, and the test programs that load the real library live in bin/ beside it.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build-asan}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNOCUNZIP_SANITIZE=ON "$@" >/dev/null
cmake --build "$build" -j2

# A report makes the process exit with a status that no test expects (and the run stops at
# the first one); leaks count as reports.
# verify_asan_link_order=0: a test preloads a helper library ahead of the runtime.
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=1:exitcode=86:strict_string_checks=1:detect_stack_use_after_return=1:verify_asan_link_order=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:exitcode=86
log="$build/sanitizer-test.log"
status=0
ctest --test-dir "$build" --output-on-failure -j2 2>&1 | tee "$log" || status=$?
# A report can also reach a test that only checks for failure (a child process that dies
# is one way to fail): look for the reports themselves, too.
if grep -qE '^(==[0-9]+==ERROR: (Address|Leak)Sanitizer|.*runtime error: )' "$log" \
   "$build"/Testing/Temporary/LastTest.log 2>/dev/null; then
  echo "sanitizer reports found:" >&2
  grep -hE '^(==[0-9]+==ERROR: (Address|Leak)Sanitizer|.*runtime error: )' "$log" \
    "$build"/Testing/Temporary/LastTest.log | sort -u | head -20 >&2
  exit 1
fi
[ $status -eq 0 ] || exit $status

# ThreadSanitizer: the library's tests (unzip32_*), the pipeline with four workers whatever
# the machine. A report fails the test that shows it.
tsan_build=${TSAN_BUILD_DIR:-build-tsan}
cmake -S . -B "$tsan_build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNOCUNZIP_TSAN=ON "$@" >/dev/null
cmake --build "$tsan_build" -j2
unset ASAN_OPTIONS UBSAN_OPTIONS
export TSAN_OPTIONS=halt_on_error=1:exitcode=86:second_deadlock_stack=1
tsan_log="$tsan_build/sanitizer-test.log"
UNZIP32_WORKERS=4 ctest --test-dir "$tsan_build" --output-on-failure -j2 -L '^unzip32_' 2>&1 \
  | tee "$tsan_log" || status=$?
if grep -q '^WARNING: ThreadSanitizer' "$tsan_log"; then
  echo "ThreadSanitizer reports found:" >&2
  grep -h -A3 '^WARNING: ThreadSanitizer' "$tsan_log" | head -20 >&2
  exit 1
fi
exit $status
