#!/usr/bin/env bash
# The README's test command, also run by CI (.ci/run): installs what is missing, builds build/native
# and build/windows, runs both test suites (the Windows one under wine, headless), runs each
# benchmark once on a small input, and ends with one line "N passed, N failed" counting the
# GoogleTest test cases of both suites and the benchmarks, one each.
#
# Every test registered with add_test is expected to be a GoogleTest executable: each writes an XML
# report (GTEST_OUTPUT), and the reports are summed. A test executable that fails without leaving a
# report (a crash, a time-out) counts as one failed test; so does a build that fails.
set -uo pipefail

NJ_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$NJ_ROOT" || exit 1
# shellcheck source=scripts/common.sh
source "$NJ_ROOT/scripts/common.sh"

# Seconds a single test executable may take before ctest stops it (tests may set their own TIMEOUT).
NJ_TEST_TIMEOUT=${NJ_TEST_TIMEOUT:-300}

started=$SECONDS
total_passed=0
total_failed=0
total_skipped=0
problems=()

# count_reports <dir>: prints "passed failed skipped reports reports_with_failures" for the gtest
# XML reports in <dir>. Disabled tests (status="notrun") count nowhere, skipped ones separately.
count_reports() {
  local dir=$1 f
  local passed=0 failed=0 skipped=0 reports=0 failing_reports=0
  shopt -s nullglob
  for f in "$dir"/*.xml; do
    local counts
    counts=$(awk '
      function finish() {
        if (!open) return
        if (notrun) ;
        else if (failure) failed++
        else if (skip) skipped++
        else passed++
        open = 0
      }
      /<testcase[ >]/ {
        finish()
        open = 1; failure = 0
        notrun = ($0 ~ /status="notrun"/)
        skip = ($0 ~ /result="skipped"/ || $0 ~ /result="suppressed"/)
        if ($0 ~ /\/>[ \t]*$/) finish()
        next
      }
      open && /<failure[ >]/ { failure = 1 }
      open && /<skipped[ >\/]/ { skip = 1 }
      open && /<\/testcase>/ { finish() }
      END { finish(); printf "%d %d %d\n", passed, failed, skipped }
    ' "$f")
    local p q s
    read -r p q s <<<"$counts"
    passed=$((passed + p)); failed=$((failed + q)); skipped=$((skipped + s))
    reports=$((reports + 1))
    if ((q > 0)); then failing_reports=$((failing_reports + 1)); fi
  done
  shopt -u nullglob
  echo "$passed $failed $skipped $reports $failing_reports"
}

# run_suite <name> <xml dir as the test programs see it> [ctest options...]
run_suite() {
  local name=$1 gtest_dir=$2
  shift 2
  local build="$NJ_ROOT/build/$name" results="$NJ_ROOT/build/$name/test-results"
  local log="$build/test-results.log"
  rm -rf "$results"
  mkdir -p "$results"
  nj_log "running the $name suite"
  GTEST_OUTPUT="xml:$gtest_dir" ctest --test-dir "$build" --output-on-failure \
    --timeout "$NJ_TEST_TIMEOUT" "$@" 2>&1 | tee "$log"
  local ctest_status=${PIPESTATUS[0]}

  # How many ctest tests failed, from ctest's own summary ("... 2 tests failed out of 5").
  local ctest_failed=0
  local line
  line=$(grep -Eo '[0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [[ -n $line ]]; then
    ctest_failed=${line%% *}
  elif ((ctest_status != 0)); then
    ctest_failed=1
  fi

  local passed failed skipped reports failing_reports
  read -r passed failed skipped reports failing_reports < <(count_reports "$results")
  # A failed test program that left no failing report crashed, timed out or was no gtest program.
  local unreported=$((ctest_failed - failing_reports))
  if ((unreported > 0)); then
    problems+=("$name: $unreported test program(s) failed without a GoogleTest report (crash or time-out); see the ctest output above")
    failed=$((failed + unreported))
  fi
  if ((ctest_status != 0 && failed == 0)); then
    problems+=("$name: ctest failed (status $ctest_status)")
    failed=1
  fi
  nj_log "$name suite: $passed passed, $failed failed, $skipped skipped ($reports report(s))"
  total_passed=$((total_passed + passed))
  total_failed=$((total_failed + failed))
  total_skipped=$((total_skipped + skipped))
}

# benchmark <name> <command...>: runs a benchmark on a small input, so that none rots unseen; it
# counts as one test, failed when it exits non-zero or reports an error (Google Benchmark's
# "ERROR OCCURRED" leaves its exit code 0).
benchmark() {
  local name=$1 log="$NJ_ROOT/build/bench-$1.log"
  shift
  nj_log "benchmark $name (small input): $*"
  if "$@" >"$log" 2>&1 && ! grep -q 'ERROR OCCURRED' "$log"; then
    total_passed=$((total_passed + 1))
  else
    tail -n 20 "$log" >&2
    problems+=("benchmark $name did not run; see $log")
    total_failed=$((total_failed + 1))
  fi
}

if ! nj_ensure_packages; then
  echo "could not install the packages the builds need" >&2
  echo "0 passed, 1 failed"
  exit 1
fi

native_built=0
windows_built=0
if nj_build native; then native_built=1; else problems+=("the native build failed"); fi
if nj_build windows; then windows_built=1; else problems+=("the Windows build failed"); fi
nj_log "builds done after $((SECONDS - started)) s"

if ((native_built)); then
  run_suite native "$NJ_ROOT/build/native/test-results/" -j "$NJ_JOBS"
  # The files of 1,000 records only; the large ones take minutes to build.
  for name in store browse; do
    benchmark "$name" "$NJ_ROOT/build/native/bench/bench_$name" '--benchmark_filter=/1000(/|$)' \
      --benchmark_min_time=0.01
  done
  benchmark shard "$NJ_ROOT/build/native/bench/bench_shard"
else
  total_failed=$((total_failed + 1))
fi

if ((windows_built)); then
  if nj_prepare_prefix "$NJ_ROOT/build/wineprefix" null; then
    # The test programs are Windows programs: they see the build folder through wine's Z: drive.
    results_dir="$NJ_ROOT/build/windows/test-results/"
    # One at a time: tests under wine may start helper programs (DDE servers) that must not meet.
    run_suite windows "Z:${results_dir//\//\\}" -j 1
    benchmark batch "$NJ_ROOT/scripts/bench-batch.sh" --quick
    # Stop whatever a test left running in the test prefix, so nothing outlives this script.
    wineserver -k 2>/dev/null || true
  else
    problems+=("the wine prefix build/wineprefix could not be prepared")
    total_failed=$((total_failed + 1))
  fi
else
  total_failed=$((total_failed + 1))
fi

for problem in "${problems[@]}"; do
  echo "PROBLEM: $problem" >&2
done
if ((total_skipped > 0)); then
  nj_log "$total_skipped test(s) skipped"
fi
nj_log "test.sh took $((SECONDS - started)) s"
echo "$total_passed passed, $total_failed failed"
if ((total_failed > 0 || ${#problems[@]} > 0)); then
  exit 1
fi
exit 0
