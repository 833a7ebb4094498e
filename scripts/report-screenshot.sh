#!/usr/bin/env bash
# The README's picture of the HTML batch report: builds the native tool report-sample, which writes
# the report of a made-up nightly (20 applications over 3 IDEs, 2 not made, 1 much slower than last
# time), shows it in headless Chromium from the distribution's packages (installed if missing) and
# saves the screenshot as docs/report.png, then checks that the picture is not blank.
# Run by hand; no part of scripts/test.sh, so CI needs no browser.
#   scripts/report-screenshot.sh [OUTPUT.png]   (default docs/report.png)
set -euo pipefail

NJ_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$NJ_ROOT"
# shellcheck source=scripts/common.sh
source "$NJ_ROOT/scripts/common.sh"

output=${1:-docs/report.png}
width=1280
height=${NJ_REPORT_HEIGHT:-1400}

# What the native build and the picture need, not the Windows toolchain.
NJ_PACKAGES=(cmake make gcc g++ libgtest-dev googletest libsqlite3-dev libcli11-dev chromium imagemagick fonts-dejavu-core)
nj_ensure_packages

nj_log "building report-sample in build/native"
cmake -S "$NJ_ROOT" -B "$NJ_ROOT/build/native" >/dev/null
cmake --build "$NJ_ROOT/build/native" --target report-sample -j "$NJ_JOBS" >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
page="$work/report.html"
"$NJ_ROOT/build/native/tools/report-sample/report-sample" "$page"

# The page must parse as XML before any browser sees it: what the test checks, checked again here.
xmllint --noout "$page"

nj_log "screenshot of $page (${width}x${height})"
mkdir -p "$(dirname "$output")"
rm -f "$output"
# --no-sandbox: Chromium's sandbox refuses to run as root, as CI containers often do; the page is
# our own. A profile of its own keeps the run from touching the user's.
chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --user-data-dir="$work/profile" \
  --window-size="$width,$height" --screenshot="$output" "file://$page" >"$work/chromium.log" 2>&1 || {
  cat "$work/chromium.log" >&2
  echo "scripts/report-screenshot.sh: chromium failed" >&2
  exit 1
}

# Not blank: a page drawn with its colours has hundreds of them; a blank or failed render has one
# or two.
if [[ ! -s $output ]]; then
  echo "scripts/report-screenshot.sh: no screenshot was written to $output" >&2
  exit 1
fi
colours=$(identify -format '%k' "$output")
spread=$(convert "$output" -colorspace Gray -format '%[fx:standard_deviation]' info:)
if (( colours < 32 )) || awk -v s="$spread" 'BEGIN { exit !(s < 0.02) }'; then
  echo "scripts/report-screenshot.sh: $output looks blank ($colours colours, spread $spread)" >&2
  exit 1
fi
nj_log "wrote $output: $(identify -format '%wx%h' "$output"), $colours colours"
