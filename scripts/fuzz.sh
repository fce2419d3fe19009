#!/usr/bin/env bash
# Fuzzes the unzip library, its decoders, GetField and the unpack job with libFuzzer, MINUTES minutes each
# target, one after the other on one core.
#
#   scripts/fuzz.sh MINUTES [TARGET...]      targets: unzip32 decoders get_field job
#                                            (default: all)
#
# Builds build-fuzz (or $BUILD_DIR) with clang, AddressSanitizer, UndefinedBehaviorSanitizer
# and coverage; seeds from fuzz/make_corpus.py; the growing corpus stays in
# build-fuzz/run/corpus/TARGET, logs in build-fuzz/run/TARGET.log, and inputs that break a
# target in build-fuzz/run/findings/TARGET/ (keep them in fuzz/crashers/TARGET/ once fixed:
# the test fuzz_replay_TARGET replays them). To keep what a run learnt, minimize its corpus
# into the repository:
#   build-fuzz/bin/fuzz_TARGET -merge=1 fuzz/corpus/TARGET build-fuzz/run/corpus/TARGET
# Run as root, the fuzzers run as the user nobody, so that an extraction gone wrong cannot
# write into the system. Fails when a target broke.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 1 ] || ! [[ $1 =~ ^[0-9]+$ ]]; then
  awk 'NR > 1 && /^#/ { print; next } NR > 1 { exit }' "$0" >&2
  exit 2
fi
minutes=$1
shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(unzip32 decoders get_field job)

build=${BUILD_DIR:-build-fuzz}
flags="-O1 -g -fsanitize=fuzzer-no-link"
# The instrumented unzip library leaves the sanitizer runtime's symbols to the program that
# loads it (clang links the runtime into programs only): let its link accept that.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE= \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_CXX_STANDARD_LIBRARIES="-Wl,-z,undefs" \
  -DNOCUNZIP_SANITIZE=ON -DNOCUNZIP_FUZZ=ON >/dev/null
cmake --build "$build" -j2 --target $(printf 'fuzz_%s ' "${targets[@]}")

# Absolute paths: the job target changes the working directory of the process.
mkdir -p "$build/run"
run=$(realpath "$build/run")
mkdir -p "$run/tmp" "$run/seeds"
python3 fuzz/make_corpus.py "$run/seeds" >/dev/null
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  chown -R nobody:nogroup "$run"
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi

export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export TMPDIR="$run/tmp"

broken=()
for target in "${targets[@]}"; do
  corpus="$run/corpus/$target"
  findings="$run/findings/$target"
  mkdir -p "$corpus" "$findings" "$run/seeds/$target"
  [ "$(id -u)" -ne 0 ] || chown -R nobody:nogroup "$run"
  extra=()
  # The minimized corpus kept in the repository seeds the run as well.
  [ ! -d "fuzz/corpus/$target" ] || extra+=("$(realpath "fuzz/corpus/$target")")
  case $target in
    unzip32) extra+=(-max_len=65536) ;;
    decoders) extra+=(-max_len=16384) ;;
    get_field) extra+=(-max_len=512) ;;
    job) extra+=(-max_len=256 -close_fd_mask=2) ;;  # the job's message boxes go to stderr
  esac
  echo "== fuzzing $target for $minutes min (log: $run/$target.log)"
  status=0
  setsid "${as_user[@]}" "$(realpath "$build/bin/fuzz_$target")" "$corpus" "$run/seeds/$target" \
    -max_total_time=$((minutes * 60)) -timeout=30 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$findings/" "${extra[@]}" </dev/null >"$run/$target.log" 2>&1 || status=$?
  grep -E '^#[0-9]+' "$run/$target.log" | tail -1 || true
  grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$run/$target.log" || true
  if [ $status -ne 0 ] || [ -n "$(ls -A "$findings")" ]; then
    echo "!! $target broke (exit $status); inputs in $findings:"
    ls "$findings"
    broken+=("$target")
  fi
done

if [ ${#broken[@]} -gt 0 ]; then
  echo "broken targets: ${broken[*]}"
  exit 1
fi
echo "no findings"
