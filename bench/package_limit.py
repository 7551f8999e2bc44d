#!/usr/bin/env python3
"""The largest package (a benchmark, not a test): a package whose file data comes close to
the format's 2 GiB limit is built (`data_on_disk`: the engine reads its data from the file
rather than loading it), installed silently under Wine and checked byte for byte; a package just past the limit must be refused by the builder with
its message. Prints build and installation times and the engine's peak private memory.

The data is incompressible (the limit counts stored bytes), in files of --file-mib each;
it takes about twice the limit on the disk while it runs. Run through bench/package_limit.sh.
"""
import argparse
import os
import shutil
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import install_bench as wb  # noqa: E402
import installer_bench as ib  # noqa: E402

MiB = ib.MiB
LIMIT = 0x7FFFFFFF  # stored file data a package can hold


def write_random(folder, total, file_mib):
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    left, n = total, 0
    while left > 0:
        size = min(left, file_mib * MiB)
        with open(folder / f"part{n:03d}.bin", "wb") as f:
            for _ in range(size // MiB):
                f.write(os.urandom(MiB))
            f.write(os.urandom(size % MiB))
        left -= size
        n += 1


def build(args, folder, src):
    folder.mkdir(parents=True, exist_ok=True)
    project = ib.halvard_project(folder, src, "fast", data_on_disk=True)
    return ib.run_measured([args.builder, "build", str(project), "--engine", args.engine])


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--builder", required=True)
    ap.add_argument("--engine", required=True)
    ap.add_argument("--wine64", default="/usr/lib/wine/wine64")
    ap.add_argument("--work", type=Path, required=True)
    ap.add_argument("--prefix", required=True)
    ap.add_argument("--below-mib", type=int, default=64, help="how far below the limit the package stays")
    ap.add_argument("--file-mib", type=int, default=256)
    args = ap.parse_args()
    work = args.work.resolve()
    src = work / "files"

    # Past the limit first: the refusal must come before the package is written.
    write_random(src, LIMIT + 16 * MiB, args.file_mib)
    over = build(args, work / "over", src)
    refused = over.rc != 0 and not (work / "over" / "setup-fast.exe").exists()
    print(f"past the limit ({(LIMIT + 16 * MiB) / MiB:,.0f} MiB): exit code {over.rc} after {over.wall:.0f} s, "
          f"{'refused' if refused else 'NOT refused'}: {over.stderr.strip().splitlines()[-1] if over.stderr.strip() else ''}")

    total = LIMIT - args.below_mib * MiB
    write_random(src, total, args.file_mib)
    near = build(args, work / "near", src)
    if near.rc != 0:
        sys.exit(f"near the limit: halvard-build failed ({near.rc}):\n{near.stderr}")
    exe = work / "near" / "setup-fast.exe"
    print(f"near the limit: {total / MiB:,.0f} MiB of files; built in {near.wall:.0f} s (peak RSS "
          f"{near.max_rss_kb / 1024:.0f} MiB); setup.exe {exe.stat().st_size:,} bytes")

    wine = wb.Wine(args.prefix, args.wine64)
    wine.start()
    try:
        m = wb.measure_memory(wine, exe, src, wine.drive_c / "package-limit", True)
    finally:
        wine.stop()
    outcome = m["problem"] or "every file installed, bytes equal"
    print(f"installed in {m['wall']:.0f} s: {outcome}; engine peak private memory "
          f"{m['peak']['private_kb'] / 1024:.0f} MiB (largest file {args.file_mib} MiB)")
    shutil.rmtree(work, ignore_errors=True)
    return 0 if refused and not m["problem"] else 1


if __name__ == "__main__":
    sys.exit(main())
