#!/usr/bin/env bash
# The performance report in one command (a benchmark, not a test): compression levels and
# block sizes against NSIS, the engine's size, many small files, and install time under
# Wine, side by side on this machine. Writes build/bench-report/report.md and ratios.png.
#   bench/report.sh [--quick] [--only levels,blocks,size,scale,install] [--corpora DIR]
#                   [--levels fast,normal,best] [report.py options...]
# --quick: small corpora, small packages, one round: for trying the script, not for figures.
# --corpora defaults to build/bench-corpora (build/bench-corpora-quick with --quick) and is
# gathered when absent. HALVARD_BUILD=PATH uses that halvard-build; HALVARD_ENGINE=x86|x64
# chooses the engine, as for the other benchmarks. Progress goes to stderr.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
quick=no corpora="" pass=()
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) quick=yes ;;
    --corpora) corpora=$2; shift ;;
    --corpora=*) corpora=${1#--corpora=} ;;
    -h | --help) sed -n '2,10p' "$0"; exit 0 ;;
    *) pass+=("$1") ;;
  esac
  shift
done
source "$root/bench/engine.sh"

py=/usr/bin/python3
"$py" -c 'import matplotlib' 2>/dev/null ||
  { echo "bench/report.sh: matplotlib is missing for the chart: apt-get install python3-matplotlib" >&2; exit 1; }
for tool in makensis wineserver xvfb-run; do
  command -v "$tool" >/dev/null || { echo "$tool not found: scripts/install-deps.sh installs it" >&2; exit 1; }
done
choose_engine bench/report.sh yes >&2
probe_host
peers=()
if [ "$host_win32" = yes ]; then
  host="yes"
else
  host="no ($host_why); NSIS installers are 32-bit, so they are built but not run here"
  peers=(--no-win32)
  # The why is in the host line already.
  [ -n "${HALVARD_ENGINE:-}" ] || engine_reason="this host runs no 32-bit Windows programs"
fi

if [ -z "$corpora" ]; then
  corpora=$root/build/bench-corpora
  [ $quick = yes ] && corpora=$root/build/bench-corpora-quick
fi
if [ ! -d "$corpora/winbin" ]; then
  "$root/bench/gather_corpora.sh" "$corpora" "$([ $quick = yes ] && echo 0.03 || echo 1)"
fi
quick_args=()
[ $quick = yes ] && quick_args=(--reps 1 --block-reps 1 --install-reps 1 --scale 100,300,1000 --scale-reps 1)

choose_builder
cmake --preset $preset >/dev/null
cmake --build --preset $preset -j2 --target halvard-engine >&2

xvfb-run -a "$py" "$root/bench/report.py" --builder "$builder" --engine "$engine_exe" \
  --engine-reason "${engine_reason:-}" --host-win32 "$host" --wine64 "$wine64_loader" "${peers[@]}" \
  --corpora "$corpora" --work "$root/build/bench-report-work" --prefix "$root/build/bench-wine" \
  --out "$root/build/bench-report" "${quick_args[@]}" "${pass[@]}"
