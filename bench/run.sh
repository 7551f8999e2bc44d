#!/usr/bin/env bash
# Gathers the corpora (once), runs codec_bench from the native-release build, then times
# the engine build's decoder under Wine on the same blocks: the x86 engine's where this
# host runs 32-bit Windows programs, the x64 engine's where it cannot, or as
# HALVARD_ENGINE=x86|x64 says.
#   bench/run.sh [scale 0..1 of the corpora, default 1] [codec_bench options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
scale=${1:-1}
shift || true
corpora="$root/build/bench-corpora"
blocks="$root/build/bench-blocks"
source "$root/bench/engine.sh"
choose_engine bench/run.sh yes

[ -d "$corpora/winbin" ] || "$root/bench/gather_corpora.sh" "$corpora" "$scale"
cmake --preset native-release >/dev/null
cmake --build --preset native-release -j2 --target codec_bench
"$root/build/native-release/bench/codec_bench" --write-blocks "$blocks" "$@" \
  "$corpora/winbin" "$corpora/docs" "$corpora/mixed"

echo
echo "$engine engine build under Wine:"
cmake --preset $preset >/dev/null
cmake --build --preset $preset -j2 --target decode_bench
# zlib's inflate in the same process, when the cross toolchain's sysroot has the DLL of
# the engine's architecture (Debian: libz-mingw-w64, both architectures).
triple=$([ $engine = x86 ] && echo i686-w64-mingw32 || echo x86_64-w64-mingw32)
for dll in /usr/$triple/lib/zlib1.dll /usr/$triple/bin/zlib1.dll ""; do
  if [ -z "$dll" ]; then
    echo "no zlib1.dll under /usr/$triple: the zlib column stays empty"
    rm -f "$root/build/$preset/bench/zlib1.dll"
  elif [ -f "$dll" ]; then
    cp "$dll" "$root/build/$preset/bench/"
    break
  fi
done
"$root/scripts/wine-run.sh" $wine_flag "$root/build/$preset/bench/decode_bench.exe" "$blocks"/*.blocks
