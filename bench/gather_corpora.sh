#!/usr/bin/env bash
# Gathers benchmark corpora from files on this machine that this repository did not write:
#   winbin  Windows PE files that Wine ships for i386, or for x86_64 where the i386 part
#           of Wine is not installed                      (default about 150 MB)
#   docs    text from /usr/share/doc and the manual pages  (default about 50 MB)
#   mixed   about 2,000 files of both plus already-compressed images and archives
# Usage: bench/gather_corpora.sh [out dir, default build/bench-corpora] [scale 0..1, default 1]
# Each corpus is a folder of copies; the same machine gives the same selection.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build/bench-corpora}
scale=${2:-1}
mb() { awk -v s="$scale" -v m="$1" 'BEGIN { printf "%d", s * m * 1048576 }'; }

# copy_until <dest> <byte budget> <max files> : copies files named on stdin in order.
copy_until() {
  local dest=$1 budget=$2 max=$3 total=0 count=0
  mkdir -p "$dest"
  while IFS= read -r f; do
    [ -f "$f" ] && [ -r "$f" ] || continue
    local size
    size=$(stat -c %s "$f")
    [ "$size" -gt 0 ] || continue
    [ $((total + size)) -le "$budget" ] || continue
    cp "$f" "$dest/$(printf '%05d' $count)_$(basename "$f")"
    total=$((total + size))
    count=$((count + 1))
    [ "$count" -lt "$max" ] || break
  done
  echo "  $(basename "$dest"): $count files, $((total / 1048576)) MB" >&2
}

# Hosts without 32-bit support often have no wine32: their Wine's own PE files are x86_64.
winbin_dir=/usr/lib/i386-linux-gnu/wine/i386-windows
if [ -z "$(find "$winbin_dir" -type f -iname '*.dll' -print -quit 2>/dev/null)" ]; then
  winbin_dir=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
  echo "winbin: no i386 Wine DLLs in /usr/lib/i386-linux-gnu/wine/i386-windows; using the x86_64 ones in $winbin_dir" >&2
fi
winbin_files() {
  find "$winbin_dir" -type f \
    \( -iname '*.dll' -o -iname '*.exe' -o -iname '*.sys' -o -iname '*.drv' -o -iname '*.ocx' -o -iname '*.cpl' \) \
    2>/dev/null | sort
}
docs_files() {
  find /usr/share/doc -type f ! -name '*.gz' ! -name '*.bz2' ! -name '*.xz' 2>/dev/null | sort
}
man_pages() { find /usr/share/man/man1 /usr/share/man/man3 /usr/share/man/man5 /usr/share/man/man8 -type f -name '*.gz' 2>/dev/null | sort; }
compressed_files() {
  find /usr/share -type f \( -iname '*.png' -o -iname '*.jpg' -o -iname '*.gz' -o -iname '*.zip' -o -iname '*.xz' \) \
    -size +8k 2>/dev/null | sort
}

rm -rf "$out"
mkdir -p "$out"
echo "gathering corpora into $out" >&2
winbin_files | copy_until "$out/winbin" "$(mb 150)" 100000
# Text: documentation files as they are, manual pages unpacked.
docs_budget=$(mb 50)
docs_files | copy_until "$out/docs" "$((docs_budget * 6 / 10))" 100000
mkdir -p "$out/docs"
total=$(du -sb "$out/docs" | cut -f1)
while IFS= read -r f && [ "$total" -lt "$docs_budget" ]; do
  dest="$out/docs/man_$(basename "$f" .gz)"
  gzip -dc "$f" >"$dest" 2>/dev/null || { rm -f "$dest"; continue; }
  total=$((total + $(stat -c %s "$dest")))
done < <(man_pages)
echo "  docs: $((total / 1048576)) MB with manual pages" >&2
# Mixed: every fourth binary and every third text, plus compressed images and archives.
mkdir -p "$out/mixed"
small() { while IFS= read -r f; do [ "$(stat -c %s "$f")" -le 1048576 ] && echo "$f"; done; }
# "head" ends each list early on purpose; what it cuts off is not a failure.
set +o pipefail
{ winbin_files | small | awk 'NR % 2 == 0' | head -n 600
  docs_files | awk 'NR % 3 == 0' | head -n 1100
  compressed_files | small | head -n 300; } | sort -R --random-source=<(yes) | copy_until "$out/mixed" "$(mb 120)" 2000
