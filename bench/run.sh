#!/usr/bin/env bash
# Gathers the corpora (once), runs codec_bench from the native-release build, then times
# the 32-bit engine decoder under Wine on the same blocks.
#   bench/run.sh [scale 0..1 of the corpora, default 1] [codec_bench options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
scale=${1:-1}
shift || true
corpora="$root/build/bench-corpora"
blocks="$root/build/bench-blocks"

[ -d "$corpora/winbin" ] || "$root/bench/gather_corpora.sh" "$corpora" "$scale"
cmake --preset native-release >/dev/null
cmake --build --preset native-release -j2 --target codec_bench
"$root/build/native-release/bench/codec_bench" --write-blocks "$blocks" "$@" \
  "$corpora/winbin" "$corpora/docs" "$corpora/mixed"

echo
echo "32-bit engine build under Wine:"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j2 --target decode_bench
# zlib's inflate in the same 32-bit process, when the cross toolchain ships the DLL.
[ -f /usr/i686-w64-mingw32/lib/zlib1.dll ] && cp /usr/i686-w64-mingw32/lib/zlib1.dll "$root/build/win32/bench/"
"$root/scripts/wine-run.sh" "$root/build/win32/bench/decode_bench.exe" "$blocks"/*.blocks
