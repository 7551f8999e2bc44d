# Sourced by the scripts that run Windows programs: a private Wine prefix under the
# build folder, quiet Wine, and a prefix made once (under a lock, as ctest may run
# several tests at once).
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${HALVARD_WINEPREFIX:-$root/build/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
export WINEARCH=win64

ensure_wine_prefix() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    # Bump the marker's name whenever the prefix's settings change: old prefixes are rebuilt.
    if [ ! -f "$WINEPREFIX/.halvard-ready-2" ]; then
      rm -rf "$WINEPREFIX"
      echo "wine: creating the test prefix $WINEPREFIX" >&2
      DISPLAY= timeout 300 wineboot --init >/dev/null 2>&1
      # Windows-side tests make windows with no display: Wine's null driver gives them one.
      DISPLAY= timeout 60 wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
      timeout 120 wineserver --wait
      touch "$WINEPREFIX/.halvard-ready-2"
    fi
  ) 9>"$WINEPREFIX.lock"
}
