"""Runs the engine under Wine and Xvfb with a few command lines and prints what the
user sees: each message box's caption and text, and the exit code."""

from __future__ import annotations

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "e2e"))

from harness import BuildPaths, E2ESession, screenshot  # noqa: E402

RUNS = [
    ("the engine without a package", ""),
    ("an unknown option", "/dx"),
    ("uninstall without a product name", "/u"),
]


def main() -> int:
    paths = BuildPaths.from_env()
    session = E2ESession(paths)
    shots = paths.work_dir / "demo"
    shots.mkdir(parents=True, exist_ok=True)
    try:
        session.open()
        for number, (title, args) in enumerate(RUNS, 1):
            process = session.wine.start(paths.engine, args)
            box = session.ui.message_box(process, timeout=30)
            shot = shots / f"{number}.png"
            screenshot(session.xvfb.display, shot)
            session.ui.press(box, 1)
            code = process.wait(30)
            print(f"== {title}: halvard-engine.exe {args}".rstrip())
            print(f"[{box.caption}]")
            print(box.text.replace("\r\n", "\n"))
            print(f"-> exit code {code}; screenshot {shot}\n")
    finally:
        session.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
