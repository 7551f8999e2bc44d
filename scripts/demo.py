"""Packs examples/hello with halvard-build, installs it silently under Wine and Xvfb,
and prints what a user would find: the installed files, the installation log, the
removal with the command Windows records, and what the engine shows for a few command
lines."""

from __future__ import annotations

import subprocess
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(REPO / "tests" / "e2e"))

from harness import BuildPaths, E2ESession, screenshot  # noqa: E402
from package_tools import build_example  # noqa: E402
from registration_tools import is_registered, registered, run_recorded  # noqa: E402

BOXES = [
    ("an unknown option", "/dx"),
    ("uninstall without a product name", "/u"),
]


def show_install(session: E2ESession, setup: Path, paths: BuildPaths) -> None:
    print(f"== halvard-build packed examples/hello into {setup} ({setup.stat().st_size} bytes)")
    code = session.wine.run(setup, "/a", timeout=300)
    folder = paths.prefix / "drive_c" / "Program Files (x86)" / "Hello"
    print(f"== setup.exe /a installed it (exit code {code}) into C:\\Program Files (x86)\\Hello:")
    for path in sorted(folder.rglob("*")):
        if path.is_file():
            print(f"   {path.relative_to(folder)}  ({path.stat().st_size} bytes)")
    log = next(folder.rglob("Install.LOG"), None)
    if log:
        print(f"== {log.name}:")
        print(log.read_bytes().decode("cp1252").replace("\r\n", "\n"))


def show_uninstall(session: E2ESession, paths: BuildPaths) -> None:
    quiet = registered(session.wine, "Hello", "QuietUninstallString")
    code = run_recorded(session.wine, "Hello", timeout=300)
    print(f"== the recorded QuietUninstallString removed it (exit code {code}): {quiet}")
    folder = paths.prefix / "drive_c" / "Program Files (x86)" / "Hello"
    deadline = time.monotonic() + 30
    while folder.exists() and time.monotonic() < deadline:
        time.sleep(0.5)
    left = is_registered(session.wine, "Hello")
    print(f"   folder {'still there' if folder.exists() else 'gone'}; "
          f"registration {'still there' if left else 'gone'}\n")


def show_boxes(session: E2ESession, engine: Path, shots: Path) -> None:
    for number, (title, args) in enumerate(BOXES, 1):
        process = session.wine.start(engine, args)
        box = session.ui.message_box(process, timeout=30)
        shot = shots / f"{number}.png"
        screenshot(session.xvfb.display, shot)
        session.ui.press(box, 1)
        code = process.wait(30)
        print(f"== {title}: {engine.name} {args}")
        print(f"[{box.caption}]")
        print(box.text.replace("\r\n", "\n"))
        print(f"-> exit code {code}; screenshot {shot}\n")


def main() -> int:
    paths = BuildPaths.from_env()
    shots = paths.work_dir / "demo"
    shots.mkdir(parents=True, exist_ok=True)
    setup = build_example(paths.build_dir, paths.engine, shots)
    session = E2ESession(paths)
    try:
        session.open()
        show_install(session, setup, paths)
        show_uninstall(session, paths)
        show_boxes(session, paths.engine, shots)
    finally:
        session.close()
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except subprocess.CalledProcessError as failure:
        sys.stderr.write(failure.stderr.decode(errors="replace"))
        raise
