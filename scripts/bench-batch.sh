#!/usr/bin/env bash
# The batch benchmark: builds bench_batch.exe (and nightjar.exe and the IDE stand-in it runs) in the
# Windows build if needed, and runs it under wine: one "Gen & Make (.EXE)" batch of 20 tagged
# applications against the stand-in, which writes each executable 1 s after its command. Prints the
# total time, the time per application and the program's overhead per application beyond that
# second. Arguments are passed on (--apps=N, --write_delay_ms=N, --limit_s=N). --changed=N times
# the nightly run instead: nightjar.com makes every application, N of the .APP files are touched,
# and `run make-exe --all --changed` is timed against its target (N makes + 0.1 s an application),
# e.g. scripts/bench-batch.sh --apps=60 --changed=3
#
# NJ_BENCH_BUILD picks the build folder (default build/windows); WINEPREFIX the wine prefix (default
# the tests' headless one, build/wineprefix). xvfb-run gives wine a display of its own, so that the
# run neither needs nor touches the user's.
set -euo pipefail

NJ_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$NJ_ROOT"
# shellcheck source=scripts/common.sh
source "$NJ_ROOT/scripts/common.sh"

build=${NJ_BENCH_BUILD:-$NJ_ROOT/build/windows}
nj_ensure_packages
nj_log "building bench_batch in $build"
cmake -S "$NJ_ROOT" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$NJ_ROOT/cmake/mingw-w64.cmake" >/dev/null
cmake --build "$build" --target bench_batch -j "$NJ_JOBS" >/dev/null

bench_exe=$(find "$build" -path "$build/_deps" -prune -o -type f -name bench_batch.exe -print | head -n 1)
if [[ -z $bench_exe ]]; then
  echo "scripts/bench-batch.sh: bench_batch.exe was not built ($build)" >&2
  exit 1
fi

nj_prepare_prefix "${WINEPREFIX:-$NJ_ROOT/build/wineprefix}" null
nj_log "running $bench_exe (WINEPREFIX=$WINEPREFIX) at $(date '+%Y-%m-%d %H:%M')"
xvfb-run -a wine "$bench_exe" "$@"
