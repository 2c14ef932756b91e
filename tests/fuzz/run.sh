#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz/, and runs each for SECONDS
# (default 30) over a copy of its seed corpus. A crash, a leak, a hang or a
# sanitizer report fails the run; the input that caused it is left in
# build-fuzz/findings/ to be added to tests/fuzz/corpus/NAME/ with its fix.
# Usage: tests/fuzz/run.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-30}
shift || true

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
flags="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" -DKELVARION_FUZZ=ON "${launcher[@]}" >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz_targets

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for dir in tests/fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi

findings=build-fuzz/findings
mkdir -p "$findings"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/tmp"
export TMPDIR="$work/tmp"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=()
for target in "${targets[@]}"; do
  # The corpus grows in a copy: the repository keeps only its seeds and the
  # inputs that once found a fault.
  cp -r "tests/fuzz/corpus/$target" "$work/$target"
  echo "== $target: ${seconds}s"
  if ! (cd "$work" && "$OLDPWD/build-fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 \
        -artifact_prefix="$OLDPWD/$findings/$target-" "$target" >"$target.log" 2>&1); then
    tail -n 60 "$work/$target.log"
    failed+=("$target")
  else
    grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "$work/$target.log" | tail -n 2 || true
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found faults in: ${failed[*]} (inputs in $findings/)"
  exit 1
fi
echo "fuzzing: no faults in ${#targets[@]} targets"
