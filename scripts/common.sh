# Shared helpers for scripts/test.sh and scripts/run.sh (sourced, not run): installing what the two
# builds need, configuring and building them, and preparing wine prefixes.
# Expects NJ_ROOT to be the repository root.
# shellcheck shell=bash

NJ_JOBS=2

# Packages both builds need on Debian 12. The native ones are usually present already; the Windows
# ones (mingw-w64, wine, xvfb) usually are not. tcl and dpkg-dev serve cmake/fetch_sqlite.sh;
# libxml2-utils (xmllint) validates the console's JUnit reports against their schema; libcli11-dev
# (headers only) reads nightjar.com's options in both builds.
NJ_PACKAGES=(
  cmake make gcc g++ libgtest-dev googletest libbenchmark-dev libsqlite3-dev libcli11-dev
  g++-mingw-w64-x86-64-posix wine wine64 xvfb xauth imagemagick fonts-wine fonts-liberation dpkg-dev tcl
  python3 libxml2-utils
)

nj_log() {
  printf '== %s\n' "$*" >&2
}

# Installs the packages of NJ_PACKAGES that are missing; does not touch apt at all when none is.
nj_ensure_packages() {
  local missing=() pkg
  for pkg in "${NJ_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  if [[ ${#missing[@]} -eq 0 ]]; then
    return 0
  fi
  local sudo=()
  if [[ $(id -u) -ne 0 ]]; then
    if command -v sudo >/dev/null 2>&1; then
      sudo=(sudo)
    else
      echo "missing packages: ${missing[*]}; install them as root (apt-get install ${missing[*]})" >&2
      return 1
    fi
  fi
  nj_log "installing: ${missing[*]}"
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq || return 1
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${missing[@]}" || return 1
}

# nj_build native|windows: configures (first time) and builds build/<name>.
nj_build() {
  local name=$1 dir="$NJ_ROOT/build/$1" args=()
  if [[ $name == windows ]]; then
    args+=(-DCMAKE_TOOLCHAIN_FILE="$NJ_ROOT/cmake/mingw-w64.cmake")
  fi
  nj_log "configuring build/$name"
  cmake -S "$NJ_ROOT" -B "$dir" "${args[@]}" || return 1
  nj_log "building build/$name"
  cmake --build "$dir" -j "$NJ_JOBS" || return 1
}

# The environment every wine call of ours runs with. The DLL overrides keep wine from offering to
# install its .NET and HTML engines, which Nightjar does not use and which would stall a headless run.
nj_wine_env() {
  export WINEPREFIX=$1
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
  export WINEARCH=win64
}

# nj_prepare_prefix <dir> null|x11: makes <dir> a 64-bit wine prefix that uses the given graphics
# driver (null: headless, for tests; x11: real windows on $DISPLAY). A marker file records the driver
# and wine version, so an up-to-date prefix costs nothing. A prefix that exists without our marker
# belongs to the user (say, the IDE's own) and is used as it is.
nj_prepare_prefix() {
  local prefix=$1 driver=$2
  local marker="$prefix/.nightjar-prefix"
  local want
  want="driver=$driver wine=$(wine --version 2>/dev/null) fonts=1"
  nj_wine_env "$prefix"
  if [[ -d $prefix && ! -f $marker ]]; then
    if [[ -f $prefix/system.reg ]]; then
      nj_log "using existing wine prefix $prefix as it is"
      return 0
    fi
  fi
  if [[ -f $marker && -f $prefix/system.reg && $(cat "$marker") == "$want" ]]; then
    return 0
  fi
  nj_log "preparing wine prefix $prefix ($driver driver)"
  mkdir -p "$prefix"
  rm -f "$marker"
  # Without a display wineboot cannot show its progress window; it does not need it.
  if [[ $driver == null ]]; then
    DISPLAY='' wineboot --init >/dev/null 2>&1 || return 1
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 || return 1
  else
    wineboot --init >/dev/null 2>&1 || return 1
    # A prefix toggled to null before goes back to the default (X11) driver.
    wine reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f >/dev/null 2>&1 || true
  fi
  # Debian's wine looks for its own fonts (MS Sans Serif, Small Fonts, Tahoma) on a path that does
  # not exist; copied into the prefix they are found, and the windows get the faces they name.
  if [[ -d /usr/share/wine/fonts ]]; then
    mkdir -p "$prefix/drive_c/windows/Fonts"
    cp -f /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
  fi
  # The registry reaches the files in the prefix only when the wine server has finished.
  wineserver -w || return 1
  if [[ $driver == null ]] && ! grep -q '"Graphics"="null"' "$prefix/user.reg"; then
    echo "wine prefix $prefix: setting the null graphics driver did not take" >&2
    return 1
  fi
  echo "$want" >"$marker"
}
