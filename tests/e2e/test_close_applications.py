"""Before the files are installed, the product's running programs are closed: a window
that an entry of the automatic-close list takes (by class, by exact title, by a title
containing a text) gets WM_CLOSE (mode 0) or WM_QUIT (mode 1), or, in mode 2, the user
is asked to close it with Retry or Cancel. Windows no entry takes are left alone."""

from __future__ import annotations

import dataclasses
import shutil
from pathlib import Path

import pytest

from harness import IDCANCEL, IDOK, IDRETRY, WineProcess, Window, windows_path
from package_tools import build_project

CLASS = "HvCloseTarget"
TITLE = "Close Target Window"

PROJECT = """
[product]
name = "Close Demo"
version = "1.0"
install_dir = "Close Demo"

# Without uninstall support: no registration to clean up. (The shared folder is then
# the bare product name, made in the installer's current folder: tests run it in tmp_path.)
# Not silent, so that the ask mode has someone to ask; no greeting and no completion
# notice, so that its question is the only window.
[options]
product_flags_low = ["no_completion_notice"]
product_flags_high = ["no_greeting"]

[[close_applications]]
application_name = "Close Target"
{entry}

[[files]]
source = "payload.txt"
"""

FOLDER = r"C:\Close Demo"


def build(build_paths, engine, folder: Path, entry: str) -> Path:
    (folder / "payload.txt").write_text("payload\n")
    (folder / "project.toml").write_text(PROJECT.format(entry=entry))
    setup = folder / "setup.exe"
    build_project(build_paths.build_dir, engine, folder / "project.toml", setup)
    return setup


@dataclasses.dataclass
class TargetWindow:
    process: WineProcess
    window: Window
    result: Path

    def outcome(self) -> str:
        """How the program ended: "closed", "quit" or "timeout"."""
        assert self.process.wait(15) == 0
        return self.result.read_text()


@pytest.fixture
def target(wine, ui, build_paths, tmp_path):
    """The test window, running and shown before the installer starts."""
    build_paths.require(build_paths.test_window)
    result = tmp_path / "outcome.txt"
    # The window gives up by itself after a minute.
    process = wine.start(build_paths.test_window, f'{CLASS} "{TITLE}" "{windows_path(result)}"', timeout=90)
    return TargetWindow(process, ui.wait_window(caption=TITLE, cls=CLASS, pid=process), result)


@pytest.fixture
def installed(build_paths):
    folder = build_paths.prefix / "drive_c" / "Close Demo"
    shutil.rmtree(folder, ignore_errors=True)
    yield folder
    shutil.rmtree(folder, ignore_errors=True)


@pytest.mark.parametrize("entry, outcome", [
    (f'window_class = "{CLASS}"\nmode = 0\nphases = 1', "closed"),
    (f'window_title = "{TITLE}"\nmode = 1\nphases = 1', "quit"),
    ('window_title = "*Target"\nmode = 0\nphases = 1', "closed"),
    # A lone "*" tests no title: the class decides.
    (f'window_class = "{CLASS}"\nwindow_title = "*"\nmode = 1\nphases = 1', "quit"),
    # Taken by none: "*" alone would take every window, so it takes none; titles
    # compare case-sensitively; class and title must both match; an entry only for
    # the uninstallation.
    ('window_title = "*"\nmode = 0\nphases = 1', None),
    (f'window_title = "{TITLE.lower()}"\nmode = 0\nphases = 1', None),
    (f'window_class = "{CLASS}"\nwindow_title = "*Other"\nmode = 0\nphases = 1', None),
    (f'window_class = "{CLASS}"\nmode = 0\nphases = 2', None),
    # A silent run has nobody to ask: the asked-for window stays.
    (f'window_class = "{CLASS}"\nmode = 2\nphases = 1', None),
], ids=["class-close", "title-quit", "contains-close", "class-star-quit", "star-alone", "title-case",
        "class-and-title", "uninstall-phase", "ask-silent"])
def test_silent_run_closes_taken_windows(wine, ui, build_paths, engine, tmp_path, target, installed,
                                          entry, outcome):
    setup = build(build_paths, engine, tmp_path, entry)
    assert wine.run(setup, f'/a /d:"{FOLDER}"', cwd=tmp_path, timeout=120) == 1
    assert (installed / "payload.txt").read_text() == "payload\n"
    if outcome:
        assert target.outcome() == outcome
    else:
        assert target.process.running(), "a window no entry takes was ended"
        ui.close(target.window)
        assert target.outcome() == "closed"


ASK = f'window_class = "{CLASS}"\nmode = 2\nphases = 1'
QUESTION = "Close Target is still running. Please close it, then click Retry."


def test_ask_mode_retries_until_the_window_is_closed(wine, ui, build_paths, engine, tmp_path, target, installed):
    setup = build(build_paths, engine, tmp_path, ASK)
    # Not silent: only then is there someone to ask. No wizard page comes before or after.
    process = wine.start(setup, f'/d:"{FOLDER}"', cwd=tmp_path, timeout=120)
    asked = ui.message_box(process, timeout=20)
    assert (asked.caption, asked.text, set(asked.buttons)) == ("Close Demo Setup", QUESTION, {IDRETRY, IDCANCEL})
    # Retry while the window is still there asks again.
    ui.press(asked, IDRETRY)
    ui.wait_gone(asked)
    again = ui.message_box(process, timeout=20)
    assert again.text == QUESTION
    assert not (installed / "payload.txt").exists()
    ui.close(target.window)
    assert target.outcome() == "closed"
    ui.press(again, IDRETRY)
    assert process.wait(60) == 1
    assert (installed / "payload.txt").read_text() == "payload\n"


def test_ask_mode_cancel_ends_the_installation(wine, ui, build_paths, engine, tmp_path, target, installed):
    setup = build(build_paths, engine, tmp_path, ASK)
    process = wine.start(setup, f'/d:"{FOLDER}"', cwd=tmp_path, timeout=120)
    asked = ui.message_box(process, timeout=20)
    assert asked.text == QUESTION
    ui.press(asked, IDCANCEL)
    ui.wait_gone(asked)
    answered = ui.answer_message_box(process, IDOK, timeout=20)
    assert (answered.caption, answered.text) == ("Close Demo Setup", "The installation was cancelled.")
    assert answered.exit_code == 1
    assert not installed.exists()
    assert target.process.running()
    ui.close(target.window)
    assert target.outcome() == "closed"
