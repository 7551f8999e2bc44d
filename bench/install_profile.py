#!/usr/bin/env python3
"""Where a silent installation's time goes (a profile, not a test).

The corpus becomes one package; after an untimed warm-up, one silent installation runs
under `perf record -a` (the engine's process and the Wine server, which performs most of
the engine's system calls) and one under `strace -f -c` (system calls per file). The
report splits the CPU time of both processes by where it was spent:

  engine code           the engine's own instructions (decoding, file logic); Wine maps
                        the image anonymously, so perf shows it as "[JIT]"
  Wine server           every server round trip (opening, renaming, attributes, waits)
  kernel: directories   reading folders: Wine looks a name up case-insensitively by
                        reading the whole folder when the exact name is not there
  kernel: file data     copying data into the page cache, allocating blocks
  kernel: other         system-call entry, scheduling, memory
  Wine unix side        ntdll.so, win32u.so, libc, X11

Wall time counts waiting for a core too: run it on a quiet machine for a wall figure.
"""
import argparse
import collections
import os
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import install_bench as bench  # noqa: E402  (Wine prefix runner, project writer)

CATEGORIES = [
    ("engine code", lambda comm, dso, sym: dso.startswith("[JIT]")),
    ("Wine server", lambda comm, dso, sym: comm.startswith("wineserver")),
    ("kernel: directories", lambda comm, dso, sym: dso == "[kernel.kallsyms]" and re.search(
        r"dirhash|htree|filldir|readdir|str2hashbuf|dirent|^dx_|check_dir|getdents", sym)),
    ("kernel: file data", lambda comm, dso, sym: dso == "[kernel.kallsyms]" and re.search(
        r"folio|copy_.*iter|_write|ext4_da|block|mpage|bio|page_cache", sym)),
    ("kernel: other", lambda comm, dso, sym: dso == "[kernel.kallsyms]"),
    ("Wine unix side", lambda comm, dso, sym: ".so" in dso),
    ("Wine PE DLLs", lambda comm, dso, sym: dso.lower().endswith(".dll")),
]


def perf_profile(perf_data, comms):
    """{category: share of the two processes' samples}, and their sample count."""
    out = subprocess.run(["perf", "report", "-i", str(perf_data), "--comms", ",".join(comms),
                          "--sort", "comm,dso,sym", "--stdio", "-F", "overhead,sample,comm,dso,sym"],
                         capture_output=True, text=True, check=True).stdout
    shares = collections.Counter()
    samples = 0
    row = re.compile(r"\s*[0-9.]+%\s+(\d+)\s+(\S+)\s+(\[JIT\] tid \d+|\S+)\s+\[.\]\s+(\S+)")
    for line in out.splitlines():
        m = row.match(line)
        if not m:
            continue
        count, comm, dso, sym = int(m.group(1)), m.group(2), m.group(3), m.group(4)
        samples += count
        name = next((n for n, test in CATEGORIES if test(comm, dso, sym)), "other")
        shares[name] += count
    return shares, samples


def strace_counts(path):
    """{syscall: calls} from strace -c output."""
    calls = {}
    for line in Path(path).read_text().splitlines():
        parts = line.split()
        if len(parts) >= 5 and parts[0][0].isdigit() and parts[-1] != "total":
            calls[parts[-1]] = int(parts[3])
    return calls


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--builder", required=True)
    ap.add_argument("--engine", required=True, help="the x64 engine (Wine's 64-bit loader runs it)")
    ap.add_argument("--wine64", default="/usr/lib/wine/wine64")
    ap.add_argument("--corpus", required=True, help="folder of files to install")
    ap.add_argument("--work", required=True)
    ap.add_argument("--prefix", required=True, help="Wine prefix (made if missing)")
    ap.add_argument("--level", default="normal", choices=["fast", "normal", "best"])
    ap.add_argument("--frequency", type=int, default=999, help="perf samples per second and core")
    args = ap.parse_args()
    for tool in ("perf", "strace"):
        if not shutil.which(tool):
            sys.exit(f"{tool} not found (Debian: linux-perf, strace)")

    work = Path(args.work).resolve()
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    src = Path(args.corpus).resolve()
    count, total = bench.ib.payload_size(src)
    project = bench.ib.halvard_project(work, src, args.level)
    built = bench.ib.run_measured([args.builder, "build", str(project), "--engine", args.engine])
    if built.rc != 0:
        sys.exit(f"halvard-build failed ({built.rc}):\n{built.stderr}")
    setup = work / f"setup-{args.level}.exe"

    wine = bench.Wine(args.prefix, args.wine64)
    wine.start()
    try:
        def target(name):
            folder = wine.drive_c / "profile" / name
            shutil.rmtree(folder, ignore_errors=True)
            return bench.windows_folder(wine.drive_c, folder)

        def install(name, wrapper):
            start = time.perf_counter()
            cmd = [*wrapper, args.wine64, str(setup), "/a", f"/d:{target(name)}"]
            rc = subprocess.run(cmd, env=wine.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, timeout=3600).returncode
            if rc != bench.OURS_OK:
                sys.exit(f"the installation ended with {rc}: {' '.join(cmd)}")
            return time.perf_counter() - start

        install("warm-up", [])
        perf_data = work / "perf.data"
        wall = install("perf", ["perf", "record", "-q", "-a", "-F", str(args.frequency), "-o", str(perf_data), "--"])
        trace = work / "strace.txt"
        install("strace", ["strace", "-f", "-c", "-o", str(trace)])
    finally:
        wine.stop()

    comm = setup.name[:15]  # the kernel keeps 15 characters of a process name
    shares, samples = perf_profile(perf_data, [comm, "wineserver64", "wineserver"])
    cpu = samples / args.frequency
    print(f"# Silent installation profile: {count:,} files, {total / bench.MiB:.1f} MiB, level {args.level}")
    print(f"\nwall {wall:.1f} s (perf attached); CPU of engine and Wine server {cpu:.1f} s "
          f"({samples:,} samples at {args.frequency} Hz)\n")
    print("| where | share of CPU | CPU s | per file (ms) |\n|---|---:|---:|---:|")
    for name, n in shares.most_common():
        print(f"| {name} | {n / samples * 100:.1f}% | {n / args.frequency:.2f} | {n / args.frequency / count * 1000:.3f} |")
    calls = strace_counts(trace)
    top = sorted(calls.items(), key=lambda kv: -kv[1])[:12]
    print(f"\nSystem calls of the engine's process per file ({sum(calls.values()):,} in all):\n")
    print("| call | per file |\n|---|---:|")
    for name, n in top:
        print(f"| {name} | {n / count:.1f} |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
