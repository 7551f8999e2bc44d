"""The x86 and the x64 engine install the same 32-bit package alike: the same files, the
same registry values in the same view, the same Uninstall.DAT lines. Needs a host that
runs both engines; the test command names them in HALVARD_ENGINES."""

from __future__ import annotations

import os
import time

import pytest

import snapshots
from harness import BuildPaths
from package_tools import build_project
from registration_tools import run_recorded

PRODUCT = "Agree Product"
PROJECT = r"""
[product]
name = "Agree Product"
version = "3.2"
install_dir = "Agree Product"
registry_key = "Halvard Tests\\Agree Product"

[options]
product_flags_low = ["uninstall_support", "edit_path"]
setup_options = ["uninstaller_without_package"]

[uninstall]
subdir = "uninst"

[batch]
pre_install = "echo %PROCESSOR_ARCHITECTURE% %ProgramFiles%> batch-saw.txt"
uninstall1 = "del batch-saw.txt"

[[registration_values]]
name = "\\HKLM\\Software\\Halvard Tests\\Agree Product\\Edition"
type = 4
value = "3"

[[files]]
source = "files/**"
base = "files"
"""

# What differs by design: the uninstaller is a copy of each engine, the size the
# registration estimates counts it, and the log and the date hold the time of the run.
DIFFERS_BY_DESIGN = ("Install.LOG", "uninst/", '"EstimatedSize"=', '"InstallDate"=')


def engines_on_this_host() -> list[str]:
    return os.environ.get("HALVARD_ENGINES", "").split()


pytestmark = pytest.mark.skipif(
    not {"x86", "x64"} <= set(engines_on_this_host()),
    reason="needs a host that runs both engines (the test command sets HALVARD_ENGINES=\"x86 x64\" there)")


def install_and_remove(wine, build_paths: BuildPaths, arch: str, work) -> tuple[dict, set, list[str]]:
    """What one engine's installation added (files with digests, registry lines) and its
    Uninstall.DAT lines; the product is removed again afterwards."""
    engine = BuildPaths(build_paths.build_dir, arch).engine
    build_paths.require(engine)
    # One output path for both: the registration records where setup.exe was.
    setup = build_project(build_paths.build_dir, engine, work / "project.toml", work / "setup.exe")
    folder = build_paths.prefix / "drive_c" / "Program Files (x86)" / PRODUCT
    before = snapshots.take(wine, build_paths.prefix, work)
    assert wine.run(setup, "/a", timeout=120) == 1, arch
    after = snapshots.take(wine, build_paths.prefix, work)
    data = (folder / "uninst" / "Uninstall.DAT").read_bytes().decode("cp1252").splitlines()
    assert run_recorded(wine, PRODUCT) == 0, arch
    deadline = time.monotonic() + 60
    while folder.exists() and time.monotonic() < deadline:
        time.sleep(0.5)
    added_files = {path: digest for path, digest in after.files.items() if before.files.get(path) != digest}
    return added_files, after.registry - before.registry, data


def comparable(items):
    """The product's own files and registry lines (Wine keeps its own books too), less
    what differs by design."""
    return sorted(item for item in items
                  if PRODUCT in item and not any(mark in item for mark in DIFFERS_BY_DESIGN))


def test_both_engines_install_a_32bit_product_alike(wine, build_paths, tmp_path):
    if build_paths.arch != "x64":
        pytest.skip("run once, with the x64 engine's suite")
    files = tmp_path / "files"
    (files / "docs").mkdir(parents=True)
    (files / "readme.txt").write_text("read me\n")
    (files / "docs" / "guide.txt").write_text("guide\n")
    (tmp_path / "project.toml").write_text(PROJECT)

    x86_files, x86_registry, x86_data = install_and_remove(wine, build_paths, "x86", tmp_path)
    x64_files, x64_registry, x64_data = install_and_remove(wine, build_paths, "x64", tmp_path)

    assert any("batch-saw.txt" in path for path in x86_files)
    assert comparable(x64_files) == comparable(x86_files)
    assert {path: x64_files[path] for path in comparable(x64_files)} == \
        {path: x86_files[path] for path in comparable(x86_files)}
    assert comparable(x64_registry) == comparable(x86_registry)
    assert any("Wow6432Node\\Halvard Tests\\Agree Product\\" in line for line in x86_registry)
    assert x64_data == x86_data
