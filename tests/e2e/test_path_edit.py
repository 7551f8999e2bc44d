"""A package that asks for it puts its installation folder on the system PATH, once,
however often it is installed."""

from __future__ import annotations

import shutil

import pytest

from package_tools import build_project

PROJECT = """
[product]
name = "Path Demo"
version = "1.0"
install_dir = "Path Demo"

[options]
product_flags_low = ["uninstall_support", "edit_path"]

[[files]]
source = "tool.txt"
"""

KEY = r"HKLM\System\CurrentControlSet\Control\Session Manager\Environment"


def path_value(wine) -> str:
    return wine.tool(["wine", "reg", "query", KEY, "/v", "Path"]).stdout


@pytest.fixture
def original_path(wine):
    before = path_value(wine)
    line = next(line for line in before.splitlines() if "Path" in line and "REG_" in line)
    kind, value = line.split(None, 2)[1:]
    yield before
    wine.tool(["wine", "reg", "add", KEY, "/v", "Path", "/t", kind, "/d", value, "/f"])


def test_installation_folder_is_added_once(wine, build_paths, engine, tmp_path, original_path):
    (tmp_path / "tool.txt").write_text("tool\n")
    (tmp_path / "project.toml").write_text(PROJECT)
    setup = tmp_path / "setup.exe"
    build_project(build_paths.build_dir, engine, tmp_path / "project.toml", setup)
    folder = build_paths.prefix / "drive_c" / "Path Demo"
    try:
        for _ in range(2):
            assert wine.run(setup, '/a /d:"C:\\Path Demo"', timeout=120) == 1
        after = path_value(wine)
        assert after.lower().count("c:\\path demo") == 1
        assert "REG_EXPAND_SZ" in after or "REG_SZ" in after
        assert after.replace(";C:\\Path Demo", "") == original_path
    finally:
        shutil.rmtree(folder, ignore_errors=True)
