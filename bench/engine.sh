# Sourced by the benchmark scripts: which engine they build and time. HALVARD_ENGINE=x86|x64
# chooses, as for the end-to-end tests; unset, the x86 engine where this host runs 32-bit
# Windows programs (what halvard-build ships by default) and the x64 engine where it cannot.
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/wine-env.sh"

# Sets host_win32 (yes|no) and, when no, host_why; probes once.
probe_host() {
  [ -n "${host_win32:-}" ] && return 0
  if host_why=$(host_runs_win32); then
    host_win32=yes host_why=""
  else
    host_win32=no
  fi
}

# choose_engine <benchmark name> <whether it runs the engine under Wine: yes|no>
# Sets engine (x86|x64), preset, engine_exe, wine_flag (wine-run.sh's loader choice) and
# engine_reason, and prints which engine the benchmark measures and why.
choose_engine() {
  local name=$1 under_wine=$2 reason
  case "${HALVARD_ENGINE:-}" in
    x86 | x64)
      engine=$HALVARD_ENGINE
      reason="HALVARD_ENGINE=$engine"
      if [ "$engine" = x86 ] && [ "$under_wine" = yes ]; then
        probe_host
        if [ "$host_win32" = no ]; then
          echo "$name: HALVARD_ENGINE=x86, but this host runs no 32-bit Windows programs: $host_why" >&2
          exit 1
        fi
      fi
      ;;
    "")
      probe_host
      if [ "$host_win32" = yes ]; then
        engine=x86 reason="this host runs 32-bit Windows programs; HALVARD_ENGINE=x64 measures the other"
      else
        engine=x64 reason="this host runs no 32-bit Windows programs: $host_why"
      fi
      ;;
    *)
      echo "$name: HALVARD_ENGINE=$HALVARD_ENGINE: the engines are x86 and x64" >&2
      exit 2
      ;;
  esac
  if [ "$engine" = x86 ]; then
    preset=win32 engine_exe=$root/build/win32/src/halvard-engine.exe wine_flag=""
  else
    preset=win64 engine_exe=$root/build/win64/src/halvard-engine-x64.exe wine_flag=--64
  fi
  engine_reason=$reason
  echo "$name: measuring the $engine engine ($reason)"
}

# Sets builder: HALVARD_BUILD when given, else the native-release halvard-build, built first.
choose_builder() {
  builder=${HALVARD_BUILD:-}
  if [ -z "$builder" ]; then
    cmake --preset native-release >/dev/null
    cmake --build --preset native-release -j2 --target halvard-build >&2
    builder="$root/build/native-release/tools/builder/halvard-build"
  fi
}
