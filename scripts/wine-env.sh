# Sourced by the scripts that run Windows programs: a private Wine prefix under the
# build folder, quiet Wine, and a prefix made once (under a lock, as ctest may run
# several tests at once).
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${HALVARD_WINEPREFIX:-$root/build/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
export WINEARCH=win64
# Wine's 64-bit loader, called directly: the `wine` wrapper starts the 32-bit loader
# whenever it is installed, and that loader cannot run on hosts without 32-bit support.
wine64_loader=/usr/lib/wine/wine64
[ -x "$wine64_loader" ] || wine64_loader=$(command -v wine64 || echo wine64)

ensure_wine_prefix() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    # Bump the marker's name whenever the prefix's settings change: old prefixes are rebuilt.
    if [ ! -f "$WINEPREFIX/.halvard-ready-3" ]; then
      rm -rf "$WINEPREFIX"
      echo "wine: creating the test prefix $WINEPREFIX" >&2
      DISPLAY= timeout 300 "$wine64_loader" wineboot --init >/dev/null 2>&1
      # Windows-side tests make windows with no display: Wine's null driver gives them one.
      DISPLAY= timeout 60 "$wine64_loader" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
      timeout 120 wineserver --wait
      touch "$WINEPREFIX/.halvard-ready-3"
    fi
  ) 9>"$WINEPREFIX.lock"
}

# Whether this host runs 32-bit Windows programs under Wine, found by running one (a
# kernel with 32-bit emulation switched off refuses Wine's 32-bit loader). Prints the
# reason when it does not. HALVARD_HOST_WIN32=no forces the answer "no", to try the
# other kind of host on this one.
host_runs_win32() {
  if [ "${HALVARD_HOST_WIN32:-}" = no ]; then
    echo "HALVARD_HOST_WIN32=no is set"
    return 1
  fi
  local dir=$root/build/host-probe
  mkdir -p "$dir"
  if ! i686-w64-mingw32-gcc -O2 -o "$dir/runs_win32.exe" "$root/scripts/probe/runs_win32.c" 2>"$dir/build.log"; then
    echo "the 32-bit probe did not build: $(head -c 300 "$dir/build.log")"
    return 1
  fi
  ensure_wine_prefix
  local out
  out=$(timeout 120 wine "$dir/runs_win32.exe" 2>&1) || true
  case "$out" in
    *"32-bit Windows code runs"*) return 0 ;;
  esac
  out=$(printf '%s' "$out" | tr -s '\n' ' ' | head -c 300)
  echo "Wine's 32-bit loader cannot run here (${out:-no output}); the kernel likely has 32-bit emulation switched off"
  return 1
}
