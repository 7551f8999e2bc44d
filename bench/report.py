#!/usr/bin/env python3
"""One report of the performance comparisons, run side by side on this machine.

Parts (--only picks some):
  levels   halvard-build's compression levels against NSIS zlib and solid lzma on each
           corpus: size, build wall and CPU seconds, builder peak RSS, ratios ours/NSIS zlib
  blocks   block sizes at the default level: size, build time, and the engine's peak
           private memory during a silent installation under Wine
  size     the engine's size by component (engine_size.py)
  scale    generated packages of many small files: build, silent installation and silent
           removal, each per file, with the engine's peak private memory
  install  silent installation time of the mixed corpus against NSIS zlib (install_bench)

Writes report.md, results.json and ratios.png into --out, rewritten after every part, so
a run that is stopped keeps what finished. Builds are timed in interleaved rounds (every
tool once per round) and reported as medians. Run through bench/report.sh, which builds
the tools and provides a display. A benchmark, not a test: it fails only when a tool does.
"""
import argparse
import datetime
import json
import os
import random
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import installer_bench as ib  # noqa: E402
import install_bench as wb  # noqa: E402

MiB = ib.MiB
PARTS = ["levels", "blocks", "size", "scale", "install"]


def log(text):
    print(f"[{time.strftime('%H:%M:%S')}] {text}", file=sys.stderr, flush=True)


def busy_processes():
    """Other processes using the CPU now (a short /proc sample): name, nice, share of a core."""
    def ticks():
        out = {}
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open(f"/proc/{entry}/stat") as f:
                    text = f.read()
            except OSError:
                continue
            name = text[text.index("(") + 1:text.rindex(")")]
            fields = text[text.rindex(")") + 2:].split()
            out[entry] = (name, int(fields[16]), int(fields[11]) + int(fields[12]))
        return out
    before = ticks()
    time.sleep(2)
    after = ticks()
    hz = os.sysconf("SC_CLK_TCK")
    busy = {}
    for pid, (name, nice, t) in after.items():
        if pid in before and pid != str(os.getpid()):
            count, share = busy.get((name, nice), (0, 0.0))
            busy[(name, nice)] = (count + 1, share + (t - before[pid][2]) / hz / 2)
    return sorted(((name, nice, count, share) for (name, nice), (count, share) in busy.items() if share >= 0.1),
                  key=lambda b: -b[3])


def load_note():
    one, five, _ = os.getloadavg()
    busy = busy_processes()
    others = ", ".join(f"{name}{f' x{count}' if count > 1 else ''} (nice {nice}, {share:.1f} cores)"
                       for name, nice, count, share in busy) or "none"
    return f"load average {one:.1f} (1 min), {five:.1f} (5 min); other busy processes: {others}"


# --- parts -----------------------------------------------------------------------------

def known_levels(args):
    """The levels this builder accepts, and a note on those it refused (a level being added
    on another branch, say)."""
    work = args.work / "probe"
    src = work / "payload"
    src.mkdir(parents=True, exist_ok=True)
    (src / "a.txt").write_text("probe\n")
    known, refused = [], []
    for level in args.levels:
        r = ib.run_measured([args.builder, "build", str(ib.halvard_project(work, src, level)), "--engine", args.engine])
        (known if r.rc == 0 else refused).append((level, r.stderr.strip().splitlines()[-1:]))
    shutil.rmtree(work)
    # The message without its "error: FILE:LINE:COL: " lead.
    note = "; ".join(f"level {level} not measured: the builder refused it ({' '.join(err).split(': ', 2)[-1]})"
                     for level, err in refused)
    return [level for level, _ in known], note


def part_levels(args, rep):
    results = {}
    args.levels, refused = known_levels(args)
    if refused:
        log(refused)
    ns = argparse.Namespace(builder=args.builder, engine=args.engine, makensis=args.makensis,
                            corpora=args.corpora, work=str(args.work / "levels"), reps=args.reps, keep=False)
    for corpus in args.corpus:
        log(f"levels: {corpus}, {args.reps} rounds of {', '.join(args.levels)}, NSIS zlib, NSIS solid lzma")
        count, total, rows = ib.corpus_rows(ns, corpus, args.levels)
        results[corpus] = {"files": count, "bytes": total, "rows": rows}
    rep.data["levels"] = {"rounds": args.reps, "refused": refused, "corpora": results}


def part_blocks(args, rep, wine):
    results = {}
    for corpus in args.corpus:
        src = (Path(args.corpora) / corpus).resolve()
        work = args.work / "blocks" / corpus
        jobs = {}
        for mib in args.block_sizes:
            folder = work / f"b{mib}"
            folder.mkdir(parents=True, exist_ok=True)
            project = ib.halvard_project(folder, src, None, block_size=mib * MiB)
            jobs[mib] = ([args.builder, "build", str(project), "--engine", args.engine], folder / "setup-default.exe")
        log(f"blocks: {corpus}, {args.block_reps} rounds of {', '.join(f'{m} MiB' for m in args.block_sizes)}")
        rows = ib.interleaved(jobs, args.block_reps)
        for mib, (_, exe) in jobs.items():
            log(f"blocks: {corpus}, {mib} MiB blocks: installing under Wine with the memory sampler")
            m = wb.measure_memory(wine, exe, src, wine.drive_c / "bench-report-blocks", False)
            if m["problem"]:
                sys.exit(f"blocks: {corpus}, {mib} MiB: {m['problem']}\n{m['stderr']}")
            rows[mib].update(install_wall=m["wall"], private_kb=m["peak"]["private_kb"], hwm_kb=m["peak"]["hwm_kb"])
        count, total = ib.payload_size(src)
        results[corpus] = {"files": count, "bytes": total, "rows": {str(k): v for k, v in rows.items()}}
        shutil.rmtree(work, ignore_errors=True)
    rep.data["blocks"] = {"rounds": args.block_reps, "level": "the builder's default", "corpora": results}


def part_size(args, rep):
    log("size: relinking the engine with a link map")
    out = subprocess.run([sys.executable, str(HERE / "engine_size.py"), "--engine", ib.pe_arch(args.engine),
                          "--no-build", "--map-dir", str(args.work / "engine-size")],
                         capture_output=True, text=True)
    if out.returncode != 0:
        sys.exit(f"engine_size.py failed:\n{out.stderr}")
    rep.data["size"] = {"table": out.stdout.strip()}


def make_small_files(folder, count):
    """count files of 200 bytes to 6 KiB in nested folders (about 50 a folder); the
    content depends only on each file's number."""
    if folder.exists() and sum(len(f) for _, _, f in os.walk(folder)) == count:
        return
    shutil.rmtree(folder, ignore_errors=True)
    rng = random.Random(1000)
    words = ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9))) for _ in range(3000)]
    kinds = [".txt", ".xml", ".ini", ".dat", ".dll", ".cfg"]
    for i in range(count):
        r = random.Random(i)
        size = int(200 * 30 ** r.random())
        if i % 6 == 4:
            body = r.randbytes(size // 2) + bytes(size - size // 2)
        else:
            text = " ".join(r.choices(words, k=size // 5 + 1))
            body = f"file {i}\n{text}".encode()[:size]
        path = folder / f"d{i // 2500:02d}" / f"e{i // 250 % 10}" / f"f{i // 50 % 5}" / f"item{i:06d}{kinds[i % 6]}"
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(body)


def part_scale(args, rep, wine):
    counts = args.scale
    rounds = {n: (args.scale_reps if n <= args.scale_one_round_above else 1) for n in counts}
    trees, exes = {}, {}
    for n in counts:
        log(f"scale: generating {n} files")
        trees[n] = args.work / "scale" / f"files-{n}"
        make_small_files(trees[n], n)
    runs = {n: {"build": [], "install": [], "remove": [], "install_kb": 0, "remove_kb": 0, "build_rss_kb": 0}
            for n in counts}
    target = wine.drive_c / "bench-report-scale"
    image = None
    for r in range(max(rounds.values())):
        for n in counts:
            if r >= rounds[n]:
                continue
            folder = args.work / "scale" / f"pkg-{n}"
            folder.mkdir(parents=True, exist_ok=True)
            project = ib.halvard_project(folder, trees[n], None, uninstaller=True)
            exe = exes[n] = folder / "setup-default.exe"
            exe.unlink(missing_ok=True)
            b = ib.run_measured([args.builder, "build", str(project), "--engine", args.engine])
            if b.rc != 0:
                sys.exit(f"scale: halvard-build failed on {n} files ({b.rc}):\n{b.stderr}")
            runs[n]["build"].append(b.wall)
            runs[n]["build_rss_kb"] = max(runs[n]["build_rss_kb"], b.max_rss_kb)
            shutil.rmtree(target, ignore_errors=True)
            target_win = wb.windows_folder(wine.drive_c, target)
            image = wb.image_range(exe)
            rc, wall, err, peak = wine.run(exe, wb.install_args(True, target_win), args.scale_timeout,
                                           sampler=lambda pid: wb.MemoryWatch(pid, image, exe.name, wine.prefix,
                                                                              interval=0.05))
            if rc is None:
                # Killed mid-way: what it left is in the prefix; later rounds of this size are skipped.
                runs[n]["timed_out"] = f"installation still running after {args.scale_timeout} s"
                log(f"scale: {n} files: {runs[n]['timed_out']}")
                rounds[n] = r
                continue
            problem = f"exit code {rc}" if rc != wb.OURS_OK else wb.check_installed(wb.tree_sizes(trees[n]), target)
            if problem:
                sys.exit(f"scale: installing {n} files: {problem}\n{err}")
            runs[n]["install"].append(wall)
            runs[n]["install_kb"] = max(runs[n]["install_kb"], peak["private_kb"])
            uninstaller, uargs = wb.uninstall_command(True, target, target_win)
            u_image = wb.image_range(uninstaller)
            rc, u_wall, err, u_peak = wine.run(uninstaller, uargs, args.scale_timeout,
                                               sampler=lambda pid: wb.MemoryWatch(pid, u_image, uninstaller.name,
                                                                                  wine.prefix, interval=0.05))
            if rc is None:
                runs[n]["timed_out"] = f"removal still running after {args.scale_timeout} s"
                log(f"scale: {n} files: {runs[n]['timed_out']}")
                rounds[n] = r
                continue
            left = [p for p in target.rglob("*") if p.is_file() and p != uninstaller]
            if rc != 0 or left:
                sys.exit(f"scale: removing {n} files left {len(left)} files (exit code {rc})\n{err}")
            runs[n]["remove"].append(u_wall)
            runs[n]["remove_kb"] = max(runs[n]["remove_kb"], u_peak["private_kb"])
            shutil.rmtree(target, ignore_errors=True)
            log(f"scale: {n} files, round {r + 1}/{rounds[n]}: build {b.wall:.1f} s, install {wall:.1f} s, "
                f"removal {u_wall:.1f} s")
    results = {}
    for n in counts:
        x = runs[n]
        if not x["remove"]:
            results[str(n)] = {"files": n, "timed_out": x.get("timed_out", "not run"), "runs": x}
            continue
        results[str(n)] = {
            "files": n, "rounds": len(x["remove"]), "bytes": ib.payload_size(trees[n])[1],
            "package": exes[n].stat().st_size, "build": statistics.median(x["build"]),
            "install": statistics.median(x["install"]), "remove": statistics.median(x["remove"]),
            "install_kb": x["install_kb"], "remove_kb": x["remove_kb"], "build_rss_kb": x["build_rss_kb"],
            "runs": {k: x[k] for k in ("build", "install", "remove")}}
    rep.data["scale"] = {"level": "the builder's default", "sizes": results}
    if not args.keep:
        shutil.rmtree(args.work / "scale", ignore_errors=True)


def part_install(args, rep, wine):
    src = (Path(args.corpora) / "mixed").resolve()
    work = args.work / "install"
    work.mkdir(parents=True, exist_ok=True)
    log(f"install: building the mixed corpus's installers; then {args.install_reps} interleaved rounds under Wine")
    ns = argparse.Namespace(builder=args.builder, engine=args.engine, makensis=args.makensis,
                            no_win32=args.no_win32, reps=args.install_reps)
    installers = wb.build_mixed(ns, work, src)
    medians, runs = wb.time_installs(ns, wine, installers, wb.tree_sizes(src))
    count, total = ib.payload_size(src)
    rep.data["install"] = {"files": count, "bytes": total, "medians": medians, "runs": runs,
                           "rounds": args.install_reps,
                           "sizes": {name: exe.stat().st_size for name, (exe, _) in installers.items()}}
    shutil.rmtree(work, ignore_errors=True)


def rounds(n):
    return "One round" if n == 1 else f"Median of {n} interleaved rounds"


def render_levels(d):
    lines = [f"{rounds(d['rounds'])} (each round builds every installer once). "
             "Ratios are ours / NSIS zlib; wall time depends on what else the machine runs, CPU time less so.", "",
             "| corpus | builder | installer MiB | % of payload | build s (wall) | CPU s | peak RSS MiB "
             "| size / zlib | size / solid lzma | wall / zlib | CPU / zlib |",
             "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|"]
    if d["refused"]:
        lines[0:0] = [d["refused"], ""]
    for corpus, res in d["corpora"].items():
        z, lz = res["rows"]["nsis zlib"], res["rows"]["nsis solid lzma"]
        label = f"{corpus} ({res['files']} files, {res['bytes'] / MiB:.1f} MiB)"
        for name, r in res["rows"].items():
            ratios = (f"{r['size'] / z['size']:.3f} | {r['size'] / lz['size']:.3f} | {r['wall'] / z['wall']:.2f} | "
                      f"{r['cpu'] / z['cpu']:.2f}") if name.startswith("halvard") else " | | | "
            lines.append(f"| {label} | {name} | {r['size'] / MiB:.2f} | {100 * r['size'] / res['bytes']:.1f} | "
                         f"{r['wall']:.2f} | {r['cpu']:.2f} | {r['rss_kb'] / 1024:.0f} | {ratios} |")
    return "Compression levels against NSIS", lines


def render_blocks(d):
    lines = [f"Level: {d.get('level', 'not recorded')}. Build: {rounds(d['rounds']).lower()}. Install: one silent "
             "installation under Wine per package, the engine's peak private memory (anonymous pages outside "
             "the image, sampled every 10 ms; Wine's own private pages included).", "",
             "| corpus | block MiB | installer MiB | build s (wall) | CPU s | builder peak RSS MiB | install s "
             "| engine peak private MiB | engine VmHWM MiB |",
             "|---|---:|---:|---:|---:|---:|---:|---:|---:|"]
    for corpus, res in d["corpora"].items():
        for mib, r in res["rows"].items():
            lines.append(f"| {corpus} ({res['bytes'] / MiB:.0f} MiB) | {mib} | {r['size'] / MiB:.2f} | {r['wall']:.2f} | "
                         f"{r['cpu']:.2f} | {r['rss_kb'] / 1024:.0f} | {r['install_wall']:.1f} | "
                         f"{r['private_kb'] / 1024:.1f} | {r['hwm_kb'] / 1024:.1f} |")
    return "Block size", lines


def render_size(d):
    return "Engine size by component", ["Bytes by component and kind of section, from a link map "
                                        "(bench/engine_size.py).", "", "```", d["table"], "```"]


def render_scale(d):
    results = [r for r in d["sizes"].values()]
    done = [r for r in results if "timed_out" not in r]
    first = done[0] if done else None
    lines = ["Generated files of 200 bytes to 6 KiB in nested folders (about 50 a folder), level: "
             f"{d.get('level', 'not recorded')}, registered with an uninstaller. Install: `setup.exe /a /d:...`; removal: the registered "
             "uninstaller with `/a /u:Bench`. Each timed under Wine from process start to exit, with the memory "
             "sampler attached every 50 ms, so a fixed cost (Wine and the engine starting, the registration) is "
             "in every figure and weighs most on the smallest package. Per file = seconds / files; ratio = "
             "per file at N / per file at the smallest N; marginal = extra seconds / extra files against the "
             "next smaller package, the cost of one more file without the fixed cost.", "",
             "| files | rounds | payload MiB | installer MiB | phase | seconds (median) | ms per file | ratio "
             "| marginal ms per file | peak memory MiB |",
             "|---:|---:|---:|---:|---|---:|---:|---:|---:|---:|"]
    previous = None
    for r in results:
        n = r["files"]
        if "timed_out" in r:
            lines.append(f"| {n:,} | | | | {r['timed_out']} | | | | | |")
            continue
        memory = {"build": f"{r['build_rss_kb'] / 1024:.0f} (builder RSS)",
                  "install": f"{r['install_kb'] / 1024:.1f} (engine private)",
                  "remove": f"{r['remove_kb'] / 1024:.1f} (uninstaller private)"}
        for k, phase in enumerate(("build", "install", "remove")):
            per = r[phase] / n
            marginal = (f"{1000 * (r[phase] - previous[phase]) / (n - previous['files']):.3f}"
                        if previous else "")
            head = (f"| {n:,} | {r['rounds']} | {r['bytes'] / MiB:.1f} | {r['package'] / MiB:.2f} " if k == 0
                    else "| | | | ")
            lines.append(head + f"| {'removal' if phase == 'remove' else phase} | {r[phase]:.1f} | {1000 * per:.3f} | "
                         f"{per / (first[phase] / first['files']):.2f} | {marginal} | {memory[phase]} |")
        previous = r
    lines += ["", "Runs (s): " + "; ".join(
        f"{r['files']:,}: build {', '.join(f'{t:.1f}' for t in r['runs']['build'])}, "
        f"install {', '.join(f'{t:.1f}' for t in r['runs']['install'])}, "
        f"removal {', '.join(f'{t:.1f}' for t in r['runs']['remove'])}" for r in done)]
    return "Scale: many small files", lines


def render_install(d):
    lines = [f"Mixed corpus ({d['files']} files, {d['bytes'] / MiB:.1f} MiB), silent installation into a fresh folder, "
             f"{rounds(d['rounds']).lower()} after one warm-up round.", "",
             "| installer | size MiB | install s (median) | runs s | ours / NSIS zlib |", "|---|---:|---:|---|---:|"]
    for name, size in d["sizes"].items():
        lines.append(f"| {name} | {size / MiB:.1f} | {wb.timing_cells(name, d['medians'], d['runs'])} |")
    return "Silent installation against NSIS", lines


# --- report ----------------------------------------------------------------------------

RENDER = {"levels": render_levels, "blocks": render_blocks, "size": render_size, "scale": render_scale,
          "install": render_install}


def render(out):
    """report.md and ratios.png from results.json in out; run in a process of its own
    (report.py --render), so that the plotting library never grows the measuring process,
    whose size a forked child's peak RSS starts from."""
    out = Path(out)
    data = json.loads((out / "results.json").read_text())
    chart(data["parts"], out)
    text = ["# Halvard Setup performance report", ""] + data["host"] + [""]
    for part in data["order"]:
        title, lines = RENDER[part](data["parts"][part])
        text += [f"## {title}", ""] + lines + ["", f"_{data['notes'][part]}_", ""]
    if (out / "ratios.png").exists():
        text += ["![ratios](ratios.png)", ""]
    (out / "report.md").write_text("\n".join(text))


class Report:
    def __init__(self, args):
        self.out = Path(args.out)
        self.out.mkdir(parents=True, exist_ok=True)
        self.data, self.host, self.order, self.notes = {}, [], [], {}

    def write(self):
        (self.out / "results.json").write_text(json.dumps(
            {"host": self.host, "order": self.order, "notes": self.notes, "parts": self.data}, indent=1))
        subprocess.run([sys.executable, __file__, "--render", str(self.out)], check=True)


def chart(parts, out):
    import matplotlib
    import matplotlib.ticker
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    levels = parts.get("levels", {}).get("corpora")
    scale = parts.get("scale", {}).get("sizes")
    if not levels and not scale:
        return
    panels = (2 if levels else 0) + (1 if scale else 0)
    fig, axes = plt.subplots(1, panels, figsize=(5.2 * panels, 4.4), squeeze=False)
    axes = list(axes[0])
    if levels:
        corpora = list(levels)
        names = [n for n in next(iter(levels.values()))["rows"] if n.startswith("halvard")]
        width = 0.8 / len(names)
        for ax, (key, title) in zip(axes, [("size", "installer size / NSIS zlib"), ("wall", "build wall time / NSIS zlib")]):
            for i, name in enumerate(names):
                values = [levels[c]["rows"][name][key] / levels[c]["rows"]["nsis zlib"][key] for c in corpora]
                bars = ax.bar([j + (i - (len(names) - 1) / 2) * width for j in range(len(corpora))], values, width,
                              label=name.replace("halvard ", ""))
                ax.bar_label(bars, fmt="%.2f", fontsize=7)
            solid = [levels[c]["rows"]["nsis solid lzma"][key] / levels[c]["rows"]["nsis zlib"][key] for c in corpora]
            ax.scatter(range(len(corpora)), solid, marker="_", s=600, color="black", zorder=3, label="NSIS solid lzma")
            ax.axhline(1.0, color="grey", linestyle="--", linewidth=1)
            ax.set_xticks(range(len(corpora)), corpora)
            ax.set_title(title)
            # Room above the bars for the legend.
            top = max([1.0] + solid + [levels[c]["rows"][n][key] / levels[c]["rows"]["nsis zlib"][key]
                                       for c in corpora for n in names])
            ax.set_ylim(0, top * 1.35)
            ax.legend(fontsize=7, loc="upper center", ncol=2)
        axes = axes[2:]
    if scale:
        ax = axes[0]
        done = [r for r in scale.values() if "timed_out" not in r]
        for phase, label in (("build", "build"), ("install", "silent install"), ("remove", "silent removal")):
            ax.plot([r["files"] for r in done], [1000 * r[phase] / r["files"] for r in done], marker="o", label=label)
        ax.set_xscale("log")
        ax.set_yscale("log")
        ax.yaxis.set_major_formatter(matplotlib.ticker.FormatStrFormatter("%g"))
        ax.yaxis.set_minor_formatter(matplotlib.ticker.NullFormatter())
        ax.set_xlabel("files in the package")
        ax.set_ylabel("ms per file")
        ax.set_title("cost per file (under Wine for install/removal)")
        ax.legend(fontsize=8)
    fig.tight_layout()
    fig.savefig(out / "ratios.png", dpi=110)
    plt.close(fig)


def main():
    if sys.argv[1:2] == ["--render"]:
        render(sys.argv[2])
        return 0
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter,
                                 epilog="report.py --render OUT redraws report.md and ratios.png from OUT/results.json.")
    ap.add_argument("--builder", required=True)
    ap.add_argument("--engine", required=True)
    ap.add_argument("--engine-reason", default="", help="why this engine (shown in the report)")
    ap.add_argument("--host-win32", default="", help="whether this host runs 32-bit Windows programs, and why not")
    ap.add_argument("--makensis", default="makensis")
    ap.add_argument("--wine64", default="/usr/lib/wine/wine64")
    ap.add_argument("--no-win32", action="store_true", help="build NSIS installers but run none (they are 32-bit)")
    ap.add_argument("--corpora", required=True)
    ap.add_argument("--corpus", action="append", help="default: winbin docs mixed")
    ap.add_argument("--work", type=Path, required=True)
    ap.add_argument("--prefix", required=True, help="Wine prefix")
    ap.add_argument("--out", required=True)
    ap.add_argument("--only", default=",".join(PARTS), help="parts, run in the order given")
    ap.add_argument("--levels", default="fast,normal,best")
    ap.add_argument("--block-sizes", default="16,32,64", help="MiB")
    ap.add_argument("--reps", type=int, default=3, help="build rounds (levels, blocks)")
    ap.add_argument("--block-reps", type=int, help="build rounds for block sizes (default: --reps)")
    ap.add_argument("--install-reps", type=int, default=5)
    ap.add_argument("--scale", default="1000,10000,100000")
    ap.add_argument("--scale-reps", type=int, default=3)
    ap.add_argument("--scale-one-round-above", type=int, default=20000, help="larger packages get one round")
    ap.add_argument("--scale-timeout", type=int, default=7200)
    ap.add_argument("--keep", action="store_true")
    args = ap.parse_args()
    args.block_reps = args.block_reps or args.reps
    args.corpus = args.corpus or ["winbin", "docs", "mixed"]
    args.levels = args.levels.split(",")
    args.block_sizes = [int(x) for x in args.block_sizes.split(",")]
    args.scale = sorted(int(x) for x in args.scale.split(","))
    args.work = args.work.resolve()
    args.corpora = str(Path(args.corpora).resolve())
    only = args.only.split(",")
    unknown = [p for p in only if p not in PARTS]
    if unknown:
        sys.exit(f"--only: unknown part {', '.join(unknown)}; parts: {', '.join(PARTS)}")
    needs_wine = any(p in only for p in ("blocks", "scale", "install"))
    if needs_wine and not os.environ.get("DISPLAY"):
        sys.exit("no DISPLAY: the engine opens windows even when silent; run through bench/report.sh")

    rep = Report(args)
    started = datetime.datetime.now(datetime.timezone.utc)
    arch = ib.pe_arch(args.engine)
    nsis = subprocess.run([args.makensis, "-VERSION"], capture_output=True, text=True).stdout.strip()
    log(f"host: {os.cpu_count()} cores; {load_note()}")
    rep.host = [f"- date: {started:%Y-%m-%d %H:%M} UTC (start)",
                f"- host: {os.cpu_count()} cores, {os.sysconf('SC_PAGE_SIZE') * os.sysconf('SC_PHYS_PAGES') / (1 << 30):.0f} GiB;"
                f" 32-bit Windows programs: {args.host_win32 or 'unknown'}",
                f"- engine measured: {arch} ({args.engine_reason or 'as given'}); NSIS {nsis}",
                f"- load at the start: {load_note()}"]
    rep.write()
    wine = None
    try:
        for part in only:
            t = time.perf_counter()
            if part in ("blocks", "scale", "install") and wine is None:
                wine = wb.Wine(args.prefix, args.wine64)
                wine.start()
            if part in ("levels", "size"):
                globals()[f"part_{part}"](args, rep)
            else:
                globals()[f"part_{part}"](args, rep, wine)
            rep.order.append(part)
            rep.notes[part] = f"{part}: {time.perf_counter() - t:.0f} s; at its end {load_note()}"
            rep.write()
            log(f"{part} done; {rep.out / 'report.md'}")
    finally:
        if wine:
            wine.stop()
        if not args.keep:
            for sub in ("levels", "blocks", "install"):
                shutil.rmtree(args.work / sub, ignore_errors=True)
    print((rep.out / "report.md").read_text())
    return 0


if __name__ == "__main__":
    sys.exit(main())
