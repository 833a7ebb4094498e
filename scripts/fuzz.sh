#!/usr/bin/env bash
# Fuzzes the import table reader with libFuzzer (clang, ASan and UBSan) for NJ_FUZZ_SECONDS
# (default 30). Builds build/fuzz with clang; seeds the corpus with small real PE files (wine's DLLs,
# the Windows build's programs under 64 KB). A crash leaves its input in build/fuzz/artifacts/ and
# makes this script fail.
#
# scripts/fuzz.sh [libFuzzer options...]
set -euo pipefail

NJ_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$NJ_ROOT"
# shellcheck source=scripts/common.sh
source "$NJ_ROOT/scripts/common.sh"

build=$NJ_ROOT/build/fuzz
seconds=${NJ_FUZZ_SECONDS:-30}
max_len=65536

probe='extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }'
if ! echo "$probe" | clang++ -x c++ -fsanitize=fuzzer - -o /dev/null 2>/dev/null; then
  echo "clang++ with libFuzzer (-fsanitize=fuzzer) is needed" >&2
  exit 1
fi
nj_log "configuring build/fuzz"
CC=clang CXX=clang++ cmake -S "$NJ_ROOT" -B "$build" -DNIGHTJAR_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
nj_log "building the fuzz target"
cmake --build "$build" -j "$NJ_JOBS" --target fuzz_pe_imports

# Seeds: real PE files small enough that libFuzzer keeps them whole.
mkdir -p "$build/corpus" "$build/artifacts"
mapfile -t seeds < <(find /usr/lib/x86_64-linux-gnu/wine/*-windows /usr/lib/wine/*-windows \
  "$NJ_ROOT/build/windows" -maxdepth 3 \( -name '*.dll' -o -name '*.exe' \) -size -"$((max_len / 1024))"k \
  2>/dev/null | sort)
for seed in "${seeds[@]:0:40}"; do cp "$seed" "$build/corpus/"; done

nj_log "fuzzing for $seconds s"
"$build/bench/fuzz/fuzz_pe_imports" "$build/corpus" -max_total_time="$seconds" -max_len="$max_len" \
  -artifact_prefix="$build/artifacts/" -print_final_stats=1 "$@"
