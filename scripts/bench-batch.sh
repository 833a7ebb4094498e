#!/usr/bin/env bash
# The batch benchmarks, run under wine against the IDE stand-in.
#
# scripts/bench-batch.sh [--ides=1,2,4]
#   Several IDEs at once: 60 applications in 12 folders made by `nightjar.com run make-exe --all
#   --ides N`, once for each N given (default 1, 2 and 4), against N stand-ins started beforehand
#   (each writing its executables 1 s after their commands, each with a log of its own), with
#   --ide naming the stand-in's program. Prints each run's time, what it made, and its ratio to the
#   run with 1 IDE. Target: 4 IDEs take at most 0.3 of the time of 1 (0.25 is the ideal).
#
# scripts/bench-batch.sh --apps=N [--write_delay_ms=N] [--limit_s=N] [--changed=N]
#   One batch's overhead per application (bench_batch.exe): a "Gen & Make (.EXE)" batch of N
#   (e.g. 20) tagged applications in nightjar.exe's window; with --changed=N the nightly run with
#   only changed instead: nightjar.com makes every application, N of the .APP files are touched,
#   and `run make-exe --all --changed` is timed against its target (N makes + 0.1 s an application),
#   e.g. scripts/bench-batch.sh --apps=60 --changed=3
#
# NJ_BENCH_BUILD picks the build folder (default build/windows); WINEPREFIX the wine prefix (default
# the tests' headless one, build/wineprefix). Any other IDE serving the same DDE service in that
# prefix would take part: run it where none is running. The window's benchmark runs under xvfb-run,
# so that it neither needs nor touches the user's display.
set -euo pipefail

NJ_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$NJ_ROOT"
# shellcheck source=scripts/common.sh
source "$NJ_ROOT/scripts/common.sh"

build=${NJ_BENCH_BUILD:-$NJ_ROOT/build/windows}

find_exe() {
  find "$build" -path "$build/_deps" -prune -o -type f -name "$1" -print | head -n 1
}

configure() {
  nj_ensure_packages
  cmake -S "$NJ_ROOT" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$NJ_ROOT/cmake/mingw-w64.cmake" >/dev/null
}

# --- The window's overhead per application -------------------------------------------------------
window_bench() {
  configure
  nj_log "building bench_batch in $build"
  cmake --build "$build" --target bench_batch -j "$NJ_JOBS" >/dev/null
  local bench_exe
  bench_exe=$(find_exe bench_batch.exe)
  if [[ -z $bench_exe ]]; then
    echo "scripts/bench-batch.sh: bench_batch.exe was not built ($build)" >&2
    exit 1
  fi
  nj_prepare_prefix "${WINEPREFIX:-$NJ_ROOT/build/wineprefix}" null
  nj_log "running $bench_exe (WINEPREFIX=$WINEPREFIX) at $(date '+%Y-%m-%d %H:%M')"
  xvfb-run -a wine "$bench_exe" "$@"
}

# --- Several IDEs at once -------------------------------------------------------------------------
readonly kFolders=12 kAppsPerFolder=5 kWriteDelayMs=1000 kReadyLimitS=60 kRunLimitS=900

# The path as wine programs see it, through the Z: drive.
windows_path() {
  printf 'Z:%s' "$(realpath -m "$1" | tr / '\\')"
}

seconds_now() {
  date +%s.%N
}

# Ends every stand-in whose log in $bench_dir names its process, by that process id.
end_standins() {
  local pid
  for pid in $(cat "$bench_dir"/logs/*.log 2>/dev/null | sed -n 's/.*started pid=\([0-9]*\).*/\1/p' | sort -u); do
    wine taskkill /F /PID "$pid" >/dev/null 2>&1 || true
  done
  rm -f "$bench_dir"/logs/*.log
}

cleanup() {
  if [[ -n ${bench_dir:-} && -d $bench_dir ]]; then
    end_standins
    if [[ -n ${NJ_BENCH_KEEP:-} ]]; then
      nj_log "kept $bench_dir"
    else
      rm -rf "$bench_dir"
    fi
  fi
}

# nightjar.com with its output in files, as a nightly job has it: under wine, a program the batch
# starts holds the unix ends of its parent's output, so a pipe would stay open until it exits.
nightjar() {
  local name=$1
  shift
  (cd "$bench_dir/work" && timeout "$kRunLimitS" wine "$bench_dir/bin/nightjar.com" "$@" \
    </dev/null >"$bench_dir/$name.out" 2>"$bench_dir/$name.err")
}

# Starts `count` stand-ins, each with a log of its own, and waits until each offers its service.
start_standins() {
  local count=$1 k log waited
  for ((k = 1; k <= count; ++k)); do
    log="$bench_dir/logs/standin-$k.log"
    wine "$bench_dir/bin/ide-standin.exe" "--write_delay_ms=$kWriteDelayMs" "--log=$(windows_path "$log")" \
      </dev/null >/dev/null 2>&1 &
    for ((waited = 0; waited < kReadyLimitS * 10; ++waited)); do
      grep -q 'ready service=' "$log" 2>/dev/null && break
      sleep 0.1
    done
    if ! grep -q 'ready service=' "$log" 2>/dev/null; then
      echo "scripts/bench-batch.sh: stand-in $k did not offer its service within ${kReadyLimitS}s" >&2
      return 1
    fi
  done
}

pool_bench() {
  local list=$1 n
  local -a counts
  IFS=, read -r -a counts <<<"$list"
  if [[ ${#counts[@]} -eq 0 ]]; then
    echo "scripts/bench-batch.sh: --ides needs counts of IDEs, e.g. --ides=1,2,4" >&2
    exit 2
  fi
  for n in "${counts[@]}"; do
    if ! [[ $n =~ ^[0-9]+$ ]] || ((n < 1 || n > 16)); then
      echo "scripts/bench-batch.sh: --ides takes counts from 1 to 16, not \"$n\"" >&2
      exit 2
    fi
  done

  configure
  nj_log "building nightjar.com and the IDE stand-in in $build"
  cmake --build "$build" --target nightjar_com ide-standin -j "$NJ_JOBS" >/dev/null
  local nightjar_com standin_exe
  nightjar_com=$(find_exe nightjar.com)
  standin_exe=$(find_exe ide-standin.exe)
  if [[ -z $nightjar_com || -z $standin_exe ]]; then
    echo "scripts/bench-batch.sh: nightjar.com or ide-standin.exe was not built ($build)" >&2
    exit 1
  fi
  nj_prepare_prefix "${WINEPREFIX:-$NJ_ROOT/build/wineprefix}" null

  bench_dir=$(mktemp -d "${TMPDIR:-/tmp}/nightjar-bench-XXXXXX")
  trap cleanup EXIT
  mkdir -p "$bench_dir/bin" "$bench_dir/work" "$bench_dir/apps" "$bench_dir/logs"
  cp "$nightjar_com" "$bench_dir/bin/nightjar.com"
  cp "$standin_exe" "$bench_dir/bin/ide-standin.exe"
  # Instances the batch starts itself write as slowly, and log where they can be found and ended.
  printf 'write_delay_ms=%s\nlog=%s\n' "$kWriteDelayMs" "$(windows_path "$bench_dir/logs/started.log")" \
    >"$bench_dir/bin/ide-standin.ini"

  nj_log "seeding $((kFolders * kAppsPerFolder)) applications in $kFolders folders under $bench_dir/apps"
  local folder app
  for ((folder = 1; folder <= kFolders; ++folder)); do
    local dir
    dir=$(printf '%s/apps/F%02d' "$bench_dir" "$folder")
    mkdir -p "$dir"
    for ((app = 1; app <= kAppsPerFolder; ++app)); do
      printf 'PROGRAM\n' >"$(printf '%s/A%02d_%d.APP' "$dir" "$folder" "$app")"
    done
    if ! nightjar add add "$(windows_path "$dir")\\*.APP"; then
      echo "scripts/bench-batch.sh: nightjar.com add failed: $(cat "$bench_dir/add.err")" >&2
      exit 1
    fi
  done

  local -a times made codes
  local i start end
  for i in "${!counts[@]}"; do
    n=${counts[$i]}
    nj_log "making $((kFolders * kAppsPerFolder)) applications with --ides $n"
    start_standins "$n"
    start=$(seconds_now)
    set +e
    nightjar "run-$n" run make-exe --all --ides "$n" --ide "$(windows_path "$bench_dir/bin/ide-standin.exe")"
    codes[i]=$?
    set -e
    end=$(seconds_now)
    times[i]=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.1f", e - s }')
    made[i]=$(grep -c 'Make Finished' "$bench_dir/run-$n.out" || true)
    if ((codes[i] != 0)); then
      echo "scripts/bench-batch.sh: the run with $n IDEs exited ${codes[i]}: $(tail -n 3 "$bench_dir/run-$n.err")" >&2
    fi
    end_standins
  done

  local one=""
  for i in "${!counts[@]}"; do
    [[ ${counts[$i]} == 1 ]] && one=${times[$i]}
  done
  printf '\n%d applications in %d folders, each executable written %d ms after its command\n' \
    "$((kFolders * kAppsPerFolder))" "$kFolders" "$kWriteDelayMs"
  printf '%-6s %10s %8s %12s %6s\n' IDEs seconds made 'ratio to 1' exit
  local ratio four=""
  for i in "${!counts[@]}"; do
    ratio=-
    [[ -n $one ]] && ratio=$(awk -v t="${times[$i]}" -v o="$one" 'BEGIN { printf "%.2f", t / o }')
    [[ ${counts[$i]} == 4 ]] && four=$ratio
    printf '%-6s %10s %8s %12s %6s\n' "${counts[$i]}" "${times[$i]}" "${made[$i]}/$((kFolders * kAppsPerFolder))" \
      "$ratio" "${codes[$i]}"
  done
  if [[ -n $one && -n $four && $four != - ]]; then
    if awk -v r="$four" 'BEGIN { exit !(r <= 0.30) }'; then
      printf 'target met: 4 IDEs take %s of the time of 1 (at most 0.30)\n' "$four"
    else
      printf 'target NOT met: 4 IDEs take %s of the time of 1 (at most 0.30)\n' "$four"
    fi
  fi
}

ides=""
window_args=()
for argument in "$@"; do
  case $argument in
    --ides=*) ides=${argument#--ides=} ;;
    --apps=* | --write_delay_ms=* | --limit_s=* | --changed=*) window_args+=("$argument") ;;
    -h | --help)
      sed -n '2,22p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
      exit 0
      ;;
    *)
      echo "scripts/bench-batch.sh: unknown argument \"$argument\" (--help lists them)" >&2
      exit 2
      ;;
  esac
done
if [[ ${#window_args[@]} -gt 0 ]]; then
  if [[ -n $ides ]]; then
    echo "scripts/bench-batch.sh: --ides runs nightjar.com alone; it does not go with ${window_args[*]}" >&2
    exit 2
  fi
  window_bench "${window_args[@]}"
else
  pool_bench "${ides:-1,2,4}"
fi
