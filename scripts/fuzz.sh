#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan, the libraries instrumented for coverage)
# and runs each one for a bounded time. Fails when any target finds a crash, a leak, undefined
# behaviour or a broken round trip; the input that did it is kept in BUILD/artifacts/.
# Usage: scripts/fuzz.sh [seconds per target, default 30] [build dir, default build-fuzz]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
build=${2:-build-fuzz}

if ! command -v clang++ >/dev/null || ! clang++ -print-file-name=libclang_rt.fuzzer-x86_64.a |
  grep -q /; then
  scripts/install-deps.sh
fi

sanitize="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTARSIL_GUI=OFF -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link $sanitize" \
  -DCMAKE_EXE_LINKER_FLAGS="$sanitize" >/dev/null
cmake --build "$build" -j "$(nproc)" --target fuzz_all

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$build/artifacts"
failed=()
for target in $(find "$build/tests" -maxdepth 3 -type f -name 'fuzz_*' -perm -u+x | sort); do
  name=$(basename "$target")
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  seeds=$(find tests -path "*/fuzz/seeds/$name" -type d | head -n 1)
  echo "== $name (${seconds}s)"
  args=(-max_total_time="$seconds" -timeout=10 -print_final_stats=1
    -artifact_prefix="$build/artifacts/$name-" "$corpus")
  [ -n "$seeds" ] && args+=("$seeds")
  if ! "$target" "${args[@]}" >"$build/$name.log" 2>&1; then
    tail -n 40 "$build/$name.log"
    failed+=("$name")
  else
    grep -E '^stat::number_of_executed_units' "$build/$name.log" || true
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzzing found faults in: ${failed[*]} (inputs in $build/artifacts/)"
  exit 1
fi
echo "fuzzing: no faults"
