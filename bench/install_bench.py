#!/usr/bin/env python3
"""Install benchmark under Wine: our setup.exe against an NSIS installer of the same files.

1. Install time: the "mixed" corpus becomes one halvard package per compression mode
   and one NSIS installer (zlib); each installs silently into a fresh folder, --reps
   timed runs per installer after one untimed warm-up, interleaved so that load from
   other work on the machine falls on all of them alike. Median wall seconds, ratio
   ours/NSIS. Every run's result is checked against the corpus (names and sizes).
2. Memory: the engine's peak private memory while installing a package of at least
   1 GiB, with the data in the image (memory mode) and with the data on disk, and for
   reference the mixed package. Wine runs the engine as one Linux process; a thread
   reads /proc/<pid>/smaps every few milliseconds and sums the anonymous pages of every
   mapping outside the executable's image range. That is resident private memory:
   heap, stacks, buffers and Wine's own private pages, without the image however Wine
   maps it. It approximates Windows' private bytes, which also count committed pages
   never touched and do not count Wine's overhead (a one-file package gives that baseline).

One Wine prefix (--prefix) with a persistent wineserver serves all runs; it is shut
down at the end. 64-bit programs (the x64 engine, Wine's own tools) start through Wine's
64-bit loader, 32-bit ones through `wine`. With --no-win32 (a host that runs no 32-bit
code) the NSIS installers, which are 32-bit, are built but not run, and their columns
say so. The engine creates windows even when silent, so a display is needed
(install_bench.sh runs this under xvfb-run). Not a test: it reports figures and fails
only when a tool fails or an installation is incomplete.
"""
import argparse
import os
import random
import shutil
import statistics
import struct
import subprocess
import sys
import threading
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import installer_bench as ib  # noqa: E402  (project and NSIS script writers, payload generators)

MiB = ib.MiB
GiB = 1 << 30
# Success is exit code 1 for the engine when it ran silently, 0 for NSIS.
OURS_OK, NSIS_OK = 1, 0
NOT_RUN = "not run: NSIS installers are 32-bit and this host runs no 32-bit code"


# --- Wine ------------------------------------------------------------------------------

class Wine:
    def __init__(self, prefix, wine64, debug="-all"):
        self.prefix = Path(prefix).resolve()
        self.wine64 = wine64
        self.env = dict(os.environ, WINEPREFIX=str(self.prefix), WINEDEBUG=debug,
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        # A WINELOADER naming the 32-bit loader would start the 64-bit loader's children with it.
        self.env.pop("WINELOADER", None)
        self.drive_c = self.prefix / "drive_c"

    def loader(self, exe):
        # The `wine` wrapper starts the 32-bit loader first, which hosts without 32-bit support refuse.
        return self.wine64 if ib.pe_arch(exe) == "x64" else "wine"

    def start(self):
        if not (self.prefix / "system.reg").exists():
            print(f"creating Wine prefix {self.prefix}", file=sys.stderr, flush=True)
            subprocess.run([self.wine64, "wineboot", "--init"], env=self.env, check=True, timeout=600,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            # The server that made the prefix lingers; a second one would be refused.
            subprocess.run(["wineserver", "-w"], env=self.env, check=True, timeout=120)
        # One left by an interrupted run would make the persistent server below refuse to start.
        subprocess.run(["wineserver", "-k"], env=self.env, timeout=60, stderr=subprocess.DEVNULL)
        # A server that outlives each program: no run pays for its start.
        subprocess.run(["wineserver", "-p"], env=self.env, check=True, timeout=60)
        subprocess.run([self.wine64, "wineboot"], env=self.env, check=True, timeout=600,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.env, timeout=60)

    def run(self, exe, args, timeout, sampler=None, debug=None):
        """Runs exe with args; (exit code, wall seconds, stderr tail, sampler result)."""
        env = dict(self.env, WINEDEBUG=debug) if debug else self.env
        start = time.perf_counter()
        p = subprocess.Popen([self.loader(exe), str(exe), *args], env=env, stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        errors = []
        reader = threading.Thread(target=lambda: errors.append(p.stderr.read()), daemon=True)
        reader.start()
        watch = sampler(p.pid) if sampler else None
        try:
            rc = p.wait(timeout)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait()
            rc = None
        wall = time.perf_counter() - start
        reader.join(10)
        peak = watch.finish() if watch else None
        tail = (errors[0] if errors else b"").decode(errors="replace").strip()[-1500:]
        return rc, wall, tail, peak


# --- memory ----------------------------------------------------------------------------

def image_range(exe):
    """[ImageBase, ImageBase + SizeOfImage) from the PE header (PE32 or PE32+)."""
    with open(exe, "rb") as f:
        head = f.read(4096)
    e_lfanew = struct.unpack_from("<I", head, 60)[0]
    optional = e_lfanew + 24
    if struct.unpack_from("<H", head, optional)[0] == 0x20B:
        base = struct.unpack_from("<Q", head, optional + 24)[0]
    else:
        base = struct.unpack_from("<I", head, optional + 28)[0]
    size = struct.unpack_from("<I", head, optional + 56)[0]
    return base, base + size


class MemoryWatch:
    """Samples /proc/<pid>/smaps until the process ends; keeps the peak of anonymous
    memory outside the image, and what the image itself held privately."""

    def __init__(self, pid, image, exe_name, prefix, interval=0.01):
        self.pid, self.image, self.interval = pid, image, interval
        self.exe_name = exe_name.lower().encode()
        self.prefix_env = b"WINEPREFIX=" + str(prefix).encode()
        self.pids = {pid}
        self.peak_private = self.peak_image = self.peak_hwm = 0
        self.samples = 0
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._loop, daemon=True)
        self._thread.start()

    def _engine_pids(self):
        """The process Wine started and any process running the same executable in our
        prefix: when the first process cannot map a large image, Wine starts the program
        again through start.exe, as a process of its own."""
        found = {self.pid}
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open(f"/proc/{entry}/cmdline", "rb") as f:
                    argv0 = f.read().split(b"\0", 1)[0]
                if argv0.replace(b"\\", b"/").rsplit(b"/", 1)[-1].lower() != self.exe_name:
                    continue
                with open(f"/proc/{entry}/environ", "rb") as f:
                    if self.prefix_env in f.read().split(b"\0"):
                        found.add(int(entry))
            except OSError:
                pass
        return found

    def _sample(self):
        self.pids |= self._engine_pids()
        for pid in list(self.pids):
            try:
                self._sample_one(pid)
            except (OSError, ValueError):
                pass  # between exec and exit the files may be missing or half there
        self.samples += 1

    def _sample_one(self, pid):
        with open(f"/proc/{pid}/smaps", "rb") as f:
            text = f.read()
        outside = inside = 0
        in_image = False
        lo, hi = self.image
        for line in text.split(b"\n"):
            if not line:
                continue
            if line[0] in b"0123456789abcdef" and b"-" in line.split(b" ", 1)[0]:
                start, end = (int(x, 16) for x in line.split(b" ", 1)[0].split(b"-"))
                # A relocated image still names the executable.
                in_image = (start < hi and end > lo) or line.lower().endswith(b"/" + self.exe_name)
            elif line.startswith((b"Anonymous:", b"Swap:")):
                kb = int(line.split()[1])
                if in_image:
                    inside += kb
                else:
                    outside += kb
        with open(f"/proc/{pid}/status", "rb") as f:
            for line in f:
                if line.startswith(b"VmHWM:"):
                    self.peak_hwm = max(self.peak_hwm, int(line.split()[1]))
        self.peak_private = max(self.peak_private, outside)
        self.peak_image = max(self.peak_image, inside)

    def _loop(self):
        while not self._stop.is_set():
            self._sample()
            time.sleep(self.interval)

    def finish(self):
        self._stop.set()
        self._thread.join(30)
        return {"private_kb": self.peak_private, "image_kb": self.peak_image,
                "hwm_kb": self.peak_hwm, "samples": self.samples, "processes": len(self.pids)}


# --- checks ----------------------------------------------------------------------------

def tree_sizes(folder):
    sizes = {}
    for root, _, files in os.walk(folder):
        for name in files:
            path = os.path.join(root, name)
            sizes[os.path.relpath(path, folder).lower()] = os.path.getsize(path)
    return sizes


def check_installed(source_sizes, folder, compare_bytes=False, source=None):
    """Empty when every source file is in folder with its size (and bytes if asked)."""
    got = tree_sizes(folder) if folder.exists() else {}
    missing = [n for n, s in source_sizes.items() if got.get(n) != s]
    if missing:
        return f"{len(missing)} of {len(source_sizes)} files missing or of another size, e.g. {missing[:3]}"
    if compare_bytes:
        for root, _, files in os.walk(source):
            for name in files:
                a = Path(root) / name
                rel = os.path.relpath(a, source)
                if not same_bytes(a, folder / rel):
                    return f"{rel}: bytes differ"
    return ""


def same_bytes(a, b, chunk=16 * MiB):
    with open(a, "rb") as fa, open(b, "rb") as fb:
        while True:
            x, y = fa.read(chunk), fb.read(chunk)
            if x != y:
                return False
            if not x:
                return True


def windows_folder(drive_c, folder):
    return "C:\\" + str(folder.relative_to(drive_c)).replace("/", "\\")


# --- install time ----------------------------------------------------------------------

def build_mixed(args, work, src):
    installers = {}
    for mode in ("best", "fast"):
        project = ib.halvard_project(work, src, mode)
        r = ib.run_measured([args.builder, "build", str(project), "--engine", args.engine])
        if r.rc != 0:
            sys.exit(f"halvard-build failed ({r.rc}):\n{r.stderr}")
        installers[f"halvard {mode}"] = (work / f"setup-{mode}.exe", True)
    script, out = ib.nsis_script(work, src, "zlib")
    r = ib.run_measured([args.makensis, "-V1", str(script)])
    if r.rc != 0:
        sys.exit(f"makensis failed ({r.rc}):\n{r.stderr}")
    installers["nsis zlib"] = (out, False)
    return installers


def install_args(ours, target_win):
    # No spaces in the bench folders: neither form needs quotes.
    return ["/a", f"/d:{target_win}"] if ours else ["/S", f"/D={target_win}"]


def runnable(args, installers):
    """The installers this host can run: NSIS's are 32-bit."""
    return {name: entry for name, entry in installers.items() if entry[1] or not args.no_win32}


def time_installs(args, wine, installers, src_sizes):
    base = wine.drive_c / "bench-install"
    times = {name: [] for name in runnable(args, installers)}
    for rep in range(args.reps + 1):
        for i, (name, (exe, ours)) in enumerate(installers.items()):
            if name not in times:
                continue
            target = base / f"t{i}"
            shutil.rmtree(target, ignore_errors=True)
            rc, wall, err, _ = wine.run(exe, install_args(ours, windows_folder(wine.drive_c, target)), 600)
            if rc != (OURS_OK if ours else NSIS_OK):
                sys.exit(f"{name}: exit code {rc} after {wall:.1f} s\n{err}")
            problem = check_installed(src_sizes, target)
            if problem:
                sys.exit(f"{name}: incomplete installation: {problem}")
            shutil.rmtree(target)
            label = "warm-up" if rep == 0 else f"run {rep}"
            print(f"  {name} {label}: {wall:.2f} s", file=sys.stderr, flush=True)
            if rep:
                times[name].append(wall)
    shutil.rmtree(base, ignore_errors=True)
    return {name: statistics.median(t) for name, t in times.items()}, times


# --- uninstall time ------------------------------------------------------------------

def build_uninstallable(args, work, src):
    """Our installer with its uninstaller and registration, NSIS's with one that removes
    the folder whole."""
    project = ib.halvard_project(work, src, "best", uninstaller=True)
    r = ib.run_measured([args.builder, "build", str(project), "--engine", args.engine])
    if r.rc != 0:
        sys.exit(f"halvard-build failed ({r.rc}):\n{r.stderr}")
    script, out = ib.nsis_script(work, src, "zlib", uninstaller=True)
    r = ib.run_measured([args.makensis, "-V1", str(script)])
    if r.rc != 0:
        sys.exit(f"makensis failed ({r.rc}):\n{r.stderr}")
    return {"halvard best": (work / "setup-best.exe", True), "nsis zlib": (out, False)}


def uninstall_command(ours, target, target_win):
    # NSIS's uninstaller copies itself away and returns at once unless told where it is.
    if ours:
        return target / "Uninstall" / "Uninstall.exe", ["/a", "/u:Bench"]
    return target / "uninst.exe", ["/S", f"_?={target_win}"]


def time_uninstalls(args, wine, installers, src_sizes):
    base = wine.drive_c / "bench-uninstall"
    times = {name: [] for name in runnable(args, installers)}
    for rep in range(args.reps + 1):
        for i, (name, (exe, ours)) in enumerate(installers.items()):
            if name not in times:
                continue
            target = base / f"u{i}"
            shutil.rmtree(target, ignore_errors=True)
            target_win = windows_folder(wine.drive_c, target)
            rc, wall, err, _ = wine.run(exe, install_args(ours, target_win), 600)
            if rc != (OURS_OK if ours else NSIS_OK) or check_installed(src_sizes, target):
                sys.exit(f"{name}: installation failed (exit code {rc})\n{err}")
            uninstaller, uninstall_args = uninstall_command(ours, target, target_win)
            rc, wall, err, _ = wine.run(uninstaller, uninstall_args, 600)
            left = [p for p in target.rglob("*") if p.is_file() and p != uninstaller]
            if rc != 0 or left:
                sys.exit(f"{name}: uninstallation left {len(left)} files (exit code {rc})\n{err}")
            shutil.rmtree(target, ignore_errors=True)
            label = "warm-up" if rep == 0 else f"run {rep}"
            print(f"  {name} uninstall {label}: {wall:.2f} s", file=sys.stderr, flush=True)
            if rep:
                times[name].append(wall)
    shutil.rmtree(base, ignore_errors=True)
    return {name: statistics.median(t) for name, t in times.items()}, times


# --- memory ----------------------------------------------------------------------------

def measure_memory(wine, exe, src, target, compare_bytes):
    shutil.rmtree(target, ignore_errors=True)
    image = image_range(exe)
    rc, wall, err, peak = wine.run(exe, install_args(True, windows_folder(wine.drive_c, target)), 1800,
                                   sampler=lambda pid: MemoryWatch(pid, image, exe.name, wine.prefix), debug="fixme-all")
    problem = "" if rc == OURS_OK else f"exit code {rc}"
    if not problem:
        problem = check_installed(tree_sizes(src), target, compare_bytes, src)
    shutil.rmtree(target, ignore_errors=True)
    return {"rc": rc, "wall": wall, "problem": problem, "stderr": err, "peak": peak,
            "package": exe.stat().st_size, "image": image[1] - image[0]}


def make_large_payload(args, src):
    """Many incompressible files and one larger mixed one: the package passes 1 GiB
    while the largest file stays a fraction of it."""
    shutil.rmtree(src, ignore_errors=True)
    src.mkdir(parents=True)
    rng = random.Random(20261210)
    pool = ib.text_pool(rng, 16 * MiB)
    ib.write_mixed(src / "big.bin", args.big_mib * MiB, rng, pool, 0.65)
    for i in range(args.fill_files):
        ib.write_mixed(src / f"data{i:02d}.bin", args.fill_mib * MiB, rng, pool, 1.0)
    (src / "readme.txt").write_bytes(pool[:200000])


def large_packages(args, work, src):
    packages = {}
    for on_disk in (False, True):
        folder = work / ("disk" if on_disk else "memory")
        folder.mkdir(parents=True, exist_ok=True)
        project = ib.halvard_project(folder, src, args.large_mode, data_on_disk=on_disk)
        r = ib.run_measured([args.builder, "build", str(project), "--engine", args.engine])
        if r.rc != 0:
            sys.exit(f"halvard-build failed on the large payload ({r.rc}):\n{r.stderr}")
        packages["data on disk" if on_disk else "memory mode"] = folder / f"setup-{args.large_mode}.exe"
        print(f"  built {'data on disk' if on_disk else 'memory mode'} in {r.wall:.0f} s", file=sys.stderr, flush=True)
    return packages


# --- report ----------------------------------------------------------------------------

def timing_cells(name, medians, runs):
    """Median, the runs, and the ratio to NSIS zlib; NOT_RUN where NSIS could not run."""
    nsis = medians.get("nsis zlib")
    if name not in medians:
        return f"{NOT_RUN} | | {NOT_RUN}"
    each = " ".join(f"{t:.2f}" for t in runs[name])
    return f"{medians[name]:.2f} | {each} | " + (f"{medians[name] / nsis:.2f}" if nsis else NOT_RUN)


def print_report(arch, src_count, src_total, medians, runs, sizes, memory_rows, uninstalls):
    print(f"\n## Silent install under Wine, {arch} engine, mixed corpus ({src_count} files, "
          f"{src_total / MiB:.1f} MiB) — median of {len(next(iter(runs.values())))} runs\n")
    print("| installer | size MiB | install s (median) | runs s | vs NSIS zlib |")
    print("|---|---:|---:|---|---:|")
    for name, size in sizes.items():
        print(f"| {name} | {size / MiB:.1f} | {timing_cells(name, medians, runs)} |")
    u_medians, u_runs = uninstalls
    print(f"\n## Silent uninstall under Wine, {arch} engine, the same corpus — median of "
          f"{len(next(iter(u_runs.values())))} runs\n")
    print("Ours removes each recorded file and folder one by one and then its registration; NSIS's "
          "uninstaller here removes the folder whole (RMDir /r).\n")
    print("| uninstaller | uninstall s (median) | runs s | vs NSIS zlib |")
    print("|---|---:|---|---:|")
    for name in ("halvard best", "nsis zlib"):
        print(f"| {name} | {timing_cells(name, u_medians, u_runs)} |")
    print(f"\n## {arch} engine peak private memory (anonymous pages outside the image, sampled every 10 ms)\n")
    print("| package | package MiB | payload MiB | largest file MiB | exit | install s | peak private MiB "
          "| target (64 MiB + largest) | image pages Wine copied MiB | peak RSS (VmHWM) MiB | processes | result |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|")
    for name, (m, payload, largest) in memory_rows.items():
        p = m["peak"] or {}
        target = 64 * MiB + largest
        private = p.get("private_kb", 0) * 1024
        verdict = m["problem"] or ("within target" if private <= target else "OVER target")
        print(f"| {name} | {m['package'] / MiB:.1f} | {payload / MiB:.1f} | {largest / MiB:.1f} | {m['rc']} | "
              f"{m['wall']:.1f} | {private / MiB:.1f} | {target / MiB:.0f} | {p.get('image_kb', 0) / 1024:.1f} | "
              f"{p.get('hwm_kb', 0) / 1024:.1f} | {p.get('processes', 0)} | {verdict} |")
    for name, (m, _, _) in memory_rows.items():
        if m["problem"] and m["stderr"]:
            print(f"\n{name}: Wine said:\n```\n{m['stderr']}\n```")


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--builder", required=True)
    ap.add_argument("--engine", required=True)
    ap.add_argument("--makensis", default="makensis")
    ap.add_argument("--wine64", default=next((w for w in ("/usr/lib/wine/wine64", shutil.which("wine64"))
                                              if w and os.access(w, os.X_OK)), "wine64"),
                    help="Wine's 64-bit loader, called directly")
    ap.add_argument("--no-win32", action="store_true",
                    help="this host runs no 32-bit code: build the NSIS installers but do not run them")
    ap.add_argument("--corpora", required=True, help="folder holding the mixed corpus")
    ap.add_argument("--work", required=True, help="scratch folder for projects and installers")
    ap.add_argument("--prefix", required=True, help="Wine prefix for the runs (made if missing)")
    ap.add_argument("--reps", type=int, default=5)
    ap.add_argument("--no-large", action="store_true", help="skip the package over 1 GiB")
    ap.add_argument("--big-mib", type=int, default=256, help="the largest file (65%% incompressible)")
    ap.add_argument("--fill-files", type=int, default=8)
    ap.add_argument("--fill-mib", type=int, default=112, help="each incompressible file")
    ap.add_argument("--large-mode", default="fast", choices=["best", "fast"])
    ap.add_argument("--keep", action="store_true", help="keep projects, installers and the payload")
    args = ap.parse_args()
    if not os.environ.get("DISPLAY"):
        sys.exit("no DISPLAY: the engine opens windows even when silent; run under xvfb-run -a")

    src = (Path(args.corpora) / "mixed").resolve()
    work = Path(args.work).resolve()
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    src_sizes = tree_sizes(src)
    src_count, src_total = ib.payload_size(src)
    print(f"mixed: {src_count} files, {src_total / MiB:.1f} MiB; building installers", file=sys.stderr, flush=True)
    (work / "mixed").mkdir()
    installers = build_mixed(args, work / "mixed", src)
    sizes = {name: exe.stat().st_size for name, (exe, _) in installers.items()}

    wine = Wine(args.prefix, args.wine64)
    wine.start()
    try:
        medians, runs = time_installs(args, wine, installers, src_sizes)
        (work / "uninstall").mkdir()
        uninstalls = time_uninstalls(args, wine, build_uninstallable(args, work / "uninstall", src), src_sizes)
        memory_rows = {}
        tiny_src = work / "tiny" / "payload"
        tiny_src.mkdir(parents=True)
        (tiny_src / "readme.txt").write_bytes(b"Wine and the engine alone.\r\n" * 1000)
        tiny = ib.halvard_project(work / "tiny", tiny_src, "best")
        r = ib.run_measured([args.builder, "build", str(tiny), "--engine", args.engine])
        if r.rc != 0:
            sys.exit(f"halvard-build failed ({r.rc}):\n{r.stderr}")
        m = measure_memory(wine, work / "tiny" / "setup-best.exe", tiny_src, wine.drive_c / "bench-mem", True)
        memory_rows["one small file (baseline)"] = (m, 28000, 28000)
        largest_mixed = max(src_sizes.values())
        m = measure_memory(wine, installers["halvard best"][0], src, wine.drive_c / "bench-mem", False)
        memory_rows["mixed corpus, memory mode"] = (m, src_total, largest_mixed)
        if not args.no_large:
            large_src = work / "large" / "payload"
            print("large: generating the payload", file=sys.stderr, flush=True)
            make_large_payload(args, large_src)
            count, total = ib.payload_size(large_src)
            largest = max(tree_sizes(large_src).values())
            for name, exe in large_packages(args, work / "large", large_src).items():
                print(f"large: installing ({name}, {exe.stat().st_size / MiB:.0f} MiB)", file=sys.stderr, flush=True)
                m = measure_memory(wine, exe, large_src, wine.drive_c / "bench-mem", True)
                memory_rows[f"{count} files, {name}"] = (m, total, largest)
                if not args.keep:
                    exe.unlink()
    finally:
        wine.stop()
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)
    print_report(ib.pe_arch(args.engine), src_count, src_total, medians, runs, sizes, memory_rows, uninstalls)
    return 0


if __name__ == "__main__":
    sys.exit(main())
