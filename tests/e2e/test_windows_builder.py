"""halvard-build built for Windows (x86_64, static), run under Wine: from the same
project, files and engine it writes the same setup.exe, byte for byte, as the Linux
build: the output depends on no property of the build machine."""

from __future__ import annotations

import os
import shutil
import subprocess

import pytest

from harness import windows_path
from package_tools import EXAMPLE, REPO, halvard_build

WINE_RUN = REPO / "scripts" / "wine-run.sh"


def test_the_windows_builder_writes_the_linux_builders_bytes(build_paths, tmp_path):
    windows_builder = build_paths.build_dir / "win64" / "tools" / "builder" / "halvard-build.exe"
    engine = build_paths.build_dir / "win64" / "src" / "halvard-engine-x64.exe"
    if not windows_builder.is_file() or not engine.is_file():
        pytest.skip("not built: the win64 preset's halvard-build.exe and engine")
    project = tmp_path / "hello"
    shutil.copytree(EXAMPLE, project, ignore=shutil.ignore_patterns("setup.exe"))
    env = {**os.environ, "SOURCE_DATE_EPOCH": "1700000000"}

    linux = tmp_path / "linux.exe"
    subprocess.run([str(halvard_build(build_paths.build_dir)), "build", str(project / "project.toml"), "--engine",
                    str(engine), "-o", str(linux)], env=env, check=True, capture_output=True, timeout=300)
    windows = tmp_path / "windows.exe"
    done = subprocess.run(["bash", str(WINE_RUN), "--64", str(windows_builder), "build",
                           windows_path(project / "project.toml"), "--engine", windows_path(engine), "-o",
                           windows_path(windows)], env=env, capture_output=True, text=True, timeout=600)
    assert done.returncode == 0, done.stdout + done.stderr
    assert "wrote " in done.stdout
    assert windows.read_bytes() == linux.read_bytes()

    # It inspects as the Linux builder does.
    done = subprocess.run(["bash", str(WINE_RUN), "--64", str(windows_builder), "inspect", windows_path(windows)],
                          env=env, capture_output=True, text=True, timeout=600)
    assert done.returncode == 0, done.stderr
