"""The engine's start-up, command line, run modes and exit codes, read through the UI
driver as a user sees them."""

from __future__ import annotations

import os
import shutil
from pathlib import Path

import pytest

from harness import windows_path

NO_PACKAGE = ("This program performs installations and uninstallations.\r\n"
              "There is no installation data present.\r\n"
              "No uninstallation parameters were specified.\r\n\r\n"
              "You should not delete this program or execute it directly.")

# The usage names the program by its own file name.
USAGE_TAIL = (
    "\r\n\r\nUsage:\r\n{program} [/a] [/b1:\"commands\"] [/b2:\"commands\"] "
    "[/b3:\"commands\"] [/d:\"dir\"] [/n:\"name\"] [/u:\"name\"] [/r:\"program\"]\r\n\r\n"
    "/a                  \tAutomatic mode.\r\n"
    "/d:\"dir\"        \tOverride installation directory.\r\n"
    "/b1:\"commands\"\tAdd commands to the end of the Pre-Installation Batch.\r\n"
    "/b2:\"commands\"\tAdd commands to the end of the Post-Installation Batch.\r\n"
    "/b3:\"commands\"\tAdd commands to the end of the Installation-Exit Batch.\r\n"
    "/n:\"name\"\tOverride product name.\r\n"
    "/u:\"name\"\tUninstall product by name.\r\n"
    "/r:\"program\"\tRun the specified program after a successful installation.")


def files_under(root: Path) -> dict[str, int]:
    """Every file below root with its modification time: what a run may have changed."""
    found = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = Path(folder, name)
            try:
                found[str(path)] = path.stat().st_mtime_ns
            except OSError:
                pass
    return found


@pytest.fixture
def drive_c(build_paths) -> Path:
    return build_paths.prefix / "drive_c"


@pytest.mark.parametrize("args", ["", "   ", "/a", "/A", "-A", "-a /MIN",
                                  "/a " * 19 + "ignored-twentieth /bad",
                                  '/d:"C:\\My Dir" /n:Demo /r:"x.exe `y`" /b1:"echo 1~~echo 2"'])
def test_without_package_the_engine_refuses_to_run(wine, ui, engine, args):
    answered = ui.answer_message_box(wine.start(engine, args))
    assert answered.caption == "Error"
    assert answered.text == NO_PACKAGE
    assert answered.exit_code == 1


@pytest.mark.parametrize("args, error", [
    ("/u", "Product name required"),
    ("-U:", "Product name required"),
    ("/u:\"\"", "Product name required"),
    ("word", "Unexpected command line parameter:\nword"),
    ("/a setup.exe", "Unexpected command line parameter:\nsetup.exe"),
    ("/dx", "Illegal command line atom:\ndx"),
    ("/D", "Illegal command line atom:\nD"),
    ("/r:program", "Illegal command line atom:\nr:program"),
])
def test_command_line_errors_show_the_usage_and_change_nothing(wine, ui, engine, drive_c, args, error):
    before = files_under(drive_c)
    answered = ui.answer_message_box(wine.start(engine, args))
    assert answered.text == error + USAGE_TAIL.format(program=engine.name)
    assert answered.caption == "Error"
    assert answered.buttons == {1: "OK"}
    assert answered.exit_code == 1
    assert files_under(drive_c) == before


def test_uninstall_of_an_unknown_name_says_so_and_ends_with_zero(wine, ui, engine):
    answered = ui.answer_message_box(wine.start(engine, '/u:"Some Product"'))
    assert (answered.caption, answered.text) == ("Error", "No product named 'Some Product' is installed.")
    assert answered.exit_code == 0


def test_program_named_without_extension_finds_itself(wine, ui, engine, tmp_path):
    setup = tmp_path / "setup.exe"
    shutil.copy(engine, setup)
    answered = ui.answer_message_box(wine.start(setup, cmdline=f'"{windows_path(tmp_path / "setup")}" /a'))
    assert answered.text == NO_PACKAGE


def test_program_found_through_the_search_path_falls_back_to_its_module_name(
        wine, ui, engine, drive_c, tmp_path):
    # Started by bare name from another folder, the command line names a file that
    # does not exist there: the engine must open itself by its module name instead.
    name = "hvsearched.exe"
    target = drive_c / "windows" / name
    shutil.copy(engine, target)
    try:
        answered = ui.answer_message_box(wine.start(target, cmdline="hvsearched /a", cwd=tmp_path))
        assert answered.text == NO_PACKAGE
        assert answered.exit_code == 1
    finally:
        target.unlink()


def test_fatal_display_of_the_library(wine, ui, build_paths, tmp_path):
    probe = build_paths.windows_dir / "tests" / "e2e" / "probes" / "fatal_display_probe.exe"
    answered = ui.answer_message_box(wine.start(probe, "hello", cwd=tmp_path))
    assert answered.caption == "FATAL ERROR - Halvard Setup"
    assert answered.text == "Probe: hello"
    assert answered.exit_code == 1
    assert (tmp_path / "fatal-callback-ran.txt").exists()


def _prefer_native(wine, program: str, dll: str) -> None:
    key = f"HKCU\\Software\\Wine\\AppDefaults\\{program}\\DllOverrides"
    wine.tool(["wine", "reg", "add", key, "/v", dll, "/d", "native,builtin", "/f"])


def test_a_dll_planted_beside_the_engine_is_not_loaded(wine, ui, engine, build_paths, tmp_path):
    probes = build_paths.windows_dir / "tests" / "e2e" / "probes"
    shutil.copy(probes / "comctl32.dll", tmp_path / "comctl32.dll")
    shutil.copy(probes / "unhardened_probe.exe", tmp_path / "unhardened_probe.exe")
    shutil.copy(engine, tmp_path / "downloaded-setup.exe")
    marker = tmp_path / "planted-loaded.txt"
    for program in ("unhardened_probe.exe", "downloaded-setup.exe"):
        _prefer_native(wine, program, "comctl32")

    # The plant works on a program that does not protect itself...
    assert wine.run(tmp_path / "unhardened_probe.exe", cwd=tmp_path) == 0
    assert marker.exists()
    marker.unlink()

    # ...and not on the engine, started from the same folder.
    answered = ui.answer_message_box(wine.start(tmp_path / "downloaded-setup.exe", cwd=tmp_path))
    assert answered.text == NO_PACKAGE
    assert not marker.exists()
