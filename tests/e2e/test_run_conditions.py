"""The checks made before anything is installed: a refused Windows release, a master
product that is missing, a second installer of a single-instance package. Each ends
with exit code 1 and nothing installed; a silent run shows its error only when the
package asks for errors in silent runs."""

from __future__ import annotations

import shutil
from pathlib import Path

import pytest

from package_tools import build_project

BASE = """
[product]
name = "Conditions"
version = "1.0"
install_dir = "Conditions Demo"
{product_extra}

[options]
product_flags_low = ["uninstall_support"{low_extra}]
product_flags_high = [{high_extra}]

[[files]]
source = "payload.txt"
"""


def build(build_paths, engine, folder: Path, product_extra="", low_extra="", high_extra="") -> Path:
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "payload.txt").write_text("payload\n")
    (folder / "project.toml").write_text(BASE.format(product_extra=product_extra, low_extra=low_extra,
                                                     high_extra=high_extra))
    setup = folder / "setup.exe"
    build_project(build_paths.build_dir, engine, folder / "project.toml", setup)
    return setup


@pytest.fixture
def target(build_paths):
    folder = build_paths.prefix / "drive_c" / "Conditions Demo"
    yield folder
    assert not folder.exists(), "a refused installation must not create its folder"


def test_refused_release_is_silent_by_default(wine, build_paths, engine, tmp_path, target):
    # Wine reports Windows 7.
    setup = build(build_paths, engine, tmp_path, product_extra='excluded_systems = ["windows_xp", "windows_7"]')
    assert wine.run(setup, '/a /d:"C:\\Conditions Demo"', timeout=60) == 1


def test_refused_release_names_itself_when_errors_are_shown(wine, ui, build_paths, engine, tmp_path, target):
    setup = build(build_paths, engine, tmp_path, product_extra='excluded_systems = ["windows_7"]',
                  high_extra='"errors_in_silent_mode"')
    answered = ui.answer_message_box(wine.start(setup, '/a /d:"C:\\Conditions Demo"'))
    assert "Windows 7" in answered.text
    assert answered.caption == "Conditions Setup"
    assert answered.exit_code == 1


def test_other_releases_install(wine, build_paths, engine, tmp_path):
    setup = build(build_paths, engine, tmp_path, product_extra='excluded_systems = ["windows_xp", "windows_10"]')
    folder = build_paths.prefix / "drive_c" / "Conditions Demo"
    try:
        assert wine.run(setup, '/a /d:"C:\\Conditions Demo"', timeout=60) == 1
        assert (folder / "payload.txt").read_text() == "payload\n"
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def test_missing_master_product(wine, ui, build_paths, engine, tmp_path, target):
    setup = build(build_paths, engine, tmp_path,
                  product_extra='master_product = "Not Installed Anywhere"\nmaster_product_message = "Base Suite"',
                  low_extra=', "master_product"', high_extra='"errors_in_silent_mode"')
    answered = ui.answer_message_box(wine.start(setup, '/a /d:"C:\\Conditions Demo"'))
    assert "Base Suite" in answered.text
    assert answered.exit_code == 1
