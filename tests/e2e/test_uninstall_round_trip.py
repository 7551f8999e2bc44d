"""A product installed with setup.exe /a and removed with the command Windows records
leaves the machine as it was: every file under drive_c and every registry value."""

from __future__ import annotations


import pytest

import snapshots
from harness import wait_until, windows_path
from package_tools import build_project
from registration_tools import run_recorded

PROJECT = r"""
[product]
name = "Round Trip"
version = "2.1"
install_dir = "Round Trip"
registry_key = "Halvard Tests\\Round Trip"

[options]
product_flags_low = ["uninstall_support", "edit_path"]
product_flags_high = {high}
setup_options = ["uninstaller_without_package"]

[uninstall]
subdir = "uninst"

[batch]
pre_install = "echo made by the batch> batch-made.txt"
uninstall1 = "del batch-made.txt"
uninstall2 = "echo %InstallDir%> {marker}"

[[registration_values]]
name = "\\HKCU\\Software\\Halvard Tests\\Round Trip\\Mode"
type = 4
value = "7"

[[registration_values]]
name = "\\HKLM\\Software\\Halvard Tests\\Round Trip\\Edition"
type = 4
value = "3"

[[files]]
source = "files/**"
base = "files"
"""


def build_round_trip(build_paths, engine, work, high_flags: str):
    files = work / "files"
    (files / "docs" / "deeper").mkdir(parents=True)
    (files / "readme.txt").write_text("read me\n")
    (files / "docs" / "guide.txt").write_text("guide\n")
    (files / "docs" / "deeper" / "notes.txt").write_text("notes\n")
    marker = work / "uninstall2-ran.txt"
    text = PROJECT.replace("{marker}", windows_path(marker).replace("\\", "\\\\")).replace("{high}", high_flags)
    (work / "project.toml").write_text(text)
    setup = work / "setup.exe"
    build_project(build_paths.build_dir, engine, work / "project.toml", setup)
    return setup, marker


# A 64-bit product installs with the file-system redirection off into the 64-bit
# program folder and keeps its registry key in the 64-bit view: the uninstaller must
# look in the same places. Either engine puts a product in the same places.
@pytest.mark.parametrize("high_flags, program_files, product_view, other_view", [
    ("[]", "Program Files (x86)", r"HKLM\Software\Wow6432Node", r"HKLM\Software"),
    ('["product_64bit"]', "Program Files", r"HKLM\Software", r"HKLM\Software\Wow6432Node"),
], ids=["32-bit", "64-bit"])
def test_round_trip_leaves_nothing_behind(wine, build_paths, engine, tmp_path, high_flags, program_files,
                                          product_view, other_view):
    setup, marker = build_round_trip(build_paths, engine, tmp_path, high_flags)
    folder = build_paths.prefix / "drive_c" / program_files / "Round Trip"
    before = snapshots.take(wine, build_paths.prefix, tmp_path)

    assert wine.run(setup, "/a", timeout=120) == 1
    assert (folder / "docs" / "deeper" / "notes.txt").exists()
    assert (folder / "batch-made.txt").exists()
    # The product's own value is in its view; the registration stays in the 32-bit view
    # also for a 64-bit product.
    def present(key: str) -> bool:
        return wine.tool(["wine", "reg", "query", key, "/reg:64"], check=False).returncode == 0
    assert present(product_view + r"\Halvard Tests\Round Trip")
    assert not present(other_view + r"\Halvard Tests\Round Trip")
    uninstall = r"\Microsoft\Windows\CurrentVersion\Uninstall\Round Trip"
    assert present(r"HKLM\Software\Wow6432Node" + uninstall)
    assert not present(r"HKLM\Software" + uninstall)
    # A read-only uninstaller must not keep the self-deleting batch trying for ever.
    uninstaller = next((folder / "uninst").glob("*.exe"))
    uninstaller.chmod(0o444)
    assert run_recorded(wine, "Round Trip") == 0
    assert marker.read_text().strip() == f"C:\\{program_files}\\Round Trip"
    # The self-deleting batch outlives the uninstaller and takes its file and folders.
    assert wait_until(lambda: not folder.exists()), sorted(str(p) for p in folder.rglob("*"))

    after = snapshots.take(wine, build_paths.prefix, tmp_path)
    assert snapshots.differences(before, after) == []
