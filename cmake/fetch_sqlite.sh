#!/usr/bin/env bash
# Produces the SQLite amalgamation (sqlite3.c, sqlite3.h) for the Windows build, from Debian's
# source package "sqlite3". Called by cmake/dependencies.cmake at configure time; Debian ships no
# SQLite built for mingw, so we compile the amalgamation ourselves.
#
# Usage: cmake/fetch_sqlite.sh <dest dir>
# Does nothing when <dest dir> already holds the result. Uses a private apt sources list and state
# directory so the system's apt configuration and lists stay untouched.
set -euo pipefail

if [[ $# -ne 1 ]]; then
  echo "usage: $0 <dest dir>" >&2
  exit 2
fi
dest=$(mkdir -p "$1" && cd "$1" && pwd)

if [[ -s "$dest/sqlite3.c" && -s "$dest/sqlite3.h" ]]; then
  exit 0
fi

for tool in apt-get dpkg-source make cc tclsh; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "fetch_sqlite: '$tool' is missing (packages: dpkg-dev, make, gcc, tcl); scripts/test.sh installs them" >&2
    exit 1
  fi
done

apt_dir="$dest/.apt"
work_dir="$dest/.work"
rm -rf "$apt_dir" "$work_dir"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$work_dir"

# Turn the machine's Debian "deb" entries (deb822 .sources files and one-line .list files) into
# "deb-src" lines. Only Debian's own archives: third-party repositories rarely carry sources.
sources_list="$apt_dir/sources.list"
: >"$sources_list"
shopt -s nullglob
for f in /etc/apt/sources.list.d/*.sources; do
  awk '
    function flush() {
      if (types ~ /(^| )deb( |$)/ && uris != "" && suites != "") {
        n = split(uris, u, " "); m = split(suites, s, " ")
        for (i = 1; i <= n; i++) {
          if (u[i] !~ /\/debian(-security)?(\/|$)/) continue
          for (j = 1; j <= m; j++) {
            opt = (signed != "") ? "[signed-by=" signed "] " : ""
            print "deb-src " opt u[i] " " s[j] " " comps
          }
        }
      }
      types = uris = suites = comps = signed = ""
    }
    /^[ \t]*#/ { next }
    /^[ \t]*$/ { flush(); next }
    {
      key = $1; sub(/:$/, "", key); $1 = ""; sub(/^ +/, "")
      if (key == "Types") types = $0
      else if (key == "URIs") uris = $0
      else if (key == "Suites") suites = $0
      else if (key == "Components") comps = $0
      else if (key == "Signed-By") signed = $0
    }
    END { flush() }
  ' "$f" >>"$sources_list"
done
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [[ -f "$f" ]] || continue
  awk '$1 == "deb" { $1 = "deb-src"; print }' "$f" | grep -E ' [^ ]*/debian(-security)?(/[^ ]*)? ' >>"$sources_list" || true
done
if [[ ! -s "$sources_list" ]]; then
  # No Debian entry found: fall back to the main archive of this release.
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
  echo "deb-src http://deb.debian.org/debian $codename main" >"$sources_list"
fi

apt_opts=(
  -o "Dir::Etc::SourceList=$sources_list"
  -o "Dir::Etc::SourceParts=-"
  -o "Dir::State::Lists=$apt_dir/lists"
  -o "Dir::Cache=$apt_dir/cache"
  -o "APT::Sandbox::User=root"
  -qq
)

echo "fetch_sqlite: downloading Debian source package sqlite3 into $dest" >&2
# A source without deb-src indexes only warns here; apt-get source below says whether we got enough.
apt-get "${apt_opts[@]}" update >&2 || echo "fetch_sqlite: apt-get update reported problems" >&2
(cd "$work_dir" && apt-get "${apt_opts[@]}" source sqlite3 2>&1 | { grep -v "^dpkg-source: info:" || true; } >&2)

src_dir=$(find "$work_dir" -mindepth 1 -maxdepth 1 -type d -name 'sqlite3-*' | head -n 1)
if [[ -z "$src_dir" ]]; then
  echo "fetch_sqlite: apt-get source sqlite3 produced no source tree" >&2
  exit 1
fi

# The source package holds SQLite's full tree; the amalgamation is one of its make targets.
log="$dest/build.log"
# cmake exports its (cross) compilers in CC/CXX when it runs us; these tools run on the build machine.
if ! (cd "$src_dir" &&
      env -u CXX -u RC -u CFLAGS -u CPPFLAGS -u LDFLAGS -u LIBS CC=cc ./configure &&
      env -u CXX -u RC -u CFLAGS -u CPPFLAGS -u LDFLAGS -u LIBS make sqlite3.c) >"$log" 2>&1; then
  tail -n 40 "$log" >&2
  echo "fetch_sqlite: building the amalgamation failed; full log in $log" >&2
  exit 1
fi

cp "$src_dir/sqlite3.c" "$src_dir/sqlite3.h" "$dest/"
[[ -f "$src_dir/sqlite3ext.h" ]] && cp "$src_dir/sqlite3ext.h" "$dest/"
basename "$src_dir" >"$dest/SOURCE"
rm -rf "$apt_dir" "$work_dir" "$log"
echo "fetch_sqlite: done ($(cat "$dest/SOURCE"))" >&2
