#!/usr/bin/env python3
"""Installer benchmark: halvard-build against makensis on the same payloads.

For each corpus folder, the same files become one halvard installer per compression level
(--modes, default best and fast) and one NSIS installer (zlib, and solid lzma); each build
is timed (median of --reps interleaved rounds) and the table gives sizes, seconds and
ratios ours/NSIS.
With --large, a generated payload (a file near the 1 GiB a record can hold, plus enough
incompressible data that the region passes 1 GiB) is built with data on disk; the
builder's peak memory is reported and `inspect` must read the result back clean.
This is a benchmark, not a test: it reports figures and fails only when a tool fails.
"""
import argparse
import os
import random
import shutil
import statistics
import struct
import subprocess
import sys
import time
from pathlib import Path

MiB = 1 << 20


class Run:
    def __init__(self, wall, cpu, max_rss_kb, rc, stderr):
        self.wall, self.cpu, self.max_rss_kb, self.rc, self.stderr = wall, cpu, max_rss_kb, rc, stderr


def pe_arch(exe):
    """x86 or x64, from a PE file's machine field: which engine a report measured."""
    with open(exe, "rb") as f:
        head = f.read(4096)
    machine = struct.unpack_from("<H", head, struct.unpack_from("<I", head, 60)[0] + 4)[0]
    return {0x14C: "x86", 0x8664: "x64"}.get(machine, f"machine {machine:#x}")


def run_measured(cmd, cwd=None, stdout=subprocess.DEVNULL):
    """Runs cmd; wall seconds, CPU seconds (user+sys) and peak RSS come from wait4."""
    start = time.perf_counter()
    p = subprocess.Popen(cmd, cwd=cwd, stdout=stdout, stderr=subprocess.PIPE)
    err = p.stderr.read()
    _, status, usage = os.wait4(p.pid, 0)
    wall = time.perf_counter() - start
    p.returncode = os.waitstatus_to_exitcode(status)
    return Run(wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss, p.returncode, err.decode(errors="replace"))


def interleaved(jobs, reps, cwd=None):
    """jobs: name -> (cmd, output). Each round builds every job once, in turn, so that
    load from other work falls on all of them alike; per job the median wall and CPU
    seconds, the peak RSS, the output's size after the last round and the round count."""
    walls = {name: [] for name in jobs}
    cpus = {name: [] for name in jobs}
    rss = dict.fromkeys(jobs, 0)
    for _ in range(reps):
        for name, (cmd, output) in jobs.items():
            if output.exists():
                output.unlink()
            r = run_measured(cmd, cwd=cwd)
            if r.rc != 0:
                sys.exit(f"failed ({r.rc}): {' '.join(map(str, cmd))}\n{r.stderr}")
            walls[name].append(r.wall)
            cpus[name].append(r.cpu)
            rss[name] = max(rss[name], r.max_rss_kb)
    return {name: {"size": output.stat().st_size, "wall": statistics.median(walls[name]),
                   "cpu": statistics.median(cpus[name]), "rss_kb": rss[name], "rounds": reps}
            for name, (_, output) in jobs.items()}


def toml_string(s):
    return '"' + s.replace("\\", "\\\\").replace('"', '\\"') + '"'


def halvard_project(folder, source_dir, mode, data_on_disk=False, uninstaller=False, block_size=None):
    """A project that installs every file under source_dir, names relative to it; with
    `uninstaller`, registered for removal with an uninstaller beside it. Its output is
    setup-{mode}.exe in folder; mode None leaves the level to the builder (setup-default.exe)."""
    rel = os.path.relpath(source_dir, folder)
    options = ('[options]\nproduct_flags_low = ["uninstall_support"]\n'
               'setup_options = ["uninstaller_without_package"]\n\n') if uninstaller else ""
    text = (
        "[product]\n"
        'name = "Bench"\n'
        'install_dir = "Bench"\n\n'
        + options +
        "[[files]]\n"
        f"source = {toml_string(rel + '/**')}\n"
        f"base = {toml_string(rel)}\n\n"
        "[build]\n"
        f'output = "setup-{mode or "default"}.exe"\n'
        + (f'compression = "{mode}"\n' if mode else "")
        + f"data_on_disk = {'true' if data_on_disk else 'false'}\n"
        + (f"block_size = {block_size}\n" if block_size else "")
    )
    path = folder / f"project-{mode or 'default'}{'-uninstall' if uninstaller else ''}.toml"
    path.write_text(text)
    return path


def nsis_script(folder, source_dir, compressor, uninstaller=False):
    """Installs the same tree into $INSTDIR, no pages beyond the default; with
    `uninstaller`, writes one that removes $INSTDIR whole."""
    tag = compressor.replace("/SOLID ", "solid-") + ("-uninstall" if uninstaller else "")
    out = folder / f"nsis-{tag}.exe"
    text = (
        "Unicode true\n"
        f"SetCompressor /FINAL {compressor}\n"
        'Name "Bench"\n'
        f'OutFile "{out}"\n'
        'InstallDir "$PROGRAMFILES\\Bench"\n'
        "RequestExecutionLevel user\n"
        "Section\n"
        "  SetOutPath $INSTDIR\n"
        f'  File /r "{source_dir}/*"\n'
        + ('  WriteUninstaller "$INSTDIR\\uninst.exe"\n' if uninstaller else "")
        + "SectionEnd\n"
        + ('Section "Uninstall"\n  RMDir /r "$INSTDIR"\nSectionEnd\n' if uninstaller else "")
    )
    path = folder / f"nsis-{tag}.nsi"
    path.write_text(text)
    return path, out


def payload_size(folder):
    total = count = 0
    for root, _, files in os.walk(folder):
        for f in files:
            total += os.path.getsize(os.path.join(root, f))
            count += 1
    return count, total


def corpus_rows(args, corpus, modes=("best", "fast")):
    src = Path(args.corpora) / corpus
    work = Path(args.work) / corpus
    work.mkdir(parents=True, exist_ok=True)
    count, total = payload_size(src)
    print(f"{corpus}: {count} files, {total / MiB:.1f} MiB", file=sys.stderr, flush=True)
    jobs = {}
    for mode in modes:
        project = halvard_project(work, src, mode)
        jobs[f"halvard {mode}"] = ([args.builder, "build", str(project), "--engine", args.engine],
                                   work / f"setup-{mode}.exe")
    for compressor in ("zlib", "/SOLID lzma"):
        script, out = nsis_script(work, src, compressor)
        jobs["nsis " + compressor.replace("/SOLID ", "solid ")] = ([args.makensis, "-V1", str(script)], out)
    rows = interleaved(jobs, args.reps)
    for name, r in rows.items():
        print(f"  {name}: {r}", file=sys.stderr, flush=True)
    if not args.keep:
        shutil.rmtree(work)
    return count, total, rows


def print_corpus_table(results, arch):
    print(f"\n## Installer size and build time, ours with the {arch} engine (median of interleaved rounds; ratios ours/NSIS;"
          " wall time depends on what else the machine runs, CPU time less so)\n")
    print("| corpus | payload MiB | builder | installer MiB | % of payload | build s (wall) | CPU s "
          "| size vs zlib | size vs solid lzma | time vs zlib | time vs solid lzma | CPU vs zlib | CPU vs solid lzma |")
    print("|---|---:|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    for corpus, (count, total, rows) in results.items():
        z, l = rows["nsis zlib"], rows["nsis solid lzma"]
        for name, r in rows.items():
            ratios = ""
            if name.startswith("halvard"):
                ratios = (f"{r['size'] / z['size']:.3f} | {r['size'] / l['size']:.3f} | "
                          f"{r['wall'] / z['wall']:.2f} | {r['wall'] / l['wall']:.2f} | "
                          f"{r['cpu'] / z['cpu']:.2f} | {r['cpu'] / l['cpu']:.2f}")
            else:
                ratios = "| | | | |"
            print(f"| {corpus} ({count} files) | {total / MiB:.1f} | {name} | {r['size'] / MiB:.2f} | "
                  f"{100 * r['size'] / total:.1f} | {r['wall']:.2f} | {r['cpu']:.2f} | {ratios} |")


# --- the large payload ---------------------------------------------------------------

def text_pool(rng, size):
    """Word-like text: compresses roughly as documentation does."""
    words = ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 10)))
             for _ in range(4000)]
    parts, n = [], 0
    while n < size:
        line = " ".join(rng.choices(words, k=rng.randint(4, 14))) + ".\n"
        parts.append(line)
        n += len(line)
    return "".join(parts).encode()[:size]


def write_mixed(path, size, rng, pool, random_share):
    """Stretches of 64 KiB to 8 MiB, each incompressible (random_share of them) or text."""
    with open(path, "wb") as f:
        left = size
        while left:
            n = min(left, rng.randint(64 * 1024, 8 * MiB))
            if rng.random() < random_share:
                f.write(rng.randbytes(n))
            else:
                at = rng.randrange(len(pool) - n) if len(pool) > n else 0
                chunk = pool[at:at + n]
                while len(chunk) < n:
                    chunk += pool[:n - len(chunk)]
                f.write(chunk)
            left -= n


def large_run(args):
    work = Path(args.work) / "large"
    src = work / "payload"
    shutil.rmtree(work, ignore_errors=True)
    src.mkdir(parents=True)
    rng = random.Random(20240611)
    big = args.large_file_mib * MiB
    fill = args.large_fill_mib * MiB
    print(f"large: generating {big / MiB:.0f} MiB mixed + {fill / MiB:.0f} MiB incompressible",
          file=sys.stderr, flush=True)
    t = time.perf_counter()
    pool = text_pool(rng, 16 * MiB)
    write_mixed(src / "big.bin", big, rng, pool, 0.65)
    write_mixed(src / "fill.bin", fill, rng, pool, 1.0)
    (src / "small.txt").write_bytes(pool[:100000])
    gen = time.perf_counter() - t
    count, total = payload_size(src)

    project = halvard_project(work, src, args.large_mode, data_on_disk=True)
    out = work / f"setup-{args.large_mode}.exe"
    build = run_measured([args.builder, "build", str(project), "--engine", args.engine])
    if build.rc != 0:
        print(f"large: halvard-build failed ({build.rc}):\n{build.stderr}", file=sys.stderr)
    info = {}
    inspect = None
    if build.rc == 0:
        with open(work / "inspect.txt", "wb") as report:
            inspect = run_measured([args.builder, "inspect", str(out)], stdout=report)
        for line in (work / "inspect.txt").read_text(errors="replace").splitlines():
            key, _, value = line.strip().partition(": ")
            if key in ("sound", "DataSize", "DataEnd", "FileCount", "size") and key not in info:
                info[key] = value
    print(f"\n## Large payload (data on disk, {pe_arch(args.engine)} engine)\n")
    print(f"- payload: {count} files, {total / MiB:.0f} MiB (big.bin {big} bytes, 65% incompressible "
          f"stretches; fill.bin {fill} bytes incompressible); generated in {gen:.0f} s")
    print(f"- halvard-build build ({args.large_mode}): exit {build.rc}, {build.wall:.1f} s wall, "
          f"{build.cpu:.1f} s CPU, peak RSS {build.max_rss_kb / 1024:.1f} MiB")
    if build.rc == 0:
        size = out.stat().st_size
        region = int(info.get("DataSize", "0"))
        print(f"- output: {size} bytes ({size / MiB:.1f} MiB); region (DataSize) {region} bytes "
              f"({region / MiB:.1f} MiB, {'over' if region > 1 << 30 else 'NOT over'} 1 GiB)")
        print(f"- halvard-build inspect: exit {inspect.rc}, sound: {info.get('sound')}, "
              f"{inspect.wall:.1f} s wall, peak RSS {inspect.max_rss_kb / 1024:.1f} MiB")
        if inspect.rc != 0:
            print(f"  inspect said: {inspect.stderr.strip()[:2000]}")
    if not args.keep:
        shutil.rmtree(work)
    return build.rc == 0 and inspect is not None and inspect.rc == 0


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--builder", required=True)
    ap.add_argument("--engine", required=True)
    ap.add_argument("--makensis", default="makensis")
    ap.add_argument("--corpora", required=True, help="folder holding one folder per corpus")
    ap.add_argument("--corpus", action="append", help="corpus names (default: winbin docs mixed)")
    ap.add_argument("--work", required=True, help="scratch folder for projects and outputs")
    ap.add_argument("--reps", type=int, default=3, help="rounds, each building every installer once")
    ap.add_argument("--modes", default="best,fast", help="halvard-build compression levels, comma-separated")
    ap.add_argument("--no-corpora", action="store_true", help="only the large payload")
    ap.add_argument("--large", action="store_true", help="also the large-payload run")
    ap.add_argument("--large-file-mib", type=int, default=1020)
    ap.add_argument("--large-fill-mib", type=int, default=420)
    ap.add_argument("--large-mode", default="best", choices=["best", "fast"])
    ap.add_argument("--keep", action="store_true", help="keep projects and outputs")
    args = ap.parse_args()

    print(f"makensis {subprocess.run([args.makensis, '-VERSION'], capture_output=True, text=True).stdout.strip()}, "
          f"{os.cpu_count()} CPUs seen, {args.reps} runs per build", file=sys.stderr)
    ok = True
    if not args.no_corpora:
        results = {}
        for corpus in args.corpus or ["winbin", "docs", "mixed"]:
            results[corpus] = corpus_rows(args, corpus, args.modes.split(","))
        print_corpus_table(results, pe_arch(args.engine))
    if args.large:
        ok = large_run(args)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
