#!/usr/bin/env bash
# The batch benchmarks, run under wine against the IDE stand-in.
#
# scripts/bench-batch.sh [--ides=1,2,4] [--ack=at-once,after-make] [--apps=60 --folders=12]
#                        [--write_delay_ms=1000]
#   Several IDEs at once: --apps applications spread over --folders folders made by `nightjar.com
#   run make-exe --all --ides N`, once for each N given (default 1, 2 and 4), against N stand-ins
#   started beforehand (each with a log of its own), with --ide naming the stand-in's program. Each
#   make takes --write_delay_ms, and --ack says when the stand-ins acknowledge a command: at-once
#   (the default), writing the executable that long after; or after-make, making inside the DDE
#   call for that long and acknowledging once the executable is written. Both modes are run when
#   both are given. Prints each run's time, what it made, and its ratio to the run with 1 IDE of
#   the same mode. Target: 4 IDEs take at most 0.3 of the time of 1 (0.25 is the ideal).
#
# scripts/bench-batch.sh --apps=N [--write_delay_ms=N] [--limit_s=N] [--changed=N]
#   One batch's overhead per application (bench_batch.exe): a "Gen & Make (.EXE)" batch of N
#   (e.g. 20) tagged applications in nightjar.exe's window; with --changed=N the nightly run with
#   only changed instead: nightjar.com makes every application, N of the .APP files are touched,
#   and `run make-exe --all --changed` is timed against its target (N makes + 0.1 s an application),
#   e.g. scripts/bench-batch.sh --apps=60 --changed=3
#
# scripts/bench-batch.sh --quick
#   Each of the above once on a small input (CI runs it from scripts/test.sh, so that none rots
#   unseen): exits non-zero when any of them could not run or did not make every application.
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
readonly kReadyLimitS=60 kRunLimitS=900

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

# The stand-in's settings for acknowledgement mode $1 and a make of $2 ms, one "key=value" a line.
standin_settings() {
  case $1 in
    at-once) printf 'write_delay_ms=%s\n' "$2" ;;
    after-make) printf 'ack_delay_ms=%s\nwrite_at_ack=1\n' "$2" ;;
  esac
}

# Starts `count` stand-ins with the settings of mode $2, each with a log of its own, and waits
# until each offers its service.
start_standins() {
  local count=$1 mode=$2 k log waited
  local -a settings
  mapfile -t settings < <(standin_settings "$mode" "$make_ms" | sed 's/^/--/')
  # Instances the batch starts itself behave alike, and log where they can be found and ended.
  { standin_settings "$mode" "$make_ms"; printf 'log=%s\n' "$(windows_path "$bench_dir/logs/started.log")"; } \
    >"$bench_dir/bin/ide-standin.ini"
  for ((k = 1; k <= count; ++k)); do
    log="$bench_dir/logs/standin-$k.log"
    wine "$bench_dir/bin/ide-standin.exe" "${settings[@]}" "--log=$(windows_path "$log")" \
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

# pool_bench IDE-COUNTS ACK-MODES APPS FOLDERS MAKE-MS: prints a table for each mode; returns
# non-zero when a run did not end cleanly or did not make every application.
pool_bench() {
  local list=$1 modes_list=$2 apps=$3 folders=$4 n mode
  make_ms=$5
  local -a counts modes
  IFS=, read -r -a counts <<<"$list"
  IFS=, read -r -a modes <<<"$modes_list"
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
  for mode in "${modes[@]}"; do
    if [[ $mode != at-once && $mode != after-make ]]; then
      echo "scripts/bench-batch.sh: --ack takes at-once, after-make or both, not \"$mode\"" >&2
      exit 2
    fi
  done
  for n in "$apps" "$folders" "$make_ms"; do
    if ! [[ $n =~ ^[0-9]+$ ]] || ((n < 1)); then
      echo "scripts/bench-batch.sh: --apps, --folders and --write_delay_ms take numbers above 0, not \"$n\"" >&2
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

  nj_log "seeding $apps applications in $folders folders under $bench_dir/apps"
  local folder app
  for ((app = 0; app < apps; ++app)); do
    folder=$(printf '%s/apps/F%02d' "$bench_dir" $((app % folders + 1)))
    mkdir -p "$folder"
    printf 'PROGRAM\n' >"$(printf '%s/A%03d.APP' "$folder" "$app")"
  done
  for folder in "$bench_dir"/apps/F*; do
    if ! nightjar add add "$(windows_path "$folder")\\*.APP"; then
      echo "scripts/bench-batch.sh: nightjar.com add failed: $(cat "$bench_dir/add.err")" >&2
      exit 1
    fi
  done

  local failed=0 i start end one four ratio
  local -a times made codes
  for mode in "${modes[@]}"; do
    for i in "${!counts[@]}"; do
      n=${counts[$i]}
      nj_log "making $apps applications with --ides $n, acknowledged $mode"
      start_standins "$n" "$mode"
      start=$(seconds_now)
      set +e
      nightjar "run-$mode-$n" run make-exe --all --ides "$n" --ide "$(windows_path "$bench_dir/bin/ide-standin.exe")"
      codes[i]=$?
      set -e
      end=$(seconds_now)
      times[i]=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.1f", e - s }')
      made[i]=$(grep -c 'Make Finished' "$bench_dir/run-$mode-$n.out" || true)
      if ((codes[i] != 0 || made[i] != apps)); then
        echo "scripts/bench-batch.sh: the run with $n IDEs ($mode) exited ${codes[i]} having made ${made[i]}" \
          "of $apps: $(tail -n 3 "$bench_dir/run-$mode-$n.err")" >&2
        failed=1
      fi
      end_standins
    done

    one="" four=""
    for i in "${!counts[@]}"; do
      [[ ${counts[$i]} == 1 ]] && one=${times[$i]}
    done
    printf '\n%d applications in %d folders, %d ms a make, acknowledged %s\n' "$apps" "$folders" "$make_ms" "$mode"
    printf '%-6s %10s %8s %12s %6s\n' IDEs seconds made 'ratio to 1' exit
    for i in "${!counts[@]}"; do
      ratio=-
      [[ -n $one ]] && ratio=$(awk -v t="${times[$i]}" -v o="$one" 'BEGIN { printf "%.2f", t / o }')
      [[ ${counts[$i]} == 4 ]] && four=$ratio
      printf '%-6s %10s %8s %12s %6s\n' "${counts[$i]}" "${times[$i]}" "${made[$i]}/$apps" "$ratio" "${codes[$i]}"
    done
    if [[ -n $one && -n $four ]]; then
      if awk -v r="$four" 'BEGIN { exit !(r <= 0.30) }'; then
        printf 'target met (%s): 4 IDEs take %s of the time of 1 (at most 0.30)\n' "$mode" "$four"
      else
        printf 'target NOT met (%s): 4 IDEs take %s of the time of 1 (at most 0.30)\n' "$mode" "$four"
      fi
    fi
  done
  return "$failed"
}

# Each benchmark once on a small input, each in a process of its own; fails when any failed.
quick() {
  local failed=() run
  local -a runs=(
    "--ides=1,2 --ack=at-once,after-make --apps=4 --folders=2 --write_delay_ms=200"
    "--apps=2 --write_delay_ms=200 --limit_s=120"
    "--apps=3 --changed=1 --write_delay_ms=200 --limit_s=120"
  )
  for run in "${runs[@]}"; do
    nj_log "bench-batch.sh $run"
    # shellcheck disable=SC2086 # each run is a list of arguments
    if ! "${BASH_SOURCE[0]}" $run; then failed+=("$run"); fi
  done
  if ((${#failed[@]} > 0)); then
    printf 'scripts/bench-batch.sh --quick: failed: %s\n' "${failed[@]}" >&2
    return 1
  fi
  nj_log "bench-batch.sh --quick: each benchmark ran"
}

ides="" ack="" apps="" folders="" make_ms=""
window_args=()
for argument in "$@"; do
  case $argument in
    --quick)
      quick
      exit
      ;;
    --ides=*) ides=${argument#--ides=} ;;
    --ack=*) ack=${argument#--ack=} ;;
    --folders=*) folders=${argument#--folders=} ;;
    --apps=*) apps=${argument#--apps=} window_args+=("$argument") ;;
    --write_delay_ms=*) make_ms=${argument#--write_delay_ms=} window_args+=("$argument") ;;
    --limit_s=* | --changed=*) window_args+=("$argument") ;;
    -h | --help)
      sed -n '2,/^set -euo/p' "${BASH_SOURCE[0]}" | sed '$d; s/^# \{0,1\}//'
      exit 0
      ;;
    *)
      echo "scripts/bench-batch.sh: unknown argument \"$argument\" (--help lists them)" >&2
      exit 2
      ;;
  esac
done
if [[ -n $ides || -n $ack || -n $folders || ${#window_args[@]} -eq 0 ]]; then
  for argument in "${window_args[@]}"; do
    if [[ $argument == --limit_s=* || $argument == --changed=* ]]; then
      echo "scripts/bench-batch.sh: --ides runs nightjar.com alone; it does not go with $argument" >&2
      exit 2
    fi
  done
  pool_bench "${ides:-1,2,4}" "${ack:-at-once}" "${apps:-60}" "${folders:-12}" "${make_ms:-1000}"
else
  window_bench "${window_args[@]}"
fi
