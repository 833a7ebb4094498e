#!/usr/bin/env bash
# The README's run command: installs what is missing, builds build/windows, prepares a wine prefix
# with real (X11) windows, and starts nightjar.exe in the working folder build/run, with the IDE
# stand-in beside it as CW20.exe. Arguments are passed on to nightjar.exe.
#
# The prefix is build/wineprefix-gui, apart from the tests' headless one (build/wineprefix), so that
# tests and an interactive session never flip each other's graphics driver. Set WINEPREFIX to use
# another prefix instead, e.g. the one the IDE is installed in (DDE works only within one prefix).
set -euo pipefail

NJ_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$NJ_ROOT"
# shellcheck source=scripts/common.sh
source "$NJ_ROOT/scripts/common.sh"

if [[ -z ${DISPLAY:-} ]]; then
  cat >&2 <<'EOF'
scripts/run.sh: no X display (DISPLAY is not set); Nightjar is a GUI program.
Run it on a desktop session, or on a virtual display:
    xvfb-run -a scripts/run.sh
(xvfb-run comes with the packages xvfb and xauth; scripts/test.sh installs them.)
EOF
  exit 2
fi

nj_ensure_packages
nj_build windows

prefix=${WINEPREFIX:-$NJ_ROOT/build/wineprefix-gui}
nj_prepare_prefix "$prefix" x11

# Executables land in the build tree's folder for their sources; look them up by name.
find_exe() {
  find "$NJ_ROOT/build/windows" -path "$NJ_ROOT/build/windows/_deps" -prune -o \
    -type f -name "$1" -print | head -n 1
}

nightjar_exe=$(find_exe nightjar.exe)
if [[ -z $nightjar_exe ]]; then
  echo "scripts/run.sh: nightjar.exe was not built (build/windows)" >&2
  exit 1
fi

# The working folder keeps its record files between runs; only the programs are replaced.
run_dir="$NJ_ROOT/build/run"
mkdir -p "$run_dir"
cp -f "$nightjar_exe" "$run_dir/nightjar.exe"
# The console program beside it, for `cd build/run && wine nightjar.com list` and the like.
nightjar_com=$(find_exe nightjar.com)
if [[ -n $nightjar_com ]]; then
  cp -f "$nightjar_com" "$run_dir/nightjar.com"
fi
standin_exe=$(find_exe ide-standin.exe)
if [[ -n $standin_exe ]]; then
  cp -f "$standin_exe" "$run_dir/CW20.exe"
fi

nj_log "starting nightjar.exe in $run_dir (WINEPREFIX=$WINEPREFIX)"
cd "$run_dir"
exec wine nightjar.exe "$@"
