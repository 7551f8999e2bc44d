"""Links planted in an installed product's folders before its removal: the uninstaller,
which may run elevated, deletes nothing behind them, whether it removes the recorded
files one by one or the whole installation folder; a link put where a recorded file was
never takes its target with it: the target keeps its content and its permissions."""

from __future__ import annotations

import shutil
import stat

import pytest

from package_tools import build_project
from registration_tools import is_registered, run_recorded, uninstall_key

PROJECT = r"""
[product]
name = "Planted Links"
version = "1.0"
install_dir = "Planted Links"

[options]
product_flags_low = ["uninstall_support"{whole}]
setup_options = ["uninstaller_without_package"]

[[files]]
source = "files/**"
base = "files"

[[conditional_deletes]]
path = "data\\*.tmp"
flags = 8  # when uninstalling
"""

PRODUCT_FILES = ["top.txt", "data/a.txt", "data/a.tmp", "data/deep/b.txt", "other/c.txt"]


def sentinel(root):
    """A folder of someone else's that looks like the product's own: same names."""
    (root / "deep").mkdir(parents=True)
    (root / "deep" / "empty").mkdir()
    for name in ("a.txt", "a.tmp", "deep/b.txt", "thumbs.db"):
        (root / name).write_text("not the product's\n")
    return {p.relative_to(root): p.read_bytes() for p in root.rglob("*") if p.is_file()}


@pytest.mark.parametrize("whole", [False, True], ids=["file by file", "whole folder"])
def test_nothing_behind_a_planted_link_is_removed(wine, build_paths, engine, tmp_path, whole):
    files = tmp_path / "files"
    for name in PRODUCT_FILES:
        (files / name).parent.mkdir(parents=True, exist_ok=True)
        (files / name).write_text(f"product {name}\n")
    project = PROJECT.replace("{whole}", ', "remove_install_dir"' if whole else "")
    (tmp_path / "project.toml").write_text(project)
    setup = build_project(build_paths.build_dir, engine, tmp_path / "project.toml", tmp_path / "setup.exe")
    folder = build_paths.prefix / "drive_c" / "Planted Links"
    shutil.rmtree(folder, ignore_errors=True)
    try:
        assert wine.run(setup, '/a /d:"C:\\Planted Links"', timeout=120) == 1
        assert (folder / "data" / "deep" / "b.txt").exists()

        # The product's data folder becomes a link to a folder with the same names in it.
        others = tmp_path / "someone else's"
        before = sentinel(others)
        shutil.rmtree(folder / "data")
        (folder / "data").symlink_to(others, target_is_directory=True)
        # A recorded file becomes a link to a read-only file elsewhere.
        precious = tmp_path / "precious.txt"
        precious.write_text("precious\n")
        precious.chmod(0o444)
        (folder / "other" / "c.txt").unlink()
        (folder / "other" / "c.txt").symlink_to(precious)

        assert run_recorded(wine, "Planted Links") == 0
        assert not is_registered(wine, "Planted Links")

        after = {p.relative_to(others): p.read_bytes() for p in others.rglob("*") if p.is_file()}
        assert after == before
        assert (others / "deep" / "empty").is_dir()
        assert precious.read_text() == "precious\n"
        assert stat.S_IMODE(precious.stat().st_mode) == 0o444
        # Windows shows a link to a file as a link, and the uninstaller removes it alone;
        # Wine shows it as the file it points at and would delete that, so the link stays.
        link = folder / "other" / "c.txt"
        assert not link.exists() or link.resolve() == precious.resolve()
        assert not (folder / "top.txt").exists()
    finally:
        wine.tool(["wine", "reg", "delete", uninstall_key("Planted Links"), "/f"], check=False)
        if (folder / "data").is_symlink():
            (folder / "data").unlink()
        shutil.rmtree(folder, ignore_errors=True)
